#include "IPlugProcessor.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>
#include <string_view>

namespace iplug
{

namespace
{

int ClampToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

bool IsTokenSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Channel count of one bus token: "*" is the wildcard, otherwise a leading decimal number (0 without one).
int ParseBusToken(std::string_view token)
{
  if (token == "*")
    return kWildcardNChans;
  size_t i = 0;
  if (i < token.size() && token[i] == '+')
    i++;
  int value = 0;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; i++)
    value = std::min(value * 10 + (token[i] - '0'), kMaxNChansPerBus);
  return value;
}

// Adds the buses of one side of a layout token ("2.1") and returns its channel sum.
int64_t ParseBusPart(std::string_view part, ERoute direction, IOConfig& config)
{
  int64_t sum = 0;
  size_t pos = 0;
  while (pos < part.size())
  {
    if (part[pos] == '.')
    {
      pos++;
      continue;
    }
    size_t end = part.find('.', pos);
    if (end == std::string_view::npos)
      end = part.size();
    const int nChans = ParseBusToken(part.substr(pos, end - pos));
    sum += nChans;
    if (nChans != 0)
      config.AddBusInfo(direction, nChans);
    pos = end;
  }
  return sum;
}

// True when fmt holds at most one integer conversion and no other conversion, so it is safe to format with one int.
bool IsSafeIntFormat(const char* fmt)
{
  int nConversions = 0;
  for (const char* p = fmt; *p; p++)
  {
    if (*p != '%')
      continue;
    p++;
    if (*p == '%')
      continue;
    while (*p && std::strchr("-+ #0", *p))
      p++;
    while (*p >= '0' && *p <= '9')
      p++;
    if (*p == '.')
    {
      p++;
      while (*p >= '0' && *p <= '9')
        p++;
    }
    if (!*p || !std::strchr("diuxXo", *p))
      return false;
    if (++nConversions > 1)
      return false;
  }
  return true;
}

} // namespace

IPlugProcessor::IPlugProcessor(const Config& config, EAPI /*plugAPI*/)
    : mPlugType(config.plugType), mDoesMIDIIn(config.plugDoesMidiIn), mDoesMIDIOut(config.plugDoesMidiOut),
      mLatency(std::max(config.latency, 0))
{
  int totalNIns = 0, totalNOuts = 0, totalNInBuses = 0, totalNOutBuses = 0;
  ParseChannelIOStr(config.channelIOStr, mIOConfigs, totalNIns, totalNOuts, totalNInBuses, totalNOutBuses);

  const int totals[2] = {totalNIns, totalNOuts};
  for (int dir = kInput; dir <= kOutput; dir++)
  {
    mScratchData[dir].Resize(totals[dir]);
    for (int i = 0; i < totals[dir]; i++)
    {
      auto* channel = new IChannelData<>();
      channel->mData = mScratchData[dir].Get() + i;
      mChannelData[dir].Add(channel);
    }
  }
}

IPlugProcessor::~IPlugProcessor() = default;

void IPlugProcessor::ProcessBlock(sample** inputs, sample** outputs, int nFrames)
{
  if (!outputs || nFrames <= 0)
    return;
  const int nIn = MaxNChannels(kInput);
  const int nOut = MaxNChannels(kOutput);
  const size_t bytes = sizeof(sample) * static_cast<size_t>(nFrames);
  for (int c = 0; c < nOut; c++)
  {
    sample* out = outputs[c];
    if (!out)
      continue;
    sample* in = (inputs && c < nIn) ? inputs[c] : nullptr;
    if (c < nIn && in)
    {
      if (in != out)
        std::memmove(out, in, bytes);
    }
    else
      std::memset(out, 0, bytes);
  }
}

void IPlugProcessor::ProcessMidiMsg(const IMidiMsg& msg) { SendMidiMsg(msg); }

bool IPlugProcessor::SendMidiMsgs(WDL_TypedBuf<IMidiMsg>& msgs)
{
  bool ok = true;
  IMidiMsg* list = msgs.Get();
  for (int i = 0; i < msgs.GetSize(); i++)
    ok &= SendMidiMsg(list[i]);
  return ok;
}

