#include "IPlugVST3_ProcessorBase.h"

#include "IPlugHost.h"
#include "IPlugPluginBase.h"

#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/vstspeaker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug
{

SpeakerArrangement GetAPIBusTypeForChannelIOConfig(int nChans)
{
  switch (nChans)
  {
  case 1:
    return SpeakerArr::kMono;
  case 2:
    return SpeakerArr::kStereo;
  case 3:
    return SpeakerArr::k30Cine;
  case 4:
    return SpeakerArr::kAmbi1stOrderACN;
  case 5:
    return SpeakerArr::k50;
  case 6:
    return SpeakerArr::k51;
  case 7:
    return SpeakerArr::k70Cine;
  case 8:
    return SpeakerArr::k71Music;
  case 9:
    return SpeakerArr::kAmbi2cdOrderACN;
  case 10:
    return SpeakerArr::k71_2;
  case 16:
    return SpeakerArr::kAmbi3rdOrderACN;
  default:
    return SpeakerArr::kEmpty;
  }
}

namespace
{
// Host buffers of one bus in the sample format of the block.
template <typename T> T** HostBuffers(const AudioBusBuffers& bus);
template <> hostSample32** HostBuffers<hostSample32>(const AudioBusBuffers& bus) { return bus.channelBuffers32; }
template <> sample** HostBuffers<sample>(const AudioBusBuffers& bus) { return bus.channelBuffers64; }

// Channels a host bus really offers: none when it claims channels but passes no buffer table.
template <typename T> int HostChannels(const AudioBusBuffers& bus)
{
  return (bus.numChannels > 0 && HostBuffers<T>(bus)) ? bus.numChannels : 0;
}

int SampleOffset(int32 offset, int32 numSamples)
{
  return std::clamp<int32>(offset, 0, std::max<int32>(numSamples - 1, 0));
}

// Silence on channels 0 .. n - 1 of a host bus, frames start .. start + nFrames - 1.
template <typename T> void ClearHostBus(const AudioBusBuffers& bus, int n, int start, int nFrames)
{
  T** buffers = HostBuffers<T>(bus);
  for (int c = 0; buffers && c < n; c++)
  {
    if (buffers[c])
      std::fill_n(buffers[c] + start, nFrames, T(0));
  }
}

// Whether every sample is zero (of either sign): one pass over the bits without early exit, so it vectorises.
template <typename T> bool AllZero(const T* samples, int n)
{
  using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
  constexpr Bits kMagnitude = ~(Bits(1) << (8 * sizeof(T) - 1));
  Bits any = 0;
  for (int i = 0; i < n; i++)
  {
    Bits b;
    std::memcpy(&b, samples + i, sizeof b);
    any |= b & kMagnitude;
  }
  return any == 0;
}

// Flags exactly the output channels that hold nothing but zeros; stale flags from the host are never left behind.
template <typename T> void SetSilenceFlags(AudioBusBuffers& bus, int nFrames)
{
  uint64 flags = 0;
  T** buffers = HostBuffers<T>(bus);
  const int n = std::min(HostChannels<T>(bus), 64);
  for (int c = 0; nFrames > 0 && c < n; c++)
  {
    const T* samples = buffers[c];
    if (samples && AllZero(samples, nFrames))
      flags |= uint64(1) << c;
  }
  bus.silenceFlags = flags;
}
} // namespace

IPlugVST3ProcessorBase::IPlugVST3ProcessorBase(const Config& config, IPluginBase& plug)
    : IPlugProcessor(config, kAPIVST3), mPlug(plug), mMidiOutputQueue(IMidiQueue::kGrowth)
{
  SetChannelConnections(kInput, 0, MaxNChannels(kInput), true);
  SetChannelConnections(kOutput, 0, MaxNChannels(kOutput), true);

  if (MaxNBuses(kInput) > 0)
    mMaxNChansForMainInputBus = MaxNChannelsForBus(kInput, 0);

  if (MaxNChannels(kInput) > 0)
    CreateLatencyDelayLine();

  std::memset(&mProcessContext, 0, sizeof(mProcessContext));

  mIn32.resize(static_cast<size_t>(MaxNChannels(kInput)) + 1);
  mIn64.resize(static_cast<size_t>(MaxNChannels(kInput)) + 1);
  mOut32.resize(static_cast<size_t>(MaxNChannels(kOutput)) + 1);
  mOut64.resize(static_cast<size_t>(MaxNChannels(kOutput)) + 1);
  ResetInputConnections();
}

void IPlugVST3ProcessorBase::AddBuses(SingleComponentEffect& effect, int inputConfigIdx, int outputConfigIdx,
                                      const std::vector<bool>* keepInputActive,
                                      const std::vector<bool>* keepOutputActive)
{
  String128 name16;
  WDL_String name;

  if (const IOConfig* config = GetIOConfig(inputConfigIdx))
  {
    const int nBuses = config->NBuses(kInput);
    for (int i = 0; i < nBuses; i++)
    {
      const int nChans = config->GetBusInfo(kInput, i)->NChans();
      GetBusName(kInput, i, nBuses, name);
      CopyAsciiToUTF16(name16, 128, name.Get());
      AudioBus* bus = effect.addAudioInput(name16, GetAPIBusTypeForChannelIOConfig(nChans), i == 0 ? kMain : kAux,
                                           i == 0 ? BusInfo::kDefaultActive : 0);
      if (bus && keepInputActive && i < static_cast<int>(keepInputActive->size()))
        bus->setActive((*keepInputActive)[i]);
    }
  }

  if (const IOConfig* config = GetIOConfig(outputConfigIdx))
  {
    const int nBuses = config->NBuses(kOutput);
    for (int i = 0; i < nBuses; i++)
    {
      const int nChans = config->GetBusInfo(kOutput, i)->NChans();
      GetBusName(kOutput, i, nBuses, name);
      CopyAsciiToUTF16(name16, 128, name.Get());
      AudioBus* bus = effect.addAudioOutput(name16, GetAPIBusTypeForChannelIOConfig(nChans), i == 0 ? kMain : kAux,
                                            i == 0 ? BusInfo::kDefaultActive : 0);
      if (bus && keepOutputActive && i < static_cast<int>(keepOutputActive->size()))
        bus->setActive((*keepOutputActive)[i]);
    }
  }
}

void IPlugVST3ProcessorBase::Initialize(SingleComponentEffect& effect)
{
  int inputConfigIdx = 0;
  int outputConfigIdx = 0;
  MaxNBuses(kInput, &inputConfigIdx);
  const int nOutBuses = MaxNBuses(kOutput, &outputConfigIdx);

  AddBuses(effect, inputConfigIdx, outputConfigIdx, nullptr, nullptr);

  if (IsMidiEffect() && nOutBuses == 0)
    effect.addAudioOutput(STR16("Dummy Output"), SpeakerArr::kEmpty, kMain, 0);

  if (DoesMIDIIn())
    effect.addEventInput(STR16("MIDI Input"), 1, kMain, BusInfo::kDefaultActive);
  if (DoesMIDIOut())
    effect.addEventOutput(STR16("MIDI Output"), 1, kMain, BusInfo::kDefaultActive);
}

bool IPlugVST3ProcessorBase::SetBusArrangements(SingleComponentEffect& effect, const BusList& inputBuses,
                                                const BusList& outputBuses, SpeakerArrangement* inputs, int32 numIns,
                                                SpeakerArrangement* outputs, int32 numOuts)
{
  const int host = mPlug.GetHost();
  if (host == kHostArdour || host == kHostMixbus)
    return true;

  SetChannelConnections(kInput, 0, MaxNChannels(kInput), false);
  SetChannelConnections(kOutput, 0, MaxNChannels(kOutput), false);

  if (numIns < 0 || numOuts < 0 || numIns > MaxNBuses(kInput) || numOuts > MaxNBuses(kOutput))
    return false;
  if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs))
    return false;

  std::vector<int> inChans(static_cast<size_t>(numIns));
  std::vector<int> outChans(static_cast<size_t>(numOuts));
  for (int i = 0; i < numIns; i++)
    inChans[i] = SpeakerArr::getChannelCount(inputs[i]);
  for (int i = 0; i < numOuts; i++)
    outChans[i] = SpeakerArr::getChannelCount(outputs[i]);

  const int configIdx = GetIOConfigWithChanCounts(inChans, outChans);
  if (configIdx < 0)
    return false;

  // Rebuilt buses keep the activation the host gave them: it need not activate them again.
  std::vector<bool> inActive, outActive;
  for (const auto& bus : inputBuses)
    inActive.push_back(bus && bus->isActive());
  for (const auto& bus : outputBuses)
    outActive.push_back(bus && bus->isActive());

  effect.removeAudioBusses();
  AddBuses(effect, configIdx, configIdx, &inActive, &outActive);
  return true;
}

