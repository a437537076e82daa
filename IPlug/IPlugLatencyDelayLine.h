#pragma once
// Per-channel delay of exactly the plug-in's latency, so bypassed audio stays time-aligned with processed audio.

#include "IPlugProcessorStructs.h"

namespace iplug
{

class LatencyDelayLine
{
public:
  /** Frames per channel kept allocated from creation on, so small latency changes never allocate. */
  static constexpr int kReservedFrames = 4096;
  /** Longest delay the line will hold; longer latencies disable the delay (plain pass-through). */
  static constexpr int kMaxDelayFrames = 1 << 22;
  /** Bound on the whole buffer (all channels), 256 MiB of samples. */
  static constexpr int kMaxTotalSamples = 1 << 25;

  LatencyDelayLine(int nInChans, int nOutChans, int delayFrames);

  /** Sets the delay and clears the line. Allocates only above the reserved length.
      Returns false when the delay could not be held; the line then delays by 0. */
  bool SetDelayTime(int delayFrames);

  int GetDelayTime() const { return mDelayLength; }
  int NInChans() const { return mNInChans; }
  int NOutChans() const { return mNOutChans; }

  /** Delays channels below both channel counts; in-place buffers (inputs[c] == outputs[c]) are fine.
      Null channel pointers are skipped. */
  void ProcessBlock(sample** inputs, sample** outputs, int nFrames);

private:
  WDL_TypedBuf<sample> mBuffer;
  int mNInChans = 0;
  int mNOutChans = 0;
  int mWritePos = 0;
  int mDelayLength = 0;
};

} // namespace iplug
