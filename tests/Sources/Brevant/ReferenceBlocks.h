#pragma once
// Deliberately literal, slow transcriptions of the signal chain's building blocks, for tests and benchmarks only:
// coefficients stored on every oversampler call, delay lines shifted element by element, powers evaluated on every
// attack/release setter call, every single-precision rounding written out where the chain makes it. The blocks are
// held to these bit for bit, and the whole chain (ReferenceChain.h) is built from them.

#include <algorithm>
#include <cmath>

namespace refchain
{

/** v rounded to single precision and widened back. */
inline double f(double v) { return static_cast<double>(static_cast<float>(v)); }

/** dB to natural-log units: e^(k * g) = 10^(g / 20). */
constexpr double k = 0.1151292546497;

inline double saturate(double v)
{
  return v + 0.005623413251903491 *
                 (std::sin(std::pow(v, 4.0)) - (std::tanh(std::pow(v, 3.0)) - std::tanh(std::pow(v, 4.0))));
}

struct Biquad
{
  int type = 0;
  double a0 = 1.0, a1 = 0.0, a2 = 0.0, b1 = 0.0, b2 = 0.0;
  double Fc = 0.5, Q = 0.707, peakGain = 0.0;
  double z1 = 0.0, z2 = 0.0;

  void setBiquad(int t, double fc, double q, double gain)
  {
    type = t;
    Fc = fc;
    Q = q;
    peakGain = gain;
    calcBiquad();
  }

  void calcBiquad()
  {
    const double K = std::tan(M_PI * Fc);
    const double V = std::pow(10.0, std::fabs(peakGain) / 20.0);
    double norm;
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
      a0 = norm;
      a1 = -2 * norm;
      a2 = norm;
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
    default:
      break;
    }
  }

  float process(float in)
  {
    const double x = in;
    const double out = x * a0 + z1;
    z1 = x * a1 + z2 - b1 * out;
    z2 = x * a2 - b2 * out;
    return static_cast<float>(out);
  }
};

struct Compressor
{
  double attackCoef = 0.9793314582608171;
  double releaseCoef = 0.9979136668688285;
  double envelope = 0.0;
  double sampleRate = 44100.0;
  int holdCount = 0;
  int holdSamples = 0;
  double gainReductionDb = 0.0;
  double kneeFactor = 0.0;
  double ratio = 4.0;
  double thresholdDb = 0.0;
  double kneeWidthDb = -0.0;
  double kneeLoDb = 0.0;
  double kneeHiDb = 0.0;
  double slope = 0.75;
  int limiter = 0;

  void setAttack(double ms) { attackCoef = std::pow(0.01, 1 / (ms * sampleRate * 0.001)); }
  void setRelease(double ms) { releaseCoef = std::pow(0.01, 1 / (ms * sampleRate * 0.001)); }
  void setHold(double ms) { holdSamples = static_cast<int>(ms * 0.001 * sampleRate); }
  void setRatio(double r)
  {
    if (r != ratio)
    {
      ratio = r;
      recomputeKnee();
    }
  }
  void setThreshold(double t)
  {
    if (t != thresholdDb)
    {
      thresholdDb = t;
      recomputeKnee();
    }
  }
  void setKnee(double kf)
  {
    if (kf != kneeFactor)
    {
      kneeFactor = kf;
      recomputeKnee();
    }
  }
  void recomputeKnee()
  {
    kneeWidthDb = -thresholdDb * kneeFactor;
    kneeLoDb = thresholdDb - kneeWidthDb / 2;
    kneeHiDb = thresholdDb + kneeWidthDb / 2;
    slope = limiter ? 1.0 : 1 - 1 / ratio;
  }

  double process(double x) { return x * std::exp(processStereo(x, x) * k); }

  double processStereo(double a, double b)
  {
    const double d = std::fabs(std::max(a, b));
    if (d > envelope)
    {
      envelope = (envelope - d) * attackCoef + d;
      holdCount = 0;
    }
    else if (holdCount < holdSamples)
    {
      holdCount += 1;
    }
    else
    {
      envelope = (envelope - d) * releaseCoef + d;
    }

    const double L = 8.685889638065037 * std::log(std::fabs(envelope));
    slope = limiter ? 1.0 : 1 - 1 / ratio;
    double gain;
    if (kneeWidthDb > 0 && kneeLoDb < L && L < kneeHiDb)
    {
      slope = slope * (L - kneeLoDb) / kneeWidthDb * 0.5;
      gain = slope * (kneeLoDb - L);
    }
    else
    {
      gain = slope * (thresholdDb - L);
      if (gain > 0)
        gain = 0;
    }
    gainReductionDb = gain;
    return gain;
  }
};

struct OSAA
{
  double offset = 1e-15;
  double d[129] = {};
  double h[129] = {};

  double process(double x)
  {
    offset = -offset;

    for (int i = 0; i < 64; i++)
      h[i] = 0.0;
    h[1] = -0.000005;
    h[3] = 0.000012;
    h[5] = -0.000025;
    h[7] = 0.000045;
    h[9] = -0.000075;
    h[11] = 0.000118;
    h[13] = -0.00018;
    h[15] = 0.000264;
    h[17] = -0.000377;
    h[19] = 0.000524;
    h[21] = -0.000713;
    h[23] = 0.000954;
    h[25] = -0.001255;
    h[27] = 0.001627;
    h[29] = -0.002082;
    h[31] = 0.002635;
    h[33] = -0.003301;
    h[35] = 0.004099;
    h[37] = -0.005051;
    h[39] = 0.006187;
    h[41] = -0.007542;
    h[43] = 0.009163;
    h[45] = -0.011119;
    h[47] = 0.013505;
    h[49] = -0.01647;
    h[51] = 0.020254;
    h[53] = -0.025272;
    h[55] = 0.032309;
    h[57] = -0.043056;
    h[59] = 0.061915;
    h[61] = -0.105047;
    h[63] = 0.317956;
    h[64] = 0.5;

    for (int i = 128; i >= 1; i--)
      d[i] = d[i - 1];
    d[0] = x + offset;

    double y = 0.0;
    for (int i = 0; i < 64; i++)
      y += h[i] * (d[i] + d[128 - i]);
    y += h[64] * d[64];
    return y - offset;
  }

  void reset()
  {
    for (double& v : d)
      v = 0.0;
    for (double& v : h)
      v = 0.0;
  }
};

struct VU
{
  double state = 1.0;

  double Process(double in, double fs)
  {
    const double c = std::exp(-4.60517018599 / (fs * 0.3));
    double a = std::fabs(in);
    if (a > state)
      a = a * 1.0125;
    else
      a = a * 0.9875;
    state = (state - a) * c + a;
    return state;
  }
};

} // namespace refchain