bool IPlugVST3ProcessorBase::CanProcessSampleSize(int32 size) const { return size == kSample32 || size == kSample64; }

bool IPlugVST3ProcessorBase::SetupProcessing(const ProcessSetup& setup, ProcessSetup& storedSetup)
{
  if (!CanProcessSampleSize(setup.symbolicSampleSize))
    return false;
  // A host that asks for an impossible block size or rate gets a refusal rather than buffers it cannot have.
  if (setup.maxSamplesPerBlock < 0 || setup.maxSamplesPerBlock > kMaxBlockSize)
    return false;
  if (!std::isfinite(setup.sampleRate) || setup.sampleRate <= 0.0)
    return false;

  storedSetup = setup;
  SetSampleRate(setup.sampleRate);
  SetBlockSize(setup.maxSamplesPerBlock);
  mMidiOutputQueue.Resize(std::max(static_cast<int>(setup.maxSamplesPerBlock), mMidiOutputQueue.ToDo()));
  OnReset();
  return true;
}

bool IPlugVST3ProcessorBase::SetProcessing(bool processing)
{
  if (!processing)
    OnReset();
  return true;
}

bool IPlugVST3ProcessorBase::SendMidiMsg(const IMidiMsg& msg)
{
  // Nothing ever empties the queue of a plug-in that sends no MIDI: do not let it grow.
  if (!DoesMIDIOut())
    return false;
  mMidiOutputQueue.Add(msg);
  return true;
}

