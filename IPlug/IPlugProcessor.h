#pragma once
// The audio side of a plug-in: accepted channel layouts, the channel routing table with its scratch buffers,
// the processing context, and the per-block entry points a host binding drives.

#include <atomic>
#include <memory>
#include <vector>

#include "IPlugConfig.h"
#include "IPlugLatencyDelayLine.h"
#include "IPlugMidi.h"
#include "IPlugProcessorStructs.h"

namespace iplug
{

class IPlugProcessor
{
public:
  /** Largest block size SetBlockSize accepts (frames per channel). */
  static constexpr int kMaxBlockSize = 1 << 18;

  IPlugProcessor(const Config& config, EAPI plugAPI);
  IPlugProcessor(const IPlugProcessor&) = delete;
  IPlugProcessor& operator=(const IPlugProcessor&) = delete;

  // Virtual operations, in slot order.
  virtual ~IPlugProcessor();

  /** Default: copies input channel i to output channel i where both exist and zeroes the other outputs. */
  virtual void ProcessBlock(sample** inputs, sample** outputs, int nFrames);
  /** Default: forwards the message to SendMidiMsg. */
  virtual void ProcessMidiMsg(const IMidiMsg& msg);
  virtual void ProcessSysEx(ISysEx& /*msg*/) {}
  virtual void OnReset() {}
  virtual void OnActivate(bool /*active*/) {}
  /** Provided by the API class. */
  virtual bool SendMidiMsg(const IMidiMsg& msg) = 0;
  /** Sends every message in order; true only if every send succeeded (true for none). */
  virtual bool SendMidiMsgs(WDL_TypedBuf<IMidiMsg>& msgs);
  virtual bool SendSysEx(const ISysEx& /*msg*/) { return false; }
  virtual void GetBusName(ERoute direction, int busIdx, int nBuses, WDL_String& name) const;
  /** Stores the latency (negative counts as 0) and re-sizes and clears the bypass delay line.
      Within LatencyDelayLine::kReservedFrames this does not allocate, so it may run on the audio thread. */
  virtual void SetLatency(int latency);

  // Processing context.
  double GetSampleRate() const { return mSampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency.load(std::memory_order_relaxed); }
  int GetTailSize() const { return mTailSize; }
  bool GetBypassed() const { return mBypassed.load(std::memory_order_relaxed); }
  bool GetRenderingOffline() const { return mRenderingOffline; }
  int GetPlugType() const { return mPlugType; }
  bool IsInstrument() const { return mPlugType == 1; }
  bool IsMidiEffect() const { return mPlugType == 2; }
  bool DoesMIDIIn() const { return mDoesMIDIIn; }
  bool DoesMIDIOut() const { return mDoesMIDIOut; }
  /** Four-character Audio Unit component type for this plug-in type. */
  int GetAUPluginType() const;

  /** Ignores rates that are not finite and positive; returns whether the rate was taken. */
  bool SetSampleRate(double sampleRate);
  void SetTailSize(int tailSize) { mTailSize = tailSize; }
  /** Atomic: the audio thread follows the host's switch while a state load on the main thread may set it too. */
  void SetBypassed(bool bypassed) { mBypassed.store(bypassed, std::memory_order_relaxed); }
  void SetRenderingOffline(bool offline) { mRenderingOffline = offline; }

  // Transport information of the current block.
  const ITransportInfo& GetTransportInfo() const { return mTimeInfo; }
  void SetTransportInfo(const ITransportInfo& info) { mTimeInfo = info; }
  double GetTempo() const { return mTimeInfo.mTempo; }
  double GetSamplePos() const { return mTimeInfo.mSamplePos; }
  double GetPPQPos() const { return mTimeInfo.mPPQPos; }
  bool GetTransportIsRunning() const { return mTimeInfo.mTransportIsRunning; }
  void GetTimeSig(int& numerator, int& denominator) const
  {
    numerator = mTimeInfo.mNumerator;
    denominator = mTimeInfo.mDenominator;
  }
  /** Samples per quarter note at the current tempo; 0 when the tempo is not positive. */
  double GetSamplesPerBeat() const;

  // Channel layouts.
  int NIOConfigs() const { return mIOConfigs.GetSize(); }
  const IOConfig* GetIOConfig(int idx) const { return mIOConfigs.Get(idx); }
  /** Largest bus count of a direction; configIdx receives the (last) configuration that has it. */
  int MaxNBuses(ERoute direction, int* configIdx = nullptr) const;
  /** Largest channel count of one bus over all layouts; -1 when layout 0 has a wildcard bus there. */
  int MaxNChannelsForBus(ERoute direction, int busIdx) const;
  /** Index of the first layout with exactly these per-bus channel counts, or -1. */
  int GetIOConfigWithChanCounts(const std::vector<int>& inputBuses, const std::vector<int>& outputBuses) const;
  /** Whether some layout has these channel totals; a negative count matches any total. */
  bool LegalIO(int nIn, int nOut) const;
  bool HasWildcardBus(ERoute direction) const;
  /** A layout with more than one input bus has a side-chain input. */
  bool HasSidechainInput() const { return MaxNBuses(kInput) > 1; }

