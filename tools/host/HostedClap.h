// One instance of a CLAP plug-in, hosted the way a DAW hosts it: the .clap file loaded and its entry initialised,
// the plug-in created from the factory with a host that offers params (rescan, flush requests), latency,
// thread-check and timer-support, activated and processed block by block, parameters sent as events, state saved
// and restored through streams. The host's main loop is Idle(): it runs the plug-in's timers at their periods in
// rendered time, its main-thread callbacks, and a restart the plug-in asked for (deactivate, activate again).
//
// Typical use:
//   std::string error;
//   auto plug = HostedClap::Create("build/Brevant.clap", error);
//   plug->SetParam("Low Input", 24.0, shown, error);   // sent with the next block (flushed while inactive)
//   plug->Prepare(48000.0, 512, 2, 0, false, error);    // activates; stereo in, no side-chain, 32-bit
//   plug->Process(n, in, out, sidechain, error);
//   plug->Idle(n * 1000.0 / 48000.0);
//   plug->Stop();
#pragma once

#include "HostedEffect.h"
#include "IPlugCLAP_HeadlessEditor.h"

#include "clap/entry.h"
#include "clap/ext/audio-ports.h"
#include "clap/ext/gui.h"
#include "clap/ext/latency.h"
#include "clap/ext/params.h"
#include "clap/ext/state.h"
#include "clap/ext/thread-check.h"
#include "clap/ext/timer-support.h"
#include "clap/plugin-factory.h"

#include <map>
#include <thread>

namespace brevant::host
{

/** A loaded .clap file: entry initialised on load, deinitialised and closed when the last user lets go. */
class ClapModule
{
public:
  static std::shared_ptr<ClapModule> Load(const std::string& path, std::string& error);
  ~ClapModule();
  ClapModule(const ClapModule&) = delete;
  ClapModule& operator=(const ClapModule&) = delete;

  const std::string& Path() const { return mPath; }
  const clap_plugin_factory* Factory() const { return mFactory; }

private:
  ClapModule() = default;
  std::string mPath;
  void* mHandle = nullptr;
  const clap_plugin_entry* mEntry = nullptr;
  const clap_plugin_factory* mFactory = nullptr;
};

/** Whoever shows the plug-in's gui answers its host-gui requests (main thread); without one they are refused. */
class ClapGuiHost
{
public:
  virtual ~ClapGuiHost() = default;
  virtual bool RequestResize(uint32_t width, uint32_t height) = 0;
  virtual bool RequestShow() = 0;
  virtual bool RequestHide() = 0;
  virtual void Closed(bool wasDestroyed) = 0;
  virtual void ResizeHintsChanged() = 0;
};

class HostedClap final : public HostedEffect
{
public:
  /** The factory's first plug-in (or the one whose id or name is pluginId), created and initialised. */
  static std::unique_ptr<HostedClap> Create(const std::string& path, const std::string& pluginId,
                                            std::string& error);
  ~HostedClap() override;

  const char* Format() const override { return "CLAP"; }
  std::string Name() const override;
  std::string LibraryPath() const override { return mModule->Path(); }
  void Describe(std::ostream& out) override;

  bool SetParam(const std::string& name, double plain, std::string& shown, std::string& error) override;
  /** CLAP 1.1 has no preset interface: factory presets reach hosts through the VST3 program list only. */
  bool SelectPreset(const std::string& name, std::string& error) override
  {
    error = "CLAP plug-ins offer no presets to hosts; \"" + name + "\" is in the VST3 bundle's program list";
    return false;
  }
  bool GetState(std::vector<std::uint8_t>& data, std::string& error) override;
  bool SetState(const std::vector<std::uint8_t>& data, std::string& error) override;

  bool Prepare(double sampleRate, int maxBlock, int inChannels, int scChannels, bool doubles,
               std::string& error) override;
  int OutputChannels() const override { return mOutChannels; }
  bool Process(int frames, std::span<float* const> in, std::span<float* const> out, std::span<float* const> sidechain,
               std::string& error) override;
  bool Process(int frames, std::span<double* const> in, std::span<double* const> out,
               std::span<double* const> sidechain, std::string& error) override;
  void Idle(double ms) override;
  void Stop() override;

  uint32_t LatencySamples() const override;
  bool TakeLatencyChange(uint32_t& latency) override;

  const clap_plugin* Plugin() const { return mPlugin; }

  /** Who answers the plug-in's gui requests from now on (nullptr: nobody, they are refused). */
  void SetGuiHost(ClapGuiHost* gui) { mGuiHost = gui; }
  /** Milliseconds until the next timer of the plug-in falls due (a large number when it has none). */
  double NextTimerDueIn() const;

  // The editor without a window, through the framework's private extension (false for other plug-ins).
  bool OpenHeadlessEditor(double scale, std::string& error);
  bool WriteEditorPNG(const std::string& path, uint32_t& width, uint32_t& height);
  void CloseHeadlessEditor();

private:
  struct ParamInfo
  {
    clap_id id;
    std::string name, module;
    double min, max, def;
    uint32_t flags;
  };

  HostedClap() = default;
  const void* HostExtension(const char* id) const;
  static ClapGuiHost* GuiHostOnMainThread(const clap_host* host);
  const ParamInfo* FindParam(const std::string& name) const;
  template <typename T>
  bool ProcessBlock(int frames, std::span<T* const> in, std::span<T* const> out, std::span<T* const> sidechain,
                    std::string& error);
  void ReadLatency();
  void ReadParamInfos();

  std::shared_ptr<ClapModule> mModule;
  const clap_plugin* mPlugin = nullptr;
  const clap_plugin_params* mParams = nullptr;
  const clap_plugin_audio_ports* mPorts = nullptr;
  const clap_plugin_latency* mLatency = nullptr;
  const clap_plugin_state* mState = nullptr;
  const clap_plugin_timer_support* mTimer = nullptr;
  std::vector<ParamInfo> mParamInfos;
  const iplug_clap_headless_editor* mHeadless = nullptr;
  bool mHeadlessOpen = false;

  clap_host mHost{};
  clap_host_params mHostParams{};
  clap_host_latency mHostLatency{};
  clap_host_thread_check mHostThreadCheck{};
  clap_host_timer_support mHostTimers{};
  clap_host_gui mHostGui{};
  ClapGuiHost* mGuiHost = nullptr;
  std::thread::id mMainThread = std::this_thread::get_id();

  struct Timer
  {
    uint32_t period;
    double dueIn;
  };
  std::map<clap_id, Timer> mTimers;
  clap_id mNextTimer = 1;
  bool mCallbackRequested = false;
  bool mRestartRequested = false;
  bool mFlushRequested = false;

  // Parameter events waiting for the next block (or flush).
  std::vector<clap_event_param_value> mPending;

  bool mActive = false;
  double mSampleRate = 0.0;
  int mMaxBlock = 0;
  int mInChannels = 0, mScChannels = 0, mOutChannels = 0;
  uint32_t mLatencySamples = 0;
  bool mLatencyChanged = false;
};

} // namespace brevant::host