void IPlugVST3ProcessorBase::Process(ProcessData& data, ProcessSetup& setup, const BusList& inputBuses,
                                     const BusList& outputBuses, IPlugQueue<IMidiMsg>& fromEditor,
                                     IPlugQueue<IMidiMsg>& toEditor, IPlugQueue<SysExData>& sysExFromEditor,
                                     SysExData& sysExScratch)
{
  ProcessTimeInfo(data, setup);
  ProcessParameterChanges(data, toEditor);

  if (DoesMIDIIn())
    ProcessMidiIn(data, fromEditor, toEditor);

  ProcessAudio(data, setup, inputBuses, outputBuses);

  if (DoesMIDIOut())
  {
    ProcessMidiOut(data, sysExFromEditor, sysExScratch);
    // Offsets are relative to this block: what the host did not take now is stale.
    mMidiOutputQueue.Clear();
  }
}

void IPlugVST3ProcessorBase::ProcessTimeInfo(ProcessData& data, ProcessSetup& setup)
{
  if (data.processContext)
    mProcessContext = *data.processContext;

  const Steinberg::Vst::ProcessContext& ctx = mProcessContext;
  ITransportInfo& t = mTimeInfo;
  t.mTempo = ctx.tempo;
  t.mSamplePos =
      (ctx.state & ProcessContext::kProjectTimeMusicValid) ? static_cast<double>(ctx.projectTimeSamples) : -1.0;
  t.mPPQPos = ctx.projectTimeMusic;
  t.mLastBar = ctx.barPositionMusic;
  t.mCycleStart = ctx.cycleStartMusic;
  t.mCycleEnd = ctx.cycleEndMusic;
  t.mNumerator = ctx.timeSigNumerator;
  t.mDenominator = ctx.timeSigDenominator;
  t.mTransportIsRunning = (ctx.state & ProcessContext::kPlaying) != 0;
  t.mTransportLoopEnabled = (ctx.state & ProcessContext::kCycleActive) != 0;
  mRenderingOffline = setup.processMode == kOffline;
}

