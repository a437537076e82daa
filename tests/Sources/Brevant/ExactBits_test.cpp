// Pins every output bit of the signal-chain blocks against the literal transcriptions of their arithmetic in
// ReferenceBlocks.h (shifted delay lines, coefficients stored on every call, powers on every setter call), so an
// optimisation that changes rounding anywhere fails here.

#include "Biquad.h"
#include "OSAA.h"
#include "ReferenceBlocks.h"
#include "VUClass.h"
#include "compressor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace
{

// Deterministic test signal in [-1, 1).
struct Lcg
{
  uint32_t s;
  double next()
  {
    s = s * 1664525u + 1013904223u;
    return (s >> 8) / double(1 << 23) - 1.0;
  }
};

template <typename T> bool sameBits(T a, T b) { return std::memcmp(&a, &b, sizeof a) == 0; }
} // namespace

TEST(ExactBits, BiquadEveryTypeAndRetune)
{
  // Settings as the chain makes them (crossovers over a few host rates) and some others; retuned every 64 samples
  // without resetting. The double state is compared too: float outputs alone would hide most rounding changes.
  const double hz[] = {425, 50, 1200, 3175, 5500, 12000, 500, 7200, 987.6, 2345};
  const double rates[] = {44100, 48000, 96000, 88200, 22050};
  const double qs[] = {0.707, 0.007, 0.107, 2.5, 0.5};
  for (int type = 0; type <= 6; type++)
  {
    for (double gain : {13.5, 20.0, 0.35, -7.25, -20.0, 0.0})
    {
      Lcg rng{uint32_t(type * 97 + 11)};
      Biquad f;
      refchain::Biquad r;
      for (int block = 0; block < 50; block++)
      {
        const double fc = hz[block % 10] / rates[block % 5], q = qs[(block / 10) % 5];
        f.setBiquad(type, fc, q, gain);
        r.setBiquad(type, fc, q, gain);
        ASSERT_TRUE(sameBits(f.a0, r.a0) && sameBits(f.a1, r.a1) && sameBits(f.a2, r.a2) && sameBits(f.b1, r.b1) &&
                    sameBits(f.b2, r.b2))
            << type << " " << gain << " " << block;
        for (int i = 0; i < 64; i++)
        {
          const float x = static_cast<float>(rng.next() * 0.8);
          ASSERT_TRUE(sameBits(f.process(x), r.process(x))) << type << " " << gain << " " << block << " " << i;
          ASSERT_TRUE(sameBits(f.z1, r.z1) && sameBits(f.z2, r.z2)) << type << " " << gain << " " << block << " " << i;
        }
      }
    }
  }
}

TEST(ExactBits, CompressorDrivenLikeTheChain)
{
  // Per-sample setters as the signal chain calls them, with a ratio that moves with the signal, times and drive
  // that change every few hundred samples and a level sweeping through the knee.
  compressor c;
  refchain::Compressor r;
  Lcg rng{5};
  const double attack[] = {10, 1, 37.5, 10};
  const double release[] = {400, 100, 2999, 1234.5};
  const double drive[] = {0, 40, 13.7, 60};
  for (int i = 0; i < 40000; i++)
  {
    const double amp = 0.5 + 0.49 * std::sin(i * 0.0007);
    const double x = amp * rng.next();
    const double X = std::pow(10, x * 0.5 / 20);
    const double g = c.processStereo(x, x), gr = r.processStereo(x, x);
    ASSERT_TRUE(sameBits(g, gr)) << i << " " << g << " " << gr;
    const int p = (i / 700) % 4;
    c.setAttack(attack[p]);
    r.setAttack(attack[p]);
    c.setRelease(release[p]);
    r.setRelease(release[p]);
    c.setHold(0);
    r.setHold(0);
    c.setRatio(X + 4);
    r.setRatio(X + 4);
    c.setThreshold(1 - drive[p]);
    r.setThreshold(1 - drive[p]);
    c.setKnee(0.2 + 0.2 * (p % 2));
    r.setKnee(0.2 + 0.2 * (p % 2));
  }
  ASSERT_TRUE(sameBits(c.envelope, r.envelope));

  // process() with hold and the limiter.
  compressor p;
  refchain::Compressor q;
  p.setHold(0.3);
  q.setHold(0.3);
  p.setThreshold(-18);
  q.setThreshold(-18);
  p.setKnee(0.5);
  q.setKnee(0.5);
  for (int i = 0; i < 20000; i++)
  {
    if (i == 10000)
      p.limiter = q.limiter = 1;
    const double x = rng.next() * (i % 3000 < 1500 ? 1.0 : 0.01);
    ASSERT_TRUE(sameBits(p.process(x), q.process(x))) << i;
    ASSERT_TRUE(sameBits(p.gainReductionDb, q.gainReductionDb)) << i;
  }
}

TEST(ExactBits, VUAndOversampler)
{
  VUClass vu(1.0);
  refchain::VU rv;
  Lcg rng{9};
  for (int i = 0; i < 50000; i++)
  {
    const double g = std::exp(0.1151292546497 * -12 * (1 + rng.next()) * (i % 5000 < 2500));
    const double fs = i < 25000 ? 44100 : 96000;
    ASSERT_TRUE(sameBits(vu.Process(g, fs), rv.Process(g, fs))) << i;
  }

  // An up/down pair as the chain runs it, with a reset halfway through. The oversampler folds its sums per phase
  // and carries no anti-denormal offset, so it agrees with the literal filter to rounding (and the offset's 1e-15
  // residue), not bit for bit.
  OSAA up, down;
  refchain::OSAA rup, rdown;
  for (int i = 0; i < 6000; i++)
  {
    if (i == 3000)
    {
      up.reset();
      down.reset();
      rup.reset();
      rdown.reset();
    }
    const double s = rng.next() * 0.9;
    const double u = up.process(s), ru = rup.process(s);
    ASSERT_NEAR(u, ru, 1e-9) << i;
    const double v = std::tanh(2 * u);
    ASSERT_NEAR(down.process(v), rdown.process(v), 1e-9) << i;
    const double u2 = up.process(0), ru2 = rup.process(0);
    ASSERT_NEAR(u2, ru2, 1e-9) << i;
    ASSERT_NEAR(down.process(std::tanh(2 * u2)), rdown.process(std::tanh(2 * ru2)), 1e-9) << i;
  }
}
