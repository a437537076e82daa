#pragma once
// The LV2 plug-in object, and the framework's API object a plug-in class derives from when it is built as LV2.
// LV2 splits a plug-in in two: the DSP instance (lv2_descriptor) and the editor (lv2ui_descriptor), which may live
// in another process. So one object plays one of two roles, chosen when it is instantiated:
//   DSP: control ports are the parameters (plain values, read at the start of each run), audio ports feed the
//        processor core, meters and latency go out on output ports, state travels through the state extension.
//   UI:  an editor-only instance of the same plug-in class. Every value arrives through port_event; edits leave
//        through write_function (and ui:touch around gestures), never through a pointer to the DSP instance.
//
// Typical use (the module's entry, IPlugLV2_Entry):
//   IPlugLV2* plug = MakeLV2Plug(info);
//   plug->InstantiateDSP(variant, rate, bundlePath, features);   // or InstantiateUI(...)
//   plug->ConnectPort(i, data); plug->Activate(); plug->Run(n); ... delete plug;
//
// Threads, as LV2 assigns them: instantiate, activate, deactivate, state and cleanup on the host's main thread;
// connect_port and run on the audio thread; every UI call on the host's UI thread. Run never allocates, locks or
// waits.

#include "IPlugAPIBase.h"
#include "IPlugLV2_Ports.h"
#include "IPlugProcessor.h"

#include "lv2/core/lv2.h"
#include "lv2/state/state.h"
#include "lv2/ui/ui.h"
#include "lv2/urid/urid.h"

#include <string>
#include <vector>

namespace iplug
{

class LV2RunLoop;

class IPlugLV2 : public IPlugAPIBase, public IPlugProcessor
{
public:
  /** Block length assumed when the host does not say (bufsz); longer runs are processed in pieces. */
  static constexpr int kDefaultBlockSize = 4096;

  IPlugLV2(const InstanceInfo& info, const Config& config);
  ~IPlugLV2() override;

  // --- framework hooks
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  void InformHostOfPresetChange() override {}
  bool EditorResize(int viewWidth, int viewHeight) override;
  bool SendMidiMsg(const IMidiMsg&) override { return false; }
  /** Audio thread: keeps the readings for the meter ports as well. */
  void SendMeterValuesFromProcessor(const IMeterValues& values) override;
  /** Hosts read meters from their output ports; nothing more to keep. */
  void SetHostReadableValue(int, double) {}

  // --- DSP role
  /** Sets the instance up as the given variant; false when the rate is unusable. Without urid:map (lilv's lv2apply
   *  offers none) it processes, and refuses state with LV2_STATE_ERR_NO_FEATURE. */
  bool InstantiateDSP(const LV2Variant& variant, double sampleRate, const char* bundlePath,
                      const LV2_Feature* const* features);
  const LV2PortLayout& GetPorts() const { return mPorts; }
  void ConnectPort(uint32_t port, void* data);
  void Activate();
  void Deactivate();
  void Run(uint32_t nFrames);
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);
  static const void* DSPExtensionData(const char* uri);
  /** The state's one property, an atom:Chunk holding the plug-in's state bytes: the first variant's URI + "#state". */
  static std::string StateKeyURI();

  // --- UI role
  /** Opens the editor in the host's window (ui:parent); headless (no window until OpenHeadlessEditor) when the
   *  host asks for it with kHeadlessFeatureURI. False when there is neither. */
  bool InstantiateUI(const char* bundlePath, LV2UI_Write_Function write, LV2UI_Controller controller,
                     LV2UI_Widget* widget, const LV2_Feature* const* features);
  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
  /** ui:idleInterface: the editor's ticks and X events. 0: keep going. */
  int Idle();
  /** ui:resize offered by the UI: the host resized its window. Non-zero (refused) unless the plug-in lets hosts
   *  resize its editor. */
  int HostResizedUI(int width, int height);
  static const void* UIExtensionData(const char* uri);
  LV2RunLoop* GetRunLoop() const { return mRunLoop; }

private:
  void SetBundle(const char* bundlePath);
  void ApplyControlPorts();
  void RenderSpan(uint32_t start, int nFrames);

  // DSP role.
  LV2PortLayout mPorts;
  LV2_URID_Map* mMap = nullptr;
  std::vector<float*> mPortData;
  std::vector<float> mLastControl;  // the control values applied last, as the ports held them
  std::vector<double> mMeterValues; // readings the processor sent this run, per parameter
  std::vector<char> mMeterSent;
  std::vector<hostSample32*> mIn32, mOut32;
  std::vector<float> mSilence; // an unconnected side-chain reads this
  bool mActive = false;
  bool mSidechainActive = false;

  // UI role.
  LV2UI_Write_Function mWrite = nullptr;
  LV2UI_Controller mController = nullptr;
  const LV2UI_Resize* mHostResize = nullptr;
  const LV2UI_Touch* mHostTouch = nullptr;
  LV2RunLoop* mRunLoop = nullptr; // owned reference
  float mUIScale = 1.f;
};

/** Instantiation feature of this framework's UIs: no window; the host draws it through the headless extension. */
static constexpr const char* kHeadlessFeatureURI = "https://quillmere.example/iplug#headless";

} // namespace iplug
