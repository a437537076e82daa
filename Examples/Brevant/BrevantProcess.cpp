// Brevant's audio callback: three detectors drive three compressors whose gains are applied to the whole signal
// ahead of a band-shaped filter each, followed by the global mix and gain and a faint saturation, optionally at
// twice the host rate. The arithmetic is kept operation for operation, including every single-precision rounding
// between filters, so the output does not depend on how this file is compiled (no FMA contraction, no fast-math).

#include "Brevant.h"

#include <cmath>
#include <cstring>

using namespace iplug;

namespace
{

/** Rounds to single precision and back: the filters take and return float samples. */
inline double f(double v) { return static_cast<double>(static_cast<float>(v)); }

/** dB to natural-log units: e^(kDbToLn * g) = 10^(g / 20). */
constexpr double kDbToLn = 0.1151292546497;

/** -45 dB: the saturation colours faintly and never limits. */
constexpr double kSaturationDepth = 0.005623413251903491;

inline double Saturate(double v)
{
  const double v4 = std::pow(v, 4.0);
  return v + kSaturationDepth * (std::sin(v4) - (std::tanh(std::pow(v, 3.0)) - std::tanh(v4)));
}

inline bool IsFinite(double v) { return std::fabs(v) <= 1.7976931348623157e308; }

} // namespace

void Brevant::RetuneFilters(double sampleRate)
{
  const GlobalSettings& g = mGlobal;
  const double midHz = g.highXoverHz * 0.5 + g.lowXoverHz;
  mLowDetector.setBiquad(kLowpass, g.lowXoverHz / sampleRate, 0.707, 0.0);
  mMidDetector.setBiquad(kBandpass, midHz / sampleRate, 0.007, 0.0);
  mHighDetector.setBiquad(kHighpass, g.highXoverHz / sampleRate, 0.707, 0.0);
  mLowShelfL.setBiquad(kLowshelf, g.lowXoverHz / sampleRate, 0.707, mBands[kBandLow].shelfGainDb);
  mLowShelfR.setBiquad(kLowshelf, g.lowXoverHz / sampleRate, 0.707, mBands[kBandLow].shelfGainDb);
  mMidBellL.setBiquad(kPeak, midHz / sampleRate, 0.107, mBands[kBandMid].shelfGainDb);
  mMidBellR.setBiquad(kPeak, midHz / sampleRate, 0.107, mBands[kBandMid].shelfGainDb);
  mHighShelfL.setBiquad(kHighshelf, g.highXoverHz / sampleRate, 0.707, mBands[kBandHigh].shelfGainDb);
  mHighShelfR.setBiquad(kHighshelf, g.highXoverHz / sampleRate, 0.707, mBands[kBandHigh].shelfGainDb);
  mInputFilterL.setBiquad(kBandpass, 500.0 / sampleRate, 0.007, 0.0);
  mInputFilterR.setBiquad(kBandpass, 500.0 / sampleRate, 0.007, 0.0);
}

void Brevant::SendMeters(double low, double mid, double high)
{
  IMeterValues values;
  values.Add(kLowMeter, low);
  values.Add(kMidMeter, mid);
  values.Add(kHighMeter, high);
  SendMeterValuesFromProcessor(values);
}

void Brevant::UpdateLatency(int latency)
{
  // The binding stores the latency at once and leaves telling the host to the main thread.
  if (latency != GetLatency())
    SetLatency(latency);
}

void Brevant::ResetOversampler()
{
  mUpL.reset();
  mUpR.reset();
  mDownL.reset();
  mDownR.reset();
}

void Brevant::OnMeterValuesUI(const IMeterValues& values)
{
  IPlugVST3::OnMeterValuesUI(values);
  for (int i = 0; i < values.count && i < IMeterValues::kMaxValues; i++)
  {
    if (Steinberg::Vst::Parameter* param =
            parameters.getParameter(static_cast<Steinberg::Vst::ParamID>(values.paramIdx[i])))
      param->setNormalized(values.values[i]); // clamped to 0..1 by the parameter
  }
}

