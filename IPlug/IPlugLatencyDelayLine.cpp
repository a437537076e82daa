#include "IPlugLatencyDelayLine.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace iplug
{

LatencyDelayLine::LatencyDelayLine(int nInChans, int nOutChans, int delayFrames)
    : mNInChans(std::max(nInChans, 0)), mNOutChans(std::max(nOutChans, 0))
{
  try
  {
    mBuffer.Reserve(static_cast<int>(std::min<int64_t>(int64_t{kReservedFrames} * mNInChans, kMaxTotalSamples)));
  }
  catch (const std::bad_alloc&)
  {
  }
  SetDelayTime(delayFrames);
}

bool LatencyDelayLine::SetDelayTime(int delayFrames)
{
  const int wanted = std::max(delayFrames, 0);
  bool ok = wanted <= kMaxDelayFrames && int64_t{wanted} * mNInChans <= kMaxTotalSamples;
  int length = ok ? wanted : 0;
  try
  {
    mBuffer.Resize(length * mNInChans);
  }
  catch (const std::bad_alloc&)
  {
    ok = false;
    length = 0;
    mBuffer.Resize(0);
  }
  mDelayLength = length;
  mWritePos = 0;
  if (mBuffer.GetSize() > 0)
    std::memset(mBuffer.Get(), 0, sizeof(sample) * static_cast<size_t>(mBuffer.GetSize()));
  return ok;
}

void LatencyDelayLine::ProcessBlock(sample** inputs, sample** outputs, int nFrames)
{
  const int nChans = std::min(mNInChans, mNOutChans);
  if (mDelayLength <= 0 || nFrames <= 0 || !inputs || !outputs || nChans <= 0)
    return;

  sample* buf = mBuffer.Get();
  int pos = mWritePos;
  for (int s = 0; s < nFrames; s++)
  {
    for (int c = 0; c < nChans; c++)
    {
      sample* in = inputs[c];
      sample* out = outputs[c];
      if (!in || !out)
        continue;
      sample& slot = buf[static_cast<size_t>(c) * static_cast<size_t>(mDelayLength) + static_cast<size_t>(pos)];
      // Read the input before writing the output: hosts may process in place.
      const sample incoming = in[s];
      out[s] = slot;
      slot = incoming;
    }
    if (++pos == mDelayLength)
      pos = 0;
  }
  mWritePos = pos;
}

} // namespace iplug
