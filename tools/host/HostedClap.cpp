#include "HostedClap.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <strings.h>

namespace brevant::host
{

namespace
{
thread_local bool tOnAudioThread = false;

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// Events handed to the plug-in: a sorted array.
struct EventArray
{
  const std::vector<clap_event_param_value>* events;
  clap_input_events list;
};

EventArray MakeInput(const std::vector<clap_event_param_value>& events)
{
  EventArray a{&events, {}};
  a.list.ctx = nullptr;
  a.list.size = [](const clap_input_events* l)
  { return static_cast<uint32_t>(static_cast<const EventArray*>(l->ctx)->events->size()); };
  a.list.get = [](const clap_input_events* l, uint32_t i) -> const clap_event_header*
  {
    const auto* events = static_cast<const EventArray*>(l->ctx)->events;
    return i < events->size() ? &(*events)[i].header : nullptr;
  };
  return a;
}

// What the plug-in sends back (its editor's edits) is not needed by a command-line host.
const clap_output_events kDiscard = {nullptr, [](const clap_output_events*, const clap_event_header*) { return true; }};
} // namespace

// --- module ---------------------------------------------------------------------------------------

std::shared_ptr<ClapModule> ClapModule::Load(const std::string& path, std::string& error)
{
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec))
  {
    error = "CLAP file not found: " + path;
    return nullptr;
  }
  // A bare file name would send dlopen searching the library path instead.
  const std::string file = std::filesystem::absolute(path, ec).string();
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle)
  {
    const char* why = dlerror();
    error = "cannot load " + path + (why ? std::string(": ") + why : std::string());
    return nullptr;
  }
  auto* entry = static_cast<const clap_plugin_entry*>(dlsym(handle, "clap_entry"));
  if (!entry || !clap_version_is_compatible(entry->clap_version) || !entry->init || !entry->get_factory ||
      !entry->deinit)
  {
    error = path + " has no CLAP entry this host can use";
    dlclose(handle);
    return nullptr;
  }
  if (!entry->init(file.c_str()))
  {
    error = path + ": the module's init failed";
    dlclose(handle);
    return nullptr;
  }
  auto module = std::shared_ptr<ClapModule>(new ClapModule());
  module->mPath = file;
  module->mHandle = handle;
  module->mEntry = entry;
  module->mFactory = static_cast<const clap_plugin_factory*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
  if (!module->mFactory)
  {
    error = path + " offers no plug-in factory";
    return nullptr;
  }
  return module;
}

ClapModule::~ClapModule()
{
  if (mEntry)
    mEntry->deinit();
  if (mHandle)
    dlclose(mHandle);
}

// --- plug-in --------------------------------------------------------------------------------------