void IPlugProcessor::GetBusName(ERoute direction, int busIdx, int nBuses, WDL_String& name) const
{
  if (direction == kInput)
  {
    if (nBuses == 2)
      name.Set(busIdx == 0 ? "Main" : "Aux");
    else if (nBuses == 1)
      name.Set("Input");
    else
      name.SetFormatted(32, "Input %i", busIdx);
  }
  else
  {
    if (nBuses == 1)
      name.Set("Output");
    else
      name.SetFormatted(32, "Output %i", busIdx);
  }
}

void IPlugProcessor::SetLatency(int latency)
{
  latency = std::max(latency, 0);
  mLatency.store(latency, std::memory_order_relaxed);
  if (mLatencyDelay)
    mLatencyDelay->SetDelayTime(latency);
}

int IPlugProcessor::GetAUPluginType() const
{
  switch (mPlugType)
  {
  case 0:
    return mDoesMIDIIn ? FourCC("aumf") : FourCC("aufx");
  case 1:
    return FourCC("aumu");
  case 2:
    return FourCC("aumi");
  default:
    return FourCC("aufx");
  }
}

bool IPlugProcessor::SetSampleRate(double sampleRate)
{
  if (!std::isfinite(sampleRate) || sampleRate <= 0.0)
    return false;
  mSampleRate = sampleRate;
  return true;
}

double IPlugProcessor::GetSamplesPerBeat() const
{
  const double tempo = mTimeInfo.mTempo;
  return tempo > 0.0 ? mSampleRate * 60.0 / tempo : 0.0;
}

int IPlugProcessor::MaxNBuses(ERoute direction, int* configIdx) const
{
  int maxNBuses = 0;
  int idx = 0;
  for (int i = 0; i < mIOConfigs.GetSize(); i++)
  {
    const int n = mIOConfigs.Get(i)->NBuses(direction);
    if (n >= maxNBuses)
    {
      maxNBuses = n;
      idx = i;
    }
  }
  if (configIdx)
    *configIdx = idx;
  return maxNBuses;
}

int IPlugProcessor::MaxNChannelsForBus(ERoute direction, int busIdx) const
{
  if (HasWildcardBus(direction))
    return -1;
  int maxNChans = 0;
  for (int i = 0; i < mIOConfigs.GetSize(); i++)
    maxNChans = std::max(maxNChans, mIOConfigs.Get(i)->NChansOnBusSAFE(direction, busIdx));
  return maxNChans;
}

int IPlugProcessor::GetIOConfigWithChanCounts(const std::vector<int>& inputBuses,
                                              const std::vector<int>& outputBuses) const
{
  const std::vector<int>* wanted[2] = {&inputBuses, &outputBuses};
  for (int i = 0; i < mIOConfigs.GetSize(); i++)
  {
    const IOConfig* config = mIOConfigs.Get(i);
    bool match = true;
    for (int dir = kInput; dir <= kOutput && match; dir++)
    {
      const std::vector<int>& counts = *wanted[dir];
      if (config->NBuses(static_cast<ERoute>(dir)) != static_cast<int>(counts.size()))
      {
        match = false;
        break;
      }
      for (size_t b = 0; b < counts.size(); b++)
      {
        if (config->NChansOnBusSAFE(static_cast<ERoute>(dir), static_cast<int>(b)) != counts[b])
        {
          match = false;
          break;
        }
      }
    }
    if (match)
      return i;
  }
  return -1;
}

bool IPlugProcessor::LegalIO(int nIn, int nOut) const
{
  for (int i = 0; i < mIOConfigs.GetSize(); i++)
  {
    const IOConfig* config = mIOConfigs.Get(i);
    const bool inOK = nIn < 0 || config->GetTotalNChannels(kInput) == nIn;
    const bool outOK = nOut < 0 || config->GetTotalNChannels(kOutput) == nOut;
    if (inOK && outOK)
      return true;
  }
  return false;
}

