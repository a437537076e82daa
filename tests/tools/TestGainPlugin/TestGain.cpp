// Test module "TestGain": a gain with side-chain sum and a reported delay, built the way an SDK user builds a
// plug-in. Two classes: "TestGain" (single component) and "TestGain Split" (component plus a separate
// controller, 32-bit only), so a host is exercised on both paths.
#include "TestGainDSP.h"

#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/vstspeaker.h"
#include "public.sdk/source/main/pluginfactory.h"
#include "public.sdk/source/vst/vstcomponent.h"
#include "public.sdk/source/vst/vsteditcontroller.h"
#include "public.sdk/source/vst/vstparameters.h"
#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using namespace testgain;

namespace
{

const FUID kSingleUID(0x7E570001, 0x3A1B4C2D, 0x8E9FA0B1, 0xC2D3E4F5);
const FUID kSplitProcessorUID(0x7E570002, 0x3A1B4C2D, 0x8E9FA0B1, 0xC2D3E4F5);
const FUID kSplitControllerUID(0x7E570003, 0x3A1B4C2D, 0x8E9FA0B1, 0xC2D3E4F5);

void AddParameters(ParameterContainer& params)
{
  params.addParameter(new RangeParameter(STR16("Gain"), kGainId, STR16("dB"), kMinGainDb, kMaxGainDb, 0.0));
  params.addParameter(STR16("Bypass"), nullptr, 1, 0.0, ParameterInfo::kCanAutomate | ParameterInfo::kIsBypass,
                      kBypassId);
  params.addParameter(
      new RangeParameter(STR16("Latency"), kLatencyId, STR16("samples"), 0.0, kMaxLatency, 0.0, kMaxLatency));
}

bool IsMonoOrStereo(SpeakerArrangement arr) { return arr == SpeakerArr::kMono || arr == SpeakerArr::kStereo; }

// Main input and output must match; an optional side-chain may be mono or stereo.
bool AcceptArrangements(const SpeakerArrangement* inputs, int32 numIns, const SpeakerArrangement* outputs,
                        int32 numOuts)
{
  if (numIns < 1 || numIns > 2 || numOuts != 1 || !inputs || !outputs)
    return false;
  if (!IsMonoOrStereo(inputs[0]) || inputs[0] != outputs[0])
    return false;
  return numIns == 1 || IsMonoOrStereo(inputs[1]);
}

bool BusActive(BusList& list, size_t index) { return list.size() > index && list[index]->isActive(); }

int32 MainOutChannels(BusList& outputs)
{
  auto* bus = outputs.empty() ? nullptr : FCast<AudioBus>(outputs[0].get());
  return bus ? SpeakerArr::getChannelCount(bus->getArrangement()) : 0;
}

//--- Single component ------------------------------------------------------------------------------

class TestGain : public SingleComponentEffect
{
public:
  static FUnknown* Create(void*) { return static_cast<IAudioProcessor*>(new TestGain); }

  tresult PLUGIN_API initialize(FUnknown* context) override
  {
    tresult result = SingleComponentEffect::initialize(context);
    if (result != kResultOk)
      return result;
    addAudioInput(STR16("Main"), SpeakerArr::kStereo);
    addAudioInput(STR16("Sidechain"), SpeakerArr::kStereo, kAux, 0);
    addAudioOutput(STR16("Output"), SpeakerArr::kStereo);
    AddParameters(parameters);
    return kResultOk;
  }

  tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                        int32 numOuts) override
  {
    if (!AcceptArrangements(inputs, numIns, outputs, numOuts))
      return kResultFalse;
    return SingleComponentEffect::setBusArrangements(inputs, numIns, outputs, numOuts);
  }

  tresult PLUGIN_API setupProcessing(ProcessSetup& setup) override
  {
    tresult result = SingleComponentEffect::setupProcessing(setup);
    if (result == kResultOk)
      mDSP.Prepare(MainOutChannels(audioOutputs));
    return result;
  }

  tresult PLUGIN_API setActive(TBool state) override
  {
    if (state)
      mDSP.Reset();
    return kResultOk;
  }

  tresult PLUGIN_API process(ProcessData& data) override
  {
    Processor::ApplyChanges(data.inputParameterChanges, mValues);
    mDSP.Process(data, mValues, BusActive(audioInputs, 1));
    return kResultOk;
  }

  uint32 PLUGIN_API getLatencySamples() override { return static_cast<uint32>(LatencyFromNormalized(mValues.latency)); }

  tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue value) override
  {
    tresult result = SingleComponentEffect::setParamNormalized(id, value);
    if (result != kResultTrue)
      return result;
    const uint32 latencyBefore = getLatencySamples();
    if (auto* v = mValues.Find(id))
      *v = getParamNormalized(id);
    if (getLatencySamples() != latencyBefore && componentHandler)
      componentHandler->restartComponent(kLatencyChanged);
    return result;
  }

  tresult PLUGIN_API setState(IBStream* state) override
  {
    if (!state || !mValues.Read(state))
      return kResultFalse;
    for (ParamID id : {kGainId, kBypassId, kLatencyId})
      SingleComponentEffect::setParamNormalized(id, *mValues.Find(id));
    return kResultOk;
  }

  tresult PLUGIN_API getState(IBStream* state) override
  {
    return state && mValues.Write(state) ? kResultOk : kResultFalse;
  }

private:
  Values mValues;
  Processor mDSP;
};

//--- Separate processor and controller ---------------------------------------------------------------

