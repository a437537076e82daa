#pragma once
// Host-facing services every plug-in API shares: the identity and editor flags taken from the Config, the
// framework timer, the queues between the audio thread and the editor, and the hooks through which parameter
// edits reach the host. The API class (IPlugVST3) overrides the host-notification hooks.
//
// Threads. The audio thread only pushes onto the "FromProcessor" queues, pops the "FromEditor" ones and publishes
// meter readings and latency changes (SendMeterValuesFromProcessor, SendLatencyChangeFromProcessor): all wait-free
// and allocation-free. Everything else runs on the main (UI) thread, including OnTimer, which delivers what the
// audio thread produced every 20 ms:
//   MIDI and system-exclusive messages -> SendMidiMsgFromDelegate / SendSysexMsgFromDelegate (plug-ins with an editor)
//   parameter values from SendParameterValueFromAPI -> SendParameterValueFromDelegate (plug-ins with an editor)
//   the newest meter readings -> OnMeterValuesUI (plug-ins with an editor)
//   the newest latency change -> OnLatencyChangeUI (the API class tells the host)
//   then OnIdle.
// On Linux the timer ticks on the host's run loop, which the API class hands over with SetHostRunLoop as soon as it
// learns it (host context or view frame). Until then the framework timer does not tick: all of the work above
// touches the editor or the host and belongs to the UI thread; meter readings and latency changes wait in their
// hand-overs (newest wins), messages in their queues (dropped when full). An API class may also call
// DeliverFromProcessor from any main-thread host call, so that a latency change reaches a host that never offers a
// run loop.

#include "IPlugConfig.h"
#include "IPlugHandOver.h"
#include "IPlugMidi.h"
#include "IPlugPluginBase.h"
#include "IPlugQueue.h"
#include "IPlugTimer.h"
#include "heapbuf.h"
#include "wdlstring.h"

#include <cstdint>
#include <memory>

namespace Steinberg::Linux
{
class IRunLoop;
}

namespace iplug
{

class IPlugAPIBase : public IPluginBase
{
public:
  static constexpr uint32_t kTimerIntervalMs = 20;
  static constexpr int kParamChangeQueueSize = 512;
  static constexpr int kMidiMsgQueueSize = 32;
  static constexpr int kSysExQueueSize = 4;

  IPlugAPIBase(const Config& config, EAPI plugAPI);
  /** Stops the timer, frees the queues, then destroys the timer. */
  ~IPlugAPIBase() override;

  IPlugAPIBase(const IPlugAPIBase&) = delete;
  IPlugAPIBase& operator=(const IPlugAPIBase&) = delete;

  bool HasUI() const { return mHasUI; }
  bool GetHostResize() const { return mHostResize; }

  /** Identifies the host by its name and stores its version, then calls HostSpecificInit and OnHostIdentified. */
  void SetHost(const char* name, int version);

  // --- host queries and requests ---
  /** True when every parameter's value, as a float, is within 1e-5 of the double at index startPos + i of data
   * (data holds doubles; startPos counts doubles). */
  virtual bool CompareState(const uint8_t* data, int startPos) const;
  virtual bool OnHostRequestingAboutBox() { return false; }
  virtual bool OnHostRequestingProductHelp() { return false; }
  virtual void OnHostIdentified() {}
  virtual void OnHostRequestingImportantParameters(int /*count*/, WDL_TypedBuf<int>& /*results*/) {}
  /** By default only the "any size" query (width + height == 0) is answered yes. */
  virtual bool OnHostRequestingSupportedViewConfiguration(int width, int height) { return width + height == 0; }
  virtual void OnHostSelectedViewConfiguration(int /*width*/, int /*height*/) {}
  virtual bool GetMidiNoteText(int /*noteNumber*/, char* /*text*/) const { return false; }
  /** The open editor's graphics context, or null. */
  virtual void* GetAAXViewInterface();
  /** Main thread, after each framework timer tick. */
  virtual void OnIdle() {}
  virtual bool GetTrackColor(int& /*r*/, int& /*g*/, int& /*b*/) { return false; }
  virtual bool GetTrackName(WDL_String& /*str*/) { return false; }
  virtual int GetTrackIndex() { return 0; }
  virtual bool GetTrackNamespace(WDL_String& /*str*/) { return false; }
  virtual int GetTrackNamespaceIndex() { return 0; }
  /** Queues a parameter value for the editor (as a plain value; a normalized one is converted first). Dropped
   * when the queue is full; OnTimer delivers it. One producer thread only. */
  virtual void SendParameterValueFromAPI(int paramIdx, double value, bool normalized);
  virtual void HostSpecificInit() {}

  // --- host notification (the API class connects these to the host) ---
  /** Asks the host to resize the editor's window; true when done. */
  virtual bool EditorResize(int /*width*/, int /*height*/) { return false; }
  virtual void BeginInformHostOfParamChange(int /*paramIdx*/) {}
  virtual void EndInformHostOfParamChange(int /*paramIdx*/) {}
  virtual void InformHostOfParamChange(int /*paramIdx*/, double /*normalizedValue*/) {}
  virtual bool TransmitMidiMsgFromProcessor(const IMidiMsg& /*msg*/) { return false; }
  virtual bool TransmitSysExDataFromProcessor(const SysExData& /*data*/) { return false; }

