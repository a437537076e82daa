#pragma once
// The host's idle calls as the framework's run loop. An LV2 host drives its UI through ui:idleInterface, a call
// on its UI thread many times a second and nothing else, so the framework timer, the editor's frame tick and its
// X event handler all run from Idle(): each timer when its interval has passed, each event handler when its file
// descriptor is readable. Everything here runs on the host's UI thread.
//
// Typical use (the binding):
//   auto* loop = new LV2RunLoop();                 // one reference, the binding's
//   plug.SetHostRunLoop(loop);                     // framework timer and editor register on it
//   ...host calls idle()  ->  loop->Idle()
//   loop->UnregisterAll(); loop->release();        // when the UI is cleaned up

#include "pluginterfaces/gui/iplugview.h"

#include <atomic>
#include <chrono>
#include <vector>

namespace iplug
{

class LV2RunLoop final : public Steinberg::Linux::IRunLoop
{
public:
  using Clock = std::chrono::steady_clock;

  LV2RunLoop() = default;
  LV2RunLoop(const LV2RunLoop&) = delete;
  LV2RunLoop& operator=(const LV2RunLoop&) = delete;

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

  /** Runs the handlers that are due at now: readable descriptors, then timers whose interval has passed. */
  void Idle(Clock::time_point now = Clock::now());
  /** Lets go of every handler. */
  void UnregisterAll();
  size_t NumHandlers() const { return mEntries.size(); }

private:
  ~LV2RunLoop();

  struct Entry
  {
    Steinberg::FUnknown* handler; // referenced while registered
    int fd;                       // -1 for a timer handler
    Clock::duration interval;
    Clock::time_point due;
  };

  bool Add(Steinberg::FUnknown* handler, Clock::duration interval, int fd);
  bool Remove(Steinberg::FUnknown* handler);

  std::vector<Entry> mEntries;
  std::atomic<Steinberg::uint32> mRefCount{1};
};

} // namespace iplug
