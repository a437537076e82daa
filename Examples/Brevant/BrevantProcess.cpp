// Brevant's audio callback: three detectors drive three compressors whose gains are applied to the whole signal
// ahead of a band-shaped filter each, followed by the global mix and gain and a faint saturation, optionally at
// twice the host rate.
//
// The arithmetic follows the per-sample description of the chain, with the same single-precision roundings, but
// the work is arranged for speed:
// - A block runs in chunks of kChunk samples, stage by stage. The recurrences (filters, envelopes, meters) are
//   cheap; the costly functions (sin, tanh, exp, log) only consume their results, so each stage evaluates them for
//   the whole chunk at once with vector maths (VectorMath.h), several samples per instruction. Those functions
//   round differently from the scalar ones in the last bits, so the output matches a literal transcription to
//   within 1e-9, not bit for bit.
// - The compressor's per-sample step is split accordingly: envelope, then level (the logarithm), then the static
//   curve, which needs the ratio set during the previous sample, known from the level term of that sample.
// - The settings the chain re-applies to the compressors every sample change at most after the block's first
//   sample; the band gains e^(k gr) are computed once and serve both the band stage and the meter; the filters are
//   retuned only when their settings change. Left and right filters (and the low and high detectors) run side by
//   side on two-lane vectors, lane by lane with the scalar arithmetic.
// - The oversampler runs polyphase on the vector kernels (OSAA.h).
// - Subnormal numbers are flushed to zero while the chain runs (see ScopedFlushSubnormals). That is also why the
//   chain adds no anti-denormal offset to its input (nor the oversampler to its lines): the offset would keep
//   states from ever coming to rest and leave a residue of about 1e-28 in the output of silence for good.
// - Settled silence is not computed (ProcessIdle): with the inputs at exact zeros and every state at rest, a block
//   writes zeros, the envelopes decay and the needles move, and nothing else changes.

#include "Brevant.h"
#include "VectorMath.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

using namespace iplug;
namespace simd = brevant::simd;

namespace
{

/** Rounds to single precision and back: the filters take and return float samples. */
inline double f(double v) { return static_cast<double>(static_cast<float>(v)); }

/** dB to natural-log units: e^(kDbToLn * g) = 10^(g / 20). */
constexpr double kDbToLn = 0.1151292546497;

/** ln 10: 10^x = e^(kLn10 x). */
constexpr double kLn10 = 2.302585092994046;

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

typedef double V2 __attribute__((vector_size(16)));
typedef float F2 __attribute__((vector_size(8)));

/** Rounds both lanes to single precision and back, as f() does. */
inline V2 F(V2 v) { return __builtin_convertvector(__builtin_convertvector(v, F2), V2); }

/** Two filters side by side (left and right, or two detectors), lane by lane with the arithmetic of
 * Biquad::process: the same bits, half the instructions. */
struct BiquadPair
{
  V2 a0, a1, a2, b1, b2, z1, z2;

  BiquadPair(const Biquad& l, const Biquad& r)
      : a0{l.a0, r.a0}, a1{l.a1, r.a1}, a2{l.a2, r.a2}, b1{l.b1, r.b1}, b2{l.b2, r.b2}, z1{l.z1, r.z1},
        z2{l.z2, r.z2}
  {
  }

  void Store(Biquad& l, Biquad& r) const
  {
    l.z1 = z1[0];
    l.z2 = z2[0];
    r.z1 = z1[1];
    r.z2 = z2[1];
  }

  /** x already in single precision; returns the outputs in single precision, widened. */
  V2 Process(V2 x)
  {
    const V2 out = x * a0 + z1;
    z1 = x * a1 + z2 - b1 * out;
    z2 = x * a2 - b2 * out;
    const V2 d = out - out; // 0 where finite, NaN otherwise
    if (!(d[0] == 0.0 && d[1] == 0.0)) [[unlikely]]
    {
      for (int lane = 0; lane < 2; lane++)
      {
        if (!(d[lane] == 0.0))
          z1[lane] = z2[lane] = 0.0;
      }
    }
    return F(out);
  }
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
    c.setAttack(band.attackMs);
    c.setRelease(band.releaseMs);
    c.setHold(0.0);
    c.setThreshold(1.0 - band.driveDb);
    c.setKnee(knee);
  }

  /** Level in dB per sample from the envelope, in place. */
  static void Level(double* envToLevel, int n, const simd::Kernels& k)
  {
    for (int i = 0; i < n; i++)
      envToLevel[i] = std::fabs(envToLevel[i]);
    k.log(envToLevel, envToLevel, n);
    for (int i = 0; i < n; i++)
      envToLevel[i] = 8.685889638065037 * envToLevel[i];
  }