bool IPlugProcessor::HasWildcardBus(ERoute direction) const
{
  const IOConfig* first = mIOConfigs.Get(0);
  return first && first->ContainsWildcard(direction);
}

int IPlugProcessor::NChannelsConnected(ERoute direction) const
{
  int n = 0;
  for (int i = 0; i < mChannelData[direction].GetSize(); i++)
    n += mChannelData[direction].Get(i)->mConnected ? 1 : 0;
  return n;
}

bool IPlugProcessor::IsChannelConnected(ERoute direction, int chIdx) const
{
  const IChannelData<>* channel = mChannelData[direction].Get(chIdx);
  return channel && channel->mConnected;
}

void IPlugProcessor::SetChannelLabel(ERoute direction, int idx, const char* formatStr, bool zeroBased)
{
  IChannelData<>* channel = mChannelData[direction].Get(idx);
  if (!channel)
    return;
  if (!formatStr)
    formatStr = "";
  if (IsSafeIntFormat(formatStr))
    channel->mLabel.SetFormatted(32, formatStr, zeroBased ? idx : idx + 1);
  else
    channel->mLabel.Set(formatStr, 32);
}

const char* IPlugProcessor::GetChannelLabel(ERoute direction, int idx) const
{
  const IChannelData<>* channel = mChannelData[direction].Get(idx);
  return channel ? channel->mLabel.Get() : "";
}

void IPlugProcessor::LimitToStereoIO()
{
  SetChannelConnections(kInput, 2, MaxNChannels(kInput) - 2, false);
  SetChannelConnections(kOutput, 2, MaxNChannels(kOutput) - 2, true);
}

int IPlugProcessor::ParseChannelIOStr(const char* ioStr, WDL_PtrList<IOConfig>& configs, int& totalNInChans,
                                      int& totalNOutChans, int& totalNInBuses, int& totalNOutBuses)
{
  totalNInChans = totalNOutChans = totalNInBuses = totalNOutBuses = 0;
  if (!ioStr)
    return 0;

  const std::string_view str(ioStr);
  int nConfigs = 0;
  size_t pos = 0;
  while (pos < str.size())
  {
    if (IsTokenSeparator(str[pos]))
    {
      pos++;
      continue;
    }
    size_t end = pos;
    while (end < str.size() && !IsTokenSeparator(str[end]))
      end++;
    const std::string_view token = str.substr(pos, end - pos);
    pos = end;

    const size_t dash = token.find('-');
    if (dash == std::string_view::npos)
      continue; // a layout needs both sides
    const std::string_view inPart = token.substr(0, dash);
    std::string_view outPart = token.substr(dash + 1);
    outPart = outPart.substr(0, outPart.find('-'));

    auto* config = new IOConfig();
    const int nIn = ClampToInt(ParseBusPart(inPart, kInput, *config));
    const int nOut = ClampToInt(ParseBusPart(outPart, kOutput, *config));
    configs.Add(config);
    nConfigs++;

    totalNInChans = std::max(totalNInChans, nIn);
    totalNOutChans = std::max(totalNOutChans, nOut);
    totalNInBuses = std::max(totalNInBuses, config->NBuses(kInput));
    totalNOutBuses = std::max(totalNOutBuses, config->NBuses(kOutput));
  }
  return nConfigs;
}

void IPlugProcessor::SetChannelConnections(ERoute direction, int idx, int n, bool connected)
{
  WDL_PtrList_DeleteOnDestroy<IChannelData<>>& channels = mChannelData[direction];
  const int start = std::max(idx, 0);
  const int end = ClampToInt(std::min<int64_t>(int64_t{idx} + n, channels.GetSize()));
  for (int i = start; i < end; i++)
  {
    IChannelData<>* channel = channels.Get(i);
    channel->mConnected = connected;
    if (!connected)
      *channel->mData = channel->mScratchBuf.Get();
  }
}

