// Brevant's audio callback: three detectors drive three compressors whose gains are applied to the whole signal
// ahead of a band-shaped filter each, followed by the global mix and gain and a faint saturation, optionally at
// twice the host rate.
//
// Every value is computed with the same operations, in the same order and with the same single-precision
// roundings as the per-sample description of the chain (a literal transcription in the tests must agree bit for
// bit), but the work is arranged for speed:
// - A block runs in chunks of kChunk samples, stage by stage. The recurrences (filters, envelopes, meters) are
//   cheap; the costly functions (sin, tanh, pow, log, exp) only consume their results, so each stage evaluates
//   them for the whole chunk in a loop of independent iterations that the processor overlaps.
// - The compressor's per-sample step is split accordingly: envelope, then level (the logarithm), then the static
//   curve, which needs the ratio set during the previous sample, known from the level term of that sample.
// - The settings the chain re-applies to the compressors every sample change at most after the block's first
//   sample; the band gains e^(k gr) are computed once and serve both the band stage and the meter; a level far
//   below the threshold needs no logarithm and no reduction no exponential; the filters are retuned only when
//   their settings change.
// - The saturation's powers are exact, at a fraction of pow()'s cost (BrevantMath.h).
// - Subnormal numbers are flushed to zero while the chain runs (see ScopedFlushSubnormals).

#include "Brevant.h"
#include "BrevantMath.h"

#include <cfloat>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

using namespace iplug;
using brevant::Saturate;

namespace
{

/** Rounds to single precision and back: the filters take and return float samples. */
inline double f(double v) { return static_cast<double>(static_cast<float>(v)); }

/** dB to natural-log units: e^(kDbToLn * g) = 10^(g / 20). */
constexpr double kDbToLn = 0.1151292546497;

constexpr int kChunk = 64;

inline bool IsFinite(double v) { return std::fabs(v) <= DBL_MAX; }

/** Subnormal numbers flushed to zero (results) and read as zero (operands) while the chain runs; the caller's
 * floating-point mode is restored afterwards. Once the input or side-chain falls silent, envelopes and filter
 * states decay into the subnormal range, where an envelope even stays for good (its release step rounds back to
 * the same tiny value) and every operation on it costs many times the normal price. Flushed, they become exact
 * zeros; values in the normal range are computed exactly as before. */
class ScopedFlushSubnormals
{
public:
#if defined(__SSE2__)
  ScopedFlushSubnormals() : mSaved(_mm_getcsr()) { _mm_setcsr(mSaved | kFlushToZero | kSubnormalsAreZero); }
  ~ScopedFlushSubnormals() { _mm_setcsr(mSaved); }

private:
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kSubnormalsAreZero = 0x0040;
  unsigned mSaved;
#endif
};

/** One band's compressor over a block, in the stages above: operation for operation compressor::processStereo
 * on the band's detector followed by the chain's setters (attack, release, hold 0, ratio X + offset, threshold,
 * knee). */
class CompressorRun
{
public:
  CompressorRun(compressor& c, const BandSettings& band, double ratioOffset, double knee)
      : mC(c), mRatioOffset(ratioOffset)
  {
    // The block's first sample still uses what the previous block left; the setters run after it, and with
    // unchanged arguments they change nothing for the rest of the block.
    mAttack0 = c.attackCoef;
    mRelease0 = c.releaseCoef;
    mHold0 = c.holdSamples;
    mThreshold0 = c.thresholdDb;
    mWidth0 = c.kneeWidthDb;
    mLo0 = c.kneeLoDb;
    mHi0 = c.kneeHiDb;
    mRatio = c.ratio;
    mQuiet0 = QuietEnvelope(mThreshold0, mWidth0, mLo0);
    c.setAttack(band.attackMs);
    c.setRelease(band.releaseMs);
    c.setHold(0.0);
    c.setThreshold(1.0 - band.driveDb);
    c.setKnee(knee);
    mQuiet = QuietEnvelope(c.thresholdDb, c.kneeWidthDb, c.kneeLoDb);
  }

  /** Level in dB per sample from the envelope, in place. An envelope certainly below the curve's lowest bend (the
   * threshold, or the knee's start) gets -inf instead of its logarithm: the static curve then gives 0 dB either
   * way, so the gain is the same without the costly logarithm. */
  void Level(double* envToLevel, int n, bool blockStart) const
  {
    for (int i = 0; i < n; i++)
    {
      const double env = std::fabs(envToLevel[i]);
      envToLevel[i] = env < (blockStart && i == 0 ? mQuiet0 : mQuiet) ? -INFINITY : 8.685889638065037 * std::log(env);
    }
  }