  /** Envelope steps of the three bands over the chunk, in one loop so that their recurrences overlap; each
   * detector array receives its envelope after each sample. */
  static void Envelopes(CompressorRun* const (&runs)[3], double* const (&detToEnv)[3], int n, bool blockStart)
  {
    double envelope[3];
    int32_t holdCount[3];
    for (int b = 0; b < 3; b++)
    {
      envelope[b] = runs[b]->mC.envelope;
      holdCount[b] = runs[b]->mC.holdCount;
    }
    for (int i = 0; i < n; i++)
    {
      const bool first = blockStart && i == 0;
      for (int b = 0; b < 3; b++)
      {
        const CompressorRun& r = *runs[b];
        const double attack = first ? r.mAttack0 : r.mC.attackCoef;
        const double release = first ? r.mRelease0 : r.mC.releaseCoef;
        const int32_t hold = first ? r.mHold0 : r.mC.holdSamples;
        double d = std::fabs(detToEnv[b][i]);
        if (!(d <= DBL_MAX)) // a non-finite detector value: NaN reads as silence, +inf as the largest level
          d = d > 0.0 ? DBL_MAX : 0.0;
        // Rising: attack, and the hold starts again; falling: release once the hold has run out.
        const bool rising = d > envelope[b];
        const bool holding = !rising && holdCount[b] < hold;
        const double next = (envelope[b] - d) * (rising ? attack : release) + d;
        envelope[b] = holding ? envelope[b] : next;
        holdCount[b] = rising ? 0 : holdCount[b] + (holding ? 1 : 0);
        detToEnv[b][i] = envelope[b];
      }
    }
    for (int b = 0; b < 3; b++)
    {
      runs[b]->mC.envelope = envelope[b];
      runs[b]->mC.holdCount = holdCount[b];
    }
  }

  /** Static curve: gain in dB per sample from the level in dB, X the chunk's level terms (ratio = X + offset
   * from the next sample on). In place: level in, gain out. */
  void Gain(double* levelToGain, const double* X, int n, bool blockStart)
  {
    // The slope each sample starts from, 1 - 1/ratio with the ratio of the sample before: one vectorised pass.
    double slope0[kChunk];
    slope0[0] = mRatio;
    for (int i = 1; i < n; i++)
      slope0[i] = X[i - 1] + mRatioOffset;
    for (int i = 0; i < n; i++)
      slope0[i] = mC.limiter ? 1.0 : 1.0 - 1.0 / slope0[i];
    // The block's first sample still has the previous block's curve; the rest of the block one set of values,
    // kept in locals (the compressor's fields could share memory with the arrays, as far as the compiler knows).
    int i = 0;
    if (blockStart)
    {
      Curve(levelToGain, slope0, 0, 1, mThreshold0, mWidth0, mLo0, mHi0);
      i = 1;
    }
    if (i < n)
      Curve(levelToGain, slope0, i, n, mC.thresholdDb, mC.kneeWidthDb, mC.kneeLoDb, mC.kneeHiDb);
    mRatio = X[n - 1] + mRatioOffset;
  }

  void Curve(double* levelToGain, const double* slope0, int from, int to, const double threshold,
             const double width, const double lo, const double hi)
  {
    double slope = mSlope, gain = mGain;
    for (int i = from; i < to; i++)
    {
      const double level = levelToGain[i];
      slope = slope0[i];
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
    }
    mSlope = slope;
    mGain = gain;
  }

  /** Leaves the compressor as the per-sample setters would have. */
  void Finish()
  {
    mC.gainReductionDb = mGain;
    mC.slope = mSlope;
    mC.setRatio(mRatio);
  }

private:
  compressor& mC;
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
  double e[kChunk];                              // scratch
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
  Plugin::OnMeterValuesUI(values);
  for (int i = 0; i < values.count && i < IMeterValues::kMaxValues; i++)
  {
    if (values.paramIdx[i] >= kLowMeter && values.paramIdx[i] <= kHighMeter)
      mShownMeters[values.paramIdx[i] - kLowMeter] = values.values[i];
    SetHostReadableValue(values.paramIdx[i], values.values[i]);
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
    mWasIdle = false;
    return;
  }

