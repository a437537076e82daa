#pragma once
// A CLAP host for tests and benchmarks that uses the C ABI alone: it loads a .clap file, creates its plug-in and
// offers the host extensions a plug-in may use (params, latency, state, thread-check, timer-support, gui),
// recording every request. Nothing in process() allocates on the host's side (the real-time checker counts it).
//
// Typical use:
//   std::string error;
//   auto module = claptest::Module::Load(BREVANT_CLAP_FILE, error);
//   auto plug = claptest::Plugin::Create(*module, error);          // created and initialised
//   plug->Activate(48000.0, 512);
//   plug->events.Value(3, 12.0, 100);                                // param 3 = 12.0 at sample 100
//   plug->Process(512, in, out);                                     // float* or double* channel lists
//   plug->Deactivate();

#include "clap/entry.h"
#include "clap/ext/audio-ports.h"
#include "clap/ext/gui.h"
#include "clap/ext/latency.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/ext/thread-check.h"
#include "clap/ext/timer-support.h"
#include "clap/plugin-factory.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace claptest
{

/** The loaded module: entry initialised on load, deinitialised and closed on destruction. */
class Module
{
public:
  static std::unique_ptr<Module> Load(const std::string& path, std::string& error)
  {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
    {
      error = dlerror();
      return nullptr;
    }
    auto* entry = static_cast<const clap_plugin_entry*>(dlsym(handle, "clap_entry"));
    if (!entry || !entry->init || !entry->init(path.c_str()))
    {
      error = "no usable clap_entry in " + path;
      dlclose(handle);
      return nullptr;
    }
    return std::unique_ptr<Module>(new Module(handle, entry));
  }
  ~Module()
  {
    mEntry->deinit();
    dlclose(mHandle);
  }
  const clap_plugin_entry* Entry() const { return mEntry; }
  const clap_plugin_factory* Factory() const
  {
    return static_cast<const clap_plugin_factory*>(mEntry->get_factory(CLAP_PLUGIN_FACTORY_ID));
  }

private:
  Module(void* handle, const clap_plugin_entry* entry) : mHandle(handle), mEntry(entry) {}
  void* mHandle;
  const clap_plugin_entry* mEntry;
};

inline thread_local bool tOnAudioThread = false;

/** The host side: what the plug-in asked for, counted. */
class Host
{
public:
  Host()
  {
    mHost.clap_version = CLAP_VERSION_INIT;
    mHost.host_data = this;
    mHost.name = "claptest";
    mHost.vendor = "Quillmere";
    mHost.url = "";
    mHost.version = "1.0.0";
    mHost.get_extension = [](const clap_host* h, const char* id) { return Self(h)->Extension(id); };
    mHost.request_restart = [](const clap_host* h) { Self(h)->restartRequests++; };
    mHost.request_process = [](const clap_host* h) { Self(h)->processRequests++; };
    mHost.request_callback = [](const clap_host* h) { Self(h)->callbackRequests++; };

    mParams.rescan = [](const clap_host* h, clap_param_rescan_flags flags)
    {
      Self(h)->rescans++;
      Self(h)->lastRescanFlags = flags;
    };
    mParams.clear = [](const clap_host*, clap_id, clap_param_clear_flags) {};
    mParams.request_flush = [](const clap_host* h) { Self(h)->flushRequests++; };
    mLatency.changed = [](const clap_host* h) { Self(h)->latencyChanges++; };
    mThreadCheck.is_main_thread = [](const clap_host* h)
    { return !tOnAudioThread && std::this_thread::get_id() == Self(h)->mMainThread; };
    mThreadCheck.is_audio_thread = [](const clap_host*) { return tOnAudioThread; };
    mTimers.register_timer = [](const clap_host* h, uint32_t period, clap_id* id)
    {
      if (!Self(h)->offerTimers)
        return false;
      *id = Self(h)->mNextTimer++;
      Self(h)->timers[*id] = period;
      return true;
    };
    mTimers.unregister_timer = [](const clap_host* h, clap_id id) { return Self(h)->timers.erase(id) == 1; };
    mGui.resize_hints_changed = [](const clap_host*) {};
    mGui.request_resize = [](const clap_host* h, uint32_t w, uint32_t hgt)
    {
      Self(h)->resizeRequests.push_back({w, hgt});
      return Self(h)->acceptResize;
    };
    mGui.request_show = [](const clap_host*) { return false; };
    mGui.request_hide = [](const clap_host*) { return false; };
    mGui.closed = [](const clap_host*, bool) {};
  }

  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const clap_host* Get() const { return &mHost; }

  int restartRequests = 0, processRequests = 0, callbackRequests = 0, flushRequests = 0;
  int rescans = 0, latencyChanges = 0;
  uint32_t lastRescanFlags = 0;
  bool offerTimers = true;   // set before the plug-in is created
  bool offerThreadCheck = true;
  bool acceptResize = true;
  std::map<clap_id, uint32_t> timers;
  std::vector<std::pair<uint32_t, uint32_t>> resizeRequests;

private:
  static Host* Self(const clap_host* h) { return static_cast<Host*>(h->host_data); }
  const void* Extension(const char* id)
  {
    if (!std::strcmp(id, CLAP_EXT_PARAMS))
      return &mParams;
    if (!std::strcmp(id, CLAP_EXT_LATENCY))
      return &mLatency;
    if (!std::strcmp(id, CLAP_EXT_THREAD_CHECK) && offerThreadCheck)
      return &mThreadCheck;
    if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) && offerTimers)
      return &mTimers;
    if (!std::strcmp(id, CLAP_EXT_GUI))
      return &mGui;
    return nullptr;
  }

  clap_host mHost{};
  clap_host_params mParams{};
  clap_host_latency mLatency{};
  clap_host_thread_check mThreadCheck{};
  clap_host_timer_support mTimers{};
  clap_host_gui mGui{};
  clap_id mNextTimer = 1;
  std::thread::id mMainThread = std::this_thread::get_id();
};

