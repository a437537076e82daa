#include "OSAA.h"

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
    ASSERT_NEAR(y[k], tap(k), 1e-14) << k; // apart from the offset residue
    ASSERT_NEAR(y[k], y[128 - k], 1e-14) << k;
  }
  for (int k = 129; k < 160; k++)
    ASSERT_NEAR(y[k], 0.0, 1e-14) << k;
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
  fresh.offset = used.offset; // the offset is not part of the reset
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
  // A decimator that skips the sum of every other sample must go on exactly as one that computes and drops it,
  // offset included.
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
  EXPECT_EQ(computed.offset, pushed.offset);
}
