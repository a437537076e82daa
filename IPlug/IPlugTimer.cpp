#include "IPlugTimer.h"

#include "pluginterfaces/gui/iplugview.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace iplug
{

using Steinberg::Linux::IRunLoop;

// The part of a timer that others may reference after the Timer object is gone: the host's run loop (it holds the
// handler) and the background thread. It outlives the Timer by reference counting; once mOwner is null every tick
// does nothing.
class Timer::Core final : public Steinberg::Linux::ITimerHandler
{
public:
  Core(Timer* owner, ITimerFunction func, uint32_t intervalMs, bool fallback)
      : mOwner(owner), mFunc(std::move(func)), mInterval(intervalMs), mFallback(fallback)
  {
  }

  ~Core()
  {
    if (mThread.joinable())
      mThread.detach();
  }

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override
  {
    if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown_iid) ||
        Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::ITimerHandler_iid))
    {
      addRef();
      *obj = static_cast<ITimerHandler*>(this);
      return Steinberg::kResultOk;
    }
    *obj = nullptr;
    return Steinberg::kNoInterface;
  }

  Steinberg::uint32 PLUGIN_API addRef() override { return mRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }

  Steinberg::uint32 PLUGIN_API release() override
  {
    const Steinberg::uint32 left = mRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
      delete this;
    return left;
  }

  void PLUGIN_API onTimer() override { Tick(true); }

  void Tick(bool fromRunLoop)
  {
    std::unique_lock lock(mMutex);
    // Ticks only come from the current source, never overlap and stop with the timer.
    if (mStopped || !mOwner || mInTick || fromRunLoop != mRegistered)
      return;
    mInTick = true;
    mTickThread = std::this_thread::get_id();
    mTickFromRunLoop = fromRunLoop;
    Timer* owner = mOwner;
    addRef(); // the callback may destroy the owner, and with it the owner's reference
    lock.unlock();

    // Nobody else touches mFunc while mInTick is set: Stop and the destructor wait for the tick on other threads.
    mFunc(*owner);

    lock.lock();
    mInTick = false;
    ITimerFunction destroyed;
    if (!mOwner)
      destroyed = std::move(mFunc); // the owner went away inside its own callback
    mCV.notify_all();
    lock.unlock();
    destroyed = nullptr;
    release();
  }

  bool OnTickThread() const { return mInTick && mTickThread == std::this_thread::get_id(); }

  // Call with mMutex held.
  void StartThreadIfNeeded()
  {
    if (!mFallback || mStopped || mRegistered || mThread.joinable())
      return;
    const uint64_t generation = ++mThreadGeneration;
    addRef();
    mThread = std::thread([this, generation] { ThreadMain(generation); });
  }

  // Call with mMutex held; the returned thread is joined by FinishThread without the lock.
  std::thread RetireThread()
  {
    ++mThreadGeneration;
    mCV.notify_all();
    return std::move(mThread);
  }

  static void FinishThread(std::thread thread)
  {
    if (!thread.joinable())
      return;
    // A timer stopped from its own background tick cannot wait for itself; the thread ends after this tick.
    if (thread.get_id() == std::this_thread::get_id())
      thread.detach();
    else
      thread.join();
  }

  void ThreadMain(uint64_t generation)
  {
    using clock = std::chrono::steady_clock;
    {
      std::unique_lock lock(mMutex);
      auto next = clock::now() + mInterval;
      for (;;)
      {
        if (mCV.wait_until(lock, next, [&] { return mStopped || mThreadGeneration != generation; }))
          break;
        const auto now = clock::now();
        next += mInterval;
        if (next <= now) // fell behind (suspended, or a long tick): skip the missed ticks
          next = now + mInterval;
        lock.unlock();
        Tick(false);
        lock.lock();
      }
    }
    release();
  }

  std::mutex mMutex;
  std::condition_variable mCV;
  Timer* mOwner;
  ITimerFunction mFunc;
  const std::chrono::milliseconds mInterval;
  const bool mFallback;
  bool mStopped = false;
  bool mInTick = false;
  bool mTickFromRunLoop = false;
  std::thread::id mTickThread;
  IRunLoop* mRunLoop = nullptr; // referenced while set
  bool mRegistered = false;     // this handler is registered with mRunLoop
  std::thread mThread;
  uint64_t mThreadGeneration = 0;
  std::atomic<Steinberg::uint32> mRefCount{1};
};

