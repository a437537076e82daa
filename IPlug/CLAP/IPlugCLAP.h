#pragma once
// The CLAP plug-in object a host talks to, and the framework's API object a plug-in class derives from when it is
// built as CLAP. One object per clap_plugin; the plug-in and extension tables hold static functions that forward
// here.
//
// Typical use (the module's entry, IPlugCLAP_Entry):
//   IPlugCLAP* plug = MakePlug(info);
//   plug->AttachHost(host, &descriptor);
//   return plug->GetClapPlugin();       // the host calls init, activate, process ... destroy deletes plug
//
// Parameters keep their index as CLAP id and travel as plain values. Host events inside a block take effect at
// their sample offset: the block is processed in pieces between the events (a block without events in one piece).
// Edits made in the editor are set at once on the main thread and reach the host as output events (gesture begin,
// values, gesture end) from the next process or params.flush call.
//
// Threads, as CLAP assigns them: init, activate/deactivate, state, gui, timers and the extensions' queries on the
// main thread; process, reset and start/stop_processing on the audio thread; params.flush on the audio thread while
// active, else on the main thread. Nothing called on the audio thread allocates, locks or waits.

#include "IPlugAPIBase.h"
#include "IPlugProcessor.h"
#include "IPlugQueue.h"

#include "clap/events.h"
#include "clap/ext/audio-ports.h"
#include "clap/ext/gui.h"
#include "clap/ext/latency.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/ext/thread-check.h"
#include "clap/ext/timer-support.h"
#include "clap/plugin.h"
#include "clap/process.h"
#include "clap/stream.h"

#include <atomic>
#include <vector>

namespace iplug
{

class CLAPRunLoop;

class IPlugCLAP : public IPlugAPIBase, public IPlugProcessor
{
public:
  /** Ports of the plug-in: main input, side-chain input (when the layouts have one), main output. */
  static constexpr uint32_t kMainPort = 0;
  static constexpr uint32_t kSidechainPort = 1;
  /** Editor edits waiting for the next process or flush call. */
  static constexpr int kEditQueueSize = 1024;

  IPlugCLAP(const InstanceInfo& info, const Config& config);
  ~IPlugCLAP() override;

  /** Binds the object to its host and descriptor; done by the factory before the host sees the plug-in. */
  void AttachHost(const clap_host* host, const clap_plugin_descriptor* descriptor);
  const clap_plugin* GetClapPlugin() const { return &mClapPlugin; }
  /** The object behind a clap_plugin made by AttachHost, or null. */
  static IPlugCLAP* FromClapPlugin(const clap_plugin* plugin);

  // --- framework hooks (IPlugAPIBase, IEditorDelegate, IPlugProcessor)
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  void InformHostOfPresetChange() override {}
  void InformHostOfParameterDetailsChange() override;
  bool EditorResize(int viewWidth, int viewHeight) override;
  bool SendMidiMsg(const IMidiMsg&) override { return false; }
  /** Stores the latency; safe on the audio thread. The host is told from the main thread (request_callback). */
  void SetLatency(int samples) override;
  /** Main thread: the host re-reads the latency, after a restart when the plug-in is active. */
  void OnLatencyChangeUI(int latency) override;
  /** Main thread: the value hosts read for a read-only parameter the plug-in drives (a meter), 0..1. */
  void SetHostReadableValue(int paramIdx, double normalizedValue);

  // --- the plug-in's CLAP calls, one per function of the tables (tests may call them directly)
  bool Init();
  bool Activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames);
  void Deactivate();
  bool StartProcessing();
  void StopProcessing();
  void Reset();
  clap_process_status Process(const clap_process* process);
  const void* GetExtension(const char* id) const;
  void OnMainThread();

  uint32_t ParamsCount() const;
  bool ParamsGetInfo(uint32_t index, clap_param_info* info) const;
  bool ParamsGetValue(clap_id id, double* value) const;
  bool ParamsValueToText(clap_id id, double value, char* display, uint32_t size) const;
  bool ParamsTextToValue(clap_id id, const char* display, double* value) const;
  void ParamsFlush(const clap_input_events* in, const clap_output_events* out);

  uint32_t AudioPortsCount(bool isInput) const;
  bool AudioPortsGet(uint32_t index, bool isInput, clap_audio_port_info* info) const;

  uint32_t LatencyGet() const;

  bool StateSave(const clap_ostream* stream);
  bool StateLoad(const clap_istream* stream);

  void TimerSupportOnTimer(clap_id timerId);

  bool GuiIsApiSupported(const char* api, bool isFloating) const;
  bool GuiGetPreferredApi(const char** api, bool* isFloating) const;
  bool GuiCreate(const char* api, bool isFloating);
  void GuiDestroy();
  bool GuiSetScale(double scale);
  bool GuiGetSize(uint32_t* width, uint32_t* height) const;
  bool GuiCanResize() const;
  bool GuiGetResizeHints(clap_gui_resize_hints* hints) const;
  bool GuiAdjustSize(uint32_t* width, uint32_t* height) const;
  bool GuiSetSize(uint32_t width, uint32_t height);
  bool GuiSetParent(const clap_window* window);
  bool GuiShow();
  bool GuiHide();

  bool IsActive() const { return mActive; }
  /** The run loop made from the host's timers, or null when the host offers none. */
  CLAPRunLoop* GetRunLoop() const { return mRunLoop; }

private:
  struct EditorEdit
  {
    enum Kind : int32_t
    {
      kBegin,
      kValue,
      kEnd
    };
    int32_t idx;
    int32_t kind;
    double value; // plain
  };

  bool IsMainThread() const;
  bool IsAudioThread() const;
  /** Applies one host event; false when it is not a parameter event of ours. */
  bool ApplyEvent(const clap_event_header* header, int offset, bool fromAudioThread);
  /** Hands queued editor edits to the host. */
  void PushEditorEdits(const clap_output_events* out);
  void RequestFlush();
  /** Routes the ports' buffers, frames start .. start + nFrames - 1, and processes them. */
  template <typename T> void RenderSpan(const clap_process* process, int start, int nFrames);
  void Render(const clap_process* process, int start, int nFrames);
  void CopyTransport(const clap_process* process);

  clap_plugin mClapPlugin{};
  const clap_host* mHost = nullptr;
  const clap_host_params* mHostParams = nullptr;
  const clap_host_latency* mHostLatency = nullptr;
  const clap_host_thread_check* mHostThreadCheck = nullptr;
  const clap_host_timer_support* mHostTimers = nullptr;
  const clap_host_gui* mHostGui = nullptr;
  CLAPRunLoop* mRunLoop = nullptr; // owned reference

  bool mInitialized = false;
  bool mActive = false;
  bool mLatencyChangePending = false;
  std::atomic<bool> mCallbackRequested{false};
  bool mUseDoubles = false; // the sample size of the block being processed

  IPlugQueue<EditorEdit> mEditorEdits{kEditQueueSize};
  std::vector<double> mReadOnlyValues; // plain values hosts read for read-only parameters

  // Host pointers advanced to the current piece (sized at construction: routing never allocates).
  std::vector<hostSample32*> mIn32, mOut32;
  std::vector<sample*> mIn64, mOut64;
  bool mSidechainActive = false;

  // Editor window.
  bool mGuiCreated = false;
  bool mGuiFloating = false;
  void* mParentWindow = nullptr;
  double mGuiScale = 1.0;
};

} // namespace iplug
