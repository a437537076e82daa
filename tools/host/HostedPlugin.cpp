#include "HostedPlugin.h"

#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/common/memorystream.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace brevant::host
{

namespace
{

// kResultOk and kResultTrue are the same value: both mean success.
bool Succeeded(tresult r) { return r == kResultOk; }

} // namespace

std::unique_ptr<HostedPlugin> HostedPlugin::Create(std::shared_ptr<HostModule> module, const ClassInfo& cls,
                                                   std::string& error)
{
  if (!module)
  {
    error = "no module";
    return nullptr;
  }
  std::unique_ptr<HostedPlugin> plug(new HostedPlugin(std::move(module), cls));
  if (!plug->Init(error))
    return nullptr;
  return plug;
}

std::unique_ptr<HostedPlugin> HostedPlugin::Create(std::shared_ptr<HostModule> module, std::string& error)
{
  if (!module)
  {
    error = "no module";
    return nullptr;
  }
  auto effects = module->AudioEffects();
  if (effects.empty())
  {
    error = "the module has no audio effect class";
    return nullptr;
  }
  const ClassInfo& cls = *effects.front();
  return Create(std::move(module), cls, error);
}

HostedPlugin::HostedPlugin(std::shared_ptr<HostModule> module, const ClassInfo& cls)
    : mModule(std::move(module)), mClass(cls), mHandler(owned(new ComponentHandler))
{
  mContext.state = ProcessContext::kPlaying | ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                   ProcessContext::kProjectTimeMusicValid | ProcessContext::kContTimeValid;
  mContext.tempo = 120.0;
  mContext.timeSigNumerator = 4;
  mContext.timeSigDenominator = 4;
}

bool HostedPlugin::Init(std::string& error)
{
  IPluginFactory* factory = mModule->Factory();
  FUnknown* context = static_cast<FUnknown*>(&mModule->Host());
  const std::string name = "\"" + mClass.name + "\"";

  if (!Succeeded(factory->createInstance(mClass.cid, IComponent::iid, reinterpret_cast<void**>(&mComponent))) ||
      !mComponent)
  {
    mComponent = nullptr;
    error = "cannot create an instance of " + name;
    return false;
  }
  if (!Succeeded(mComponent->initialize(context)))
  {
    // A component whose initialize fails is released at once, without terminate.
    mComponent->release();
    mComponent = nullptr;
    error = name + " failed to initialize";
    return false;
  }
  if (!Succeeded(mComponent->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&mProcessor))))
  {
    mProcessor = nullptr;
    error = name + " is not an audio processor";
    return false;
  }

  if (Succeeded(mComponent->queryInterface(IEditController::iid, reinterpret_cast<void**>(&mController))))
    mSingleComponent = true;
  else
  {
    mController = nullptr;
    alignas(8) TUID controllerId = {};
    if (Succeeded(mComponent->getControllerClassId(controllerId)))
    {
      IEditController* controller = nullptr;
      if (!Succeeded(
              factory->createInstance(controllerId, IEditController::iid, reinterpret_cast<void**>(&controller))) ||
          !controller)
      {
        error = "cannot create the controller of " + name + " (class " + ClassIdString(controllerId) + ")";
        return false;
      }
      if (!Succeeded(controller->initialize(context)))
      {
        controller->release();
        error = "the controller of " + name + " failed to initialize";
        return false;
      }
      mController = controller;
      FUnknownPtr<IConnectionPoint> componentPoint(mComponent);
      FUnknownPtr<IConnectionPoint> controllerPoint(mController);
      if (componentPoint && controllerPoint)
      {
        componentPoint->connect(controllerPoint);
        controllerPoint->connect(componentPoint);
        mConnected = true;
      }
    }
  }

  if (mController)
  {
    mController->setComponentHandler(mHandler);
    const int32 params = mController->getParameterCount();
    mInputChanges.Reserve(params + 8);
    mOutputChanges.Reserve(params + 8);
    // A separate controller starts from the component's state, as in a host opening a project.
    std::vector<std::uint8_t> state;
    if (!mSingleComponent && GetState(state))
    {
      IPtr<MemoryStream> stream = owned(new MemoryStream);
      int32 written = 0;
      if (!state.empty())
        stream->write(state.data(), static_cast<int32>(state.size()), &written);
      stream->seek(0, IBStream::kIBSeekSet, nullptr);
      mController->setComponentState(stream);
    }
  }
  mError.clear();
  ActivateDefaultBuses();
  return true;
}