/** Parameter events for the next process or flush call, kept in time order; storage reserved up front. */
class InputEvents
{
public:
  InputEvents()
  {
    mEvents.reserve(4096);
    mList.ctx = this;
    mList.size = [](const clap_input_events* l) { return static_cast<uint32_t>(Self(l)->mEvents.size()); };
    mList.get = [](const clap_input_events* l, uint32_t i) -> const clap_event_header*
    { return i < Self(l)->mEvents.size() ? &Self(l)->mEvents[i].header : nullptr; };
  }
  InputEvents(const InputEvents&) = delete;
  InputEvents& operator=(const InputEvents&) = delete;

  void Value(clap_id id, double value, uint32_t time = 0)
  {
    clap_event_param_value e{};
    e.header = {sizeof(e), time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.note_id = e.port_index = e.channel = e.key = -1;
    e.value = value;
    auto at = std::upper_bound(mEvents.begin(), mEvents.end(), time,
                               [](uint32_t t, const clap_event_param_value& x) { return t < x.header.time; });
    mEvents.insert(at, e);
  }
  void Clear() { mEvents.clear(); }
  const clap_input_events* List() const { return &mList; }

private:
  static InputEvents* Self(const clap_input_events* l) { return static_cast<InputEvents*>(l->ctx); }
  std::vector<clap_event_param_value> mEvents;
  clap_input_events mList{};
};

struct OutputEvent
{
  uint16_t type;
  clap_id id;
  double value;
};

/** Records what the plug-in pushes; storage reserved up front, events beyond it are refused. */
class OutputEvents
{
public:
  OutputEvents()
  {
    events.reserve(4096);
    mList.ctx = this;
    mList.try_push = [](const clap_output_events* l, const clap_event_header* h)
    {
      auto* self = static_cast<OutputEvents*>(l->ctx);
      if (self->events.size() == self->events.capacity() || h->space_id != CLAP_CORE_EVENT_SPACE_ID)
        return false;
      if (h->type == CLAP_EVENT_PARAM_VALUE)
      {
        const auto* e = reinterpret_cast<const clap_event_param_value*>(h);
        self->events.push_back({h->type, e->param_id, e->value});
      }
      else if (h->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || h->type == CLAP_EVENT_PARAM_GESTURE_END)
        self->events.push_back({h->type, reinterpret_cast<const clap_event_param_gesture*>(h)->param_id, 0.0});
      return true;
    };
  }
  OutputEvents(const OutputEvents&) = delete;
  OutputEvents& operator=(const OutputEvents&) = delete;
  const clap_output_events* List() const { return &mList; }
  std::vector<OutputEvent> events;

private:
  clap_output_events mList{};
};

/** One plug-in instance and its host. */
class Plugin
{
public:
  static std::unique_ptr<Plugin> Create(const Module& module, std::string& error, bool offerTimers = true)
  {
    auto plug = std::unique_ptr<Plugin>(new Plugin());
    plug->host.offerTimers = offerTimers;
    const clap_plugin_factory* factory = module.Factory();
    const clap_plugin_descriptor* desc = factory ? factory->get_plugin_descriptor(factory, 0) : nullptr;
    plug->p = desc ? factory->create_plugin(factory, plug->host.Get(), desc->id) : nullptr;
    if (!plug->p || !plug->p->init(plug->p))
    {
      error = "the plug-in could not be created";
      if (plug->p)
        plug->p->destroy(plug->p);
      plug->p = nullptr;
      return nullptr;
    }
    auto ext = [&](const char* id) { return plug->p->get_extension(plug->p, id); };
    plug->params = static_cast<const clap_plugin_params*>(ext(CLAP_EXT_PARAMS));
    plug->ports = static_cast<const clap_plugin_audio_ports*>(ext(CLAP_EXT_AUDIO_PORTS));
    plug->latency = static_cast<const clap_plugin_latency*>(ext(CLAP_EXT_LATENCY));
    plug->state = static_cast<const clap_plugin_state*>(ext(CLAP_EXT_STATE));
    plug->timer = static_cast<const clap_plugin_timer_support*>(ext(CLAP_EXT_TIMER_SUPPORT));
    plug->gui = static_cast<const clap_plugin_gui*>(ext(CLAP_EXT_GUI));
    return plug;
  }
  ~Plugin()
  {
    if (p)
    {
      if (mActive)
        Deactivate();
      p->destroy(p);
    }
  }

