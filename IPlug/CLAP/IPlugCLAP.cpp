#include "IPlugCLAP.h"

#include "IGraphics.h"
#include "IPlugByteChunk.h"
#include "IPlugCLAP_HeadlessEditor.h"
#include "IPlugCLAP_RunLoop.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace iplug
{

namespace
{
// A stored state is a few hundred bytes; a stream that keeps going far beyond any real state is refused.
constexpr int64_t kMaxStateBytes = 64 * 1024 * 1024;

IPlugCLAP* Self(const clap_plugin* plugin) { return IPlugCLAP::FromClapPlugin(plugin); }

// --- the tables the host calls through ----------------------------------------------------------

const clap_plugin_params kParams = {
    [](const clap_plugin* p) { return Self(p)->ParamsCount(); },
    [](const clap_plugin* p, uint32_t index, clap_param_info* info) { return Self(p)->ParamsGetInfo(index, info); },
    [](const clap_plugin* p, clap_id id, double* value) { return Self(p)->ParamsGetValue(id, value); },
    [](const clap_plugin* p, clap_id id, double value, char* display, uint32_t size)
    { return Self(p)->ParamsValueToText(id, value, display, size); },
    [](const clap_plugin* p, clap_id id, const char* display, double* value)
    { return Self(p)->ParamsTextToValue(id, display, value); },
    [](const clap_plugin* p, const clap_input_events* in, const clap_output_events* out)
    { Self(p)->ParamsFlush(in, out); },
};

const clap_plugin_audio_ports kAudioPorts = {
    [](const clap_plugin* p, bool isInput) { return Self(p)->AudioPortsCount(isInput); },
    [](const clap_plugin* p, uint32_t index, bool isInput, clap_audio_port_info* info)
    { return Self(p)->AudioPortsGet(index, isInput, info); },
};

const clap_plugin_latency kLatency = {
    [](const clap_plugin* p) { return Self(p)->LatencyGet(); },
};

const clap_plugin_state kState = {
    [](const clap_plugin* p, const clap_ostream* stream) { return Self(p)->StateSave(stream); },
    [](const clap_plugin* p, const clap_istream* stream) { return Self(p)->StateLoad(stream); },
};

const clap_plugin_timer_support kTimerSupport = {
    [](const clap_plugin* p, clap_id id) { Self(p)->TimerSupportOnTimer(id); },
};

const clap_plugin_gui kGui = {
    [](const clap_plugin* p, const char* api, bool floating) { return Self(p)->GuiIsApiSupported(api, floating); },
    [](const clap_plugin* p, const char** api, bool* floating) { return Self(p)->GuiGetPreferredApi(api, floating); },
    [](const clap_plugin* p, const char* api, bool floating) { return Self(p)->GuiCreate(api, floating); },
    [](const clap_plugin* p) { Self(p)->GuiDestroy(); },
    [](const clap_plugin* p, double scale) { return Self(p)->GuiSetScale(scale); },
    [](const clap_plugin* p, uint32_t* w, uint32_t* h) { return Self(p)->GuiGetSize(w, h); },
    [](const clap_plugin* p) { return Self(p)->GuiCanResize(); },
    [](const clap_plugin* p, clap_gui_resize_hints* hints) { return Self(p)->GuiGetResizeHints(hints); },
    [](const clap_plugin* p, uint32_t* w, uint32_t* h) { return Self(p)->GuiAdjustSize(w, h); },
    [](const clap_plugin* p, uint32_t w, uint32_t h) { return Self(p)->GuiSetSize(w, h); },
    [](const clap_plugin* p, const clap_window* window) { return Self(p)->GuiSetParent(window); },
    [](const clap_plugin*, const clap_window*) { return false; }, // set_transient: embedded only
    [](const clap_plugin*, const char*) {},                       // suggest_title: embedded only
    [](const clap_plugin* p) { return Self(p)->GuiShow(); },
    [](const clap_plugin* p) { return Self(p)->GuiHide(); },
};

const iplug_clap_headless_editor kHeadlessEditor = {
    [](const clap_plugin* p, double scale) { return Self(p)->OpenHeadlessEditor(static_cast<float>(scale)); },
    [](const clap_plugin* p) { return Self(p)->DrawHeadlessFrame(); },
    [](const clap_plugin* p, const char* path) { return path && Self(p)->WriteHeadlessFramePNG(path); },
    [](const clap_plugin* p, uint32_t* w, uint32_t* h)
    {
      if (!w || !h || !Self(p)->HasUI())
        return false;
      *w = static_cast<uint32_t>(std::max(Self(p)->GetEditorWidth(), 0));
      *h = static_cast<uint32_t>(std::max(Self(p)->GetEditorHeight(), 0));
      return true;
    },
    [](const clap_plugin* p) { Self(p)->CloseHeadlessEditor(); },
};

// Silence on channels 0 .. n - 1 of a port, frames start .. start + nFrames - 1.
template <typename T> T** PortBuffers(const clap_audio_buffer& b);
template <> hostSample32** PortBuffers<hostSample32>(const clap_audio_buffer& b) { return b.data32; }
template <> sample** PortBuffers<sample>(const clap_audio_buffer& b) { return b.data64; }

template <typename T> int PortChannels(const clap_audio_buffer& b)
{
  return PortBuffers<T>(b) ? static_cast<int>(std::min<uint32_t>(b.channel_count, 64)) : 0;
}

template <typename T> void ClearPort(const clap_audio_buffer& b, int start, int nFrames)
{
  T** buffers = PortBuffers<T>(b);
  for (int c = 0; c < PortChannels<T>(b); c++)
  {
    if (buffers[c])
      std::fill_n(buffers[c] + start, nFrames, T(0));
  }
}

void CopyText(char* dst, size_t size, const char* src)
{
  if (!dst || size == 0)
    return;
  std::strncpy(dst, src ? src : "", size - 1);
  dst[size - 1] = 0;
}
} // namespace

IPlugCLAP::IPlugCLAP(const InstanceInfo& info, const Config& config)
    : IPlugAPIBase(config, kAPICLAP), IPlugProcessor(config, kAPICLAP)
{
  (void)info;
  SetChannelConnections(kInput, 0, MaxNChannels(kInput), true);
  SetChannelConnections(kOutput, 0, MaxNChannels(kOutput), true);
  if (MaxNChannels(kInput) > 0)
    CreateLatencyDelayLine();

  mIn32.resize(static_cast<size_t>(MaxNChannels(kInput)) + 1);
  mIn64.resize(static_cast<size_t>(MaxNChannels(kInput)) + 1);
  mOut32.resize(static_cast<size_t>(MaxNChannels(kOutput)) + 1);
  mOut64.resize(static_cast<size_t>(MaxNChannels(kOutput)) + 1);
  ResetInputConnections();
  mReadOnlyValues.assign(static_cast<size_t>(NParams()), 0.0);

  mClapPlugin.plugin_data = this;
  mClapPlugin.init = [](const clap_plugin* p) { return Self(p)->Init(); };
  mClapPlugin.destroy = [](const clap_plugin* p) { delete Self(p); };
  mClapPlugin.activate = [](const clap_plugin* p, double sr, uint32_t minFrames, uint32_t maxFrames)
  { return Self(p)->Activate(sr, minFrames, maxFrames); };
  mClapPlugin.deactivate = [](const clap_plugin* p) { Self(p)->Deactivate(); };
  mClapPlugin.start_processing = [](const clap_plugin* p) { return Self(p)->StartProcessing(); };
  mClapPlugin.stop_processing = [](const clap_plugin* p) { Self(p)->StopProcessing(); };
  mClapPlugin.reset = [](const clap_plugin* p) { Self(p)->Reset(); };
  mClapPlugin.process = [](const clap_plugin* p, const clap_process* process) { return Self(p)->Process(process); };
  mClapPlugin.get_extension = [](const clap_plugin* p, const char* id) { return Self(p)->GetExtension(id); };
  mClapPlugin.on_main_thread = [](const clap_plugin* p) { Self(p)->OnMainThread(); };
}

IPlugCLAP::~IPlugCLAP()
{
  // No tick may reach this object once its parts start going away.
  if (mTimer)
    mTimer->Stop();
  if (mGuiCreated)
    GuiDestroy();
  CloseHeadlessEditor();
  SetHostRunLoop(nullptr);
  if (mRunLoop)
  {
    mRunLoop->UnregisterAll();
    mRunLoop->release();
    mRunLoop = nullptr;
  }
}

void IPlugCLAP::AttachHost(const clap_host* host, const clap_plugin_descriptor* descriptor)
{
  mHost = host;
  mClapPlugin.desc = descriptor;
}

IPlugCLAP* IPlugCLAP::FromClapPlugin(const clap_plugin* plugin)
{
  return plugin ? static_cast<IPlugCLAP*>(plugin->plugin_data) : nullptr;
}

// --- framework hooks --------------------------------------------------------------------------

void IPlugCLAP::BeginInformHostOfParamChange(int idx)
{
  if (GetParam(idx))
  {
    mEditorEdits.Push({idx, EditorEdit::kBegin, 0.0});
    RequestFlush();
  }
}

void IPlugCLAP::InformHostOfParamChange(int idx, double normalizedValue)
{
  if (const IParam* param = GetParam(idx))
  {
    mEditorEdits.Push({idx, EditorEdit::kValue, param->FromNormalized(normalizedValue)});
    RequestFlush();
  }
}

void IPlugCLAP::EndInformHostOfParamChange(int idx)
{
  if (GetParam(idx))
  {
    mEditorEdits.Push({idx, EditorEdit::kEnd, 0.0});
    RequestFlush();
  }
}

void IPlugCLAP::InformHostOfParameterDetailsChange()
{
  if (mHostParams && mHostParams->rescan)
    mHostParams->rescan(mHost, CLAP_PARAM_RESCAN_TEXT | CLAP_PARAM_RESCAN_INFO);
}

bool IPlugCLAP::EditorResize(int viewWidth, int viewHeight)
{
  if (!HasUI())
    return true;
  if ((viewWidth != GetEditorWidth() || viewHeight != GetEditorHeight()) && mGuiCreated && mHostGui &&
      mHostGui->request_resize)
  {
    if (!mHostGui->request_resize(mHost, static_cast<uint32_t>(std::max(viewWidth, 1)),
                                  static_cast<uint32_t>(std::max(viewHeight, 1))))
      return false;
  }
  SetEditorSize(viewWidth, viewHeight);
  return true;
}

void IPlugCLAP::SetLatency(int samples)
{
  IPlugProcessor::SetLatency(samples);
  SendLatencyChangeFromProcessor(GetLatency());
  // request_callback is thread-safe; once is enough until the main thread has run.
  if (mHost && mHost->request_callback && !mCallbackRequested.exchange(true))
    mHost->request_callback(mHost);
}

void IPlugCLAP::OnLatencyChangeUI(int latency)
{
  (void)latency; // the host reads the stored latency through latency.get
  // The latency may change only while deactivated: an active plug-in asks for a restart and the host is told
  // when the deactivation comes.
  mLatencyChangePending = true;
  if (mActive)
  {
    if (mHost && mHost->request_restart)
      mHost->request_restart(mHost);
  }
  else
  {
    mLatencyChangePending = false;
    if (mHostLatency && mHostLatency->changed)
      mHostLatency->changed(mHost);
  }
}

void IPlugCLAP::SetHostReadableValue(int paramIdx, double normalizedValue)
{
  const IParam* param = GetParam(paramIdx);
  if (!param || !std::isfinite(normalizedValue))
    return;
  double lo, hi;
  param->GetBounds(lo, hi);
  mReadOnlyValues[static_cast<size_t>(paramIdx)] = lo + std::clamp(normalizedValue, 0.0, 1.0) * (hi - lo);
}

// --- lifecycle --------------------------------------------------------------------------------

bool IPlugCLAP::Init()
{
  if (mInitialized || !mHost || !mHost->get_extension)
    return false;
  mInitialized = true;

  mHostParams = static_cast<const clap_host_params*>(mHost->get_extension(mHost, CLAP_EXT_PARAMS));
  mHostLatency = static_cast<const clap_host_latency*>(mHost->get_extension(mHost, CLAP_EXT_LATENCY));
  mHostThreadCheck = static_cast<const clap_host_thread_check*>(mHost->get_extension(mHost, CLAP_EXT_THREAD_CHECK));
  mHostTimers = static_cast<const clap_host_timer_support*>(mHost->get_extension(mHost, CLAP_EXT_TIMER_SUPPORT));
  mHostGui = static_cast<const clap_host_gui*>(mHost->get_extension(mHost, CLAP_EXT_GUI));
  if (mHostTimers && (!mHostTimers->register_timer || !mHostTimers->unregister_timer))
    mHostTimers = nullptr;

  if (mHost->name)
    SetHost(mHost->name, 0);

  // The framework timer and the editor tick on the host's timers; without them the main thread is reached through
  // request_callback only (latency changes) and the editor is not offered.
  CreateTimer();
  if (mHostTimers)
  {
    mRunLoop = new CLAPRunLoop(mHost, mHostTimers);
    SetHostRunLoop(mRunLoop);
  }
  OnHostIdentified();
  OnParamReset(kReset);
  return true;
}

bool IPlugCLAP::Activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames)
{
  (void)minFrames;
  if (!mInitialized || mActive)
    return false;
  if (!std::isfinite(sampleRate) || sampleRate <= 0.0)
    return false;
  if (maxFrames == 0 || maxFrames > static_cast<uint32_t>(kMaxBlockSize))
    return false;
  DeliverFromProcessor();
  SetSampleRate(sampleRate);
  if (!SetBlockSize(static_cast<int>(maxFrames)))
    return false;
  OnReset();
  OnActivate(true);
  mActive = true;
  return true;
}

