#include "compressor.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
// Gain in dB once the envelope has settled on a constant detector level given in dB.
double steadyGainDb(compressor c, double levelDb)
{
  const double d = std::pow(10, levelDb / 20);
  double g = 0;
  for (int i = 0; i < 20000; i++)
    g = c.processStereo(d, d);
  return g;
}

compressor withCurve(double thresholdDb, double ratio, double knee)
{
  compressor c;
  c.setAttack(1);
  c.setRelease(1);
  c.setThreshold(thresholdDb);
  c.setRatio(ratio);
  c.setKnee(knee);
  return c;
}
} // namespace

TEST(Compressor, ConstructedState)
{
  compressor c;
  EXPECT_EQ(c.sampleRate, 44100);
  EXPECT_EQ(c.attackCoef, 0.9793314582608171);
  EXPECT_EQ(c.releaseCoef, 0.9979136668688285);
  EXPECT_EQ(c.ratio, 4);
  EXPECT_EQ(c.slope, 0.75);
  EXPECT_EQ(c.kneeWidthDb, 0.0);
  EXPECT_TRUE(std::signbit(c.kneeWidthDb));
  EXPECT_EQ(c.envelope, 0);
  EXPECT_EQ(c.holdSamples, 0);
  EXPECT_EQ(c.limiter, 0);

  // The constructed coefficients are what the setters give for 5 and 50 ms at 44.1 kHz.
  compressor s;
  s.setAttack(5);
  s.setRelease(50);
  EXPECT_EQ(s.attackCoef, c.attackCoef);
  EXPECT_EQ(s.releaseCoef, c.releaseCoef);
}

TEST(Compressor, StaticCurve)
{
  // Above the knee every dB over the threshold costs (1 - 1/ratio) dB.
  for (double ratio : {2.0, 4.0, 13.0})
  {
    const compressor c = withCurve(-30, ratio, 0.2); // knee -33 .. -27 dB
    const double slope = (steadyGainDb(c, -5) - steadyGainDb(c, -15)) / 10;
    EXPECT_NEAR(slope, -(1 - 1 / ratio), 1e-9) << ratio;
    EXPECT_NEAR(steadyGainDb(c, -10), -(1 - 1 / ratio) * 20, 1e-9);
    EXPECT_EQ(steadyGainDb(c, -40), 0.0);
  }

  // Soft knee from -24 to -16 dB: -10 dB gives -7.5, -20 gives -0.75 (quadratic), -30 gives 0; the curve is
  // continuous at both knee edges.
  const compressor k = withCurve(-20, 4, 0.4);
  EXPECT_NEAR(steadyGainDb(k, -10), -7.5, 1e-9);
  EXPECT_NEAR(steadyGainDb(k, -20), -0.75, 1e-9);
  EXPECT_EQ(steadyGainDb(k, -30), 0.0);
  EXPECT_NEAR(steadyGainDb(k, -16.0001), steadyGainDb(k, -15.9999), 1e-3);
  EXPECT_NEAR(steadyGainDb(k, -23.9999), 0.0, 1e-6);

  // Threshold at or above 0 dB: no knee.
  const compressor hard = withCurve(6, 4, 0.4);
  EXPECT_NEAR(steadyGainDb(hard, 10), -3.0, 1e-9);

  // Limiter: all of the excess is removed, whatever the ratio.
  compressor lim = withCurve(-20, 2, 0);
  lim.limiter = 1;
  EXPECT_NEAR(steadyGainDb(lim, -14), -6.0, 1e-9);

  // Silence: level -inf, no reduction.
  compressor quiet = withCurve(-20, 4, 0.4);
  EXPECT_EQ(quiet.processStereo(0, 0), 0.0);
  EXPECT_EQ(quiet.gainReductionDb, 0.0);

  // processStereo listens to the larger argument; process applies the gain to its input.
  compressor a = withCurve(-40, 4, 0), b = withCurve(-40, 4, 0), p = withCurve(-40, 4, 0);
  for (int i = 0; i < 100; i++)
    ASSERT_EQ(a.processStereo(-0.9, 0.1), b.processStereo(0.1, 0.1));
  const double g = p.processStereo(0.5, 0.5);
  compressor q = withCurve(-40, 4, 0);
  EXPECT_NEAR(q.process(-0.5), -0.5 * std::pow(10, g / 20), 1e-12);
}