void IPlugVST3ProcessorBase::ProcessParameterChanges(ProcessData& data, IPlugQueue<IMidiMsg>& toEditor)
{
  IParameterChanges* changes = data.inputParameterChanges;
  if (!changes)
    return;

  const int32 nQueues = changes->getParameterCount();
  for (int32 q = 0; q < nQueues; q++)
  {
    IParamValueQueue* queue = changes->getParameterData(q);
    if (!queue)
      continue;
    const int32 nPoints = queue->getPointCount();
    int32 offset = 0;
    ParamValue value = 0.0;
    if (nPoints <= 0 || queue->getPoint(nPoints - 1, offset, value) != kResultOk)
      continue;
    if (!std::isfinite(value))
      continue;
    value = std::clamp(value, 0.0, 1.0);
    offset = SampleOffset(offset, data.numSamples);

    const ParamID id = queue->getParameterId();
    if (id == kVST3BypassParamID)
    {
      const bool bypassed = value > 0.5;
      if (bypassed != GetBypassed())
        SetBypassed(bypassed);
    }
    else if (id < kVST3BypassParamID && static_cast<int>(id) < mPlug.NParams())
    {
      const int idx = static_cast<int>(id);
      mPlug.GetParam(idx)->SetNormalized(value);
      mPlug.OnParamChange(idx, kHost, offset);
    }
    else if (id >= kVST3MIDICCParamStartID && DoesMIDIIn())
    {
      const uint32 n = id - kVST3MIDICCParamStartID;
      const int controller = static_cast<int>(n % kVST3NumMIDICCParamsPerChannel);
      const uint32 channel = n / kVST3NumMIDICCParamsPerChannel;
      if (channel > 15)
        continue;

      IMidiMsg msg;
      msg.mOffset = offset;
      if (controller == kPitchBend)
      {
        const int bend = std::clamp(static_cast<int>((value * 2.0 - 1.0) * 8192.0), -8192, 8191) + 8192;
        msg.mStatus = static_cast<uint8_t>(0xE0 | channel);
        msg.mData1 = static_cast<uint8_t>(bend & 0x7F);
        msg.mData2 = static_cast<uint8_t>((bend >> 7) & 0x7F);
      }
      else if (controller == kAfterTouch)
      {
        msg.mStatus = static_cast<uint8_t>(0xD0 | channel);
        msg.mData1 = static_cast<uint8_t>(value * 127.0);
      }
      else
      {
        msg.mStatus = static_cast<uint8_t>(0xB0 | channel);
        msg.mData1 = static_cast<uint8_t>(controller);
        msg.mData2 = static_cast<uint8_t>(value * 127.0);
      }
      toEditor.Push(msg);
      ProcessMidiMsg(msg);
    }
  }
}

