#pragma once
// A host run loop driven by the test: Fire() ticks every registered timer handler on the calling thread.

#include "pluginterfaces/gui/iplugview.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

class FakeRunLoop final : public Steinberg::Linux::IRunLoop
{
public:
  using ITimerHandler = Steinberg::Linux::ITimerHandler;

  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler*, int) override
  {
    return Steinberg::kNotImplemented;
  }
  Steinberg::tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler*) override
  {
    return Steinberg::kNotImplemented;
  }

  Steinberg::tresult PLUGIN_API registerTimer(ITimerHandler* handler, Steinberg::uint64 ms) override
  {
    std::lock_guard lock(mMutex);
    if (refuse)
      return Steinberg::kResultFalse;
    handler->addRef(); // like a host that keeps its handlers alive
    mTimers.push_back({handler, ms});
    return Steinberg::kResultOk;
  }

  Steinberg::tresult PLUGIN_API unregisterTimer(ITimerHandler* handler) override
  {
    std::lock_guard lock(mMutex);
    auto it = std::find_if(mTimers.begin(), mTimers.end(), [&](auto& e) { return e.handler == handler; });
    if (it == mTimers.end())
      return Steinberg::kResultFalse;
    it->handler->release();
    mTimers.erase(it);
    return Steinberg::kResultOk;
  }

  /** Ticks every handler registered when called; a handler may unregister (itself or others) while it runs. */
  void Fire()
  {
    std::vector<ITimerHandler*> due;
    {
      std::lock_guard lock(mMutex);
      for (auto& e : mTimers)
      {
        e.handler->addRef();
        due.push_back(e.handler);
      }
    }
    for (auto* h : due)
    {
      h->onTimer();
      h->release();
    }
  }

  size_t NumTimers()
  {
    std::lock_guard lock(mMutex);
    return mTimers.size();
  }

  Steinberg::uint64 IntervalOf(size_t i)
  {
    std::lock_guard lock(mMutex);
    return mTimers.at(i).ms;
  }

  /** Takes a reference to the i-th handler, as a host holding a tick it has not delivered yet. */
  ITimerHandler* TakePending(size_t i)
  {
    std::lock_guard lock(mMutex);
    mTimers.at(i).handler->addRef();
    return mTimers.at(i).handler;
  }

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override
  {
    if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown_iid) ||
        Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::IRunLoop_iid))
    {
      addRef();
      *obj = this;
      return Steinberg::kResultOk;
    }
    *obj = nullptr;
    return Steinberg::kNoInterface;
  }
  Steinberg::uint32 PLUGIN_API addRef() override { return ++refCount; }
  Steinberg::uint32 PLUGIN_API release() override { return --refCount; } // lives on the test's stack

  std::atomic<Steinberg::uint32> refCount{1};
  bool refuse = false;

private:
  struct Entry
  {
    ITimerHandler* handler;
    Steinberg::uint64 ms;
  };
  std::mutex mMutex;
  std::vector<Entry> mTimers;
};
