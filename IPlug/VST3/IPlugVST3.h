#pragma once
// The VST3 effect object a host talks to: component, audio processor and edit controller in one, and the
// framework's API object that a plug-in class derives from.

#include "IPlugAPIBase.h"
#include "IPlugVST3_ControllerBase.h"
#include "IPlugVST3_ProcessorBase.h"

#include "pluginterfaces/vst/ivstchannelcontextinfo.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

namespace iplug
{

class IPlugVST3 : public IPlugAPIBase,
                  public IPlugVST3ProcessorBase,
                  public IPlugVST3ControllerBase,
                  public Steinberg::Vst::SingleComponentEffect,
                  public Steinberg::Vst::IMidiMapping,
                  public Steinberg::Vst::ChannelContext::IInfoListener
{
public:
  using tresult = Steinberg::tresult;
  using int32 = Steinberg::int32;
  using ParamID = Steinberg::Vst::ParamID;
  using ParamValue = Steinberg::Vst::ParamValue;

  IPlugVST3(const InstanceInfo& info, const Config& config);
  ~IPlugVST3() override;

  // --- framework hooks (IPlugAPIBase, IEditorDelegate, IPlugProcessor)
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  void InformHostOfPresetChange() override {}
  void InformHostOfParameterDetailsChange() override;
  bool EditorResize(int viewWidth, int viewHeight) override;
  bool PopupHostContextMenuForParam(int paramIdx, const igraphics::IPopupMenu& menu,
                                    Steinberg::Vst::IContextMenuTarget* target, int x, int y) override;
  void DirtyParametersFromUI() override;
  void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
  /** Stores the latency and has the host re-read it. Safe on the audio thread: the host is told from the main
   * thread (next timer tick, or the next main-thread host call that delivers what the processor produced). */
  void SetLatency(int samples) override;
  /** Main thread: asks the host to re-read the latency. */
  void OnLatencyChangeUI(int latency) override;
  /** Main thread: the value hosts read for a parameter the plug-in drives itself (a meter), clamped to 0..1. */
  void SetHostReadableValue(int paramIdx, double normalizedValue)
  {
    if (Steinberg::Vst::Parameter* parameter = parameters.getParameter(static_cast<ParamID>(paramIdx)))
      parameter->setNormalized(normalizedValue);
  }

  bool GetTrackColor(int& r, int& g, int& b) override;
  bool GetTrackName(WDL_String& str) override
  {
    str.Set(mChannelName.Get());
    return true;
  }
  int GetTrackIndex() override { return mChannelIndex; }
  bool GetTrackNamespace(WDL_String& str) override
  {
    str.Set(mChannelNamespace.Get());
    return true;
  }
  int GetTrackNamespaceIndex() override { return mChannelNamespaceIndex; }

  // --- IComponent / IAudioProcessor
  tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
  tresult PLUGIN_API terminate() override;
  tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, int32 numIns,
                                        Steinberg::Vst::SpeakerArrangement* outputs, int32 numOuts) override;
  tresult PLUGIN_API setActive(Steinberg::TBool state) override;
  tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& newSetup) override;
  tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
  tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
  tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) override;
  Steinberg::uint32 PLUGIN_API getLatencySamples() override;
  Steinberg::uint32 PLUGIN_API getTailSamples() override;
  tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
  tresult PLUGIN_API getState(Steinberg::IBStream* state) override;

  // --- IEditController
  tresult PLUGIN_API setComponentState(Steinberg::IBStream*) override { return Steinberg::kResultOk; }
  tresult PLUGIN_API getParameterInfo(int32 paramIndex, Steinberg::Vst::ParameterInfo& info) override;
  ParamValue PLUGIN_API getParamNormalized(ParamID tag) override;
  tresult PLUGIN_API setParamNormalized(ParamID tag, ParamValue value) override;
  Steinberg::IPlugView* PLUGIN_API createView(const char* name) override;
  /** The object's single state travels through getState/setState: the controller-side calls have nothing to do. */
  tresult setEditorState(Steinberg::IBStream*) { return Steinberg::kResultOk; }
  tresult getEditorState(Steinberg::IBStream*) { return Steinberg::kResultOk; }

  // --- IMidiMapping
  tresult PLUGIN_API getMidiControllerAssignment(int32 busIndex, Steinberg::int16 channel,
                                                 Steinberg::Vst::CtrlNumber midiControllerNumber, ParamID& id) override;

  // --- IUnitInfo
  tresult PLUGIN_API getUnitInfo(int32 unitIndex, Steinberg::Vst::UnitInfo& info) override;
  /** One list, the presets, when the plug-in made any; none otherwise. */
  int32 PLUGIN_API getProgramListCount() override { return SingleComponentEffect::getProgramListCount(); }
  tresult PLUGIN_API getProgramListInfo(int32 listIndex, Steinberg::Vst::ProgramListInfo& info) override
  {
    return SingleComponentEffect::getProgramListInfo(listIndex, info) == Steinberg::kResultOk ? Steinberg::kResultOk
                                                                                              : Steinberg::kResultFalse;
  }
  tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId, int32 programIndex,
                                    Steinberg::Vst::String128 name) override;

  // --- IProcessContextRequirements
  Steinberg::uint32 PLUGIN_API getProcessContextRequirements() override;

  // --- IInfoListener
  tresult PLUGIN_API setChannelContextInfos(Steinberg::Vst::IAttributeList* list) override;

  OBJ_METHODS(IPlugVST3, SingleComponentEffect)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Vst::IMidiMapping)
  DEF_INTERFACE(Steinberg::Vst::ChannelContext::IInfoListener)
  END_DEFINE_INTERFACES(SingleComponentEffect)
  REFCOUNT_METHODS(SingleComponentEffect)

  // --- the editor view's side (IPlugVST3View)
  /** The host frame given to the editor view (null to forget it). */
  void SetViewFrame(Steinberg::IPlugFrame* frame) { mViewFrame = frame; }
  /** The run loop the view's frame offers (null: the frame is gone); the host context's stands in without one. */
  void SetViewRunLoop(Steinberg::Linux::IRunLoop* runLoop);

protected:
  template <class> friend class IPlugVST3View;

  /** The host frame of the open editor view, which resizes the host's window; none until the view exists. */
  virtual Steinberg::IPlugFrame* GetViewFrame() const { return mView ? mViewFrame : nullptr; }

  /** The view the editor is open in (not owned), null while it is closed. */
  Steinberg::IPlugView* mView = nullptr;
  Steinberg::IPlugFrame* mViewFrame = nullptr;

private:
  /** Main thread: the host chose a program; restores that preset and has the host re-read the values. */
  void RecallProgram(int program);

  /** The run loop the host context offered in initialize, if any. */
  Steinberg::IPtr<Steinberg::Linux::IRunLoop> mContextRunLoop;
  /** Between a successful initialize and terminate. */
  bool mInitialized = false;
};

} // namespace iplug