void IPlugProcessor::AttachBuffers(ERoute direction, int idx, int n, sample** buffers, int nFrames)
{
  WDL_PtrList_DeleteOnDestroy<IChannelData<>>& channels = mChannelData[direction];
  const int start = std::max(idx, 0);
  const int end = ClampToInt(std::min<int64_t>(int64_t{idx} + n, channels.GetSize()));
  const int frames = ClampFrames(nFrames);
  int next = 0;
  for (int i = start; i < end; i++)
  {
    IChannelData<>* channel = channels.Get(i);
    if (!channel->mConnected)
      continue;
    sample* hostBuf = buffers ? buffers[next] : nullptr;
    next++;
    if (hostBuf)
      *channel->mData = hostBuf;
    else
    {
      sample* scratch = channel->mScratchBuf.Get();
      if (direction == kInput && scratch && frames > 0)
        std::memset(scratch, 0, sizeof(sample) * static_cast<size_t>(frames));
      *channel->mData = scratch;
    }
  }
}

void IPlugProcessor::AttachBuffers(ERoute direction, int idx, int n, hostSample32** buffers, int nFrames)
{
  WDL_PtrList_DeleteOnDestroy<IChannelData<>>& channels = mChannelData[direction];
  const int start = std::max(idx, 0);
  const int end = ClampToInt(std::min<int64_t>(int64_t{idx} + n, channels.GetSize()));
  const int frames = ClampFrames(nFrames);
  int next = 0;
  for (int i = start; i < end; i++)
  {
    IChannelData<>* channel = channels.Get(i);
    if (!channel->mConnected)
      continue;
    hostSample32* hostBuf = buffers ? buffers[next] : nullptr;
    next++;
    sample* scratch = channel->mScratchBuf.Get();
    if (direction == kInput)
    {
      if (scratch && frames > 0)
      {
        if (hostBuf)
          std::copy(hostBuf, hostBuf + frames, scratch);
        else
          std::memset(scratch, 0, sizeof(sample) * static_cast<size_t>(frames));
      }
    }
    else
      channel->mIncomingData = hostBuf;
    *channel->mData = scratch;
  }
}

int IPlugProcessor::FramesForBuffers(int nFrames) const
{
  if (nFrames <= mBlockSize)
    return std::max(nFrames, 0);
  // Host buffers hold what the host passes; only scratch buffers are limited to the block size.
  for (int dir = kInput; dir <= kOutput; dir++)
  {
    for (int i = 0; i < mChannelData[dir].GetSize(); i++)
    {
      const IChannelData<>* channel = mChannelData[dir].Get(i);
      const sample* scratch = channel->mScratchBuf.Get();
      if (scratch && *channel->mData == scratch)
        return mBlockSize;
    }
  }
  return nFrames;
}

void IPlugProcessor::ProcessBuffers(sample, int nFrames)
{
  ProcessBlock(mScratchData[kInput].Get(), mScratchData[kOutput].Get(), FramesForBuffers(nFrames));
  ReleaseHostBuffers();
}

void IPlugProcessor::ProcessBuffers(hostSample32, int nFrames)
{
  const int frames = ClampFrames(nFrames);
  ProcessBlock(mScratchData[kInput].Get(), mScratchData[kOutput].Get(), frames);
  ConvertOutputs(frames, false);
  ReleaseHostBuffers();
}

void IPlugProcessor::ProcessBuffersAccumulating(int nFrames)
{
  const int frames = ClampFrames(nFrames);
  ProcessBlock(mScratchData[kInput].Get(), mScratchData[kOutput].Get(), frames);
  ConvertOutputs(frames, true);
  ReleaseHostBuffers();
}

void IPlugProcessor::PassThrough(int nFrames)
{
  sample** inputs = mScratchData[kInput].Get();
  sample** outputs = mScratchData[kOutput].Get();
  if (GetLatency() != 0 && mLatencyDelay && mLatencyDelay->GetDelayTime() > 0)
    mLatencyDelay->ProcessBlock(inputs, outputs, nFrames);
  else
    IPlugProcessor::ProcessBlock(inputs, outputs, nFrames);
}

void IPlugProcessor::PassThroughBuffers(sample, int nFrames)
{
  PassThrough(FramesForBuffers(nFrames));
  ReleaseHostBuffers();
}