void IPlugVST3ProcessorBase::ProcessMidiIn(ProcessData& data, IPlugQueue<IMidiMsg>& fromEditor,
                                           IPlugQueue<IMidiMsg>& toEditor)
{
  auto to127 = [](float v) { return static_cast<uint8_t>(std::clamp(std::isfinite(v) ? v : 0.f, 0.f, 1.f) * 127.f); };

  if (IEventList* events = data.inputEvents)
  {
    const int32 nEvents = events->getEventCount();
    for (int32 i = 0; i < nEvents; i++)
    {
      Event event{};
      if (events->getEvent(i, event) != kResultOk)
        continue;
      const int offset = SampleOffset(event.sampleOffset, data.numSamples);
      IMidiMsg msg;
      msg.mOffset = offset;
      switch (event.type)
      {
      case Event::kNoteOnEvent:
        msg.mStatus = static_cast<uint8_t>(0x90 | (event.noteOn.channel & 0x0F));
        msg.mData1 = static_cast<uint8_t>(event.noteOn.pitch & 0x7F);
        msg.mData2 = to127(event.noteOn.velocity);
        break;
      case Event::kNoteOffEvent:
        msg.mStatus = static_cast<uint8_t>(0x80 | (event.noteOff.channel & 0x0F));
        msg.mData1 = static_cast<uint8_t>(event.noteOff.pitch & 0x7F);
        msg.mData2 = 0;
        break;
      case Event::kPolyPressureEvent:
        msg.mStatus = static_cast<uint8_t>(0xA0 | (event.polyPressure.channel & 0x0F));
        msg.mData1 = static_cast<uint8_t>(event.polyPressure.pitch & 0x7F);
        msg.mData2 = to127(event.polyPressure.pressure);
        break;
      case Event::kDataEvent:
      {
        if (event.data.bytes && event.data.size > 0 && event.data.size <= 0x7FFFFFFF)
        {
          ISysEx sysex(offset, event.data.bytes, static_cast<int>(event.data.size));
          ProcessSysEx(sysex);
        }
        continue;
      }
      default:
        continue;
      }
      ProcessMidiMsg(msg);
      toEditor.Push(msg);
    }
  }

  IMidiMsg msg;
  while (fromEditor.Pop(msg))
    ProcessMidiMsg(msg);
}

void IPlugVST3ProcessorBase::ProcessMidiOut(ProcessData& data, IPlugQueue<SysExData>& sysExFromEditor,
                                            SysExData& sysExScratch)
{
  IEventList* outEvents = data.outputEvents;
  if (!outEvents)
    return;

  while (!mMidiOutputQueue.Empty())
  {
    const IMidiMsg& msg = mMidiOutputQueue.Peek();
    Event event{};
    event.busIndex = 0;
    event.sampleOffset = msg.mOffset;
    event.ppqPosition = 0;
    event.flags = 0;
    const int channel = msg.Channel();
    bool send = true;
    switch (msg.mStatus >> 4)
    {
    case 0x9:
      event.type = Event::kNoteOnEvent;
      event.noteOn.channel = static_cast<int16>(channel);
      event.noteOn.pitch = msg.mData1;
      event.noteOn.tuning = 0;
      event.noteOn.velocity = static_cast<float>(msg.mData2) / 127.f;
      break;
    case 0x8:
      event.type = Event::kNoteOffEvent;
      event.noteOff.channel = static_cast<int16>(channel);
      event.noteOff.pitch = msg.mData1;
      event.noteOff.velocity = static_cast<float>(msg.mData2) / 127.f;
      break;
    case 0xA:
      event.type = Event::kLegacyMIDICCOutEvent;
      event.midiCCOut.controlNumber = kCtrlPolyPressure;
      event.midiCCOut.channel = static_cast<int8>(channel);
      event.midiCCOut.value = static_cast<int8>(msg.mData1);
      event.midiCCOut.value2 = static_cast<int8>(msg.mData2);
      break;
    case 0xB:
      event.type = Event::kLegacyMIDICCOutEvent;
      event.midiCCOut.controlNumber = msg.mData1;
      event.midiCCOut.channel = static_cast<int8>(channel);
      event.midiCCOut.value = static_cast<int8>(msg.mData2);
      event.midiCCOut.value2 = 0;
      break;
    case 0xC:
      event.type = Event::kLegacyMIDICCOutEvent;
      event.midiCCOut.controlNumber = kCtrlProgramChange;
      event.midiCCOut.channel = static_cast<int8>(channel);
      event.midiCCOut.value = static_cast<int8>(msg.mData1);
      event.midiCCOut.value2 = 0;
      break;
    case 0xD:
      event.type = Event::kLegacyMIDICCOutEvent;
      event.midiCCOut.controlNumber = kAfterTouch;
      event.midiCCOut.channel = static_cast<int8>(channel);
      event.midiCCOut.value = static_cast<int8>(msg.mData1);
      event.midiCCOut.value2 = static_cast<int8>(msg.mData2);
      break;
    case 0xE:
    {
      event.type = Event::kLegacyMIDICCOutEvent;
      event.midiCCOut.controlNumber = kPitchBend;
      event.midiCCOut.channel = static_cast<int8>(channel);
      const double v = ((msg.mData2 * 128 + msg.mData1) - 8192) / 8192.0;
      const int t = static_cast<int>(v * 16383.0);
      event.midiCCOut.value = static_cast<int8>(t & 0x7F);
      event.midiCCOut.value2 = static_cast<int8>((t >> 7) & 0x7F);
      break;
    }
    default:
      send = false;
      break;
    }
    if (send)
      outEvents->addEvent(event);
    mMidiOutputQueue.Remove();
  }

  // One system-exclusive message per block: the event points into the scratch record, which must stay intact
  // until the host has read the block's events.
  if (sysExFromEditor.Pop(sysExScratch))
  {
    Event event{};
    event.busIndex = 0;
    event.sampleOffset = sysExScratch.mOffset;
    event.type = Event::kDataEvent;
    event.data.size = static_cast<uint32>(std::clamp<int32_t>(sysExScratch.mSize, 0, SysExData::kMaxSize));
    event.data.type = DataEvent::kMidiSysEx;
    event.data.bytes = sysExScratch.mData;
    outEvents->addEvent(event);
  }
}