void Brevant::ProcessBlock(sample** inputs, sample** outputs, int nFrames)
{
  const double fs = GetSampleRate();
  RetuneFilters(fs);
  if (nFrames < 0)
    nFrames = 0;

  // One consistent set of settings per block, whatever another thread writes meanwhile.
  const GlobalSettings g = mGlobal;
  const BandSettings low = mBands[kBandLow];
  const BandSettings mid = mBands[kBandMid];
  const BandSettings high = mBands[kBandHigh];

  if (g.active == 0)
  {
    const int nOut = NChannelsConnected(kOutput);
    for (int c = 0; c < nOut; c++)
    {
      if (outputs[c] != inputs[c] && nFrames > 0)
        std::memmove(outputs[c], inputs[c], sizeof(sample) * static_cast<size_t>(nFrames));
    }
    UpdateLatency(0);
    SendMeters(1.0, 1.0, 1.0);
    return;
  }

  const sample* inL = inputs[0];
  const sample* inR = inputs[1];
  const sample* scL = inputs[2];
  const sample* scR = inputs[3];
  sample* outL = outputs[0];
  sample* outR = outputs[1];
  compressor& lowComp = mCompressors[kBandLow];
  compressor& midComp = mCompressors[kBandMid];
  compressor& highComp = mCompressors[kBandHigh];

  // Set when a non-finite value went into the oversampling filters: their delay lines would replay it for more
  // than a hundred samples after the input is clean again, so they start afresh after this block.
  bool oversamplerPoisoned = false;

  for (int i = 0; i < nFrames; i++)
  {
    const double d = dcOffset;
    dcOffset = -d;

    const double yL = f(mInputFilterL.process(static_cast<float>((inL[i] - d) * g.inputGain)));
    const double yR = f(mInputFilterR.process(static_cast<float>((inR[i] - d) * g.inputGain)));

    // The mean of the conditioned samples read as a level in dB.
    const double X = std::pow(10.0, ((yL + yR) * 0.5) / 20.0);

    double sL = low.sidechain == 1 ? scL[i] : yL;
    double sR = low.sidechain == 1 ? scR[i] : yR;
    const double detLow = Saturate(f(mLowDetector.process(static_cast<float>((sL + sR) * 0.5))));
    const double grLow = lowComp.processStereo(detLow, detLow);
    // Set after processing: each sample is compressed with the settings made during the previous one.
    lowComp.setAttack(low.attackMs);
    lowComp.setRelease(low.releaseMs);
    lowComp.setHold(0.0);
    lowComp.setRatio(X + 2.0);
    lowComp.setThreshold(1.0 - low.driveDb);
    lowComp.setKnee(0.4);

    sL = high.sidechain == 1 ? scL[i] : yL;
    sR = high.sidechain == 1 ? scR[i] : yR;
    const double detHigh = Saturate(f(mHighDetector.process(static_cast<float>((sL + sR) * 0.5))));
    const double grHigh = highComp.processStereo(detHigh, detHigh);
    highComp.setAttack(high.attackMs);
    highComp.setRelease(high.releaseMs);
    highComp.setHold(0.0);
    highComp.setRatio(X + 12.0);
    highComp.setThreshold(1.0 - high.driveDb);
    highComp.setKnee(0.1);

    // Without a side-chain the mid band is what the low and high detectors leave of the signal.
    double t;
    if (mid.sidechain == 1)
      t = f(mMidDetector.process(static_cast<float>(scL[i] + scR[i]))) * 0.5;
    else
      t = (yL + yR) * 0.5 - detHigh - detLow;
    const double detMid = Saturate(t);
    const double grMid = midComp.processStereo(detMid, detMid);
    midComp.setAttack(mid.attackMs);
    midComp.setRelease(mid.releaseMs);
    midComp.setHold(0.0);
    midComp.setRatio(X + 4.0);
    midComp.setThreshold(1.0 - mid.driveDb);
    midComp.setKnee(0.2);

    // The three band stages in series, each gain applied to the whole signal ahead of its shaping filter.
    double oL = yL, oR = yR;
    if (low.active == 1)
    {
      const double gain = std::exp(kDbToLn * grLow);
      oL = f(mLowShelfL.process(static_cast<float>(yL * gain)));
      oR = f(mLowShelfR.process(static_cast<float>(yR * gain)));
    }
    const double bL = yL * (1.0 - low.mix) + low.mix * oL;
    const double bR = yR * (1.0 - low.mix) + low.mix * oR;

    oL = bL;
    oR = bR;
    if (mid.active == 1)
    {
      const double gain = std::exp(kDbToLn * grMid);
      oL = f(mMidBellL.process(static_cast<float>(bL * gain)));
      oR = f(mMidBellR.process(static_cast<float>(bR * gain)));
    }
    const double cL = bL * (1.0 - mid.mix) + mid.mix * oL;
    const double cR = bR * (1.0 - mid.mix) + mid.mix * oR;

    oL = cL;
    oR = cR;
    if (high.active == 1)
    {
      const double gain = std::exp(kDbToLn * grHigh);
      oL = f(mHighShelfL.process(static_cast<float>(cL * gain)));
      oR = f(mHighShelfR.process(static_cast<float>(cR * gain)));
    }
    const double eL = cL * (1.0 - high.mix) + high.mix * oL;
    const double eR = cR * (1.0 - high.mix) + high.mix * oR;

    // Both the dry path and the drive are compensated for the input gain.
    const double mL = (1.0 - g.mix) * yL + g.mix * g.outputGain * eL;
    const double mR = (1.0 - g.mix) * yR + g.mix * g.outputGain * eR;
    const double hL = mL / g.inputGain;
    const double hR = mR / g.inputGain;

    if (g.osFactor == 0)
    {
      outL[i] = Saturate(hL);
      outR[i] = Saturate(hR);
    }
    else
    {
      // Zero-stuffed to twice the rate; the factor 2 restores the level the inserted zeros take away.
      double vL = Saturate(2.0 * mUpL.process(hL));
      double vR = Saturate(2.0 * mUpR.process(hR));
      outL[i] = mDownL.process(vL);
      outR[i] = mDownR.process(vR);
      bool finite = IsFinite(hL) && IsFinite(hR) && IsFinite(vL) && IsFinite(vR);
      for (int j = 1; j < g.osFactor; j++)
      {
        vL = Saturate(2.0 * mUpL.process(0.0));
        vR = Saturate(2.0 * mUpR.process(0.0));
        mDownL.process(vL);
        mDownR.process(vR);
        finite = finite && IsFinite(vL) && IsFinite(vR);
      }
      oversamplerPoisoned = oversamplerPoisoned || !finite;
    }

    mMeters[kBandLow] = mLowVU.Process(std::exp(kDbToLn * grLow), fs);
    mMeters[kBandMid] = mMidVU.Process(std::exp(kDbToLn * grMid), fs);
    mMeters[kBandHigh] = mHighVU.Process(std::exp(kDbToLn * grHigh), fs);
  }

  if (oversamplerPoisoned)
    ResetOversampler();

  SendMeters(mMeters[kBandLow], mMeters[kBandMid], mMeters[kBandHigh]);
  UpdateLatency(g.active * g.osLatency);
}