  if (nFrames > 0)
  {
    // Silence is skipped only from a state two processed silent blocks have shown to be at rest with these very
    // settings: the first brings every filter to rest, the second runs all its samples from there, so the
    // per-sample settings the compressors carry from one sample to the next are those of silence too.
    const bool silent = mIdleSkipping && InputsSilent(inputs, nFrames);
    double key[kNumSettledKeys];
    SettledKey(fs, key);
    const bool sameSettings = std::memcmp(key, mAtRestWith, sizeof key) == 0;
    mWasIdle = silent && sameSettings && mBlocksAtRest >= 2;
    if (mWasIdle)
      ProcessIdle(outputs, nFrames, fs);
    else
    {
      ProcessActive(inputs, outputs, nFrames, fs);
      if (silent && AtRest(outputs, nFrames))
      {
        mBlocksAtRest = sameSettings ? mBlocksAtRest + 1 : 1;
        std::memcpy(mAtRestWith, key, sizeof key);
      }
      else
        mBlocksAtRest = 0;
    }
  }

  SendMeters(mMeters[kBandLow], mMeters[kBandMid], mMeters[kBandHigh]);
  UpdateLatency(mGlobal.active * mGlobal.osLatency);
}

void Brevant::SettledKey(double sampleRate, double (&key)[kNumSettledKeys]) const
{
  int k = 0;
  for (const BandSettings& b : mBands)
  {
    for (double v : {b.attackMs, b.releaseMs, b.driveDb, b.shelfGainDb, b.mix, double(b.sidechain), double(b.active)})
      key[k++] = v;
  }
  const GlobalSettings& g = mGlobal;
  for (double v : {g.lowXoverHz, g.highXoverHz, g.inputGain, g.outputGain, g.mix, double(g.active), double(g.osFactor),
                   double(g.osLatency), sampleRate})
    key[k++] = v;
}

namespace
{
bool AllPositiveZeros(const double* v, int n)
{
  uint64_t bits = 0;
  for (int i = 0; i < n; i++)
  {
    uint64_t b;
    std::memcpy(&b, v + i, sizeof b);
    bits |= b;
  }
  return bits == 0;
}

template <typename T> bool SameBits(T a, T b) { return std::memcmp(&a, &b, sizeof a) == 0; }

/** A filter at rest: a zero in gives a zero out and leaves the state as it is. */
bool AtRest(const Biquad& f)
{
  Biquad next = f;
  return SameBits(next.process(0.0f), 0.0f) && SameBits(next.z1, f.z1) && SameBits(next.z2, f.z2);
}
} // namespace

bool Brevant::InputsSilent(sample** inputs, int nFrames) const
{
  // Exact positive zeros: the arithmetic below is shown to rest on them. The side-chain only counts when a band
  // listens to it.
  if (!AllPositiveZeros(inputs[0], nFrames) || !AllPositiveZeros(inputs[1], nFrames))
    return false;
  const bool keyed = mBands[kBandLow].sidechain == 1 || mBands[kBandMid].sidechain == 1 ||
                     mBands[kBandHigh].sidechain == 1;
  return !keyed || (AllPositiveZeros(inputs[2], nFrames) && AllPositiveZeros(inputs[3], nFrames));
}

bool Brevant::AtRest(sample** outputs, int nFrames) const
{
  // Every filter the chain runs gives zero for zero and stays put. Zeros into the detectors then make saturated
  // zeros, the mid band's difference is zero, the level term e^0 is 1, the band stages multiply zeros by gains of
  // 1 and mix them with non-negative weights: positive zeros throughout, as this block's output shows.
  const GlobalSettings& g = mGlobal;
  if (!AllPositiveZeros(outputs[0], nFrames) || !AllPositiveZeros(outputs[1], nFrames))
    return false;
  for (const Biquad* f : {&mInputFilterL, &mInputFilterR, &mLowDetector, &mHighDetector})
  {
    if (!::AtRest(*f))
      return false;
  }
  if (mBands[kBandMid].sidechain == 1 && !::AtRest(mMidDetector))
    return false;
  const Biquad* stages[kNumBands][2] = {
      {&mLowShelfL, &mLowShelfR}, {&mMidBellL, &mMidBellR}, {&mHighShelfL, &mHighShelfR}};
  for (int b = 0; b < kNumBands; b++)
  {
    if (mBands[b].active == 1 && (!::AtRest(*stages[b][0]) || !::AtRest(*stages[b][1])))
      return false;
  }
  if (g.osFactor != 0 && !(mUpL.isSilent() && mUpR.isSilent() && mDownL.isSilent() && mDownR.isSilent()))
    return false;
  // The envelopes only decay from here; their gain must already be exactly 0 dB, well clear of the knee and the
  // threshold (a margin of 1 dB covers the vector logarithm's last bits).
  double level[kNumBands];
  for (int b = 0; b < kNumBands; b++)
    level[b] = mCompressors[b].envelope;
  simd::Active().log(level, level, kNumBands); // warmed up: no symbol binding on the audio thread
  for (int b = 0; b < kNumBands; b++)
  {
    const compressor& c = mCompressors[b];
    if (c.envelope != 0.0 && !(8.685889638065037 * level[b] < std::min(c.kneeLoDb, c.thresholdDb) - 1.0))
      return false;
  }
  return true;
}