template <typename T>
void IPlugVST3ProcessorBase::RouteAndProcess(ProcessData& data, const BusList& inputBuses, const BusList& outputBuses,
                                             int start, int nFrames, std::vector<T*>& inPtrs, std::vector<T*>& outPtrs)
{
  const int nInRecords = MaxNChannels(kInput);
  const int nOutRecords = MaxNChannels(kOutput);

  // Host pointers of channels 0 .. n - 1 of a bus, advanced to this sub-block, copied to dst.
  auto offsetPointers = [start](const AudioBusBuffers& bus, int n, T** dst)
  {
    T** src = HostBuffers<T>(bus);
    for (int c = 0; c < n; c++)
      dst[c] = src[c] ? src[c] + start : nullptr;
  };

  // Inputs. Without host buffers every channel presents its scratch buffer (never last block's host pointers).
  SetChannelConnections(kInput, 0, nInRecords, false);
  if (data.numInputs > 0 && data.inputs)
  {
    if (inputBuses.size() < 2)
    {
      const int n = std::min(HostChannels<T>(data.inputs[0]), nInRecords);
      SetChannelConnections(kInput, 0, n, true);
      offsetPointers(data.inputs[0], n, inPtrs.data());
      AttachBuffers(kInput, 0, n, inPtrs.data(), nFrames);
    }
    else
    {
      const int scStart = std::clamp(mMaxNChansForMainInputBus, 0, nInRecords);
      const int nMain = std::min(HostChannels<T>(data.inputs[0]), scStart);
      const bool sidechainActive = inputBuses[1] && inputBuses[1]->isActive() && data.numInputs > 1;
      if (sidechainActive)
      {
        mSidechainActive = true;
        const int nSC = std::min(HostChannels<T>(data.inputs[1]), nInRecords - scStart);
        SetChannelConnections(kInput, 0, nMain, true);
        SetChannelConnections(kInput, scStart, nSC, true);
        offsetPointers(data.inputs[0], nMain, inPtrs.data());
        AttachBuffers(kInput, 0, nMain, inPtrs.data(), nFrames);
        offsetPointers(data.inputs[1], nSC, inPtrs.data() + scStart);
        AttachBuffers(kInput, scStart, nSC, inPtrs.data() + scStart, nFrames);
      }
      else
      {
        if (mSidechainActive)
        {
          ZeroScratchBuffers();
          mSidechainActive = false;
        }
        SetChannelConnections(kInput, 0, nMain, true);
        offsetPointers(data.inputs[0], nMain, inPtrs.data());
        AttachBuffers(kInput, 0, nMain, inPtrs.data(), nFrames);
      }
    }
  }

  SilenceInputsNoLongerFed(nInRecords);

  // Outputs, bus after bus; a bus the host has not activated renders into scratch.
  SetChannelConnections(kOutput, 0, nOutRecords, false);
  if (data.numOutputs > 0 && data.outputs)
  {
    int s = 0;
    for (int32 i = 0; i < data.numOutputs && s < nOutRecords; i++)
    {
      const int n = std::min(HostChannels<T>(data.outputs[i]), nOutRecords - s);
      const bool active = i < static_cast<int32>(outputBuses.size()) && outputBuses[i] && outputBuses[i]->isActive();
      SetChannelConnections(kOutput, s, n, active);
      SetChannelConnections(kOutput, s + n, nOutRecords - (s + n), false);
      offsetPointers(data.outputs[i], n, outPtrs.data() + s);
      AttachBuffers(kOutput, s, n, outPtrs.data() + s, nFrames);
      s += n;
    }
  }

  if (GetBypassed())
    PassThroughBuffers(T(0), nFrames);
  else
    ProcessBuffers(T(0), nFrames);

  // A bus the host has not activated got nothing: leave it silent rather than with whatever the host had there.
  // Done after processing, since the host may have handed the same memory as an input.
  if (data.numOutputs > 0 && data.outputs)
  {
    for (int32 i = 0; i < data.numOutputs; i++)
    {
      const bool active = i < static_cast<int32>(outputBuses.size()) && outputBuses[i] && outputBuses[i]->isActive();
      if (!active)
        ClearHostBus<T>(data.outputs[i], HostChannels<T>(data.outputs[i]), start, nFrames);
    }
  }
}