TEST(Compressor, AttackReleaseAndHoldTiming)
{
  // Attack covers 99 % of a step in attack-time samples: 221 for the constructed 5 ms, 441 for 10 ms.
  for (auto [ms, n] : {std::pair{0.0, 221}, std::pair{10.0, 441}})
  {
    compressor c;
    if (ms > 0)
      c.setAttack(ms);
    for (int i = 0; i < n - 1; i++)
      c.process(1.0);
    EXPECT_LT(c.envelope, 0.99);
    c.process(1.0);
    EXPECT_GE(c.envelope, 0.99);
    EXPECT_EQ(c.processStereo(1, 1) > -1e-9, true); // threshold 0: at most a trace of reduction
  }

  // Release from 1.0 to 1 % in release-time samples (100 ms = 4410).
  compressor r;
  r.setAttack(0.001);
  r.setRelease(100);
  r.process(1.0);
  for (int i = 0; i < 4409; i++)
    r.process(0.0);
  EXPECT_GT(r.envelope, 0.01001);
  r.process(0.0);
  EXPECT_NEAR(r.envelope, 0.01, 1e-12);

  // Hold: 1 ms = 44 samples at 44.1 kHz during which the envelope stays put; a new rise restarts it.
  compressor h;
  h.setAttack(0.001);
  h.setHold(1);
  EXPECT_EQ(h.holdSamples, 44);
  h.process(0.5);
  for (int i = 0; i < 30; i++)
    h.process(0.0);
  h.process(1.0); // a new rise re-arms the hold
  const double peak = h.envelope;
  for (int i = 0; i < 44; i++)
  {
    h.process(0.0);
    ASSERT_EQ(h.envelope, peak) << i;
  }
  h.process(0.0);
  EXPECT_LT(h.envelope, peak);

  // init() recomputes for another rate (the setters keep using sampleRate).
  envFollower e;
  e.init(1, 10, 100, 2, 48000);
  EXPECT_EQ(e.holdSamples, 96);
  EXPECT_EQ(e.mode, 1);
  for (int i = 0; i < 480; i++)
    e.process(1.0);
  EXPECT_NEAR(e.envelope, 0.99, 1e-3);
}

// Settings and inputs the formulas would turn into NaN, divergence or undefined casts.
TEST(Compressor, FaultySettingsAndInputsStaySafe)
{
  // Zero or negative times mean instant; the plain formula gives a coefficient above 1 (or NaN) for them.
  for (double ms : {0.0, -0.0, -5.0, double(NAN)})
  {
    compressor c;
    c.setAttack(ms);
    c.setRelease(ms);
    EXPECT_EQ(c.attackCoef, 0.0) << ms;
    EXPECT_EQ(c.releaseCoef, 0.0) << ms;
    c.process(0.5);
    EXPECT_EQ(c.envelope, 0.5);
    c.process(0.25);
    EXPECT_EQ(c.envelope, 0.25);
  }

  // A rate that is not positive keeps the previous one.
  envFollower e;
  for (double rate : {0.0, -44100.0, double(NAN), double(INFINITY)})
  {
    e.init(0, 5, 50, 0, rate);
    EXPECT_EQ(e.sampleRate, 44100) << rate;
    EXPECT_EQ(e.attackCoef, 0.9793314582608171);
  }

  // Hold lengths a cast cannot represent.
  compressor h;
  h.setHold(1e300);
  EXPECT_EQ(h.holdSamples, INT32_MAX);
  h.setHold(NAN);
  EXPECT_EQ(h.holdSamples, 0);
  h.setHold(-1e300);
  EXPECT_EQ(h.holdSamples, 0);

  // Ratio 1 on silence: 0 x infinity would be NaN.
  compressor one = withCurve(-20, 1, 0);
  EXPECT_EQ(one.processStereo(0, 0), 0.0);
  compressor nanRatio = withCurve(-20, 4, 0.4);
  nanRatio.setRatio(NAN);
  EXPECT_EQ(nanRatio.processStereo(0.1, 0.1), 0.0); // inside the knee
  EXPECT_EQ(nanRatio.processStereo(1, 1), 0.0);
  nanRatio.setRatio(4);
  EXPECT_LT(nanRatio.processStereo(1, 1), -1.0);

  // A NaN or infinite detector sample must not stick the envelope: NaN reads as silence, inf as full scale.
  compressor c = withCurve(-20, 4, 0);
  c.processStereo(0.5, 0.5);
  EXPECT_TRUE(std::isfinite(c.processStereo(NAN, NAN)));
  EXPECT_TRUE(std::isfinite(c.envelope));
  EXPECT_TRUE(std::isfinite(c.processStereo(INFINITY, 0)));
  EXPECT_TRUE(std::isfinite(c.envelope));
  for (int i = 0; i < 200000; i++)
    c.processStereo(0.01, 0.01);
  EXPECT_NEAR(c.envelope, 0.01, 1e-9);
  EXPECT_EQ(c.gainReductionDb, 0.0);
}