HostedPlugin::~HostedPlugin()
{
  Stop();
  if (mController)
  {
    if (mConnected)
    {
      FUnknownPtr<IConnectionPoint> componentPoint(mComponent);
      FUnknownPtr<IConnectionPoint> controllerPoint(mController);
      if (componentPoint && controllerPoint)
      {
        componentPoint->disconnect(controllerPoint);
        controllerPoint->disconnect(componentPoint);
      }
    }
    mController->setComponentHandler(nullptr);
    if (!mSingleComponent)
      mController->terminate();
    mController->release();
  }
  if (mProcessor)
    mProcessor->release();
  if (mComponent)
  {
    mComponent->terminate();
    mComponent->release();
  }
}

bool HostedPlugin::Fail(const std::string& message)
{
  mError = message;
  return false;
}

//--- Buses -------------------------------------------------------------------------------------------

std::vector<BusDescription> HostedPlugin::Buses(MediaType type, BusDirection dir) const
{
  std::vector<BusDescription> out;
  const int32 count = mComponent->getBusCount(type, dir);
  for (int32 i = 0; i < count; ++i)
  {
    BusInfo info{};
    if (!Succeeded(mComponent->getBusInfo(type, dir, i, info)))
      continue;
    BusDescription bus;
    bus.name = ToUtf8(info.name);
    bus.channels = info.channelCount;
    bus.isMain = info.busType == kMain;
    bus.flags = info.flags;
    bus.defaultActive = (info.flags & BusInfo::kDefaultActive) != 0;
    if (type == kAudio)
    {
      SpeakerArrangement arr = 0;
      if (Succeeded(mProcessor->getBusArrangement(dir, i, arr)))
        bus.arrangement = arr;
    }
    out.push_back(std::move(bus));
  }
  return out;
}

int32 HostedPlugin::BusChannels(BusDirection dir, int32 index) const
{
  SpeakerArrangement arr = 0;
  if (Succeeded(mProcessor->getBusArrangement(dir, index, arr)))
    return SpeakerArr::getChannelCount(arr);
  BusInfo info{};
  return Succeeded(mComponent->getBusInfo(kAudio, dir, index, info)) ? info.channelCount : 0;
}

void HostedPlugin::ActivateDefaultBuses()
{
  for (MediaType type : {kAudio, kEvent})
  {
    for (BusDirection dir : {kInput, kOutput})
    {
      const int32 count = mComponent->getBusCount(type, dir);
      for (int32 i = 0; i < count; ++i)
      {
        BusInfo info{};
        if (Succeeded(mComponent->getBusInfo(type, dir, i, info)) && (info.flags & BusInfo::kDefaultActive))
          mComponent->activateBus(type, dir, i, true);
      }
    }
  }
}

bool HostedPlugin::SetBusArrangements(std::vector<SpeakerArrangement> inputs, std::vector<SpeakerArrangement> outputs)
{
  if (mStarted)
    return Fail("bus arrangements cannot change while processing");
  const tresult r = mProcessor->setBusArrangements(inputs.data(), static_cast<int32>(inputs.size()), outputs.data(),
                                                   static_cast<int32>(outputs.size()));
  if (!Succeeded(r))
    return Fail("the plug-in refused the bus arrangement");
  ActivateDefaultBuses();
  return true;
}

bool HostedPlugin::ActivateBus(MediaType type, BusDirection dir, int32 index, bool active)
{
  if (mStarted)
    return Fail("buses cannot be switched while processing");
  if (!Succeeded(mComponent->activateBus(type, dir, index, active)))
    return Fail("the plug-in refused to switch bus " + std::to_string(index));
  return true;
}

//--- Parameters --------------------------------------------------------------------------------------

std::vector<ParamDescription> HostedPlugin::Params() const
{
  std::vector<ParamDescription> out;
  if (!mController)
    return out;
  const int32 count = mController->getParameterCount();
  for (int32 i = 0; i < count; ++i)
  {
    ParameterInfo info{};
    if (!Succeeded(mController->getParameterInfo(i, info)))
      continue;
    out.push_back({info.id, ToUtf8(info.title), ToUtf8(info.shortTitle), ToUtf8(info.units), info.stepCount,
                   info.defaultNormalizedValue, info.flags, info.unitId});
  }
  return out;
}