void IPlugVST3ProcessorBase::ProcessAudio(ProcessData& data, ProcessSetup& setup, const BusList& inputBuses,
                                          const BusList& outputBuses)
{
  (void)setup;
  const int32 sampleSize = data.symbolicSampleSize;
  if (sampleSize != kSample32 && sampleSize != kSample64)
    return;

  const int nFrames = std::max<int32>(data.numSamples, 0);

  if (nFrames > 0 && GetBlockSize() <= 0)
  {
    // Never set up: there is nowhere to process into. Leave silence rather than whatever the host had.
    for (int32 i = 0; data.outputs && i < data.numOutputs; i++)
    {
      if (sampleSize == kSample32)
        ClearHostBus<hostSample32>(data.outputs[i], HostChannels<hostSample32>(data.outputs[i]), 0, nFrames);
      else
        ClearHostBus<sample>(data.outputs[i], HostChannels<sample>(data.outputs[i]), 0, nFrames);
    }
  }
  else
  {
    // Blocks longer than promised in setupProcessing are processed in pieces the scratch buffers can hold.
    int start = 0;
    do
    {
      const int n = std::min(nFrames - start, GetBlockSize());
      if (sampleSize == kSample32)
        RouteAndProcess<hostSample32>(data, inputBuses, outputBuses, start, n, mIn32, mOut32);
      else
        RouteAndProcess<sample>(data, inputBuses, outputBuses, start, n, mIn64, mOut64);
      start += n;
    } while (start < nFrames);
  }

  for (int32 i = 0; data.outputs && i < data.numOutputs; i++)
  {
    if (sampleSize == kSample32)
      SetSilenceFlags<hostSample32>(data.outputs[i], nFrames);
    else
      SetSilenceFlags<sample>(data.outputs[i], nFrames);
  }
}

} // namespace iplug
