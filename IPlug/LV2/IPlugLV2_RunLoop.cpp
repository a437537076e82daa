#include "IPlugLV2_RunLoop.h"

#include <algorithm>
#include <poll.h>

using namespace Steinberg;

namespace iplug
{

LV2RunLoop::~LV2RunLoop() { UnregisterAll(); }

bool LV2RunLoop::Add(FUnknown* handler, Clock::duration interval, int fd)
{
  if (!handler)
    return false;
  handler->addRef();
  mEntries.push_back({handler, fd, interval, Clock::now() + interval});
  return true;
}

bool LV2RunLoop::Remove(FUnknown* handler)
{
  auto it = std::find_if(mEntries.begin(), mEntries.end(), [handler](const Entry& e) { return e.handler == handler; });
  if (it == mEntries.end())
    return false;
  FUnknown* h = it->handler;
  mEntries.erase(it);
  h->release();
  return true;
}

tresult PLUGIN_API LV2RunLoop::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd)
{
  if (fd < 0)
    return kInvalidArgument;
  return Add(handler, Clock::duration::zero(), fd) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API LV2RunLoop::unregisterEventHandler(Linux::IEventHandler* handler)
{
  return Remove(handler) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API LV2RunLoop::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds)
{
  const auto interval = std::chrono::milliseconds(std::clamp<Linux::TimerInterval>(milliseconds, 1, 1u << 30));
  return Add(handler, interval, -1) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API LV2RunLoop::unregisterTimer(Linux::ITimerHandler* handler)
{
  return Remove(handler) ? kResultOk : kResultFalse;
}

void LV2RunLoop::Idle(Clock::time_point now)
{
  // Handlers may register or unregister others (or themselves) while they run: walk a copy, and keep each one
  // alive across its call; one unregistered by an earlier handler in this pass is skipped.
  std::vector<Entry> entries = mEntries;
  for (Entry& e : entries)
    e.handler->addRef();
  for (const Entry& e : entries)
  {
    auto it = std::find_if(mEntries.begin(), mEntries.end(), [&e](const Entry& x) { return x.handler == e.handler; });
    if (it == mEntries.end())
      continue;
    if (e.fd >= 0)
    {
      pollfd p{e.fd, POLLIN, 0};
      if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN))
        static_cast<Linux::IEventHandler*>(e.handler)->onFDIsSet(e.fd);
    }
    else if (now >= it->due)
    {
      // A host that idles slowly gets one tick per call, not a burst to catch up.
      it->due = std::max(it->due + it->interval, now);
      static_cast<Linux::ITimerHandler*>(e.handler)->onTimer();
    }
  }
  for (Entry& e : entries)
    e.handler->release();
}

void LV2RunLoop::UnregisterAll()
{
  while (!mEntries.empty())
    Remove(mEntries.back().handler);
}

tresult PLUGIN_API LV2RunLoop::queryInterface(const TUID iid, void** obj)
{
  if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid))
  {
    addRef();
    *obj = static_cast<Linux::IRunLoop*>(this);
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

uint32 PLUGIN_API LV2RunLoop::addRef() { return ++mRefCount; }

uint32 PLUGIN_API LV2RunLoop::release()
{
  const uint32 n = --mRefCount;
  if (n == 0)
    delete this;
  return n;
}

} // namespace iplug