std::optional<ParamDescription> HostedPlugin::FindParam(const std::string& title) const
{
  const auto params = Params();
  // "#ID" names a parameter by its id, for titles that several parameters share.
  if (title.size() > 1 && title[0] == '#')
  {
    char* end = nullptr;
    const unsigned long id = std::strtoul(title.c_str() + 1, &end, 0);
    for (const auto& p : params)
    {
      if (end && *end == '\0' && p.id == id)
        return p;
    }
    return std::nullopt;
  }
  // A plug-in's own switch may share its title with the host-side bypass: the plug-in's wins.
  const ParamDescription* exact = nullptr;
  for (const auto& p : params)
  {
    if (p.title == title && (!exact || (exact->flags & ParameterInfo::kIsBypass)))
      exact = &p;
  }
  if (exact)
    return *exact;
  for (const auto& p : params)
  {
    if (strcasecmp(p.title.c_str(), title.c_str()) == 0)
      return p;
  }
  for (const auto& p : params)
  {
    if (!p.shortTitle.empty() && strcasecmp(p.shortTitle.c_str(), title.c_str()) == 0)
      return p;
  }
  return std::nullopt;
}

double HostedPlugin::GetParamNormalized(ParamID id) const
{
  return mController ? mController->getParamNormalized(id) : 0.0;
}

double HostedPlugin::NormalizedToPlain(ParamID id, double normalized) const
{
  return mController ? mController->normalizedParamToPlain(id, normalized) : normalized;
}

double HostedPlugin::PlainToNormalized(ParamID id, double plain) const
{
  const double v = mController ? mController->plainParamToNormalized(id, plain) : plain;
  return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0;
}

std::string HostedPlugin::ParamValueText(ParamID id, double normalized) const
{
  String128 text{};
  if (!mController || !Succeeded(mController->getParamStringByValue(id, normalized, text)))
    return {};
  return ToUtf8(text);
}

bool HostedPlugin::SetParamNormalized(ParamID id, double normalized)
{
  normalized = std::isfinite(normalized) ? std::clamp(normalized, 0.0, 1.0) : 0.0;
  if (mController && !Succeeded(mController->setParamNormalized(id, normalized)))
    return Fail("the controller refused a value for parameter " + std::to_string(id));
  return QueueParamChange(id, normalized, 0);
}

bool HostedPlugin::SetParamPlain(ParamID id, double plain)
{
  return SetParamNormalized(id, PlainToNormalized(id, plain));
}

bool HostedPlugin::QueueParamChange(ParamID id, double normalized, int32 sampleOffset)
{
  if (!mInputChanges.Add(id, sampleOffset, std::clamp(normalized, 0.0, 1.0)))
    return Fail("invalid sample offset " + std::to_string(sampleOffset));
  return true;
}

//--- Processing --------------------------------------------------------------------------------------

bool HostedPlugin::Setup(double sampleRate, int32 maxBlockSize, int32 symbolicSampleSize, int32 processMode)
{
  if (mStarted)
    return Fail("processing cannot be set up while running");
  if (!(sampleRate > 0.0) || maxBlockSize <= 0)
    return Fail("invalid sample rate or block size");
  if (!Succeeded(mProcessor->canProcessSampleSize(symbolicSampleSize)))
    return Fail(std::string("the plug-in cannot process ") + (symbolicSampleSize == kSample64 ? "64" : "32") +
                "-bit samples");
  ProcessSetup setup{processMode, symbolicSampleSize, maxBlockSize, sampleRate};
  if (!Succeeded(mProcessor->setupProcessing(setup)))
    return Fail("the plug-in refused the processing setup");
  mSetup = setup;
  mSetupDone = true;
  mContext.sampleRate = sampleRate;
  return true;
}

