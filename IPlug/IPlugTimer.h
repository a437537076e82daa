#pragma once
// Periodic timer. On Linux there is no process-wide UI run loop: the host owns it and offers it as
// Steinberg::Linux::IRunLoop (from the view's IPlugFrame, or from the host context). A timer therefore starts without
// one, and the VST3 layer hands it the host's run loop when it learns it (SetRunLoop). From then on every tick runs
// on the host's UI thread. Until then a timer created with ETimerFallback::kBackgroundThread ticks on a thread of its
// own; its callback can tell the two apart with IsUIThreadTick() and must do only thread-safe work on background
// ticks (nothing that touches the editor or calls the host).
//
// Guarantees, whichever source ticks:
// - ticks never overlap; a tick due while one is running (on another thread, or nested through a modal loop) is
//   skipped;
// - Stop() and the destructor may be called from inside the timer's own callback; called from any other thread, they
//   return only after a running callback has finished, and no callback starts afterwards;
// - the host may still hold, and even fire, the run-loop handler after the timer is gone: that tick does nothing.

#include <cstdint>
#include <functional>

namespace Steinberg::Linux
{
class IRunLoop;
}

namespace iplug
{

enum class ETimerFallback
{
  kNone,            // tick only on a host run loop
  kBackgroundThread // tick on a thread of its own until a run loop is known
};

class Timer final
{
public:
  using ITimerFunction = std::function<void(Timer&)>;

  /** Starts ticking every intervalMs milliseconds (at least 1), the first tick one interval from now. runLoop may be
   * null; the timer then ticks as fallback says until SetRunLoop gives it one. */
  Timer(ITimerFunction func, uint32_t intervalMs, ETimerFallback fallback = ETimerFallback::kBackgroundThread,
        Steinberg::Linux::IRunLoop* runLoop = nullptr);
  /** Stops the timer, then destroys the callback (after the current tick, when called from inside it). */
  ~Timer();

  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  /** Stops for good and lets go of the run loop. No tick starts afterwards; see the guarantees above. */
  void Stop();

  /** Moves the ticks onto the host's run loop (UI thread), or back to the fallback when runLoop is null. The timer
   * keeps a reference to the run loop until it is replaced or the timer stops. If the run loop refuses the timer,
   * the fallback takes over. Ignored once stopped. Call from the UI thread, not from inside the timer's callback. */
  void SetRunLoop(Steinberg::Linux::IRunLoop* runLoop);

  bool IsRunning() const;
  uint32_t GetIntervalMs() const { return mIntervalMs; }

  /** Inside the callback: true when this tick came from the host's run loop, false on a background tick. */
  bool IsUIThreadTick() const;

  /** True only inside a callback that runs on the fallback thread (false outside any tick). */
  bool IsBackgroundTick() const;

private:
  class Core;
  Core* mCore; // shared with the run loop and the background thread (reference counted)
  const uint32_t mIntervalMs;
};

} // namespace iplug