void Brevant::ProcessIdle(sample** outputs, int nFrames, double fs)
{
  // Exactly what ProcessActive computes for a silent block from rest.
  std::memset(outputs[0], 0, sizeof(sample) * static_cast<size_t>(nFrames));
  std::memset(outputs[1], 0, sizeof(sample) * static_cast<size_t>(nFrames));

  // Release steps towards a detector of zero, with the arithmetic of CompressorRun::Envelopes; zero is where
  // they end.
  for (compressor& c : mCompressors)
  {
    const double d = 0.0, release = c.releaseCoef;
    double envelope = c.envelope;
    for (int i = 0; i < nFrames && envelope != 0.0; i++)
      envelope = (envelope - d) * release + d;
    c.envelope = envelope;
  }

  // The needles, on gains of exactly 1. Their ballistic ends in a cycle of two states; once a state repeats the
  // one two steps back, the rest of the block is a matter of parity.
  VUClass* meters[kNumBands] = {&mLowVU, &mMidVU, &mHighVU};
  for (int b = 0; b < kNumBands; b++)
  {
    VUClass& vu = *meters[b];
    double twoBack = NAN, oneBack = vu.state;
    for (int i = 0; i < nFrames; i++)
    {
      const double now = vu.Process(1.0, fs);
      if (SameBits(now, twoBack))
      {
        if ((nFrames - 1 - i) % 2 != 0)
          vu.state = oneBack;
        break;
      }
      twoBack = oneBack;
      oneBack = now;
    }
    mMeters[b] = vu.state;
  }
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

  const simd::Kernels& k = simd::Active();
  Chunk c;
  for (int start = 0; start < nFrames; start += kChunk)
  {
    const int n = nFrames - start < kChunk ? nFrames - start : kChunk;
    const bool blockStart = start == 0;
    const sample* inL = inputs[0] + start;
    const sample* inR = inputs[1] + start;
    const sample* scL = inputs[2] + start;
    const sample* scR = inputs[3] + start;

    // Conditioned input and the detector filters (the recurrences). The filters run on local copies, so their
    // states stay in registers rather than going through memory the output pointers might share.
    {
      BiquadPair input(mInputFilterL, mInputFilterR), detectors(mLowDetector, mHighDetector);
      Biquad midDet = mMidDetector;
      const bool lowKeyed = low.sidechain == 1, highKeyed = high.sidechain == 1, midKeyed = mid.sidechain == 1;
      for (int i = 0; i < n; i++)
      {
        const V2 y = input.Process(F(V2{inL[i], inR[i]} * g.inputGain));
        c.yL[i] = y[0];
        c.yR[i] = y[1];
        const double main = y[0] + y[1], key = scL[i] + scR[i];
        const V2 t = detectors.Process(F(V2{lowKeyed ? key : main, highKeyed ? key : main} * 0.5));
        c.low[i] = t[0];
        c.high[i] = t[1];
        if (midKeyed)
          c.tMid[i] = f(midDet.process(static_cast<float>(key))) * 0.5;
      }
      input.Store(mInputFilterL, mInputFilterR);
      detectors.Store(mLowDetector, mHighDetector);
      mMidDetector = midDet;
    }

    // The level term (the mean of the conditioned samples read as dB) and the saturated detectors.
    for (int i = 0; i < n; i++)
      c.X[i] = kLn10 * (((c.yL[i] + c.yR[i]) * 0.5) / 20.0);
    k.exp(c.X, c.X, n);
    k.saturate(c.low, c.low, n);
    k.saturate(c.high, c.high, n);
    // Without a side-chain the mid band is what the low and high detectors leave of the signal.
    for (int i = 0; i < n; i++)
      c.mid[i] = mid.sidechain == 1 ? c.tMid[i] : (c.yL[i] + c.yR[i]) * 0.5 - c.high[i] - c.low[i];
    k.saturate(c.mid, c.mid, n);

    // Compressors: envelopes, levels, static curves, then the linear gains.
    CompressorRun::Envelopes({&lowComp, &highComp, &midComp}, {c.low, c.high, c.mid}, n, blockStart);
    CompressorRun::Level(c.low, n, k);
    CompressorRun::Level(c.high, n, k);
    CompressorRun::Level(c.mid, n, k);
    lowComp.Gain(c.low, c.X, n, blockStart);
    highComp.Gain(c.high, c.X, n, blockStart);
    midComp.Gain(c.mid, c.X, n, blockStart);
    for (double* gain : {c.low, c.mid, c.high})
    {
      for (int i = 0; i < n; i++)
        c.e[i] = kDbToLn * gain[i];
      k.exp(c.e, c.e, n);
      // No reduction is a gain of exactly 1.
      for (int i = 0; i < n; i++)
        gain[i] = gain[i] == 0.0 ? 1.0 : c.e[i];
    }

    // The three band stages in series, each gain applied to the whole signal ahead of its shaping filter; then
    // the global mix and gain, both the dry path and the drive compensated for the input gain.
    {
      BiquadPair lowShelf(mLowShelfL, mLowShelfR), midBell(mMidBellL, mMidBellR), highShelf(mHighShelfL, mHighShelfR);
      const bool lowOn = low.active == 1, midOn = mid.active == 1, highOn = high.active == 1;
      for (int i = 0; i < n; i++)
      {
        const V2 y = {c.yL[i], c.yR[i]};
        const V2 oLow = lowOn ? lowShelf.Process(F(y * c.low[i])) : y;
        const V2 b = y * lowDry + low.mix * oLow;
        const V2 oMid = midOn ? midBell.Process(F(b * c.mid[i])) : b;
        const V2 cc = b * midDry + mid.mix * oMid;
        const V2 oHigh = highOn ? highShelf.Process(F(cc * c.high[i])) : cc;
        const V2 e = cc * highDry + high.mix * oHigh;
        const V2 h = (dry * y + wet * e) / g.inputGain;
        c.hL[i] = h[0];
        c.hR[i] = h[1];
      }
      lowShelf.Store(mLowShelfL, mLowShelfR);
      midBell.Store(mMidBellL, mMidBellR);
      highShelf.Store(mHighShelfL, mHighShelfR);
    }

    // Output saturation, at the host rate or zero-stuffed to twice it (the factor 2 restores the level the
    // inserted zeros take away; the second sub-sample's result is dropped).
    sample* outL = outputs[0] + start;
    sample* outR = outputs[1] + start;
    if (g.osFactor == 0)
    {
      k.saturate(c.hL, outL, n);
      k.saturate(c.hR, outR, n);
    }
    else
    {
      // The factor is 2 whenever it is not 0: one further sub-sample per sample, whose output is dropped.
      bool finite = true;
      for (int i = 0; i < n; i++)
        finite = finite && IsFinite(c.hL[i]) && IsFinite(c.hR[i]);
      mUpL.interpolate(c.hL, c.u[0], c.u[2], n);
      mUpR.interpolate(c.hR, c.u[1], c.u[3], n);
      for (double* u : c.u)
      {
        for (int i = 0; i < n; i++)
          u[i] = 2.0 * u[i];
        k.saturate(u, u, n);
        for (int i = 0; i < n; i++)
          finite = finite && IsFinite(u[i]);
      }
      mDownL.decimate(c.u[0], c.u[2], outL, n);
      mDownR.decimate(c.u[1], c.u[3], outR, n);
      oversamplerPoisoned = oversamplerPoisoned || !finite;
    }

    // Needle ballistics, from the same linear gains the band stages used.
    {
      VUClass lowVU = mLowVU, midVU = mMidVU, highVU = mHighVU;
      for (int i = 0; i < n; i++)
      {
        lowVU.Process(c.low[i], fs);
        midVU.Process(c.mid[i], fs);
        highVU.Process(c.high[i], fs);
      }
      mLowVU = lowVU;
      mMidVU = midVU;
      mHighVU = highVU;
      mMeters[kBandLow] = lowVU.state;
      mMeters[kBandMid] = midVU.state;
      mMeters[kBandHigh] = highVU.state;
    }
  }

  lowComp.Finish();
  midComp.Finish();
  highComp.Finish();
  if (oversamplerPoisoned)
    ResetOversampler();
}
