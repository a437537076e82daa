// Pins every output bit of the signal-chain blocks against deliberately literal, slow transcriptions of their
// arithmetic (shifted delay lines, coefficients stored on every call, powers on every setter call), so an
// optimisation that changes rounding anywhere fails here.

#include "Biquad.h"
#include "OSAA.h"
#include "VUClass.h"
#include "compressor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace
{
namespace ref
{
struct Biquad
{
  int type = 0;
  double a0 = 1, a1 = 0, a2 = 0, b1 = 0, b2 = 0, Fc = 0.5, Q = 0.707, peakGain = 0, z1 = 0, z2 = 0;

  void set(int t, double fc, double q, double g)
  {
    type = t;
    Fc = fc;
    Q = q;
    peakGain = g;
    double norm;
    double V = pow(10, fabs(peakGain) / 20.0);
    double K = tan(M_PI * Fc);
    switch (type)
    {
    case 0:
      norm = 1 / (1 + K / Q + K * K);
      a0 = K * K * norm;
      a1 = 2 * a0;
      a2 = a0;
      b1 = 2 * (K * K - 1) * norm;
      b2 = (1 - K / Q + K * K) * norm;
      break;
    case 1:
      norm = 1 / (1 + K / Q + K * K);
      a0 = 1 * norm;
      a1 = -2 * a0;
      a2 = a0;
      b1 = 2 * (K * K - 1) * norm;
      b2 = (1 - K / Q + K * K) * norm;
      break;
    case 2:
      norm = 1 / (1 + K / Q + K * K);
      a0 = K / Q * norm;
      a1 = 0;
      a2 = -a0;
      b1 = 2 * (K * K - 1) * norm;
      b2 = (1 - K / Q + K * K) * norm;
      break;
    case 3:
      norm = 1 / (1 + K / Q + K * K);
      a0 = (1 + K * K) * norm;
      a1 = 2 * (K * K - 1) * norm;
      a2 = a0;
      b1 = a1;
      b2 = (1 - K / Q + K * K) * norm;
      break;
    case 4:
      if (peakGain >= 0)
      {
        norm = 1 / (1 + K / Q + K * K);
        a0 = (1 + V / Q * K + K * K) * norm;
        a1 = 2 * (K * K - 1) * norm;
        a2 = (1 - V / Q * K + K * K) * norm;
        b1 = a1;
        b2 = (1 - K / Q + K * K) * norm;
      }
      else
      {
        norm = 1 / (1 + V / Q * K + K * K);
        a0 = (1 + K / Q + K * K) * norm;
        a1 = 2 * (K * K - 1) * norm;
        a2 = (1 - K / Q + K * K) * norm;
        b1 = a1;
        b2 = (1 - V / Q * K + K * K) * norm;
      }
      break;
    case 5:
      if (peakGain >= 0)
      {
        norm = 1 / (1 + K / Q + K * K);
        a0 = (1 + V / Q * K + V * K * K) * norm;
        a1 = 2 * (V * K * K - 1) * norm;
        a2 = (1 - V / Q * K + V * K * K) * norm;
        b1 = 2 * (K * K - 1) * norm;
        b2 = (1 - K / Q + K * K) * norm;
      }
      else
      {
        norm = 1 / (1 + V / Q * K + V * K * K);
        a0 = (1 + K / Q + K * K) * norm;
        a1 = 2 * (K * K - 1) * norm;
        a2 = (1 - K / Q + K * K) * norm;
        b1 = 2 * (V * K * K - 1) * norm;
        b2 = (1 - V / Q * K + V * K * K) * norm;
      }
      break;
    case 6:
      if (peakGain >= 0)
      {
        norm = 1 / (1 + K / Q + K * K);
        a0 = (V + V / Q * K + K * K) * norm;
        a1 = 2 * (K * K - V) * norm;
        a2 = (V - V / Q * K + K * K) * norm;
        b1 = 2 * (K * K - 1) * norm;
        b2 = (1 - K / Q + K * K) * norm;
      }
      else
      {
        norm = 1 / (V + V / Q * K + K * K);
        a0 = (1 + K / Q + K * K) * norm;
        a1 = 2 * (K * K - 1) * norm;
        a2 = (1 - K / Q + K * K) * norm;
        b1 = 2 * (K * K - V) * norm;
        b2 = (V - V / Q * K + K * K) * norm;
      }
      break;
    }
  }

  float process(float in)
  {
    double out = in * a0 + z1;
    z1 = in * a1 + z2 - b1 * out;
    z2 = in * a2 - b2 * out;
    return out;
  }
};

struct Compressor
{
  double attackCoef = pow(0.01, 1.0 / (5 * 44100 * 0.001));
  double releaseCoef = pow(0.01, 1.0 / (50 * 44100 * 0.001));
  double envelope = 0, sampleRate = 44100;
  int holdCount = 0, holdSamples = 0;
  double gr = 0, kneeFactor = 0, ratio = 4, threshold = 0, kneeWidth = -0.0, kneeLo = 0, kneeHi = 0, slope = 0.75;
  int limiter = 0;

  void knee()
  {
    kneeWidth = -threshold * kneeFactor;
    kneeLo = threshold - kneeWidth / 2;
    kneeHi = threshold + kneeWidth / 2;
    slope = limiter ? 1 : 1 - 1 / ratio;
  }
  void setAttack(double ms) { attackCoef = pow(0.01, 1 / (ms * sampleRate * 0.001)); }
  void setRelease(double ms) { releaseCoef = pow(0.01, 1 / (ms * sampleRate * 0.001)); }
  void setHold(double ms) { holdSamples = int(ms * 0.001 * sampleRate); }
  void setRatio(double r)
  {
    if (r != ratio)
    {
      ratio = r;
      knee();
    }
  }
  void setThreshold(double t)
  {
    if (t != threshold)
    {
      threshold = t;
      knee();
    }
  }
  void setKnee(double k)
  {
    if (k != kneeFactor)
    {
      kneeFactor = k;
      knee();
    }
  }
  double gain(double d)
  {
    if (d > envelope)
    {
      envelope = (envelope - d) * attackCoef + d;
      holdCount = 0;
    }
    else if (holdCount < holdSamples)
      holdCount++;
    else
      envelope = (envelope - d) * releaseCoef + d;

    double L = 8.685889638065037 * log(fabs(envelope));
    slope = limiter ? 1 : 1 - 1 / ratio;
    double g;
    if (kneeWidth > 0 && L > kneeLo && L < kneeHi)
    {
      slope = slope * (L - kneeLo) / kneeWidth * 0.5;
      g = slope * (kneeLo - L);
    }
    else
    {
      g = slope * (threshold - L);
      if (g > 0)
        g = 0;
    }
    gr = g;
    return g;
  }
  double processStereo(double a, double b) { return gain(fabs(a > b ? a : b)); }
  double process(double x) { return x * exp(gain(fabs(x)) * 0.1151292546497); }
};

struct VU
{
  double state;
  double Process(double in, double fs)
  {
    double c = exp(-4.60517018599 / (fs * 0.3));
    double a = fabs(in);
    if (a > state)
      a *= 1.0125;
    else
      a *= 0.9875;
    state = (state - a) * c + a;
    return state;
  }
};

struct Oversampler
{
  double offset = 1e-15;
  double d[129] = {};
  double h[129] = {};

  double process(double x)
  {
    static const double odd[32] = {-0.000005, 0.000012, -0.000025, 0.000045, -0.000075, 0.000118, -0.00018,  0.000264,
                                   -0.000377, 0.000524, -0.000713, 0.000954, -0.001255, 0.001627, -0.002082, 0.002635,
                                   -0.003301, 0.004099, -0.005051, 0.006187, -0.007542, 0.009163, -0.011119, 0.013505,
                                   -0.01647,  0.020254, -0.025272, 0.032309, -0.043056, 0.061915, -0.105047, 0.317956};
    offset = -offset;
    for (int k = 0; k < 64; k++)
      h[k] = (k % 2) ? odd[k / 2] : 0.0;
    h[64] = 0.5;
    for (int k = 128; k >= 1; k--)
      d[k] = d[k - 1];
    d[0] = x + offset;
    double y = 0;
    for (int k = 0; k < 64; k++)
      y += h[k] * (d[k] + d[128 - k]);
    y += h[64] * d[64];
    return y - offset;
  }
};
} // namespace ref

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
      ref::Biquad r;
      for (int block = 0; block < 50; block++)
      {
        const double fc = hz[block % 10] / rates[block % 5], q = qs[(block / 10) % 5];
        f.setBiquad(type, fc, q, gain);
        r.set(type, fc, q, gain);
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
  ref::Compressor r;
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
  ref::Compressor q;
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
    ASSERT_TRUE(sameBits(p.gainReductionDb, q.gr)) << i;
  }
}