void IPlugProcessor::PassThroughBuffers(hostSample32, int nFrames)
{
  const int frames = ClampFrames(nFrames);
  PassThrough(frames);
  ConvertOutputs(frames, false);
  ReleaseHostBuffers();
}

void IPlugProcessor::ConvertOutputs(int nFrames, bool accumulate)
{
  if (nFrames <= 0)
    return;
  for (int i = 0; i < mChannelData[kOutput].GetSize(); i++)
  {
    IChannelData<>* channel = mChannelData[kOutput].Get(i);
    const sample* src = *channel->mData;
    hostSample32* dst = channel->mIncomingData;
    if (!channel->mConnected || !src || !dst)
      continue;
    if (accumulate)
    {
      for (int s = 0; s < nFrames; s++)
        dst[s] += static_cast<hostSample32>(src[s]);
    }
    else
    {
      for (int s = 0; s < nFrames; s++)
        dst[s] = static_cast<hostSample32>(src[s]);
    }
  }
}

void IPlugProcessor::ReleaseHostBuffers()
{
  // Host pointers are valid for one block only: a later block that attaches nothing must not reach them.
  for (int dir = kInput; dir <= kOutput; dir++)
  {
    for (int i = 0; i < mChannelData[dir].GetSize(); i++)
    {
      IChannelData<>* channel = mChannelData[dir].Get(i);
      *channel->mData = channel->mScratchBuf.Get();
      channel->mIncomingData = nullptr;
    }
  }
}

void IPlugProcessor::ZeroScratchBuffers()
{
  for (int dir = kInput; dir <= kOutput; dir++)
  {
    for (int i = 0; i < mChannelData[dir].GetSize(); i++)
    {
      WDL_TypedBuf<sample>& buf = mChannelData[dir].Get(i)->mScratchBuf;
      if (buf.GetSize() > 0)
        std::memset(buf.Get(), 0, sizeof(sample) * static_cast<size_t>(buf.GetSize()));
    }
  }
}

bool IPlugProcessor::SetBlockSize(int blockSize)
{
  if (blockSize < 0 || blockSize > kMaxBlockSize)
    return false;
  if (blockSize == mBlockSize)
    return true;

  bool ok = true;
  try
  {
    for (int dir = kInput; dir <= kOutput; dir++)
    {
      for (int i = 0; i < mChannelData[dir].GetSize(); i++)
        mChannelData[dir].Get(i)->mScratchBuf.Resize(blockSize);
    }
  }
  catch (const std::bad_alloc&)
  {
    ok = false;
    blockSize = 0;
    for (int dir = kInput; dir <= kOutput; dir++)
    {
      for (int i = 0; i < mChannelData[dir].GetSize(); i++)
        mChannelData[dir].Get(i)->mScratchBuf.Resize(0);
    }
  }
  mBlockSize = blockSize;
  ZeroScratchBuffers();
  // Resizing may move the buffers: every channel presents its (new) scratch buffer until attached again.
  ReleaseHostBuffers();
  return ok;
}

void IPlugProcessor::CreateLatencyDelayLine()
{
  mLatencyDelay = std::make_unique<LatencyDelayLine>(MaxNChannels(kInput), MaxNChannels(kOutput), GetLatency());
}

void IPlugProcessor::ResetInputConnections() { mInputConnected.assign(static_cast<size_t>(MaxNChannels(kInput)), 0); }

void IPlugProcessor::SilenceInputsNoLongerFed(int nInRecords)
{
  for (int c = 0; c < nInRecords && c < static_cast<int>(mInputConnected.size()); c++)
  {
    const bool connected = IsChannelConnected(kInput, c);
    if (mInputConnected[static_cast<size_t>(c)] && !connected)
    {
      WDL_TypedBuf<sample>& scratch = mChannelData[kInput].Get(c)->mScratchBuf;
      if (scratch.GetSize() > 0)
        std::fill_n(scratch.Get(), scratch.GetSize(), sample(0));
    }
    mInputConnected[static_cast<size_t>(c)] = connected ? 1 : 0;
  }
}

} // namespace iplug
