#include "IPlugCLAP_RunLoop.h"

#include <algorithm>
#include <poll.h>

using namespace Steinberg;

namespace iplug
{

CLAPRunLoop::CLAPRunLoop(const clap_host* host, const clap_host_timer_support* timers) : mHost(host), mTimers(timers)
{
}

CLAPRunLoop::~CLAPRunLoop() { UnregisterAll(); }

bool CLAPRunLoop::Add(FUnknown* handler, uint32_t periodMs, int fd)
{
  if (!handler || !mTimers || !mTimers->register_timer)
    return false;
  clap_id id = CLAP_INVALID_ID;
  if (!mTimers->register_timer(mHost, std::max<uint32_t>(periodMs, 1), &id) || id == CLAP_INVALID_ID)
    return false;
  handler->addRef();
  mEntries.push_back({id, handler, fd});
  return true;
}

bool CLAPRunLoop::Remove(FUnknown* handler)
{
  auto it = std::find_if(mEntries.begin(), mEntries.end(), [handler](const Entry& e) { return e.handler == handler; });
  if (it == mEntries.end())
    return false;
  const Entry entry = *it;
  mEntries.erase(it);
  if (mTimers && mTimers->unregister_timer)
    mTimers->unregister_timer(mHost, entry.id);
  entry.handler->release();
  return true;
}

tresult PLUGIN_API CLAPRunLoop::registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd)
{
  if (fd < 0)
    return kInvalidArgument;
  return Add(handler, kPollIntervalMs, fd) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API CLAPRunLoop::unregisterEventHandler(Linux::IEventHandler* handler)
{
  return Remove(handler) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API CLAPRunLoop::registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval milliseconds)
{
  const uint32_t period = static_cast<uint32_t>(std::min<Linux::TimerInterval>(milliseconds, UINT32_MAX));
  return Add(handler, period, -1) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API CLAPRunLoop::unregisterTimer(Linux::ITimerHandler* handler)
{
  return Remove(handler) ? kResultOk : kResultFalse;
}

bool CLAPRunLoop::OnTimer(clap_id id)
{
  auto it = std::find_if(mEntries.begin(), mEntries.end(), [id](const Entry& e) { return e.id == id; });
  if (it == mEntries.end())
    return false;
  // The handler may unregister itself (or others) while it runs: keep it alive, and no iterator, across the call.
  const Entry entry = *it;
  entry.handler->addRef();
  if (entry.fd < 0)
    static_cast<Linux::ITimerHandler*>(entry.handler)->onTimer();
  else
  {
    pollfd p{entry.fd, POLLIN, 0};
    if (poll(&p, 1, 0) > 0 && (p.revents & POLLIN))
      static_cast<Linux::IEventHandler*>(entry.handler)->onFDIsSet(entry.fd);
  }
  entry.handler->release();
  return true;
}

void CLAPRunLoop::UnregisterAll()
{
  while (!mEntries.empty())
    Remove(mEntries.back().handler);
}

tresult PLUGIN_API CLAPRunLoop::queryInterface(const TUID iid, void** obj)
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

uint32 PLUGIN_API CLAPRunLoop::addRef() { return ++mRefCount; }

uint32 PLUGIN_API CLAPRunLoop::release()
{
  const uint32 n = --mRefCount;
  if (n == 0)
    delete this;
  return n;
}

} // namespace iplug
