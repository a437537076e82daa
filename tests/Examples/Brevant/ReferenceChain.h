#pragma once
// A deliberately literal, slow transcription of Brevant's block processing, for tests and the benchmark only, built
// from the literal blocks of ReferenceBlocks.h. The plug-in's chain is checked against it.

#include "ReferenceBlocks.h"

#include <algorithm>
#include <cmath>

namespace refchain
{

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