TEST(ExactBits, VUAndOversampler)
{
  VUClass vu(1.0);
  ref::VU rv{1.0};
  Lcg rng{9};
  for (int i = 0; i < 50000; i++)
  {
    const double g = std::exp(0.1151292546497 * -12 * (1 + rng.next()) * (i % 5000 < 2500));
    const double fs = i < 25000 ? 44100 : 96000;
    ASSERT_TRUE(sameBits(vu.Process(g, fs), rv.Process(g, fs))) << i;
  }

  // An up/down pair as the chain runs it, with a reset halfway through.
  OSAA up, down;
  ref::Oversampler rup, rdown;
  for (int i = 0; i < 6000; i++)
  {
    if (i == 3000)
    {
      up.reset();
      down.reset();
      rup = ref::Oversampler{rup.offset};
      rdown = ref::Oversampler{rdown.offset};
    }
    const double s = rng.next() * 0.9;
    const double u = up.process(s), ru = rup.process(s);
    ASSERT_TRUE(sameBits(u, ru)) << i;
    const double v = std::tanh(2 * u);
    ASSERT_TRUE(sameBits(down.process(v), rdown.process(v))) << i;
    const double u2 = up.process(0), ru2 = rup.process(0);
    ASSERT_TRUE(sameBits(u2, ru2)) << i;
    ASSERT_TRUE(sameBits(down.process(std::tanh(2 * u2)), rdown.process(std::tanh(2 * ru2)))) << i;
  }
}