void HostedPlugin::AllocateBuffers()
{
  const bool is64 = mSetup.symbolicSampleSize == kSample64;
  const auto size = static_cast<size_t>(mSetup.maxSamplesPerBlock);
  auto build = [&](BusDirection dir, std::vector<BusBuffers>& buffers, std::vector<AudioBusBuffers>& busData)
  {
    const int32 count = mComponent->getBusCount(kAudio, dir);
    buffers.assign(static_cast<size_t>(std::max(count, 0)), {});
    busData.assign(buffers.size(), AudioBusBuffers());
    for (size_t b = 0; b < buffers.size(); ++b)
    {
      const auto channels = static_cast<size_t>(std::max(BusChannels(dir, static_cast<int32>(b)), 0));
      auto& buf = buffers[b];
      if (is64)
        buf.own64.assign(channels, std::vector<double>(size, 0.0));
      else
        buf.own32.assign(channels, std::vector<float>(size, 0.0f));
      buf.ptrs32.assign(channels, nullptr);
      buf.ptrs64.assign(channels, nullptr);
      busData[b].numChannels = static_cast<int32>(channels);
      if (is64)
        busData[b].channelBuffers64 = buf.ptrs64.data();
      else
        busData[b].channelBuffers32 = buf.ptrs32.data();
    }
  };
  build(kInput, mInBuffers, mInBusData);
  build(kOutput, mOutBuffers, mOutBusData);
}

bool HostedPlugin::Start()
{
  if (mStarted)
    return true;
  if (!mSetupDone)
    return Fail("Setup must come before Start");
  AllocateBuffers();
  if (!Succeeded(mComponent->setActive(true)))
    return Fail("the plug-in refused to activate");
  const tresult r = mProcessor->setProcessing(true);
  if (!Succeeded(r) && r != kNotImplemented)
  {
    mComponent->setActive(false);
    return Fail("the plug-in refused to start processing");
  }
  mStarted = true;
  return true;
}

void HostedPlugin::Stop()
{
  if (!mStarted)
    return;
  mProcessor->setProcessing(false);
  mComponent->setActive(false);
  mStarted = false;
}

bool HostedPlugin::Process(int32 numSamples, std::span<float* const> in, std::span<float* const> out,
                           std::span<float* const> sidechain)
{
  return ProcessBlock<float>(numSamples, in, out, sidechain);
}

bool HostedPlugin::Process(int32 numSamples, std::span<double* const> in, std::span<double* const> out,
                           std::span<double* const> sidechain)
{
  return ProcessBlock<double>(numSamples, in, out, sidechain);
}

template <typename T>
bool HostedPlugin::ProcessBlock(int32 numSamples, std::span<T* const> in, std::span<T* const> out,
                                std::span<T* const> sidechain)
{
  constexpr bool is64 = sizeof(T) == sizeof(double);
  if (!mStarted)
    return Fail("Start must come before Process");
  if (is64 != (mSetup.symbolicSampleSize == kSample64))
    return Fail("the sample type does not match the processing setup");
  if (numSamples < 0 || numSamples > mSetup.maxSamplesPerBlock)
    return Fail("block of " + std::to_string(numSamples) + " samples is outside 0.." +
                std::to_string(mSetup.maxSamplesPerBlock));

  auto performed = mHandler->TakePerformed();
  if (mForwardEdits)
  {
    for (const auto& [id, value] : performed)
      mInputChanges.Add(id, 0, value);
  }

  // Returns the silence flags of the bus: the channels the host fills with silence itself.
  auto attach = [&](std::vector<BusBuffers>& buffers, size_t bus, std::span<T* const> user, bool silence)
  {
    uint64 silent = 0;
    auto& buf = buffers[bus];
    auto& own = [&]() -> auto&
    {
      if constexpr (is64)
        return buf.own64;
      else
        return buf.own32;
    }
    ();
    auto& ptrs = [&]() -> auto&
    {
      if constexpr (is64)
        return buf.ptrs64;
      else
        return buf.ptrs32;
    }
    ();
    for (size_t c = 0; c < ptrs.size(); ++c)
    {
      if (c < user.size() && user[c])
        ptrs[c] = user[c];
      else
      {
        // A plug-in may have written into a buffer it was only given to read.
        if (silence)
        {
          std::fill_n(own[c].data(), numSamples, T(0));
          if (c < 64)
            silent |= uint64(1) << c;
        }
        ptrs[c] = own[c].data();
      }
    }
    return silent;
  };
  // As a DAW does: inputs the host feeds silence are flagged silent; output flags are the plug-in's to set.
  for (size_t b = 0; b < mInBuffers.size(); ++b)
    mInBusData[b].silenceFlags = attach(mInBuffers, b, b == 0 ? in : b == 1 ? sidechain : std::span<T* const>(), true);
  for (size_t b = 0; b < mOutBuffers.size(); ++b)
  {
    attach(mOutBuffers, b, b == 0 ? out : std::span<T* const>(), false);
    mOutBusData[b].silenceFlags = 0;
  }

  ProcessData data;
  data.processMode = mSetup.processMode;
  data.symbolicSampleSize = mSetup.symbolicSampleSize;
  data.numSamples = numSamples;
  data.numInputs = static_cast<int32>(mInBusData.size());
  data.numOutputs = static_cast<int32>(mOutBusData.size());
  data.inputs = mInBusData.empty() ? nullptr : mInBusData.data();
  data.outputs = mOutBusData.empty() ? nullptr : mOutBusData.data();
  data.inputParameterChanges = &mInputChanges;
  data.outputParameterChanges = &mOutputChanges;
  data.inputEvents = &mInputEvents;
  data.outputEvents = &mOutputEvents;
  data.processContext = &mContext;

  mOutputChanges.Clear();
  mOutputEvents.Clear();
  mLastProcessResult = mProcessor->process(data);
  mInputChanges.Clear();
  mInputEvents.Clear();

  // What the processor reports goes to the controller, as a host does for meters and the like.
  if (mController)
  {
    for (int32 i = 0; i < mOutputChanges.getParameterCount(); ++i)
    {
      IParamValueQueue* queue = mOutputChanges.getParameterData(i);
      int32 offset = 0;
      ParamValue value = 0;
      if (queue && queue->getPointCount() > 0 && Succeeded(queue->getPoint(queue->getPointCount() - 1, offset, value)))
        mController->setParamNormalized(queue->getParameterId(), value);
    }
  }

  mContext.projectTimeSamples += numSamples;
  mContext.continousTimeSamples += numSamples;
  mContext.projectTimeMusic += numSamples / mContext.sampleRate * mContext.tempo / 60.0;

  if (!Succeeded(mLastProcessResult))
    return Fail("process returned " + std::to_string(mLastProcessResult));
  return true;
}

