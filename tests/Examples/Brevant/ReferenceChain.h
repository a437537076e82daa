#pragma once
// A deliberately literal, slow transcription of Brevant's block processing, for tests and the benchmark only.
// It has its own filter, compressor, oversampler and meter code: coefficients stored on every oversampler call,
// delay lines shifted element by element, powers evaluated on every attack/release setter call, every
// single-precision rounding written out where the chain makes it. The plug-in's chain is checked against it.

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

/** The whole chain with its own copy of the engine cache, fed plain parameter values like the plug-in's. */
class Chain
{
public:
  struct Band
  {
    double attackMs = 0, releaseMs = 0, driveDb = 0, shelfGainDb = 0, mix = 0;
    int sidechain = 0, active = 0;
  };

  /** The plug-in's parameter conversions, from a plain value. */
  void OnParamChange(int idx, double v)
  {
    if (idx >= 0 && idx < 15)
    {
      Band& b = band[idx / 5];
      switch (idx % 5)
      {
      case 0:
        b.attackMs = v;
        break;
      case 1:
        b.releaseMs = v;
        break;
      case 2:
        b.driveDb = idx == 12 ? v * 1.5 : v;
        break;
      case 3:
        b.shelfGainDb = v * 0.5;
        break;
      case 4:
        b.mix = v / 100;
        break;
      }
      return;
    }
    switch (idx)
    {
    case 15:
      lowXoverHz = v;
      break;
    case 16:
      highXoverHz = v;
      break;
    case 17:
      inputGain = std::pow(10.0, v / 20);
      break;
    case 18:
      outputGain = std::pow(10.0, v / 20);
      break;
    case 19:
      mix = v / 100;
      break;
    case 23:
    case 24:
    case 25:
      band[idx - 23].sidechain = static_cast<int>(v);
      break;
    case 26:
    case 27:
    case 28:
      band[idx - 26].active = static_cast<int>(v);
      break;
    case 29:
      if (static_cast<int>(v) == 1)
        active = 1;
      else if (static_cast<int>(v) == 0)
        active = 0;
      break;
    case 30:
      if (static_cast<int>(v) == 1)
      {
        osFactor = 2;
        osLatency = 64;
      }
      else if (static_cast<int>(v) == 0)
      {
        osFactor = 0;
        osLatency = 0;
      }
      break;
    default:
      break;
    }
  }

  void OnReset()
  {
    upL.reset();
    upR.reset();
    downL.reset();
    downR.reset();
  }

