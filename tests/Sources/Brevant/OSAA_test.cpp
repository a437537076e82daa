#include "OSAA.h"
#include "VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{
// Published tap values h[0..64]; the response mirrors around 64.
double tap(int k)
{
  if (k > 64)
    k = 128 - k;
  return OSAA::kCoefs[k];
}
} // namespace

TEST(OSAA, ImpulseResponseIsTheSymmetricTapSet)
{
  OSAA f;
  std::vector<double> y;
  for (int i = 0; i < 160; i++)
    y.push_back(f.process(i == 0 ? 1.0 : 0.0));
  for (int k = 0; k <= 128; k++)
  {
    ASSERT_EQ(y[k], tap(k)) << k;
    ASSERT_EQ(y[k], y[128 - k]) << k;
  }
  for (int k = 129; k < 160; k++)
    ASSERT_EQ(y[k], 0.0) << k;
  EXPECT_EQ(OSAA::kCoefs[64], 0.5);
  EXPECT_NEAR(y[63], 0.317956, 1e-14);

  // DC gain 0.999994 once the line is full.
  OSAA dc;
  double out = 0;
  for (int i = 0; i < 129; i++)
    out = dc.process(1.0);
  EXPECT_NEAR(out, 0.999994, 1e-12);
  EXPECT_NEAR(dc.process(1.0), 0.999994, 1e-12);
}

TEST(OSAA, UpDownPairDelaysBy64HostSamples)
{
  // Zero-stuffed interpolation (doubled to keep the level) and decimation, as the chain runs it with the
  // saturation left out: a band-limited signal comes back 64 host-rate samples late.
  OSAA up, down;
  std::vector<double> in, out;
  for (int i = 0; i < 2000; i++)
  {
    const double s = 0.5 * std::sin(0.05 * i) + 0.3 * std::sin(0.31 * i + 1);
    in.push_back(s);
    out.push_back(down.process(2 * up.process(s)));
    down.process(2 * up.process(0.0));
  }
  double worst = 0;
  for (int i = 200; i < 2000; i++)
    worst = std::fmax(worst, std::fabs(out[i] - in[i - 64]));
  EXPECT_LT(worst, 1e-4);

  // An impulse comes back centred on sample 64.
  OSAA u, d;
  int peakAt = -1;
  double peak = 0;
  for (int i = 0; i < 200; i++)
  {
    const double y = d.process(2 * u.process(i == 0 ? 1.0 : 0.0));
    d.process(2 * u.process(0.0));
    if (std::fabs(y) > peak)
    {
      peak = std::fabs(y);
      peakAt = i;
    }
  }
  EXPECT_EQ(peakAt, 64);
  EXPECT_GT(peak, 0.9);
}

TEST(OSAA, ResetForgetsThePast)
{
  OSAA used, fresh;
  for (int i = 0; i < 300; i++)
    used.process(std::sin(i * 0.3));
  used.reset();
  for (int i = 0; i < 300; i++)
  {
    const double x = std::cos(i * 0.2);
    ASSERT_EQ(used.process(x), fresh.process(x)) << i;
  }

  // A non-finite sample leaves the line after 129 calls.
  OSAA f;
  f.process(NAN);
  for (int i = 0; i < 128; i++)
    f.process(0.25);
  EXPECT_NEAR(f.process(0.25), 0.25 * 0.999994, 1e-12);
}

TEST(OSAA, PushMovesTheStateAsProcessDoes)
{
  // A decimator that skips the sum of every other sample must go on exactly as one that computes and drops it.
  OSAA computed, pushed;
  for (int i = 0; i < 1000; i++)
  {
    const double x = std::sin(i * 0.37) * (i % 300 < 150 ? 1.0 : 1e-3);
    if (i % 2)
    {
      computed.process(x);
      pushed.push(x);
    }
    else
      ASSERT_EQ(computed.process(x), pushed.process(x)) << i;
  }
}

TEST(OSAA, BlockFormsMatchTheCallsOnEveryPath)
{
  // interpolate() and decimate() are process()/push() pairs with the zero phase left out and the folded sums on
  // the vector kernels, in block lengths that leave every kind of tail and refill the history buffers.
  const brevant::simd::Path before = brevant::simd::Active().path;
  for (int p = 0; p < static_cast<int>(brevant::simd::Path::kNumPaths); p++)
  {
    if (!brevant::simd::Force(static_cast<brevant::simd::Path>(p)))
      continue;
    SCOPED_TRACE(brevant::simd::Active().name);
    OSAA up, down, upCalls, downCalls;
    int pos = 0;
    for (int len : {1, 7, 64, 33, 300, 5, 129, 2, 256, 31})
    {
      std::vector<double> in(len), even(len), odd(len), out(len);
      for (int i = 0; i < len; i++)
        in[i] = 0.8 * std::sin(0.13 * (pos + i)) + (((pos + i) % 17) == 0 ? 0.3 : 0.0);
      up.interpolate(in.data(), even.data(), odd.data(), len);
      for (int i = 0; i < len; i++)
      {
        ASSERT_EQ(even[i], upCalls.process(in[i])) << pos + i;
        ASSERT_EQ(odd[i], upCalls.process(0.0)) << pos + i;
        even[i] = std::tanh(2 * even[i]);
        odd[i] = std::tanh(2 * odd[i]);
      }
      down.decimate(even.data(), odd.data(), out.data(), len);
      for (int i = 0; i < len; i++)
      {
        ASSERT_EQ(out[i], downCalls.process(even[i])) << pos + i;
        downCalls.push(odd[i]);
      }
      pos += len;
    }
  }
  brevant::simd::Force(before);

  // Silence: a history of exact zeros gives exact zeros and stays as it is.
  OSAA f;
  EXPECT_TRUE(f.isSilent());
  double x[3] = {0.5, 0, 0}, e[3], o[3];
  f.interpolate(x, e, o, 3);
  EXPECT_FALSE(f.isSilent());
  std::vector<double> zeros(200, 0.0), ev(200), od(200);
  f.interpolate(zeros.data(), ev.data(), od.data(), 200);
  EXPECT_TRUE(f.isSilent());
  EXPECT_EQ(ev[199], 0.0);
  EXPECT_EQ(od[199], 0.0);
}