  bool Activate(double sampleRate, uint32_t maxFrames)
  {
    mActive = p->activate(p, sampleRate, 1, maxFrames);
    if (mActive)
    {
      tOnAudioThread = true;
      p->start_processing(p);
      tOnAudioThread = false;
    }
    return mActive;
  }
  void Deactivate()
  {
    tOnAudioThread = true;
    p->stop_processing(p);
    tOnAudioThread = false;
    p->deactivate(p);
    mActive = false;
  }

  /** One block: channel lists for the main input, the main output and the side-chain (empty: no buffers on that
   * port). Sends `events`, then clears them; what the plug-in sends back lands in `output`. */
  template <typename T>
  clap_process_status Process(uint32_t frames, std::span<T* const> in, std::span<T* const> out,
                              std::span<T* const> sidechain = {})
  {
    static_assert(std::is_same_v<T, float> || std::is_same_v<T, double>);
    Tables<T>& t = TablesFor<T>();
    t.in[0].assign(in.begin(), in.end());
    t.in[1].assign(sidechain.begin(), sidechain.end());
    t.out.assign(out.begin(), out.end());
    clap_audio_buffer ins[2]{}, outs[1]{};
    for (int i = 0; i < 2; i++)
      Fill<T>(ins[i], t.in[i]);
    Fill<T>(outs[0], t.out);
    clap_process process{};
    process.steady_time = -1;
    process.frames_count = frames;
    process.audio_inputs = ins;
    process.audio_inputs_count = sidechain.empty() ? 1 : 2;
    process.audio_outputs = outs;
    process.audio_outputs_count = 1;
    process.in_events = events.List();
    process.out_events = output.List();
    tOnAudioThread = true;
    const clap_process_status status = p->process(p, &process);
    tOnAudioThread = false;
    events.Clear();
    return status;
  }
  template <typename T>
  clap_process_status Process(uint32_t frames, const std::vector<T*>& in, const std::vector<T*>& out,
                              const std::vector<T*>& sidechain = {})
  {
    return Process<T>(frames, std::span<T* const>(in), std::span<T* const>(out), std::span<T* const>(sidechain));
  }

  /** params.flush from the main thread (inactive) with `events`. */
  void Flush()
  {
    params->flush(p, events.List(), output.List());
    events.Clear();
  }

  double Value(clap_id id) const
  {
    double v = -1.0;
    params->get_value(p, id, &v);
    return v;
  }

