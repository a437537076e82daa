#pragma once
// Brevant: a three-band dynamics processor. The plug-in class holds the parameter table, the engine cache the
// signal chain reads, and the signal-chain blocks.

#include "IPlugSelectedAPI.h"
#include "config.h"

#include "Biquad.h"
#include "OSAA.h"
#include "VUClass.h"
#include "compressor.h"

#include <cmath>
#include <cstdint>

enum EParams
{
  kLowAttack = 0,
  kLowRelease,
  kLowInput,
  kLowOutput,
  kLowMix,
  kMidAttack,
  kMidRelease,
  kMidInput,
  kMidOutput,
  kMidMix,
  kHighAttack,
  kHighRelease,
  kHighInput,
  kHighOutput,
  kHighMix,
  kLowXover,
  kHighXover,
  kGlobalInput,
  kGlobalOutput,
  kGlobalMix,
  kLowMeter,
  kMidMeter,
  kHighMeter,
  kLowSidechain,
  kMidSidechain,
  kHighSidechain,
  kLowBypass,
  kMidBypass,
  kHighBypass,
  kBypass,
  kOversampling,
  kNumParams
};

static_assert(kNumParams == brevant::kNumParams);

/** One band's settings as the signal chain uses them. */
struct BandSettings
{
  double attackMs = 0.0;
  double releaseMs = 0.0;
  double driveDb = 0.0; // the compressor threshold is 1 - driveDb
  double shelfGainDb = 0.0;
  double mix = 0.0;      // wet fraction 0..1
  int32_t sidechain = 0; // 1: the detector listens to the side-chain input
  int32_t active = 0;    // 1: the band is processed
};

/** Settings of the whole chain. */
struct GlobalSettings
{
  double lowXoverHz = 0.0;
  double highXoverHz = 0.0;
  double inputGain = 0.0;  // linear
  double outputGain = 0.0; // linear
  double mix = 0.0;        // 0..1
  int32_t active = 0;
  int32_t osFactor = 0;  // 0 or 2
  int32_t osLatency = 0; // 0 or 64 samples
};

class Brevant final : public iplug::Plugin
{
public:
  enum EBand
  {
    kBandLow = 0,
    kBandMid,
    kBandHigh,
    kNumBands
  };

  explicit Brevant(const iplug::InstanceInfo& info);
  ~Brevant() override;

  void ProcessBlock(iplug::sample** inputs, iplug::sample** outputs, int nFrames) override;
  void OnParamChange(int paramIdx) override;
  void OnReset() override;
  bool SerializeState(iplug::IByteChunk& chunk) const override;
  int UnserializeState(const iplug::IByteChunk& chunk, int startPos) override;

  const BandSettings& GetBandSettings(int band) const { return mBands[band]; }
  const GlobalSettings& GetGlobalSettings() const { return mGlobal; }
  compressor& GetCompressor(int band) { return mCompressors[band]; }
  /** The band's needle reading after the last block (1: no gain reduction). */
  double GetMeter(int band) const { return mMeters[band]; }

private:
  void DefineParameters();
  // Factory presets (BrevantPresets.cpp), made from the parameters' defaults.
  void MakeFactoryPresets();
  // Editor (BrevantLayout.cpp): the graphics context it opens in and the panel laid out on it.
  iplug::igraphics::IGraphics* MakeEditorGraphics();
  void LayoutEditor(iplug::igraphics::IGraphics* pGraphics);

protected:
  // Engine cache, filled by OnParamChange and read by the signal chain.
  BandSettings mBands[kNumBands];
  GlobalSettings mGlobal;

  // Signal chain.
  compressor mCompressors[kNumBands]; // low, mid, high
  Biquad mLowDetector;
  Biquad mMidDetector;
  Biquad mHighDetector;
  Biquad mLowShelfL, mLowShelfR;
  Biquad mMidBellL, mMidBellR;
  Biquad mHighShelfL, mHighShelfR;
  Biquad mInputFilterL, mInputFilterR;
  // Per-sample scratch values of the chain.
  double mInL = 0.0, mInR = 0.0;
  double mDetLow = 0.0, mDetMid = 0.0, mDetHigh = 0.0;
  double mGrLow = 0.0, mGrMid = 0.0, mGrHigh = 0.0;
  OSAA mUpL, mUpR, mDownL, mDownR;
  VUClass mLowVU{1.0}, mMidVU{1.0}, mHighVU{1.0};
  // Main thread: the meter readings last shown (1.0: no gain reduction).
  double mShownMeters[kNumBands] = {1.0, 1.0, 1.0};

  // Block processing (BrevantProcess.cpp).
public:
  /** Main thread: shows the readings in the editor and mirrors them into the controller's values of the meter
   * parameters, where hosts (generic editors, offline renderers) can read them. */
  void OnMeterValuesUI(const iplug::IMeterValues& values) override;
  /** The editor opens with the needles on the last readings: at rest (1.0) before any audio was processed. */
  void OnUIOpen() override;

  /** Whether settled silence may be skipped (on unless a test or benchmark turns it off to compare). */
  void SetIdleSkipping(bool on) { mIdleSkipping = on; }
  /** Whether the last block was settled silence, skipped. */
  bool WasIdle() const { return mWasIdle; }

private:
  void RetuneFilters(double sampleRate);
  void ProcessActive(iplug::sample** inputs, iplug::sample** outputs, int nFrames, double sampleRate);
  void SendMeters(double low, double mid, double high);
  void UpdateLatency(int latency);
  void ResetOversampler();

  // Settled silence (BrevantProcess.cpp): once the inputs the chain reads are exact zeros and every filter and the
  // oversampler rest on exact zeros, processing a silent block only writes zeros, lets the envelopes decay and the
  // needles move; ProcessIdle does exactly that, with the same arithmetic.
  static constexpr int kNumSettledKeys = 30;
  void SettledKey(double sampleRate, double (&key)[kNumSettledKeys]) const;
  bool InputsSilent(iplug::sample** inputs, int nFrames) const;
  bool AtRest(iplug::sample** outputs, int nFrames) const;
  void ProcessIdle(iplug::sample** outputs, int nFrames, double sampleRate);

  double mMeters[kNumBands] = {1.0, 1.0, 1.0};          // last VU readings, sent again for an empty block
  double mTunedFor[6] = {NAN, NAN, NAN, NAN, NAN, NAN}; // rate, crossovers and shelf gains of the filters' tuning
  bool mIdleSkipping = true;
  bool mWasIdle = false;
  int mBlocksAtRest = 0;                 // consecutive silent blocks processed that ended at rest, same settings
  double mAtRestWith[kNumSettledKeys] = {}; // the settings they ran with
};