  /** Envelope step per sample of the chunk; env receives the envelope after each. */
  void Envelope(const double* det, double* env, int n, bool blockStart)
  {
    double envelope = mC.envelope;
    int32_t holdCount = mC.holdCount;
    for (int i = 0; i < n; i++)
    {
      const bool first = blockStart && i == 0;
      const double attack = first ? mAttack0 : mC.attackCoef;
      const double release = first ? mRelease0 : mC.releaseCoef;
      const int32_t hold = first ? mHold0 : mC.holdSamples;
      double d = std::fabs(det[i]);
      if (!(d <= DBL_MAX)) // a non-finite detector value: NaN reads as silence, +inf as the largest level
        d = d > 0.0 ? DBL_MAX : 0.0;
      if (d > envelope)
      {
        envelope = (envelope - d) * attack + d;
        holdCount = 0;
      }
      else if (holdCount < hold)
        holdCount += 1;
      else
        envelope = (envelope - d) * release + d;
      env[i] = envelope;
    }
    mC.envelope = envelope;
    mC.holdCount = holdCount;
  }

  /** Static curve: gain in dB per sample from the level in dB, X the chunk's level terms (ratio = X + offset
   * from the next sample on). In place: level in, gain out. */
  void Gain(double* levelToGain, const double* X, int n, bool blockStart)
  {
    for (int i = 0; i < n; i++)
    {
      const bool first = blockStart && i == 0;
      const double threshold = first ? mThreshold0 : mC.thresholdDb;
      const double width = first ? mWidth0 : mC.kneeWidthDb;
      const double lo = first ? mLo0 : mC.kneeLoDb;
      const double hi = first ? mHi0 : mC.kneeHiDb;
      const double level = levelToGain[i];
      double slope = mC.limiter ? 1.0 : 1.0 - 1.0 / mRatio;
      double gain;
      if (width > 0.0 && lo < level && level < hi)
      {
        slope = slope * (level - lo) / width * 0.5;
        gain = slope * (lo - level);
        if (gain != gain)
          gain = 0.0;
      }
      else
      {
        gain = slope * (threshold - level);
        if (!(gain <= 0.0))
          gain = 0.0;
      }
      levelToGain[i] = gain;
      mSlope = slope;
      mGain = gain;
      mRatio = X[i] + mRatioOffset;
    }
  }

  /** Leaves the compressor as the per-sample setters would have. */
  void Finish()
  {
    mC.gainReductionDb = mGain;
    mC.slope = mSlope;
    mC.setRatio(mRatio);
  }

private:
  // Linear envelope below which the level is under the threshold and the knee by far more than any rounding of
  // the logarithm (1e-9 relative, about 1e-8 dB): no gain reduction. 0 when there is no such bound.
  static double QuietEnvelope(double threshold, double width, double lo)
  {
    const double bound = width > 0.0 ? lo : threshold;
    const double linear = std::pow(10.0, bound / 20.0) * (1.0 - 1e-9);
    return linear > 0.0 ? linear : 0.0; // NaN settings: no shortcut
  }

  compressor& mC;
  double mQuiet0 = 0.0, mQuiet = 0.0;
  double mRatioOffset;
  double mAttack0, mRelease0;
  int32_t mHold0;
  double mThreshold0, mWidth0, mLo0, mHi0;
  double mRatio;
  double mSlope = 0.0, mGain = 0.0;
};

/** Per-chunk intermediate values. */
struct Chunk
{
  double yL[kChunk], yR[kChunk];                 // conditioned input
  double X[kChunk];                              // level term
  double low[kChunk], mid[kChunk], high[kChunk]; // detector -> envelope -> level -> gain (dB) -> linear gain
  double tMid[kChunk];                           // mid detector through its filter (side-chain only)
  double hL[kChunk], hR[kChunk];                 // before the output saturation
  double u[4][kChunk];                           // oversampled: up-filtered L, R, then the dropped sub-sample's
};

} // namespace

void Brevant::RetuneFilters(double sampleRate)
{
  const GlobalSettings& g = mGlobal;
  // Retuning with the same settings gives the same coefficients (and leaves the states alone), so it only runs
  // when something it depends on changed.
  const double tuning[6] = {sampleRate,
                            g.lowXoverHz,
                            g.highXoverHz,
                            mBands[kBandLow].shelfGainDb,
                            mBands[kBandMid].shelfGainDb,
                            mBands[kBandHigh].shelfGainDb};
  if (std::memcmp(tuning, mTunedFor, sizeof tuning) == 0)
    return;
  std::memcpy(mTunedFor, tuning, sizeof tuning);
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
    if (values.paramIdx[i] >= kLowMeter && values.paramIdx[i] <= kHighMeter)
      mShownMeters[values.paramIdx[i] - kLowMeter] = values.values[i];
    if (Steinberg::Vst::Parameter* param =
            parameters.getParameter(static_cast<Steinberg::Vst::ParamID>(values.paramIdx[i])))
      param->setNormalized(values.values[i]); // clamped to 0..1 by the parameter
  }
}