  /** inputs: main L, R, side-chain L, R; outputs: L, R. nOutConnected matters only while bypassed. */
  void ProcessBlock(double** inputs, double** outputs, int nFrames, double sampleRate, int nOutConnected = 2)
  {
    const double midHz = highXoverHz * 0.5 + lowXoverHz;
    lowDetector.setBiquad(0, lowXoverHz / sampleRate, 0.707, 0);
    midDetector.setBiquad(2, midHz / sampleRate, 0.007, 0);
    highDetector.setBiquad(1, highXoverHz / sampleRate, 0.707, 0);
    lowShelfL.setBiquad(5, lowXoverHz / sampleRate, 0.707, band[0].shelfGainDb);
    lowShelfR.setBiquad(5, lowXoverHz / sampleRate, 0.707, band[0].shelfGainDb);
    midBellL.setBiquad(4, midHz / sampleRate, 0.107, band[1].shelfGainDb);
    midBellR.setBiquad(4, midHz / sampleRate, 0.107, band[1].shelfGainDb);
    highShelfL.setBiquad(6, highXoverHz / sampleRate, 0.707, band[2].shelfGainDb);
    highShelfR.setBiquad(6, highXoverHz / sampleRate, 0.707, band[2].shelfGainDb);
    inputFilterL.setBiquad(2, 500 / sampleRate, 0.007, 0);
    inputFilterR.setBiquad(2, 500 / sampleRate, 0.007, 0);

    if (active == 0)
    {
      for (int i = 0; i < nFrames; i++)
        for (int c = 0; c < nOutConnected; c++)
          outputs[c][i] = inputs[c][i];
      if (latency != 0)
        latency = 0;
      sent[0] = sent[1] = sent[2] = 1.0;
      return;
    }

    for (int i = 0; i < nFrames; i++)
    {
      const double d = dcOffset;
      dcOffset = -d;

      const double yL = f(inputFilterL.process(static_cast<float>(f((inputs[0][i] - d) * inputGain))));
      const double yR = f(inputFilterR.process(static_cast<float>(f((inputs[1][i] - d) * inputGain))));

      const double X = std::pow(10.0, ((yL + yR) * 0.5) / 20);

      double sL = band[0].sidechain == 1 ? inputs[2][i] : yL;
      double sR = band[0].sidechain == 1 ? inputs[3][i] : yR;
      double t = f(lowDetector.process(static_cast<float>(f((sL + sR) * 0.5))));
      const double detLow = saturate(t);
      const double grLow = lowComp.processStereo(detLow, detLow);
      lowComp.setAttack(band[0].attackMs);
      lowComp.setRelease(band[0].releaseMs);
      lowComp.setHold(0);
      lowComp.setRatio(X + 2);
      lowComp.setThreshold(1 - band[0].driveDb);
      lowComp.setKnee(0.4);

      sL = band[2].sidechain == 1 ? inputs[2][i] : yL;
      sR = band[2].sidechain == 1 ? inputs[3][i] : yR;
      t = f(highDetector.process(static_cast<float>(f((sL + sR) * 0.5))));
      const double detHigh = saturate(t);
      const double grHigh = highComp.processStereo(detHigh, detHigh);
      highComp.setAttack(band[2].attackMs);
      highComp.setRelease(band[2].releaseMs);
      highComp.setHold(0);
      highComp.setRatio(X + 12);
      highComp.setThreshold(1 - band[2].driveDb);
      highComp.setKnee(0.1);

      if (band[1].sidechain == 1)
        t = f(midDetector.process(static_cast<float>(f(inputs[2][i] + inputs[3][i])))) * 0.5;
      else
        t = (yL + yR) * 0.5 - detHigh - detLow;
      const double detMid = saturate(t);
      const double grMid = midComp.processStereo(detMid, detMid);
      midComp.setAttack(band[1].attackMs);
      midComp.setRelease(band[1].releaseMs);
      midComp.setHold(0);
      midComp.setRatio(X + 4);
      midComp.setThreshold(1 - band[1].driveDb);
      midComp.setKnee(0.2);

      double oL = yL, oR = yR;
      if (band[0].active == 1)
      {
        const double g = std::exp(k * grLow);
        oL = f(lowShelfL.process(static_cast<float>(f(yL * g))));
        oR = f(lowShelfR.process(static_cast<float>(f(yR * g))));
      }
      const double bL = yL * (1 - band[0].mix) + band[0].mix * oL;
      const double bR = yR * (1 - band[0].mix) + band[0].mix * oR;

      oL = bL;
      oR = bR;
      if (band[1].active == 1)
      {
        const double g = std::exp(k * grMid);
        oL = f(midBellL.process(static_cast<float>(f(bL * g))));
        oR = f(midBellR.process(static_cast<float>(f(bR * g))));
      }
      const double cL = bL * (1 - band[1].mix) + band[1].mix * oL;
      const double cR = bR * (1 - band[1].mix) + band[1].mix * oR;

      oL = cL;
      oR = cR;
      if (band[2].active == 1)
      {
        const double g = std::exp(k * grHigh);
        oL = f(highShelfL.process(static_cast<float>(f(cL * g))));
        oR = f(highShelfR.process(static_cast<float>(f(cR * g))));
      }
      const double eL = cL * (1 - band[2].mix) + band[2].mix * oL;
      const double eR = cR * (1 - band[2].mix) + band[2].mix * oR;

      const double mL = (1 - mix) * yL + mix * outputGain * eL;
      const double mR = (1 - mix) * yR + mix * outputGain * eR;
      const double hL = mL / inputGain;
      const double hR = mR / inputGain;

      double outL, outR;
      if (osFactor == 0)
      {
        outL = saturate(hL);
        outR = saturate(hR);
      }
      else
      {
        double uL = upL.process(hL);
        double uR = upR.process(hR);
        double vL = saturate(2 * uL);
        double vR = saturate(2 * uR);
        outL = downL.process(vL);
        outR = downR.process(vR);
        for (int j = 1; j < osFactor; j++)
        {
          uL = upL.process(0);
          uR = upR.process(0);
          vL = saturate(2 * uL);
          vR = saturate(2 * uR);
          downL.process(vL);
          downR.process(vR);
        }
      }
      outputs[0][i] = outL;
      outputs[1][i] = outR;

      double gL = std::exp(k * grLow), gM = std::exp(k * grMid), gH = std::exp(k * grHigh);
      if (active == 0)
        gL = gM = gH = 1.0;
      meter[0] = lowVU.Process(gL, sampleRate);
      meter[1] = midVU.Process(gM, sampleRate);
      meter[2] = highVU.Process(gH, sampleRate);
    }

    sent[0] = meter[0];
    sent[1] = meter[1];
    sent[2] = meter[2];
    const int newLatency = active * osLatency;
    if (newLatency != latency)
      latency = newLatency;
  }

  // Engine cache.
  Band band[3];
  double lowXoverHz = 0, highXoverHz = 0, inputGain = 0, outputGain = 0, mix = 0;
  int active = 0, osFactor = 0, osLatency = 0;

  // Chain state.
  Compressor lowComp, midComp, highComp;
  Biquad lowDetector, midDetector, highDetector;
  Biquad lowShelfL, lowShelfR, midBellL, midBellR, highShelfL, highShelfR;
  Biquad inputFilterL, inputFilterR;
  double dcOffset = 1e-15;
  OSAA upL, upR, downL, downR;
  VU lowVU, midVU, highVU;

  double meter[3] = {1.0, 1.0, 1.0}; // last values of the meters
  double sent[3] = {1.0, 1.0, 1.0};  // what the last block handed to the editor
  int latency = 0;                   // the latency the last block left reported
};

} // namespace refchain