//--- State -------------------------------------------------------------------------------------------

bool HostedPlugin::GetState(std::vector<std::uint8_t>& data)
{
  IPtr<MemoryStream> stream = owned(new MemoryStream);
  if (!Succeeded(mComponent->getState(stream)))
    return Fail("the plug-in could not save its state");
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream->getData());
  const auto size = static_cast<size_t>(std::max<TSize>(stream->getSize(), 0));
  data.assign(bytes, bytes + (bytes ? size : 0));
  return true;
}

bool HostedPlugin::SetState(const std::vector<std::uint8_t>& data)
{
  if (data.size() > static_cast<size_t>(INT32_MAX))
    return Fail("state too large");
  IPtr<MemoryStream> stream = owned(new MemoryStream);
  int32 written = 0;
  if (!data.empty() &&
      (!Succeeded(stream->write(const_cast<std::uint8_t*>(data.data()), static_cast<int32>(data.size()), &written)) ||
       written != static_cast<int32>(data.size())))
    return Fail("out of memory for the state");
  stream->seek(0, IBStream::kIBSeekSet, nullptr);
  if (!Succeeded(mComponent->setState(stream)))
    return Fail("the plug-in refused the state");
  if (mController && !mSingleComponent)
  {
    stream->seek(0, IBStream::kIBSeekSet, nullptr);
    mController->setComponentState(stream);
  }
  return true;
}

//--- Latency -----------------------------------------------------------------------------------------

uint64 HostedPlugin::OutputSilenceFlags(int32 bus) const
{
  return bus >= 0 && bus < static_cast<int32>(mOutBusData.size()) ? mOutBusData[static_cast<size_t>(bus)].silenceFlags
                                                                  : 0;
}

void HostedPlugin::Idle(double ms) { HostModule::Host().RunLoop().Advance(ms); }

uint32 HostedPlugin::LatencySamples() const { return mProcessor->getLatencySamples(); }

uint32 HostedPlugin::TailSamples() const { return mProcessor->getTailSamples(); }

bool HostedPlugin::TakeLatencyChange(uint32& latency)
{
  const int restarts = mHandler->RestartCount(kLatencyChanged);
  if (restarts <= mLatencyRestartsSeen)
    return false;
  mLatencyRestartsSeen = restarts;
  latency = LatencySamples();
  return true;
}

} // namespace brevant::host