void Brevant::ProcessBlock(sample** inputs, sample** outputs, int nFrames)
{
  const ScopedFlushSubnormals flush;
  const double fs = GetSampleRate();
  RetuneFilters(fs);
  if (nFrames < 0)
    nFrames = 0;

  if (mGlobal.active == 0)
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

  if (nFrames > 0)
    ProcessActive(inputs, outputs, nFrames, fs);

  SendMeters(mMeters[kBandLow], mMeters[kBandMid], mMeters[kBandHigh]);
  UpdateLatency(mGlobal.active * mGlobal.osLatency);
}

void Brevant::ProcessActive(sample** inputs, sample** outputs, int nFrames, double fs)
{
  // One consistent set of settings per block, whatever another thread writes meanwhile.
  const GlobalSettings g = mGlobal;
  const BandSettings low = mBands[kBandLow];
  const BandSettings mid = mBands[kBandMid];
  const BandSettings high = mBands[kBandHigh];
  const double lowDry = 1.0 - low.mix, midDry = 1.0 - mid.mix, highDry = 1.0 - high.mix;
  const double dry = 1.0 - g.mix, wet = g.mix * g.outputGain;

  CompressorRun lowComp(mCompressors[kBandLow], low, 2.0, 0.4);
  CompressorRun midComp(mCompressors[kBandMid], mid, 4.0, 0.2);
  CompressorRun highComp(mCompressors[kBandHigh], high, 12.0, 0.1);

  // Set when a non-finite value went into the oversampling filters: their delay lines would replay it for more
  // than a hundred samples after the input is clean again, so they start afresh after this block.
  bool oversamplerPoisoned = false;

  Chunk c;
  for (int start = 0; start < nFrames; start += kChunk)
  {
    const int n = nFrames - start < kChunk ? nFrames - start : kChunk;
    const bool blockStart = start == 0;
    const sample* inL = inputs[0] + start;
    const sample* inR = inputs[1] + start;
    const sample* scL = inputs[2] + start;
    const sample* scR = inputs[3] + start;

    // Conditioned input and the detector filters (the recurrences).
    for (int i = 0; i < n; i++)
    {
      const double d = dcOffset;
      dcOffset = -d;
      const double yL = f(mInputFilterL.process(static_cast<float>((inL[i] - d) * g.inputGain)));
      const double yR = f(mInputFilterR.process(static_cast<float>((inR[i] - d) * g.inputGain)));
      c.yL[i] = yL;
      c.yR[i] = yR;
      double sL = low.sidechain == 1 ? scL[i] : yL;
      double sR = low.sidechain == 1 ? scR[i] : yR;
      c.low[i] = f(mLowDetector.process(static_cast<float>((sL + sR) * 0.5)));
      sL = high.sidechain == 1 ? scL[i] : yL;
      sR = high.sidechain == 1 ? scR[i] : yR;
      c.high[i] = f(mHighDetector.process(static_cast<float>((sL + sR) * 0.5)));
      if (mid.sidechain == 1)
        c.tMid[i] = f(mMidDetector.process(static_cast<float>(scL[i] + scR[i]))) * 0.5;
    }

    // The level term (the mean of the conditioned samples read as dB) and the saturated detectors.
    for (int i = 0; i < n; i++)
    {
      c.X[i] = std::pow(10.0, ((c.yL[i] + c.yR[i]) * 0.5) / 20.0);
      c.low[i] = Saturate(c.low[i]);
      c.high[i] = Saturate(c.high[i]);
    }
    // Without a side-chain the mid band is what the low and high detectors leave of the signal.
    for (int i = 0; i < n; i++)
      c.mid[i] = Saturate(mid.sidechain == 1 ? c.tMid[i] : (c.yL[i] + c.yR[i]) * 0.5 - c.high[i] - c.low[i]);

    // Compressors: envelopes, levels, static curves, then the linear gains.
    lowComp.Envelope(c.low, c.low, n, blockStart);
    highComp.Envelope(c.high, c.high, n, blockStart);
    midComp.Envelope(c.mid, c.mid, n, blockStart);
    lowComp.Level(c.low, n, blockStart);
    highComp.Level(c.high, n, blockStart);
    midComp.Level(c.mid, n, blockStart);
    lowComp.Gain(c.low, c.X, n, blockStart);
    highComp.Gain(c.high, c.X, n, blockStart);
    midComp.Gain(c.mid, c.X, n, blockStart);
    for (int i = 0; i < n; i++)
    {
      // No reduction is a gain of exactly 1.
      c.low[i] = c.low[i] == 0.0 ? 1.0 : std::exp(kDbToLn * c.low[i]);
      c.mid[i] = c.mid[i] == 0.0 ? 1.0 : std::exp(kDbToLn * c.mid[i]);
      c.high[i] = c.high[i] == 0.0 ? 1.0 : std::exp(kDbToLn * c.high[i]);
    }

    // The three band stages in series, each gain applied to the whole signal ahead of its shaping filter; then
    // the global mix and gain, both the dry path and the drive compensated for the input gain.
    for (int i = 0; i < n; i++)
    {
      const double yL = c.yL[i], yR = c.yR[i];
      double oL = yL, oR = yR;
      if (low.active == 1)
      {
        oL = f(mLowShelfL.process(static_cast<float>(yL * c.low[i])));
        oR = f(mLowShelfR.process(static_cast<float>(yR * c.low[i])));
      }
      const double bL = yL * lowDry + low.mix * oL;
      const double bR = yR * lowDry + low.mix * oR;
      oL = bL;
      oR = bR;
      if (mid.active == 1)
      {
        oL = f(mMidBellL.process(static_cast<float>(bL * c.mid[i])));
        oR = f(mMidBellR.process(static_cast<float>(bR * c.mid[i])));
      }
      const double cL = bL * midDry + mid.mix * oL;
      const double cR = bR * midDry + mid.mix * oR;
      oL = cL;
      oR = cR;
      if (high.active == 1)
      {
        oL = f(mHighShelfL.process(static_cast<float>(cL * c.high[i])));
        oR = f(mHighShelfR.process(static_cast<float>(cR * c.high[i])));
      }
      const double eL = cL * highDry + high.mix * oL;
      const double eR = cR * highDry + high.mix * oR;
      c.hL[i] = (dry * yL + wet * eL) / g.inputGain;
      c.hR[i] = (dry * yR + wet * eR) / g.inputGain;
    }

    // Output saturation, at the host rate or zero-stuffed to twice it (the factor 2 restores the level the
    // inserted zeros take away; the second sub-sample's result is dropped).
    sample* outL = outputs[0] + start;
    sample* outR = outputs[1] + start;
    if (g.osFactor == 0)
    {
      for (int i = 0; i < n; i++)
      {
        outL[i] = Saturate(c.hL[i]);
        outR[i] = Saturate(c.hR[i]);
      }
    }
    else
    {
      // The factor is 2 whenever it is not 0: one further sub-sample per sample.
      bool finite = true;
      for (int i = 0; i < n; i++)
      {
        c.u[0][i] = mUpL.process(c.hL[i]);
        c.u[1][i] = mUpR.process(c.hR[i]);
        c.u[2][i] = mUpL.process(0.0);
        c.u[3][i] = mUpR.process(0.0);
        finite = finite && IsFinite(c.hL[i]) && IsFinite(c.hR[i]);
      }
      for (int i = 0; i < n; i++)
      {
        c.u[0][i] = Saturate(2.0 * c.u[0][i]);
        c.u[1][i] = Saturate(2.0 * c.u[1][i]);
        c.u[2][i] = Saturate(2.0 * c.u[2][i]);
        c.u[3][i] = Saturate(2.0 * c.u[3][i]);
      }
      for (int i = 0; i < n; i++)
      {
        outL[i] = mDownL.process(c.u[0][i]);
        outR[i] = mDownR.process(c.u[1][i]);
        mDownL.process(c.u[2][i]);
        mDownR.process(c.u[3][i]);
        finite = finite && IsFinite(c.u[0][i]) && IsFinite(c.u[1][i]) && IsFinite(c.u[2][i]) && IsFinite(c.u[3][i]);
      }
      oversamplerPoisoned = oversamplerPoisoned || !finite;
    }

    // Needle ballistics, from the same linear gains the band stages used.
    for (int i = 0; i < n; i++)
    {
      mMeters[kBandLow] = mLowVU.Process(c.low[i], fs);
      mMeters[kBandMid] = mMidVU.Process(c.mid[i], fs);
      mMeters[kBandHigh] = mHighVU.Process(c.high[i], fs);
    }
  }

  lowComp.Finish();
  midComp.Finish();
  highComp.Finish();
  if (oversamplerPoisoned)
    ResetOversampler();
}