void IPlugCLAP::Deactivate()
{
  if (!mActive)
    return;
  mActive = false;
  OnActivate(false);
  DeliverFromProcessor();
  if (mLatencyChangePending)
  {
    mLatencyChangePending = false;
    if (mHostLatency && mHostLatency->changed)
      mHostLatency->changed(mHost);
  }
}

bool IPlugCLAP::StartProcessing() { return mActive; }

void IPlugCLAP::StopProcessing() {}

void IPlugCLAP::Reset()
{
  if (mActive)
    OnReset();
}

void IPlugCLAP::OnMainThread()
{
  mCallbackRequested = false;
  DeliverFromProcessor();
}

const void* IPlugCLAP::GetExtension(const char* id) const
{
  if (!id)
    return nullptr;
  if (!std::strcmp(id, CLAP_EXT_PARAMS))
    return &kParams;
  if (!std::strcmp(id, CLAP_EXT_AUDIO_PORTS))
    return &kAudioPorts;
  if (!std::strcmp(id, CLAP_EXT_LATENCY))
    return &kLatency;
  if (!std::strcmp(id, CLAP_EXT_STATE))
    return &kState;
  if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT))
    return &kTimerSupport;
  // The editor needs the host's timers for its frame tick and X events.
  if (!std::strcmp(id, CLAP_EXT_GUI) && HasUI() && mHostTimers)
    return &kGui;
  if (!std::strcmp(id, IPLUG_CLAP_EXT_HEADLESS_EDITOR) && HasUI())
    return &kHeadlessEditor;
  return nullptr;
}