  // Channel records.
  /** Number of channel records of a direction (the largest channel total over all layouts). */
  int MaxNChannels(ERoute direction) const { return mChannelData[direction].GetSize(); }
  int NChannelsConnected(ERoute direction) const;
  int NInChansConnected() const { return NChannelsConnected(kInput); }
  int NOutChansConnected() const { return NChannelsConnected(kOutput); }
  bool IsChannelConnected(ERoute direction, int chIdx) const;
  /** Labels a channel with formatStr and its number (idx, or idx + 1 unless zeroBased), at most 32 characters.
      Accepts at most one integer conversion in formatStr; anything else is taken literally. */
  void SetChannelLabel(ERoute direction, int idx, const char* formatStr, bool zeroBased = false);
  /** The channel's label, or "" for an invalid channel. */
  const char* GetChannelLabel(ERoute direction, int idx) const;
  /** Disconnects input channels from 2 on and flags output channels from 2 on connected. */
  void LimitToStereoIO();

  /** Parses a channel I/O string such as "1-1 2.2-2" into configs (appended) and returns how many it parsed.
      Tokens without "-" are skipped. Bus tokens: "*" is a wildcard, other tokens are decimal channel counts
      (non-numeric reads as 0 and adds no bus; counts saturate at kMaxNChansPerBus). */
  static int ParseChannelIOStr(const char* ioStr, WDL_PtrList<IOConfig>& configs, int& totalNInChans,
                               int& totalNOutChans, int& totalNInBuses, int& totalNOutBuses);

protected:
  // Per-block routing, driven by the host binding on the audio thread. nFrames is limited to the block size
  // wherever a scratch buffer is involved.
  // Host pointers attached for a block are dropped when the block has been processed or passed through.

  /** Sets the connected flag of channels idx .. idx + n - 1 (clipped); disconnected channels present their
      scratch buffer. */
  void SetChannelConnections(ERoute direction, int idx, int n, bool connected);
  /** 64-bit host: connected channels in idx .. idx + n - 1 take the next host pointer in order.
      A null host pointer presents the channel's scratch buffer (zeroed for inputs) instead. */
  void AttachBuffers(ERoute direction, int idx, int n, sample** buffers, int nFrames);
  /** 32-bit host: inputs are converted into scratch; outputs render into scratch and remember the host buffer. */
  void AttachBuffers(ERoute direction, int idx, int n, hostSample32** buffers, int nFrames);
  void ProcessBuffers(sample, int nFrames);
  void ProcessBuffers(hostSample32, int nFrames);
  /** 32-bit host: the converted output is added to what the host buffer holds. */
  void ProcessBuffersAccumulating(int nFrames);
  /** Bypass: delays by the latency when there is a delay line, else the default pass-through copy. */
  void PassThroughBuffers(sample, int nFrames);
  void PassThroughBuffers(hostSample32, int nFrames);
  void ZeroScratchBuffers();
  /** Main thread, not while processing. Resizes and clears every scratch buffer when the size changes.
      Sizes outside 0 .. kMaxBlockSize are refused (false, nothing changes). */
  bool SetBlockSize(int blockSize);
  /** Creates the bypass delay line for all channel records with the current latency (binding constructor). */
  void CreateLatencyDelayLine();
  /** Sizes the record of which input channels the host fed (binding constructor: never on the audio thread). */
  void ResetInputConnections();
  /** Once a block's inputs are connected: an input channel the host no longer feeds (a narrower layout, a bus
      switched off, fewer channels passed) reads silence, not the last block converted into its scratch buffer. */
  void SilenceInputsNoLongerFed(int nInRecords);

  int mPlugType = 0;
  bool mDoesMIDIIn = false;
  bool mDoesMIDIOut = false;
  std::atomic<int> mLatency{0};
  double mSampleRate = 48000.0;
  int mBlockSize = 0;
  int mTailSize = 0;
  std::atomic<bool> mBypassed{false};
  bool mRenderingOffline = false;
  WDL_PtrList_DeleteOnDestroy<IOConfig> mIOConfigs;
  /** The pointer arrays handed to ProcessBlock, one entry per channel record. */
  WDL_TypedBuf<sample*> mScratchData[2];
  WDL_PtrList_DeleteOnDestroy<IChannelData<>> mChannelData[2];
  std::unique_ptr<LatencyDelayLine> mLatencyDelay;
  ITransportInfo mTimeInfo;

private:
  // Which input channels the host fed in the previous block.
  std::vector<uint8_t> mInputConnected;

  int ClampFrames(int nFrames) const { return nFrames < 0 ? 0 : (nFrames > mBlockSize ? mBlockSize : nFrames); }
  /** nFrames, or the block size when a channel presents a scratch buffer that would be too short for it. */
  int FramesForBuffers(int nFrames) const;
  void PassThrough(int nFrames);
  void ConvertOutputs(int nFrames, bool accumulate);
  /** Points every channel back at its scratch buffer and forgets 32-bit host outputs. */
  void ReleaseHostBuffers();
};

} // namespace iplug
