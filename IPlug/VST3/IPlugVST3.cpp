#include "IPlugVST3.h"

#include "IGraphics.h"
#include "IPlugByteChunk.h"
#include "IPlugHost.h"
#include "IPlugVST3View.h"
#include "IPopupMenu.h"

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivsthostapplication.h"

#include <cmath>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace iplug
{

namespace
{
// A stored state is a few hundred bytes; a stream that keeps going far beyond any real state is refused.
constexpr int kMaxStateBytes = 64 * 1024 * 1024;
// Longest channel-context text read from a host (UTF-16 units, terminator excluded).
constexpr int64 kMaxChannelTextLen = 1024;
} // namespace

IPlugVST3::IPlugVST3(const InstanceInfo& info, const Config& config)
    : IPlugAPIBase(config, kAPIVST3), IPlugVST3ProcessorBase(config, *this), IPlugVST3ControllerBase(parameters)
{
  (void)info;
  CreateTimer();
}

IPlugVST3::~IPlugVST3()
{
  // No tick may reach this object once its parts start going away.
  if (mTimer)
    mTimer->Stop();
}

// --- framework hooks --------------------------------------------------------------------------

void IPlugVST3::BeginInformHostOfParamChange(int idx) { beginEdit(static_cast<ParamID>(idx)); }

void IPlugVST3::InformHostOfParamChange(int idx, double normalizedValue)
{
  performEdit(static_cast<ParamID>(idx), normalizedValue);
}

void IPlugVST3::EndInformHostOfParamChange(int idx) { endEdit(static_cast<ParamID>(idx)); }

void IPlugVST3::InformHostOfParameterDetailsChange()
{
  if (componentHandler)
  {
    FUnknownPtr<IComponentHandler> handler(componentHandler);
    if (handler)
      handler->restartComponent(kParamTitlesChanged);
  }
}

bool IPlugVST3::EditorResize(int viewWidth, int viewHeight)
{
  if (HasUI())
  {
    if (viewWidth != GetEditorWidth() || viewHeight != GetEditorHeight())
    {
      // The host frame lives with the view; without an open view there is nothing to resize.
      if (IPlugFrame* frame = GetViewFrame())
      {
        ViewRect rect(0, 0, viewWidth, viewHeight);
        frame->resizeView(mView, &rect);
      }
    }
    SetEditorSize(viewWidth, viewHeight);
  }
  return true;
}

void IPlugVST3::DirtyParametersFromUI()
{
  for (int i = 0; i < NParams(); i++)
  {
    if (Parameter* parameter = parameters.getParameter(static_cast<ParamID>(i)))
      parameter->setNormalized(std::clamp(GetParam(i)->GetNormalized(), 0.0, 1.0));
  }
  startGroupEdit();
  IPlugAPIBase::DirtyParametersFromUI();
  finishGroupEdit();
}

void IPlugVST3::SendParameterValueFromUI(int paramIdx, double normalizedValue)
{
  if (Parameter* parameter = parameters.getParameter(static_cast<ParamID>(paramIdx)))
    parameter->setNormalized(normalizedValue);
  IPlugAPIBase::SendParameterValueFromUI(paramIdx, normalizedValue);
}

void IPlugVST3::SetLatency(int samples)
{
  IPlugProcessor::SetLatency(samples);
  SendLatencyChangeFromProcessor(GetLatency());
}

void IPlugVST3::OnLatencyChangeUI(int latency)
{
  (void)latency; // the host reads the stored latency through getLatencySamples
  if (componentHandler)
  {
    FUnknownPtr<IComponentHandler> handler(componentHandler);
    if (handler)
      handler->restartComponent(kLatencyChanged);
  }
}

bool IPlugVST3::GetTrackColor(int& r, int& g, int& b)
{
  const uint32_t c = static_cast<uint32_t>(mChannelColor);
  r = static_cast<int>((c >> 16) & 0xFF);
  g = static_cast<int>((c >> 8) & 0xFF);
  b = static_cast<int>(c & 0xFF);
  return true;
}

// --- IComponent / IAudioProcessor -------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::initialize(FUnknown* context)
{
  // The SDK base tells a second initialize only by the host context it kept, which a host may not have given.
  if (mInitialized)
    return kResultFalse;
  const tresult result = SingleComponentEffect::initialize(context);
  if (result != kResultOk)
    return result;
  mInitialized = true;

  IPlugVST3ProcessorBase::Initialize(*this);
  // A plug-in whose presets are all made offers them as the host's program list; one that leaves slots for user
  // presets to be captured in has no fixed list to show.
  std::vector<std::string> programNames;
  for (int i = 0; i < NPresets(); i++)
  {
    if (GetPreset(i)->mInitialized)
      programNames.emplace_back(GetPresetName(i));
  }
  if (programNames.size() != static_cast<size_t>(NPresets()))
    programNames.clear();
  IPlugVST3ControllerBase::Initialize(*this, *this, IsInstrument(), DoesMIDIIn(), programNames);
  // Initialized again after terminate, the host parameters start from the instance's values, not the defaults.
  UpdateParams(*this, GetBypassed() ? 1.0 : 0.0);

  if (GetHost() == kHostUninit)
  {
    FUnknownPtr<IHostApplication> app(context);
    if (app)
    {
      String128 name16 = {};
      if (app->getName(name16) == kResultOk)
      {
        name16[127] = 0;
        char name[128];
        UString(name16, 128).toAscii(name, 128);
        SetHost(name, 0);
      }
    }
  }

  // Some hosts offer their run loop here already; the framework timer then ticks on the host's UI thread.
  FUnknownPtr<Linux::IRunLoop> runLoop(context);
  mContextRunLoop = runLoop.getInterface();
  if (runLoop)
    SetHostRunLoop(runLoop);

  OnHostIdentified();
  OnParamReset(kReset);
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::terminate()
{
  mInitialized = false;
  mContextRunLoop = nullptr;
  SetHostRunLoop(nullptr);
  const tresult result = SingleComponentEffect::terminate();
  ClearParameterPointers();
  return result;
}

tresult PLUGIN_API IPlugVST3::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                                 int32 numOuts)
{
  return SetBusArrangements(*this, audioInputs, audioOutputs, inputs, numIns, outputs, numOuts) ? kResultOk
                                                                                                : kResultFalse;
}

tresult PLUGIN_API IPlugVST3::setActive(TBool state)
{
  DeliverFromProcessor();
  OnActivate(state != 0);
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::setupProcessing(ProcessSetup& newSetup)
{
  return SetupProcessing(newSetup, processSetup) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API IPlugVST3::setProcessing(TBool state)
{
  SetProcessing(state != 0);
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::process(ProcessData& data)
{
  Process(data, processSetup, audioInputs, audioOutputs, mMidiMsgsFromEditor, mMidiMsgsFromProcessor,
          mSysExDataFromEditor, mSysexBuf);
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::canProcessSampleSize(int32 symbolicSampleSize)
{
  return CanProcessSampleSize(symbolicSampleSize) ? kResultOk : kResultFalse;
}

uint32 PLUGIN_API IPlugVST3::getLatencySamples() { return static_cast<uint32>(std::max(GetLatency(), 0)); }

uint32 PLUGIN_API IPlugVST3::getTailSamples() { return static_cast<uint32>(std::max(GetTailSize(), 0)); }

tresult PLUGIN_API IPlugVST3::getState(IBStream* state)
{
  if (!state)
    return kResultFalse;

  DeliverFromProcessor();
  IByteChunk chunk;
  if (!SerializeState(chunk))
    return kResultFalse;

  int32 written = 0;
  if (chunk.Size() > 0 &&
      (state->write(chunk.GetData(), chunk.Size(), &written) != kResultOk || written != chunk.Size()))
    return kResultFalse;

  const int32_t bypass = GetBypassed() ? 1 : 0;
  uint8_t bytes[4];
  for (int i = 0; i < 4; i++)
    bytes[i] = static_cast<uint8_t>((static_cast<uint32_t>(bypass) >> (8 * i)) & 0xFF);
  written = 0;
  if (state->write(bytes, 4, &written) != kResultOk || written != 4)
    return kResultFalse;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::setState(IBStream* state)
{
  if (!state)
    return kResultFalse;

  // Read to the end. WaveLab reports failure on reads that still deliver data: keep those.
  const int host = GetHost();
  const bool tolerateFailedReads = host == kHostWaveLab;
  IByteChunk chunk;
  uint8_t buffer[128];
  for (;;)
  {
    int32 got = 0;
    const tresult result = state->read(buffer, sizeof(buffer), &got);
    if (got <= 0)
      break;
    if (got > static_cast<int32>(sizeof(buffer)))
      return kResultFalse; // a stream that claims more than it was asked for cannot be trusted
    if (result != kResultOk && !tolerateFailedReads)
      break;
    chunk.PutBytes(buffer, got);
    if (chunk.Size() > kMaxStateBytes)
      return kResultFalse;
  }

  // A refused state must not leave a half-loaded plug-in behind: keep what we had to put it back.
  IByteChunk previous;
  const bool haveBackup = SerializeState(previous);

  const int pos = UnserializeState(chunk, 0);
  int32_t bypass = 0;
  const bool complete = pos >= 0 && chunk.Get(&bypass, pos) > pos;

  if (!complete)
  {
    if (haveBackup)
      UnserializeState(previous, 0);
    return kResultFalse;
  }

  // The processor takes the restored switch at once: a host that saves again before it processes (or never sends
  // the switch, since its value did not change) must not lose the bypass.
  SetBypassed(bypass != 0);
  UpdateParams(*this, bypass != 0 ? 1.0 : 0.0);
  OnRestoreState();
  return kResultOk;
}

// --- IEditController ---------------------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::getParameterInfo(int32 paramIndex, ParameterInfo& info)
{
  // The SDK container throws for an index outside its range; a host asking for one gets a plain refusal.
  if (paramIndex < 0 || paramIndex >= parameters.getParameterCount())
    return kResultFalse;
  return SingleComponentEffect::getParameterInfo(paramIndex, info);
}

ParamValue PLUGIN_API IPlugVST3::getParamNormalized(ParamID tag)
{
  if (Parameter* parameter = parameters.getParameter(tag))
    return parameter->getNormalized();
  return 0.0;
}

tresult PLUGIN_API IPlugVST3::setParamNormalized(ParamID tag, ParamValue value)
{
  // Hosts mirror automation here regularly on the main thread: a good moment to deliver a latency change to a host
  // that offers no run loop for the timer.
  DeliverFromProcessor();
  if (mProgramParameter && tag == kVST3PresetParamID)
  {
    if (!std::isfinite(value))
      return kResultFalse;
    // Only a change of program recalls: a host echoing the value it shows (after restoring a session, say) must
    // not overwrite the state it just restored.
    const int before = ProgramFromNormalized(mProgramParameter->getNormalized());
    mProgramParameter->setNormalized(value);
    const int program = ProgramFromNormalized(mProgramParameter->getNormalized());
    if (program != before)
      RecallProgram(program);
    return kResultOk;
  }
  return SetParamNormalized(*this, tag, value) ? kResultOk : kResultFalse;
}

void IPlugVST3::RecallProgram(int program)
{
  if (!RestorePreset(program))
    return;
  UpdateParams(*this, mBypassParameter ? mBypassParameter->getNormalized() : 0.0);
  if (componentHandler)
  {
    FUnknownPtr<IComponentHandler> handler(componentHandler);
    if (handler)
      handler->restartComponent(kParamValuesChanged);
  }
}

IPlugView* PLUGIN_API IPlugVST3::createView(const char* name)
{
  if (!HasUI() || !name || std::strcmp(name, ViewType::kEditor) != 0)
    return nullptr;
  // A view takes the editor only when it is attached: hosts create views just to ask their size.
  return new IPlugVST3View<IPlugVST3>(*this);
}

void IPlugVST3::SetViewRunLoop(Linux::IRunLoop* runLoop)
{
  // The frame's run loop is the one hosts document for editors; without a frame, the context's (if any).
  SetHostRunLoop(runLoop ? runLoop : mContextRunLoop.get());
}


tresult PLUGIN_API IPlugVST3::getMidiControllerAssignment(int32 busIndex, int16 channel,
                                                          CtrlNumber midiControllerNumber, ParamID& id)
{
  // Without MIDI input there are no controller parameters to name: an ID here would point at nothing.
  if (!DoesMIDIIn())
    return kResultFalse;
  if (busIndex != 0 || channel > 0 || channel < 0)
    return kResultFalse;
  if (midiControllerNumber < 0 || midiControllerNumber >= kVST3NumMIDICCParamsPerChannel)
    return kResultFalse;
  id = static_cast<ParamID>(channel * kVST3NumMIDICCParamsPerChannel + midiControllerNumber) + kVST3MIDICCParamStartID;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getUnitInfo(int32 unitIndex, UnitInfo& info)
{
  // The SDK's unit list throws for an index outside it; a host asking for one gets a plain refusal.
  if (unitIndex < 0 || unitIndex >= getUnitCount())
    return kResultFalse;
  return SingleComponentEffect::getUnitInfo(unitIndex, info);
}

tresult PLUGIN_API IPlugVST3::getProgramName(ProgramListID listId, int32 programIndex, String128 name)
{
  if (NPresets() <= 0 || listId != static_cast<ProgramListID>(kVST3PresetParamID))
    return kResultFalse;
  if (programIndex < 0 || programIndex >= NPresets())
    return kResultFalse;
  CopyAsciiToUTF16(name, 128, GetPresetName(programIndex));
  return kResultOk;
}

// --- IProcessContextRequirements ----------------------------------------------------------------

uint32 PLUGIN_API IPlugVST3::getProcessContextRequirements()
{
  // Everything the framework copies into its transport information (hosts that honour this fill in only what is
  // asked for).
  using R = IProcessContextRequirements;
  return R::kNeedProjectTimeMusic | R::kNeedBarPositionMusic | R::kNeedCycleMusic | R::kNeedTempo |
         R::kNeedTimeSignature | R::kNeedTransportState;
}

// --- IInfoListener -------------------------------------------------------------------------------

tresult PLUGIN_API IPlugVST3::setChannelContextInfos(IAttributeList* list)
{
  if (!list)
    return kResultFalse;

  // Reads a text whose length the host gives under lengthKey; absent lengths fall back to a String128.
  auto readText = [list](IAttrID lengthKey, IAttrID textKey, WDL_String& dst)
  {
    int64 length = 127;
    if (list->getInt(lengthKey, length) != kResultOk)
      length = 127;
    if (length < 0)
      return;
    length = std::min(length, kMaxChannelTextLen);
    std::vector<TChar> text(static_cast<size_t>(length) + 1, 0);
    if (list->getString(textKey, text.data(), static_cast<uint32>(text.size() * sizeof(TChar))) == kResultOk)
    {
      text.back() = 0;
      UTF16ToUTF8(dst, text.data(), static_cast<int>(text.size()));
    }
  };

  readText(ChannelContext::kChannelNameLengthKey, ChannelContext::kChannelNameKey, mChannelName);
  readText(ChannelContext::kChannelUIDLengthKey, ChannelContext::kChannelUIDKey, mChannelUID);

  int64 value = 0;
  if (list->getInt(ChannelContext::kChannelIndexKey, value) == kResultOk)
    mChannelIndex = static_cast<int>(value);
  if (list->getInt(ChannelContext::kChannelColorKey, value) == kResultOk)
    mChannelColor = static_cast<int>(static_cast<uint32>(value));
  if (list->getInt(ChannelContext::kChannelIndexNamespaceOrderKey, value) == kResultOk)
    mChannelNamespaceIndex = static_cast<int>(value);

  readText(ChannelContext::kChannelIndexNamespaceLengthKey, ChannelContext::kChannelIndexNamespaceKey,
           mChannelNamespace);
  return kResultOk;
}

bool IPlugVST3::PopupHostContextMenuForParam(int paramIdx, const igraphics::IPopupMenu& menu,
                                             IContextMenuTarget* target, int x, int y)
{
  if (!componentHandler || !mView)
    return false;
  FUnknownPtr<IComponentHandler3> handler3(componentHandler);
  if (!handler3)
    return false;
  const ParamID paramID = static_cast<ParamID>(paramIdx);
  IContextMenu* hostMenu = handler3->createContextMenu(mView, &paramID);
  if (!hostMenu)
    return false;
  for (int i = 0; i < menu.NItems(); i++)
  {
    const igraphics::IPopupMenu::Item* item = menu.GetItem(i);
    IContextMenuItem entry{};
    UString(entry.name, 128).fromAscii(item->GetText());
    entry.tag = i;
    entry.flags = item->GetEnabled() ? 0 : IContextMenuItem::kIsDisabled;
    hostMenu->addItem(entry, target);
  }
  hostMenu->popup(static_cast<UCoord>(x), static_cast<UCoord>(y));
  hostMenu->release();
  return true;
}

} // namespace iplug