std::unique_ptr<HostedClap> HostedClap::Create(const std::string& path, const std::string& pluginId,
                                               std::string& error)
{
  auto module = ClapModule::Load(path, error);
  if (!module)
    return nullptr;
  const clap_plugin_factory* factory = module->Factory();
  const clap_plugin_descriptor* chosen = nullptr;
  const uint32_t count = factory->get_plugin_count(factory);
  for (uint32_t i = 0; i < count && !chosen; i++)
  {
    const clap_plugin_descriptor* d = factory->get_plugin_descriptor(factory, i);
    if (d && (pluginId.empty() || pluginId == d->id || (d->name && pluginId == d->name)))
      chosen = d;
  }
  if (!chosen)
  {
    error = pluginId.empty() ? path + " describes no plug-in" : "no plug-in named " + Quote(pluginId) + " in " + path;
    return nullptr;
  }

  auto plug = std::unique_ptr<HostedClap>(new HostedClap());
  plug->mModule = module;
  clap_host& h = plug->mHost;
  h.clap_version = CLAP_VERSION_INIT;
  h.host_data = plug.get();
  h.name = "brevant-host";
  h.vendor = "Quillmere";
  h.url = "";
  h.version = "1.0.0";
  h.get_extension = [](const clap_host* host, const char* id)
  { return static_cast<HostedClap*>(host->host_data)->HostExtension(id); };
  h.request_restart = [](const clap_host* host) { static_cast<HostedClap*>(host->host_data)->mRestartRequested = true; };
  h.request_process = [](const clap_host*) {};
  h.request_callback = [](const clap_host* host)
  { static_cast<HostedClap*>(host->host_data)->mCallbackRequested = true; };
  plug->mHostParams.rescan = [](const clap_host* host, clap_param_rescan_flags flags)
  {
    // Values are read when needed; names, ranges and flags are what this host keeps.
    if (flags & (CLAP_PARAM_RESCAN_INFO | CLAP_PARAM_RESCAN_ALL))
      static_cast<HostedClap*>(host->host_data)->ReadParamInfos();
  };
  plug->mHostParams.clear = [](const clap_host*, clap_id, clap_param_clear_flags) {};
  plug->mHostParams.request_flush = [](const clap_host* host)
  { static_cast<HostedClap*>(host->host_data)->mFlushRequested = true; };
  plug->mHostLatency.changed = [](const clap_host* host) { static_cast<HostedClap*>(host->host_data)->ReadLatency(); };
  plug->mHostThreadCheck.is_main_thread = [](const clap_host* host)
  { return !tOnAudioThread && std::this_thread::get_id() == static_cast<HostedClap*>(host->host_data)->mMainThread; };
  plug->mHostThreadCheck.is_audio_thread = [](const clap_host*) { return tOnAudioThread; };
  plug->mHostTimers.register_timer = [](const clap_host* host, uint32_t period, clap_id* id)
  {
    auto* self = static_cast<HostedClap*>(host->host_data);
    if (!id)
      return false;
    *id = self->mNextTimer++;
    self->mTimers[*id] = {std::max<uint32_t>(period, 1), static_cast<double>(std::max<uint32_t>(period, 1))};
    return true;
  };
  plug->mHostTimers.unregister_timer = [](const clap_host* host, clap_id id)
  { return static_cast<HostedClap*>(host->host_data)->mTimers.erase(id) == 1; };

  plug->mHostGui.resize_hints_changed = [](const clap_host* host)
  {
    if (ClapGuiHost* gui = GuiHostOnMainThread(host))
      gui->ResizeHintsChanged();
  };
  plug->mHostGui.request_resize = [](const clap_host* host, uint32_t width, uint32_t height)
  {
    ClapGuiHost* gui = GuiHostOnMainThread(host);
    return gui && gui->RequestResize(width, height);
  };
  plug->mHostGui.request_show = [](const clap_host* host)
  {
    ClapGuiHost* gui = GuiHostOnMainThread(host);
    return gui && gui->RequestShow();
  };
  plug->mHostGui.request_hide = [](const clap_host* host)
  {
    ClapGuiHost* gui = GuiHostOnMainThread(host);
    return gui && gui->RequestHide();
  };
  plug->mHostGui.closed = [](const clap_host* host, bool wasDestroyed)
  {
    if (ClapGuiHost* gui = GuiHostOnMainThread(host))
      gui->Closed(wasDestroyed);
  };

  plug->mPlugin = factory->create_plugin(factory, &plug->mHost, chosen->id);
  if (!plug->mPlugin)
  {
    error = "the factory did not create " + Quote(chosen->id);
    return nullptr;
  }
  if (!plug->mPlugin->init(plug->mPlugin))
  {
    error = Quote(chosen->id) + " failed to initialise";
    plug->mPlugin->destroy(plug->mPlugin);
    plug->mPlugin = nullptr;
    return nullptr;
  }
  auto ext = [&](const char* id) { return plug->mPlugin->get_extension(plug->mPlugin, id); };
  plug->mParams = static_cast<const clap_plugin_params*>(ext(CLAP_EXT_PARAMS));
  plug->mPorts = static_cast<const clap_plugin_audio_ports*>(ext(CLAP_EXT_AUDIO_PORTS));
  plug->mLatency = static_cast<const clap_plugin_latency*>(ext(CLAP_EXT_LATENCY));
  plug->mState = static_cast<const clap_plugin_state*>(ext(CLAP_EXT_STATE));
  plug->mTimer = static_cast<const clap_plugin_timer_support*>(ext(CLAP_EXT_TIMER_SUPPORT));
  plug->ReadParamInfos();
  plug->ReadLatency();
  plug->mLatencyChanged = false;
  return plug;
}