class SplitProcessor : public Component, public IAudioProcessor
{
public:
  static FUnknown* Create(void*) { return static_cast<IAudioProcessor*>(new SplitProcessor); }

  SplitProcessor() { setControllerClass(kSplitControllerUID); }

  tresult PLUGIN_API initialize(FUnknown* context) override
  {
    tresult result = Component::initialize(context);
    if (result != kResultOk)
      return result;
    audioInputs.emplace_back(
        owned(static_cast<Bus*>(new AudioBus(STR16("Main"), kMain, BusInfo::kDefaultActive, SpeakerArr::kStereo))));
    audioInputs.emplace_back(owned(static_cast<Bus*>(new AudioBus(STR16("Sidechain"), kAux, 0, SpeakerArr::kStereo))));
    audioOutputs.emplace_back(
        owned(static_cast<Bus*>(new AudioBus(STR16("Output"), kMain, BusInfo::kDefaultActive, SpeakerArr::kStereo))));
    return kResultOk;
  }

  tresult PLUGIN_API setActive(TBool state) override
  {
    if (state)
    {
      mDSP.Reset();
      sendMessageID(kActivatedMessage);
    }
    return kResultOk;
  }

  tresult PLUGIN_API setState(IBStream* state) override
  {
    return state && mValues.Read(state) ? kResultOk : kResultFalse;
  }

  tresult PLUGIN_API getState(IBStream* state) override
  {
    return state && mValues.Write(state) ? kResultOk : kResultFalse;
  }

  tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                        int32 numOuts) override
  {
    if (!AcceptArrangements(inputs, numIns, outputs, numOuts))
      return kResultFalse;
    for (int32 i = 0; i < numIns; ++i)
      FCast<AudioBus>(audioInputs[static_cast<size_t>(i)].get())->setArrangement(inputs[i]);
    FCast<AudioBus>(audioOutputs[0].get())->setArrangement(outputs[0]);
    return kResultTrue;
  }

  tresult PLUGIN_API getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) override
  {
    BusList* list = getBusList(kAudio, dir);
    if (!list || index < 0 || index >= static_cast<int32>(list->size()))
      return kInvalidArgument;
    arr = FCast<AudioBus>(list->at(static_cast<size_t>(index)).get())->getArrangement();
    return kResultTrue;
  }

  tresult PLUGIN_API canProcessSampleSize(int32 size) override
  {
    return size == kSample32 ? kResultTrue : kResultFalse;
  }
  uint32 PLUGIN_API getLatencySamples() override { return static_cast<uint32>(LatencyFromNormalized(mValues.latency)); }
  uint32 PLUGIN_API getTailSamples() override { return kNoTail; }
  tresult PLUGIN_API setProcessing(TBool) override { return kResultOk; }

  tresult PLUGIN_API setupProcessing(ProcessSetup& setup) override
  {
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue)
      return kResultFalse;
    mDSP.Prepare(MainOutChannels(audioOutputs));
    return kResultOk;
  }

  tresult PLUGIN_API process(ProcessData& data) override
  {
    Processor::ApplyChanges(data.inputParameterChanges, mValues);
    mDSP.Process(data, mValues, BusActive(audioInputs, 1));
    return kResultOk;
  }

  OBJ_METHODS(SplitProcessor, Component)
  DEFINE_INTERFACES
  DEF_INTERFACE(IAudioProcessor)
  END_DEFINE_INTERFACES(Component)
  REFCOUNT_METHODS(Component)

private:
  Values mValues;
  Processor mDSP;
};

class SplitController : public EditController
{
public:
  static FUnknown* Create(void*) { return static_cast<IEditController*>(new SplitController); }

  tresult PLUGIN_API initialize(FUnknown* context) override
  {
    tresult result = EditController::initialize(context);
    if (result == kResultOk)
      AddParameters(parameters);
    return result;
  }

  tresult PLUGIN_API setComponentState(IBStream* state) override
  {
    Values values;
    if (!state || !values.Read(state))
      return kResultFalse;
    for (ParamID id : {kGainId, kBypassId, kLatencyId})
      setParamNormalized(id, *values.Find(id));
    return kResultOk;
  }

  tresult PLUGIN_API notify(IMessage* message) override
  {
    if (message && FIDStringsEqual(message->getMessageID(), kActivatedMessage))
    {
      if (componentHandler)
        componentHandler->restartComponent(kParamValuesChanged);
      return kResultOk;
    }
    return EditController::notify(message);
  }
};

} // namespace

bool InitModule() { return true; }
bool DeinitModule() { return true; }

BEGIN_FACTORY_DEF("Brevant Tests", "https://example.invalid/testgain", "mailto:tests@example.invalid")

DEF_CLASS2(INLINE_UID_FROM_FUID(kSingleUID), PClassInfo::kManyInstances, kVstAudioEffectClass, "TestGain",
           Vst::kSimpleModeSupported, "Fx", "1.2.3", kVstVersionString, TestGain::Create)

DEF_CLASS2(INLINE_UID_FROM_FUID(kSplitProcessorUID), PClassInfo::kManyInstances, kVstAudioEffectClass, "TestGain Split",
           Vst::kDistributable, "Fx", "1.2.3", kVstVersionString, SplitProcessor::Create)

DEF_CLASS2(INLINE_UID_FROM_FUID(kSplitControllerUID), PClassInfo::kManyInstances, kVstComponentControllerClass,
           "TestGain Split Controller", 0, "", "1.2.3", kVstVersionString, SplitController::Create)

END_FACTORY
