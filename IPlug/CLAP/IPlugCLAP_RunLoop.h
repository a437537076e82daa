#pragma once
// The host's clock and event source as the framework's run loop. A CLAP host offers periodic timers on its main
// thread (timer-support) and nothing else the editor needs, so the framework timer, the editor's frame tick and its
// X event handler all run on host timers: a timer handler on a timer of its own interval, an event handler on a
// short timer that polls its file descriptor. Everything here runs on the host's main thread.
//
// Typical use (the binding):
//   auto* loop = new CLAPRunLoop(host, hostTimers);   // one reference, the binding's
//   plug.SetHostRunLoop(loop);                         // framework timer and editor register on it
//   ...host calls timer_support.on_timer(id)  ->  loop->OnTimer(id)
//   loop->UnregisterAll(); loop->release();            // when the plug-in is destroyed

#include "pluginterfaces/gui/iplugview.h"

#include "clap/ext/timer-support.h"
#include "clap/host.h"

#include <atomic>
#include <vector>

namespace iplug
{

class CLAPRunLoop final : public Steinberg::Linux::IRunLoop
{
public:
  /** How often a registered file descriptor is polled. */
  static constexpr uint32_t kPollIntervalMs = 10;

  CLAPRunLoop(const clap_host* host, const clap_host_timer_support* timers);

  CLAPRunLoop(const CLAPRunLoop&) = delete;
  CLAPRunLoop& operator=(const CLAPRunLoop&) = delete;

  // --- IRunLoop
  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval milliseconds) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

  // --- FUnknown
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override;
  Steinberg::uint32 PLUGIN_API release() override;

  /** The host fired timer id: runs what is registered under it. False when the id is not one of ours. */
  bool OnTimer(clap_id id);
  /** Gives every timer back to the host and lets go of the handlers. */
  void UnregisterAll();
  /** Timers currently registered with the host. */
  size_t NumTimers() const { return mEntries.size(); }

private:
  ~CLAPRunLoop();

  struct Entry
  {
    clap_id id;
    Steinberg::FUnknown* handler; // referenced while registered
    int fd;                       // -1 for a timer handler
  };

  bool Add(Steinberg::FUnknown* handler, uint32_t periodMs, int fd);
  bool Remove(Steinberg::FUnknown* handler);

  const clap_host* mHost;
  const clap_host_timer_support* mTimers;
  std::vector<Entry> mEntries;
  std::atomic<Steinberg::uint32> mRefCount{1};
};

} // namespace iplug