bool IPlugCLAP::IsMainThread() const
{
  return !mHostThreadCheck || !mHostThreadCheck->is_main_thread || mHostThreadCheck->is_main_thread(mHost);
}

bool IPlugCLAP::IsAudioThread() const
{
  if (mHostThreadCheck && mHostThreadCheck->is_audio_thread)
    return mHostThreadCheck->is_audio_thread(mHost);
  return mActive; // without the host's word: flush runs on the audio thread exactly while active
}

// --- processing -------------------------------------------------------------------------------

void IPlugCLAP::CopyTransport(const clap_process* process)
{
  const clap_event_transport* t = process->transport;
  if (!t)
    return;
  ITransportInfo& info = mTimeInfo;
  if (t->flags & CLAP_TRANSPORT_HAS_TEMPO)
    info.mTempo = t->tempo;
  if (t->flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE)
  {
    info.mPPQPos = static_cast<double>(t->song_pos_beats) / CLAP_BEATTIME_FACTOR;
    info.mLastBar = static_cast<double>(t->bar_start) / CLAP_BEATTIME_FACTOR;
    info.mCycleStart = static_cast<double>(t->loop_start_beats) / CLAP_BEATTIME_FACTOR;
    info.mCycleEnd = static_cast<double>(t->loop_end_beats) / CLAP_BEATTIME_FACTOR;
  }
  info.mSamplePos = (t->flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE)
                        ? static_cast<double>(t->song_pos_seconds) / CLAP_SECTIME_FACTOR * GetSampleRate()
                        : -1.0;
  if (t->flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE)
  {
    info.mNumerator = t->tsig_num;
    info.mDenominator = t->tsig_denom;
  }
  info.mTransportIsRunning = (t->flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
  info.mTransportLoopEnabled = (t->flags & CLAP_TRANSPORT_IS_LOOP_ACTIVE) != 0;
}

bool IPlugCLAP::ApplyEvent(const clap_event_header* header, int offset, bool fromAudioThread)
{
  if (!header || header->space_id != CLAP_CORE_EVENT_SPACE_ID || header->type != CLAP_EVENT_PARAM_VALUE ||
      header->size < sizeof(clap_event_param_value))
    return false;
  const auto* event = reinterpret_cast<const clap_event_param_value*>(header);
  // Per-note and per-channel values do not apply to a whole-signal effect.
  if (event->note_id != -1 || event->key != -1 || event->channel != -1)
    return false;
  const int idx = static_cast<int>(event->param_id);
  IParam* param = event->param_id < static_cast<clap_id>(NParams()) ? GetParam(idx) : nullptr;
  if (!param || param->Type() == IParam::kTypeNone || !std::isfinite(event->value))
    return false;
  param->Set(event->value);
  OnParamChange(idx, kHost, offset);
  if (fromAudioThread)
    SendParameterValueFromAPI(idx, param->Value(), false);
  else if (HasUI())
    SendParameterValueFromDelegate(idx, param->Value(), false);
  return true;
}

void IPlugCLAP::PushEditorEdits(const clap_output_events* out)
{
  // Everything queued now goes out, so the host always sees a gesture's end after its values.
  EditorEdit edit;
  for (size_t n = mEditorEdits.ElementsAvailable(); n > 0 && mEditorEdits.Pop(edit); --n)
  {
    if (!out || !out->try_push)
      continue;
    if (edit.kind == EditorEdit::kValue)
    {
      clap_event_param_value event{};
      event.header = {sizeof(event), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
      event.param_id = static_cast<clap_id>(edit.idx);
      event.note_id = -1;
      event.port_index = -1;
      event.channel = -1;
      event.key = -1;
      event.value = edit.value;
      out->try_push(out, &event.header);
    }
    else
    {
      clap_event_param_gesture event{};
      const uint16_t type =
          edit.kind == EditorEdit::kBegin ? CLAP_EVENT_PARAM_GESTURE_BEGIN : CLAP_EVENT_PARAM_GESTURE_END;
      event.header = {sizeof(event), 0, CLAP_CORE_EVENT_SPACE_ID, type, 0};
      event.param_id = static_cast<clap_id>(edit.idx);
      out->try_push(out, &event.header);
    }
  }
}

void IPlugCLAP::RequestFlush()
{
  if (mHostParams && mHostParams->request_flush)
    mHostParams->request_flush(mHost);
}

void IPlugCLAP::ParamsFlush(const clap_input_events* in, const clap_output_events* out)
{
  const bool audioThread = IsAudioThread();
  if (in && in->size && in->get)
  {
    const uint32_t n = in->size(in);
    for (uint32_t i = 0; i < n; i++)
      ApplyEvent(in->get(in, i), 0, audioThread);
  }
  PushEditorEdits(out);
}

template <typename T> void IPlugCLAP::RenderSpan(const clap_process* process, int start, int nFrames)
{
  const int nInRecords = MaxNChannels(kInput);
  const int nOutRecords = MaxNChannels(kOutput);
  std::vector<T*>& inPtrs = [this]() -> std::vector<T*>&
  {
    if constexpr (std::is_same_v<T, sample>)
      return mIn64;
    else
      return mIn32;
  }();
  std::vector<T*>& outPtrs = [this]() -> std::vector<T*>&
  {
    if constexpr (std::is_same_v<T, sample>)
      return mOut64;
    else
      return mOut32;
  }();

  auto offsetPointers = [start](const clap_audio_buffer& b, int n, T** dst)
  {
    T** src = PortBuffers<T>(b);
    for (int c = 0; c < n; c++)
      dst[c] = src[c] ? src[c] + start : nullptr;
  };

  // Inputs: the main port, then the side-chain port on the channel records after the main bus's.
  SetChannelConnections(kInput, 0, nInRecords, false);
  const int scStart = HasSidechainInput() ? std::clamp(MaxNChannelsForBus(kInput, 0), 0, nInRecords) : nInRecords;
  if (process->audio_inputs_count > kMainPort && process->audio_inputs)
  {
    const clap_audio_buffer& main = process->audio_inputs[kMainPort];
    const int nMain = std::min(PortChannels<T>(main), scStart);
    SetChannelConnections(kInput, 0, nMain, true);
    offsetPointers(main, nMain, inPtrs.data());
    AttachBuffers(kInput, 0, nMain, inPtrs.data(), nFrames);
  }
  const bool sidechain = HasSidechainInput() && process->audio_inputs_count > kSidechainPort && process->audio_inputs &&
                         PortChannels<T>(process->audio_inputs[kSidechainPort]) > 0;
  if (sidechain)
  {
    const clap_audio_buffer& sc = process->audio_inputs[kSidechainPort];
    const int nSC = std::min(PortChannels<T>(sc), nInRecords - scStart);
    mSidechainActive = true;
    SetChannelConnections(kInput, scStart, nSC, true);
    offsetPointers(sc, nSC, inPtrs.data() + scStart);
    AttachBuffers(kInput, scStart, nSC, inPtrs.data() + scStart, nFrames);
  }
  else if (mSidechainActive)
  {
    ZeroScratchBuffers();
    mSidechainActive = false;
  }

  SilenceInputsNoLongerFed(nInRecords);

  SetChannelConnections(kOutput, 0, nOutRecords, false);
  if (process->audio_outputs_count > kMainPort && process->audio_outputs)
  {
    const clap_audio_buffer& out = process->audio_outputs[kMainPort];
    const int n = std::min(PortChannels<T>(out), nOutRecords);
    SetChannelConnections(kOutput, 0, n, true);
    offsetPointers(out, n, outPtrs.data());
    AttachBuffers(kOutput, 0, n, outPtrs.data(), nFrames);
  }

  ProcessBuffers(T(0), nFrames);
}

void IPlugCLAP::Render(const clap_process* process, int start, int nFrames)
{
  // Pieces no longer than the block size the host promised in activate: the scratch buffers hold that much.
  while (nFrames > 0)
  {
    const int n = std::min(nFrames, GetBlockSize());
    if (mUseDoubles)
      RenderSpan<sample>(process, start, n);
    else
      RenderSpan<hostSample32>(process, start, n);
    start += n;
    nFrames -= n;
  }
}

clap_process_status IPlugCLAP::Process(const clap_process* process)
{
  if (!mActive || !process)
    return CLAP_PROCESS_ERROR;

  const int nFrames = static_cast<int>(std::min<uint32_t>(process->frames_count, INT32_MAX));
  // One sample size for the whole call (the ports require a common one): the main output's.
  mUseDoubles = process->audio_outputs_count > 0 && process->audio_outputs &&
                !process->audio_outputs[kMainPort].data32 && process->audio_outputs[kMainPort].data64;

  CopyTransport(process);
  PushEditorEdits(process->out_events);

  // Events are sorted by time: process up to each one, apply it, go on.
  int pos = 0;
  if (process->in_events && process->in_events->size && process->in_events->get)
  {
    const uint32_t nEvents = process->in_events->size(process->in_events);
    for (uint32_t i = 0; i < nEvents; i++)
    {
      const clap_event_header* header = process->in_events->get(process->in_events, i);
      if (!header)
        continue;
      const int time = std::clamp(static_cast<int>(std::min<uint32_t>(header->time, INT32_MAX)), pos, nFrames);
      const int offset = std::min(time, std::max(nFrames - 1, 0));
      if (time > pos && header->space_id == CLAP_CORE_EVENT_SPACE_ID && header->type == CLAP_EVENT_PARAM_VALUE)
      {
        Render(process, pos, time - pos);
        pos = time;
      }
      ApplyEvent(header, offset, true);
    }
  }
  Render(process, pos, nFrames - pos);

  // A port the plug-in did not write (a host passing more outputs than declared) is left silent.
  for (uint32_t i = 1; process->audio_outputs && i < process->audio_outputs_count; i++)
  {
    if (mUseDoubles)
      ClearPort<sample>(process->audio_outputs[i], 0, nFrames);
    else
      ClearPort<hostSample32>(process->audio_outputs[i], 0, nFrames);
  }
  return CLAP_PROCESS_CONTINUE;
}

// --- params -----------------------------------------------------------------------------------

uint32_t IPlugCLAP::ParamsCount() const { return static_cast<uint32_t>(NParams()); }

bool IPlugCLAP::ParamsGetInfo(uint32_t index, clap_param_info* info) const
{
  const IParam* param = index < ParamsCount() ? GetParam(static_cast<int>(index)) : nullptr;
  if (!param || !info)
    return false;
  std::memset(info, 0, sizeof(*info));
  info->id = index;
  const IParam::EParamKind type = param->Type();
  if (type == IParam::kTypeNone)
  {
    // Never initialised by the plug-in: a channel between its engine and its editor (a meter). Hosts may read it.
    info->flags = CLAP_PARAM_IS_READONLY | CLAP_PARAM_IS_HIDDEN;
  }
  else
  {
    if (param->GetCanAutomate())
      info->flags |= CLAP_PARAM_IS_AUTOMATABLE;
    if (type == IParam::kTypeBool || type == IParam::kTypeInt || type == IParam::kTypeEnum)
      info->flags |= CLAP_PARAM_IS_STEPPED;
  }
  if (param->GetName()[0])
    CopyText(info->name, sizeof(info->name), param->GetName());
  else
    std::snprintf(info->name, sizeof(info->name), "Param %u", index);
  CopyText(info->module, sizeof(info->module), param->GetGroup());
  param->GetBounds(info->min_value, info->max_value);
  info->default_value = param->GetDefault(false);
  return true;
}

bool IPlugCLAP::ParamsGetValue(clap_id id, double* value) const
{
  const IParam* param = id < ParamsCount() ? GetParam(static_cast<int>(id)) : nullptr;
  if (!param || !value)
    return false;
  *value = param->Type() == IParam::kTypeNone ? mReadOnlyValues[id] : param->Value();
  return true;
}

bool IPlugCLAP::ParamsValueToText(clap_id id, double value, char* display, uint32_t size) const
{
  const IParam* param = id < ParamsCount() ? GetParam(static_cast<int>(id)) : nullptr;
  if (!param || !display || size == 0 || !std::isfinite(value))
    return false;
  WDL_String text;
  param->GetDisplay(value, false, text);
  // The unit follows numbers; a parameter with texts of its own ("Off", "On") shows them alone.
  if (param->NDisplayTexts() == 0 && param->GetLabel()[0])
    text.AppendFormatted(64, " %s", param->GetLabel());
  CopyText(display, size, text.Get());
  return true;
}

bool IPlugCLAP::ParamsTextToValue(clap_id id, const char* display, double* value) const
{
  const IParam* param = id < ParamsCount() ? GetParam(static_cast<int>(id)) : nullptr;
  if (!param || !display || !value)
    return false;
  *value = param->StringToValue(display);
  return std::isfinite(*value);
}

// --- audio ports ------------------------------------------------------------------------------

uint32_t IPlugCLAP::AudioPortsCount(bool isInput) const
{
  return static_cast<uint32_t>(MaxNBuses(isInput ? kInput : kOutput));
}

bool IPlugCLAP::AudioPortsGet(uint32_t index, bool isInput, clap_audio_port_info* info) const
{
  const ERoute dir = isInput ? kInput : kOutput;
  if (!info || index >= AudioPortsCount(isInput))
    return false;
  std::memset(info, 0, sizeof(*info));
  const int nChans = MaxNChannelsForBus(dir, static_cast<int>(index));
  if (nChans <= 0)
    return false;
  info->id = index;
  WDL_String name;
  GetBusName(dir, static_cast<int>(index), static_cast<int>(AudioPortsCount(isInput)), name);
  CopyText(info->name, sizeof(info->name), name.Get());
  info->flags = CLAP_AUDIO_PORT_SUPPORTS_64BITS | CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE;
  if (index == 0)
    info->flags |= CLAP_AUDIO_PORT_IS_MAIN;
  info->channel_count = static_cast<uint32_t>(nChans);
  info->port_type = nChans == 1 ? CLAP_PORT_MONO : (nChans == 2 ? CLAP_PORT_STEREO : nullptr);
  info->in_place_pair = CLAP_INVALID_ID;
  return true;
}

// --- latency ----------------------------------------------------------------------------------

uint32_t IPlugCLAP::LatencyGet() const { return static_cast<uint32_t>(std::max(GetLatency(), 0)); }

// --- state ------------------------------------------------------------------------------------

bool IPlugCLAP::StateSave(const clap_ostream* stream)
{
  if (!stream || !stream->write)
    return false;
  DeliverFromProcessor();
  IByteChunk chunk;
  if (!SerializeState(chunk))
    return false;
  // A stream may take fewer bytes than offered: keep writing the rest; nothing taken at all is a failure.
  const uint8_t* data = chunk.GetData();
  int64_t left = chunk.Size();
  while (left > 0)
  {
    const int64_t n = stream->write(stream, data, static_cast<uint64_t>(left));
    if (n <= 0 || n > left)
      return false;
    data += n;
    left -= n;
  }
  return true;
}

bool IPlugCLAP::StateLoad(const clap_istream* stream)
{
  if (!stream || !stream->read)
    return false;
  // Read to the end of the stream (0); short reads just mean "call again".
  IByteChunk chunk;
  uint8_t buffer[256];
  for (;;)
  {
    const int64_t n = stream->read(stream, buffer, sizeof(buffer));
    if (n == 0)
      break;
    if (n < 0 || n > static_cast<int64_t>(sizeof(buffer)))
      return false;
    chunk.PutBytes(buffer, static_cast<int>(n));
    if (chunk.Size() > kMaxStateBytes)
      return false;
  }

  // A refused state must not leave a half-loaded plug-in behind: keep what we had to put it back.
  IByteChunk previous;
  const bool haveBackup = SerializeState(previous);
  if (chunk.Size() == 0 || UnserializeState(chunk, 0) < 0)
  {
    if (haveBackup)
      UnserializeState(previous, 0);
    return false;
  }
  OnRestoreState();
  if (mHostParams && mHostParams->rescan)
    mHostParams->rescan(mHost, CLAP_PARAM_RESCAN_VALUES);
  return true;
}

// --- timers -----------------------------------------------------------------------------------

void IPlugCLAP::TimerSupportOnTimer(clap_id timerId)
{
  if (mRunLoop)
    mRunLoop->OnTimer(timerId);
}

// --- editor -----------------------------------------------------------------------------------

bool IPlugCLAP::GuiIsApiSupported(const char* api, bool isFloating) const
{
  return HasUI() && !isFloating && api && !std::strcmp(api, CLAP_WINDOW_API_X11);
}

bool IPlugCLAP::GuiGetPreferredApi(const char** api, bool* isFloating) const
{
  if (!HasUI() || !api || !isFloating)
    return false;
  *api = CLAP_WINDOW_API_X11;
  *isFloating = false;
  return true;
}

bool IPlugCLAP::GuiCreate(const char* api, bool isFloating)
{
  if (mGuiCreated || IsHeadless() || !GuiIsApiSupported(api, isFloating))
    return false;
  mGuiCreated = true;
  mGuiFloating = isFloating;
  mParentWindow = nullptr;
  return true;
}

void IPlugCLAP::GuiDestroy()
{
  if (!mGuiCreated)
    return;
  if (mParentWindow)
    CloseWindow();
  mParentWindow = nullptr;
  mGuiCreated = false;
}

bool IPlugCLAP::GuiSetScale(double scale)
{
  if (!mGuiCreated || !std::isfinite(scale) || scale <= 0.0)
    return false;
  mGuiScale = scale;
  if (GetUI())
    SetScreenScale(static_cast<float>(scale));
  return true;
}

bool IPlugCLAP::GuiGetSize(uint32_t* width, uint32_t* height) const
{
  if (!mGuiCreated || !width || !height)
    return false;
  *width = static_cast<uint32_t>(std::max(GetEditorWidth(), 0));
  *height = static_cast<uint32_t>(std::max(GetEditorHeight(), 0));
  return true;
}

bool IPlugCLAP::GuiCanResize() const { return mGuiCreated && GetHostResize(); }

bool IPlugCLAP::GuiGetResizeHints(clap_gui_resize_hints* hints) const
{
  if (!mGuiCreated || !hints)
    return false;
  const bool resizable = GetHostResize();
  hints->can_resize_horizontally = resizable;
  hints->can_resize_vertically = resizable;
  hints->preserve_aspect_ratio = true;
  hints->aspect_ratio_width = static_cast<uint32_t>(std::max(GetMaxWidth(), 1));
  hints->aspect_ratio_height = static_cast<uint32_t>(std::max(GetMaxHeight(), 1));
  return true;
}

bool IPlugCLAP::GuiAdjustSize(uint32_t* width, uint32_t* height) const
{
  if (!mGuiCreated || !width || !height)
    return false;
  // The nearest size within the limits that keeps the panel's aspect, led by the width.
  const double aspect = static_cast<double>(std::max(GetMaxWidth(), 1)) / std::max(GetMaxHeight(), 1);
  const int w = std::clamp(static_cast<int>(std::min<uint32_t>(*width, INT32_MAX)), GetMinWidth(), GetMaxWidth());
  const int h = std::clamp(static_cast<int>(std::lround(w / aspect)), GetMinHeight(), GetMaxHeight());
  *width = static_cast<uint32_t>(w);
  *height = static_cast<uint32_t>(h);
  return true;
}

bool IPlugCLAP::GuiSetSize(uint32_t width, uint32_t height)
{
  if (!mGuiCreated)
    return false;
  const int w = static_cast<int>(std::min<uint32_t>(width, INT32_MAX));
  const int h = static_cast<int>(std::min<uint32_t>(height, INT32_MAX));
  if (w < GetMinWidth() || w > GetMaxWidth() || h < GetMinHeight() || h > GetMaxHeight())
    return false;
  OnParentWindowResize(w, h);
  return true;
}

bool IPlugCLAP::GuiSetParent(const clap_window* window)
{
  if (!mGuiCreated || !window || !window->api || std::strcmp(window->api, CLAP_WINDOW_API_X11) != 0 ||
      window->x11 == 0 || mParentWindow)
    return false;
  void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
  if (!OpenWindow(parent))
    return false;
  mParentWindow = parent;
  // Hosts often give the scale before the window exists, when there is no graphics context to take it.
  if (mGuiScale != 1.0)
    SetScreenScale(static_cast<float>(mGuiScale));
  return true;
}

bool IPlugCLAP::GuiShow() { return mGuiCreated && mParentWindow; }

bool IPlugCLAP::GuiHide() { return mGuiCreated && mParentWindow; }


} // namespace iplug