  // --- editor to plug-in and host (main thread) ---
  /** Sets the parameter, tells the host, then the plug-in (source kUI). Ignores an index out of range. */
  void SetParameterValue(int paramIdx, double normalizedValue);
  void SendParameterValueFromUI(int paramIdx, double normalizedValue) override;
  void BeginInformHostOfParamChangeFromUI(int paramIdx) override { BeginInformHostOfParamChange(paramIdx); }
  void EndInformHostOfParamChangeFromUI(int paramIdx) override { EndInformHostOfParamChange(paramIdx); }
  /** Announces every parameter's normalized value to the host. */
  void DirtyParametersFromUI() override;
  bool EditorResizeFromUI(int viewWidth, int viewHeight, bool needsPlatformResize) override;
  /** Queues the message for the audio thread; dropped when the queue is full. */
  void DeferMidiMsg(const IMidiMsg& msg) override;
  /** Copies at most SysExData::kMaxSize bytes (zeros for null data) and queues them; dropped when full. */
  void DeferSysexMsg(const ISysEx& msg) override;

  // --- audio thread to main thread ---
  /** Audio thread: publishes the newest meter readings; unread older ones are replaced. Wait-free (and so must an
   * API class's override be: LV2 also writes them to output ports). */
  virtual void SendMeterValuesFromProcessor(const IMeterValues& values) { mMeterValues.Publish(values); }
  /** Audio thread: tells the main thread the latency changed (store the latency itself first). Wait-free. */
  void SendLatencyChangeFromProcessor(int latency) { mLatencyChange.Publish(latency); }
  /** Main thread: delivers the newest meter readings. The default shows each as a plain parameter value through
   * SendParameterValueFromDelegate. */
  virtual void OnMeterValuesUI(const IMeterValues& values);
  /** Main thread: the latency changed on the audio thread. The API class asks the host to re-read it. */
  virtual void OnLatencyChangeUI(int /*latency*/) {}

  // --- framework timer ---
  /** Replaces the timer with a new one of kTimerIntervalMs calling OnTimer, on the host run loop if one is known. */
  void CreateTimer();
  /** Hands over the host's UI run loop (null: none known any more). Call on the main thread. */
  void SetHostRunLoop(Steinberg::Linux::IRunLoop* runLoop);
  Steinberg::Linux::IRunLoop* GetHostRunLoop() const { return mHostRunLoop; }
  Timer* GetTimer() const { return mTimer.get(); }

  /** Main thread: delivers what the audio thread produced (everything OnTimer does but OnIdle). */
  void DeliverFromProcessor();

  // --- the editor without a window (an EGL surfaceless context), for screenshots and tests; every binding offers it
  /** Opens it at a screen scale; false without an editor, while one is open, for an unusable scale, or where no EGL
   * display can be had. */
  bool OpenHeadlessEditor(float scale);
  /** Closes the editor if OpenHeadlessEditor opened it. */
  void CloseHeadlessEditor();
  bool IsHeadless() const { return mHeadless; }
  /** Delivers what the processor produced for the editor, then draws what changed. */
  bool DrawHeadlessFrame();
  /** The last frame drawn, as a PNG file. */
  bool WriteHeadlessFramePNG(const char* path);
  /** However the editor was opened, closing it ends headless drawing too. */
  void CloseWindow() override;

protected:
  /** Main thread, every kTimerIntervalMs: DeliverFromProcessor, then OnIdle. Ignores background ticks. */
  virtual void OnTimer(Timer& timer);

  // Declared before the queues: the queues are freed before the (already stopped) timer is destroyed.
  std::unique_ptr<Timer> mTimer;

  IPlugQueue<ParamTuple> mParamChangeFromProcessor{kParamChangeQueueSize}; // processor -> editor
  IPlugQueue<IMidiMsg> mMidiMsgsFromEditor{kMidiMsgQueueSize};             // editor -> audio thread
  IPlugQueue<IMidiMsg> mMidiMsgsFromProcessor{kMidiMsgQueueSize};          // audio thread -> editor
  IPlugQueue<SysExData> mSysExDataFromEditor{kSysExQueueSize};             // editor -> audio thread
  IPlugQueue<SysExData> mSysExDataFromProcessor{kSysExQueueSize};          // audio thread -> editor
  SysExData mSysexBuf;                                                     // scratch for the binding

  bool mHasUI = false;
  bool mHostResize = false;

private:
  IPlugLatestValue<IMeterValues> mMeterValues;
  IPlugLatestValue<int> mLatencyChange;
  Steinberg::Linux::IRunLoop* mHostRunLoop = nullptr; // referenced while set
  bool mHeadless = false;
};

} // namespace iplug