Timer::Timer(ITimerFunction func, uint32_t intervalMs, ETimerFallback fallback, IRunLoop* runLoop)
    : mCore(nullptr), mIntervalMs(intervalMs ? intervalMs : 1)
{
  mCore = new Core(this, std::move(func), mIntervalMs, fallback == ETimerFallback::kBackgroundThread);
  if (runLoop)
    SetRunLoop(runLoop);
  else
  {
    std::lock_guard lock(mCore->mMutex);
    mCore->StartThreadIfNeeded();
  }
}

Timer::~Timer()
{
  Stop();
  std::unique_lock lock(mCore->mMutex);
  mCore->mOwner = nullptr;
  ITimerFunction destroyed;
  if (!mCore->OnTickThread()) // else the tick destroys it once the callback has returned
    destroyed = std::move(mCore->mFunc);
  lock.unlock();
  destroyed = nullptr;
  mCore->release();
}

void Timer::Stop()
{
  std::unique_lock lock(mCore->mMutex);
  mCore->mStopped = true;
  mCore->mCV.notify_all();
  if (!mCore->OnTickThread())
    mCore->mCV.wait(lock, [this] { return !mCore->mInTick; });
  const bool wasRegistered = std::exchange(mCore->mRegistered, false);
  IRunLoop* runLoop = std::exchange(mCore->mRunLoop, nullptr); // a stopped timer needs no run loop
  std::thread thread = mCore->RetireThread();
  lock.unlock();
  // The host's lock may be held around its own onTimer calls, so it is never called under ours.
  if (runLoop)
  {
    if (wasRegistered)
      runLoop->unregisterTimer(mCore);
    runLoop->release();
  }
  Core::FinishThread(std::move(thread));
}

void Timer::SetRunLoop(IRunLoop* runLoop)
{
  std::unique_lock lock(mCore->mMutex);
  if (mCore->mStopped || runLoop == mCore->mRunLoop)
    return;
  if (runLoop)
    runLoop->addRef();
  IRunLoop* old = std::exchange(mCore->mRunLoop, runLoop);
  const bool wasRegistered = std::exchange(mCore->mRegistered, false);
  std::thread thread;
  if (runLoop)
  {
    thread = mCore->RetireThread();
    // Claim the registration before making it, so that a concurrent Stop undoes it.
    mCore->mRegistered = !mCore->mStopped;
  }
  const bool registering = mCore->mRegistered;
  lock.unlock();

  if (old)
  {
    if (wasRegistered)
      old->unregisterTimer(mCore);
    old->release();
  }
  Core::FinishThread(std::move(thread));

  bool refused = false;
  if (registering)
    refused = runLoop->registerTimer(mCore, mIntervalMs) != Steinberg::kResultOk;

  lock.lock();
  bool undo = false;
  if (registering && !refused && !mCore->mRegistered)
    undo = true; // stopped while registering
  if (refused && mCore->mRunLoop == runLoop)
  {
    mCore->mRegistered = false;
    mCore->mRunLoop = nullptr;
    runLoop->release(); // still referenced by the caller
  }
  mCore->StartThreadIfNeeded();
  lock.unlock();
  if (undo)
    runLoop->unregisterTimer(mCore);
}

bool Timer::IsRunning() const
{
  std::lock_guard lock(mCore->mMutex);
  return !mCore->mStopped;
}

bool Timer::IsUIThreadTick() const
{
  std::lock_guard lock(mCore->mMutex);
  return mCore->OnTickThread() && mCore->mTickFromRunLoop;
}

bool Timer::IsBackgroundTick() const
{
  std::lock_guard lock(mCore->mMutex);
  return mCore->OnTickThread() && !mCore->mTickFromRunLoop;
}

} // namespace iplug