// The gui requests go to whoever shows the gui, on the main thread only: this host has no queue to defer them to.
ClapGuiHost* HostedClap::GuiHostOnMainThread(const clap_host* host)
{
  auto* self = static_cast<HostedClap*>(host->host_data);
  return std::this_thread::get_id() == self->mMainThread && !tOnAudioThread ? self->mGuiHost : nullptr;
}

HostedClap::~HostedClap()
{
  if (!mPlugin)
    return;
  CloseHeadlessEditor();
  Stop();
  mPlugin->destroy(mPlugin);
}

const void* HostedClap::HostExtension(const char* id) const
{
  if (!id)
    return nullptr;
  if (!std::strcmp(id, CLAP_EXT_PARAMS))
    return &mHostParams;
  if (!std::strcmp(id, CLAP_EXT_LATENCY))
    return &mHostLatency;
  if (!std::strcmp(id, CLAP_EXT_THREAD_CHECK))
    return &mHostThreadCheck;
  if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT))
    return &mHostTimers;
  if (!std::strcmp(id, CLAP_EXT_GUI))
    return &mHostGui;
  return nullptr;
}

std::string HostedClap::Name() const { return mPlugin->desc && mPlugin->desc->name ? mPlugin->desc->name : ""; }

void HostedClap::ReadParamInfos()
{
  mParamInfos.clear();
  const uint32_t n = mParams ? mParams->count(mPlugin) : 0;
  for (uint32_t i = 0; i < n; i++)
  {
    clap_param_info info{};
    if (mParams->get_info(mPlugin, i, &info))
      mParamInfos.push_back({info.id, info.name, info.module, info.min_value, info.max_value, info.default_value,
                             info.flags});
  }
}

void HostedClap::ReadLatency()
{
  const uint32_t latency = mLatency ? mLatency->get(mPlugin) : 0;
  if (latency != mLatencySamples)
    mLatencyChanged = true;
  mLatencySamples = latency;
}

uint32_t HostedClap::LatencySamples() const { return mLatencySamples; }

bool HostedClap::TakeLatencyChange(uint32_t& latency)
{
  if (!mLatencyChanged)
    return false;
  mLatencyChanged = false;
  latency = mLatencySamples;
  return true;
}

void HostedClap::Describe(std::ostream& out)
{
  const clap_plugin_descriptor* d = mPlugin->desc;
  auto str = [](const char* s) { return std::string(s ? s : ""); };
  out << "module: " << mModule->Path() << "\n";
  out << "plug-in " << Quote(str(d->name)) << " id " << Quote(str(d->id)) << " vendor " << Quote(str(d->vendor))
      << " version " << Quote(str(d->version)) << "\n";
  out << "  features:";
  for (const char* const* f = d->features; f && *f; f++)
    out << " " << *f;
  out << "\n";
  for (bool isInput : {true, false})
  {
    const uint32_t n = mPorts ? mPorts->count(mPlugin, isInput) : 0;
    out << "  audio " << (isInput ? "input" : "output") << " ports: " << n << "\n";
    for (uint32_t i = 0; i < n; i++)
    {
      clap_audio_port_info info{};
      if (!mPorts->get(mPlugin, i, isInput, &info))
        continue;
      out << "    [" << i << "] " << Quote(info.name) << " " << info.channel_count << " ch ("
          << (info.port_type ? info.port_type : "?") << "), "
          << ((info.flags & CLAP_AUDIO_PORT_IS_MAIN) ? "main" : "aux")
          << ((info.flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS) ? ", 64-bit" : "") << "\n";
    }
  }
  out << "  parameters: " << mParamInfos.size() << "\n";
  for (const ParamInfo& p : mParamInfos)
  {
    char text[256] = {};
    const bool hasText = mParams->value_to_text(mPlugin, p.id, p.def, text, sizeof(text));
    out << "    id " << p.id << " " << Quote(p.name) << " range " << p.min << " .. " << p.max << " default " << p.def;
    if (hasText)
      out << " (" << Quote(text) << ")";
    std::string flags;
    auto add = [&flags](const char* f) { flags += (flags.empty() ? "" : ",") + std::string(f); };
    if (p.flags & CLAP_PARAM_IS_AUTOMATABLE)
      add("automatable");
    if (p.flags & CLAP_PARAM_IS_STEPPED)
      add("stepped");
    if (p.flags & CLAP_PARAM_IS_READONLY)
      add("readonly");
    if (p.flags & CLAP_PARAM_IS_HIDDEN)
      add("hidden");
    if (p.flags & CLAP_PARAM_IS_BYPASS)
      add("bypass");
    out << " flags " << (flags.empty() ? "none" : flags) << "\n";
  }
  out << "  extensions:";
  for (const char* id : {CLAP_EXT_PARAMS, CLAP_EXT_AUDIO_PORTS, CLAP_EXT_LATENCY, CLAP_EXT_STATE,
                         CLAP_EXT_TIMER_SUPPORT, "clap.gui"})
    if (mPlugin->get_extension(mPlugin, id))
      out << " " << id;
  out << "\n";
  out << "  latency: " << mLatencySamples << " samples\n";
}