  /** Fires every timer the plug-in registered once, on this (main) thread. */
  void FireTimers()
  {
    std::vector<clap_id> ids;
    for (const auto& [id, period] : host.timers)
      ids.push_back(id);
    for (clap_id id : ids)
      if (host.timers.count(id))
        timer->on_timer(p, id);
  }

  /** Runs the plug-in's timers for ms milliseconds, each at its own period, as a host's main loop does. */
  void RunTimers(double ms)
  {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::duration<double, std::milli>(ms);
    std::map<clap_id, Clock::time_point> last;
    while (Clock::now() < end)
    {
      std::vector<clap_id> due;
      const auto now = Clock::now();
      for (const auto& [id, period] : host.timers)
      {
        auto it = last.find(id);
        if (it == last.end() || now - it->second >= std::chrono::milliseconds(period))
        {
          due.push_back(id);
          last[id] = now;
        }
      }
      for (clap_id id : due)
        if (host.timers.count(id))
          timer->on_timer(p, id);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::vector<uint8_t> Save(size_t maxChunk = SIZE_MAX)
  {
    struct Sink
    {
      std::vector<uint8_t> bytes;
      size_t maxChunk;
    } sink{{}, maxChunk};
    clap_ostream stream{&sink, [](const clap_ostream* s, const void* data, uint64_t size) -> int64_t
                        {
                          auto* k = static_cast<Sink*>(s->ctx);
                          const size_t n = std::min<uint64_t>(size, k->maxChunk);
                          k->bytes.insert(k->bytes.end(), static_cast<const uint8_t*>(data),
                                          static_cast<const uint8_t*>(data) + n);
                          return static_cast<int64_t>(n);
                        }};
    if (!state->save(p, &stream))
      return {};
    return sink.bytes;
  }

  /** Loads bytes through a stream that hands out at most maxChunk bytes per read; failAt >= 0 makes the read at
   * that position report an error. */
  bool Load(const std::vector<uint8_t>& bytes, size_t maxChunk = SIZE_MAX, int64_t failAt = -1)
  {
    struct Source
    {
      const std::vector<uint8_t>& bytes;
      size_t pos, maxChunk;
      int64_t failAt;
    } source{bytes, 0, maxChunk, failAt};
    clap_istream stream{&source, [](const clap_istream* s, void* buffer, uint64_t size) -> int64_t
                        {
                          auto* src = static_cast<Source*>(s->ctx);
                          if (src->failAt >= 0 && static_cast<int64_t>(src->pos) >= src->failAt)
                            return -1;
                          const size_t n = std::min<uint64_t>({size, src->maxChunk, src->bytes.size() - src->pos});
                          if (n > 0)
                            std::memcpy(buffer, src->bytes.data() + src->pos, n);
                          src->pos += n;
                          return static_cast<int64_t>(n);
                        }};
    return state->load(p, &stream);
  }

  Host host;
  InputEvents events;
  OutputEvents output;
  const clap_plugin* p = nullptr;
  const clap_plugin_params* params = nullptr;
  const clap_plugin_audio_ports* ports = nullptr;
  const clap_plugin_latency* latency = nullptr;
  const clap_plugin_state* state = nullptr;
  const clap_plugin_timer_support* timer = nullptr;
  const clap_plugin_gui* gui = nullptr;

private:
  template <typename T> struct Tables
  {
    std::vector<T*> in[2];
    std::vector<T*> out;
  };
  Plugin()
  {
    for (auto& v : m32.in)
      v.reserve(8);
    for (auto& v : m64.in)
      v.reserve(8);
    m32.out.reserve(8);
    m64.out.reserve(8);
  }
  template <typename T> Tables<T>& TablesFor()
  {
    if constexpr (std::is_same_v<T, float>)
      return m32;
    else
      return m64;
  }
  template <typename T> static void Fill(clap_audio_buffer& b, std::vector<T*>& ptrs)
  {
    b.channel_count = static_cast<uint32_t>(ptrs.size());
    if constexpr (std::is_same_v<T, float>)
      b.data32 = ptrs.empty() ? nullptr : ptrs.data();
    else
      b.data64 = ptrs.empty() ? nullptr : ptrs.data();
  }

  bool mActive = false;
  Tables<float> m32;
  Tables<double> m64;
};

} // namespace claptest
