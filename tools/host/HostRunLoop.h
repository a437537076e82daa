// The host's Linux run loop as plug-ins see it (Steinberg::Linux::IRunLoop, offered by the host context): timers
// and file-descriptor handlers that a plug-in registers to get work done on the host's main thread (editor
// updates, meter readings, telling the host about a latency change).
//
// A command-line host has no event loop of its own, so the loop runs when the host says so and on a clock the host
// advances: while rendering, the audio time processed so far. A 20 ms timer therefore fires about every 20 ms of
// rendered audio, whatever the speed of the render, and the results are the same on every run.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/gui/iplugview.h"

#include <poll.h>

#include <vector>

namespace brevant::host
{

class HostRunLoop : public Steinberg::FObject, public Steinberg::Linux::IRunLoop
{
public:
  HostRunLoop() = default;
  ~HostRunLoop() override;

  //--- IRunLoop (main thread)
  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval milliseconds) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;

  // Advances the clock by ms (negative counts as 0), then runs each timer that fell due once (a timer that missed
  // several periods fires once, as a busy run loop coalesces them) and each event handler whose descriptor is
  // readable. Handlers may register and unregister from inside their callback.
  void Advance(double ms);
  double Now() const { return mNowMs; }
  // Milliseconds until the next timer falls due (0 when one is due; a large number with no timers).
  double NextDueIn() const;
  // The registered descriptors, to wait on with poll.
  std::vector<pollfd> Descriptors() const;
  int NumTimers() const { return static_cast<int>(mTimers.size()); }

  OBJ_METHODS(HostRunLoop, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Steinberg::Linux::IRunLoop)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  struct TimerEntry
  {
    Steinberg::IPtr<Steinberg::Linux::ITimerHandler> handler;
    double intervalMs;
    double dueMs;
  };
  struct EventEntry
  {
    Steinberg::IPtr<Steinberg::Linux::IEventHandler> handler;
    Steinberg::Linux::FileDescriptor fd;
  };

  double mNowMs = 0.0;
  std::vector<TimerEntry> mTimers;
  std::vector<EventEntry> mEvents;
};

} // namespace brevant::host