const HostedClap::ParamInfo* HostedClap::FindParam(const std::string& name) const
{
  if (name.size() > 1 && name[0] == '#')
  {
    char* end = nullptr;
    const unsigned long id = std::strtoul(name.c_str() + 1, &end, 10);
    for (const ParamInfo& p : mParamInfos)
      if (end && !*end && p.id == id)
        return &p;
    return nullptr;
  }
  for (const ParamInfo& p : mParamInfos)
    if (p.name == name)
      return &p;
  for (const ParamInfo& p : mParamInfos)
    if (strcasecmp(p.name.c_str(), name.c_str()) == 0)
      return &p;
  return nullptr;
}

bool HostedClap::SetParam(const std::string& name, double plain, std::string& shown, std::string& error)
{
  const ParamInfo* p = FindParam(name);
  if (!p)
  {
    error = "unknown parameter " + Quote(name) + " (brevant-host info lists the parameters)";
    return false;
  }
  if (!std::isfinite(plain))
  {
    error = "not a value for " + Quote(p->name);
    return false;
  }
  clap_event_param_value e{};
  e.header = {sizeof(e), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  e.param_id = p->id;
  e.cookie = nullptr;
  e.note_id = e.port_index = e.channel = e.key = -1;
  e.value = std::clamp(plain, p->min, p->max);
  mPending.push_back(e);
  // While inactive the host flushes at once, so the value is in place for what follows (a state save, say).
  if (!mActive && mParams && mParams->flush)
  {
    EventArray in = MakeInput(mPending);
    in.list.ctx = &in;
    mParams->flush(mPlugin, &in.list, &kDiscard);
    mPending.clear();
  }
  char text[256] = {};
  double now = e.value;
  if (mParams)
    mParams->get_value(mPlugin, p->id, &now);
  std::ostringstream line;
  line << Quote(p->name) << " = " << now;
  if (mParams && mParams->value_to_text(mPlugin, p->id, now, text, sizeof(text)))
    line << " (shown as " << Quote(text) << ")";
  shown = line.str();
  return true;
}

bool HostedClap::GetState(std::vector<std::uint8_t>& data, std::string& error)
{
  if (!mState)
  {
    error = "the plug-in has no state extension";
    return false;
  }
  data.clear();
  clap_ostream stream{&data, [](const clap_ostream* s, const void* buffer, uint64_t size) -> int64_t
                      {
                        auto* bytes = static_cast<std::vector<std::uint8_t>*>(s->ctx);
                        const auto* from = static_cast<const std::uint8_t*>(buffer);
                        bytes->insert(bytes->end(), from, from + size);
                        return static_cast<int64_t>(size);
                      }};
  if (!mState->save(mPlugin, &stream))
  {
    error = "the plug-in refused to save its state";
    return false;
  }
  return true;
}

bool HostedClap::SetState(const std::vector<std::uint8_t>& data, std::string& error)
{
  if (!mState)
  {
    error = "the plug-in has no state extension";
    return false;
  }
  struct Source
  {
    const std::vector<std::uint8_t>* bytes;
    size_t pos;
  } source{&data, 0};
  clap_istream stream{&source, [](const clap_istream* s, void* buffer, uint64_t size) -> int64_t
                      {
                        auto* src = static_cast<Source*>(s->ctx);
                        const size_t n = std::min<uint64_t>(size, src->bytes->size() - src->pos);
                        if (n > 0)
                          std::memcpy(buffer, src->bytes->data() + src->pos, n);
                        src->pos += n;
                        return static_cast<int64_t>(n);
                      }};
  if (!mState->load(mPlugin, &stream))
  {
    error = "the plug-in refused the state";
    return false;
  }
  ReadLatency();
  return true;
}

bool HostedClap::Prepare(double sampleRate, int maxBlock, int inChannels, int scChannels, bool doubles,
                         std::string& error)
{
  (void)doubles; // the plug-in is given either size per block; it declares which it supports per port
  const uint32_t nIn = mPorts ? mPorts->count(mPlugin, true) : 0;
  const uint32_t nOut = mPorts ? mPorts->count(mPlugin, false) : 0;
  clap_audio_port_info main{}, out{};
  if (nIn == 0 || nOut == 0 || !mPorts->get(mPlugin, 0, true, &main) || !mPorts->get(mPlugin, 0, false, &out))
  {
    error = "the plug-in has no audio input or output port";
    return false;
  }
  if (scChannels > 0 && nIn < 2)
  {
    error = "the plug-in has no side-chain input";
    return false;
  }
  if (inChannels < 1 || inChannels > static_cast<int>(main.channel_count))
  {
    error = "the plug-in does not accept " + std::to_string(inChannels) + "-channel input";
    return false;
  }
  // A mono file goes in and comes out mono; otherwise the output port's width.
  mOutChannels = inChannels == 1 ? 1 : static_cast<int>(out.channel_count);
  mInChannels = inChannels;
  mScChannels = scChannels;
  if (doubles && !(main.flags & CLAP_AUDIO_PORT_SUPPORTS_64BITS))
  {
    error = "the plug-in cannot process 64-bit samples";
    return false;
  }
  if (!mPlugin->activate(mPlugin, sampleRate, 1, static_cast<uint32_t>(maxBlock)))
  {
    error = "the plug-in refused to activate at " + std::to_string(sampleRate) + " Hz";
    return false;
  }
  mActive = true;
  mSampleRate = sampleRate;
  mMaxBlock = maxBlock;
  tOnAudioThread = true;
  const bool started = mPlugin->start_processing(mPlugin);
  tOnAudioThread = false;
  if (!started)
  {
    error = "the plug-in refused to start processing";
    return false;
  }
  ReadLatency();
  return true;
}

template <typename T>
bool HostedClap::ProcessBlock(int frames, std::span<T* const> in, std::span<T* const> out,
                              std::span<T* const> sidechain, std::string& error)
{
  if (!mActive)
  {
    error = "the plug-in is not active";
    return false;
  }
  std::vector<T*> inPtrs(in.begin(), in.end()), scPtrs(sidechain.begin(), sidechain.end()),
      outPtrs(out.begin(), out.end());
  clap_audio_buffer ins[2]{}, outs[1]{};
  auto fill = [](clap_audio_buffer& b, std::vector<T*>& ptrs)
  {
    b.channel_count = static_cast<uint32_t>(ptrs.size());
    if constexpr (std::is_same_v<T, float>)
      b.data32 = ptrs.empty() ? nullptr : ptrs.data();
    else
      b.data64 = ptrs.empty() ? nullptr : ptrs.data();
  };
  fill(ins[0], inPtrs);
  fill(ins[1], scPtrs);
  fill(outs[0], outPtrs);
  EventArray events = MakeInput(mPending);
  events.list.ctx = &events;
  clap_process process{};
  process.steady_time = -1;
  process.frames_count = static_cast<uint32_t>(std::max(frames, 0));
  process.audio_inputs = ins;
  process.audio_inputs_count = (mPorts && mPorts->count(mPlugin, true) > 1) ? 2 : 1;
  process.audio_outputs = outs;
  process.audio_outputs_count = 1;
  process.in_events = &events.list;
  process.out_events = &kDiscard;
  tOnAudioThread = true;
  const clap_process_status status = mPlugin->process(mPlugin, &process);
  tOnAudioThread = false;
  mPending.clear();
  if (status == CLAP_PROCESS_ERROR)
  {
    error = "the plug-in failed to process";
    return false;
  }
  return true;
}

bool HostedClap::Process(int frames, std::span<float* const> in, std::span<float* const> out,
                         std::span<float* const> sidechain, std::string& error)
{
  return ProcessBlock<float>(frames, in, out, sidechain, error);
}

bool HostedClap::Process(int frames, std::span<double* const> in, std::span<double* const> out,
                         std::span<double* const> sidechain, std::string& error)
{
  return ProcessBlock<double>(frames, in, out, sidechain, error);
}

double HostedClap::NextTimerDueIn() const
{
  double next = 1e9;
  for (const auto& [id, t] : mTimers)
    next = std::min(next, std::max(t.dueIn, 0.0));
  return next;
}

void HostedClap::Idle(double ms)
{
  // Timers due within the time that passed, each at most once per call (a host's loop runs them as they fall due).
  std::vector<clap_id> due;
  for (auto& [id, t] : mTimers)
  {
    t.dueIn -= ms;
    if (t.dueIn <= 0.0)
    {
      due.push_back(id);
      t.dueIn = std::max(t.dueIn + t.period, 0.0);
    }
  }
  for (clap_id id : due)
    if (mTimers.count(id) && mTimer)
      mTimer->on_timer(mPlugin, id);
  // A flush the plug-in asked for: while active the next block carries it, while inactive the host flushes here.
  if (mFlushRequested && !mActive && mParams && mParams->flush)
  {
    mFlushRequested = false;
    EventArray in = MakeInput(mPending);
    in.list.ctx = &in;
    mParams->flush(mPlugin, &in.list, &kDiscard);
    mPending.clear();
  }
  if (mCallbackRequested)
  {
    mCallbackRequested = false;
    mPlugin->on_main_thread(mPlugin);
  }
  if (mRestartRequested && mActive)
  {
    // The restart the plug-in asked for: deactivate (it reports its new latency then) and activate again.
    mRestartRequested = false;
    tOnAudioThread = true;
    mPlugin->stop_processing(mPlugin);
    tOnAudioThread = false;
    mPlugin->deactivate(mPlugin);
    ReadLatency();
    mActive = mPlugin->activate(mPlugin, mSampleRate, 1, static_cast<uint32_t>(mMaxBlock));
    if (mActive)
    {
      tOnAudioThread = true;
      mPlugin->start_processing(mPlugin);
      tOnAudioThread = false;
    }
  }
}

bool HostedClap::OpenHeadlessEditor(double scale, std::string& error)
{
  mHeadless = static_cast<const iplug_clap_headless_editor*>(
      mPlugin->get_extension(mPlugin, IPLUG_CLAP_EXT_HEADLESS_EDITOR));
  if (!mHeadless)
  {
    error = "the plug-in's editor cannot be drawn without a window";
    return false;
  }
  if (!mHeadless->open(mPlugin, scale))
  {
    error = "the editor could not be opened headless (no EGL display? Mesa's libegl-mesa0 draws without a GPU)";
    return false;
  }
  mHeadlessOpen = true;
  return true;
}

bool HostedClap::WriteEditorPNG(const std::string& path, uint32_t& width, uint32_t& height)
{
  if (!mHeadlessOpen)
    return false;
  mHeadless->draw_frame(mPlugin);
  mHeadless->get_size(mPlugin, &width, &height);
  return mHeadless->write_png(mPlugin, path.c_str());
}

void HostedClap::CloseHeadlessEditor()
{
  if (mHeadlessOpen)
    mHeadless->close(mPlugin);
  mHeadlessOpen = false;
}

void HostedClap::Stop()
{
  if (!mActive)
    return;
  tOnAudioThread = true;
  mPlugin->stop_processing(mPlugin);
  tOnAudioThread = false;
  mPlugin->deactivate(mPlugin);
  mActive = false;
  ReadLatency();
}

} // namespace brevant::host
