#include "HostRunLoop.h"

#include <poll.h>

#include <algorithm>

using namespace Steinberg;
using namespace Steinberg::Linux;

namespace brevant::host
{

HostRunLoop::~HostRunLoop() = default;

tresult PLUGIN_API HostRunLoop::registerEventHandler(IEventHandler* handler, FileDescriptor fd)
{
  if (!handler || fd < 0)
    return kInvalidArgument;
  for (auto& e : mEvents)
  {
    if (e.handler.get() == handler && e.fd == fd)
      return kResultOk;
  }
  mEvents.push_back({IPtr<IEventHandler>(handler), fd});
  return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterEventHandler(IEventHandler* handler)
{
  const auto before = mEvents.size();
  std::erase_if(mEvents, [handler](const EventEntry& e) { return e.handler.get() == handler; });
  return mEvents.size() != before ? kResultOk : kInvalidArgument;
}

tresult PLUGIN_API HostRunLoop::registerTimer(ITimerHandler* handler, TimerInterval milliseconds)
{
  if (!handler || milliseconds == 0)
    return kInvalidArgument;
  const double interval = static_cast<double>(milliseconds);
  for (auto& t : mTimers)
  {
    if (t.handler.get() == handler)
    {
      t.intervalMs = interval;
      t.dueMs = mNowMs + interval;
      return kResultOk;
    }
  }
  mTimers.push_back({IPtr<ITimerHandler>(handler), interval, mNowMs + interval});
  return kResultOk;
}

tresult PLUGIN_API HostRunLoop::unregisterTimer(ITimerHandler* handler)
{
  const auto before = mTimers.size();
  std::erase_if(mTimers, [handler](const TimerEntry& t) { return t.handler.get() == handler; });
  return mTimers.size() != before ? kResultOk : kInvalidArgument;
}

double HostRunLoop::NextDueIn() const
{
  double next = 1e9;
  for (const auto& t : mTimers)
    next = std::min(next, std::max(0.0, t.dueMs - mNowMs));
  return next;
}

std::vector<pollfd> HostRunLoop::Descriptors() const
{
  std::vector<pollfd> fds;
  for (const auto& e : mEvents)
    fds.push_back({e.fd, POLLIN, 0});
  return fds;
}

void HostRunLoop::Advance(double ms)
{
  if (ms > 0.0)
    mNowMs += ms;

  // Callbacks may change the lists: work from a snapshot, and skip what was unregistered meanwhile.
  std::vector<IPtr<ITimerHandler>> due;
  for (auto& t : mTimers)
  {
    if (t.dueMs <= mNowMs)
    {
      due.push_back(t.handler);
      t.dueMs += t.intervalMs;
      if (t.dueMs <= mNowMs)
        t.dueMs = mNowMs + t.intervalMs;
    }
  }
  for (auto& handler : due)
  {
    const bool registered =
        std::any_of(mTimers.begin(), mTimers.end(), [&](const TimerEntry& t) { return t.handler == handler; });
    if (registered)
      handler->onTimer();
  }

  if (mEvents.empty())
    return;
  std::vector<pollfd> fds;
  for (auto& e : mEvents)
    fds.push_back({e.fd, POLLIN, 0});
  if (poll(fds.data(), fds.size(), 0) <= 0)
    return;
  std::vector<EventEntry> ready;
  for (size_t i = 0; i < fds.size(); ++i)
  {
    if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
      ready.push_back(mEvents[i]);
  }
  for (auto& e : ready)
  {
    const bool registered = std::any_of(mEvents.begin(), mEvents.end(),
                                        [&](const EventEntry& x) { return x.handler == e.handler && x.fd == e.fd; });
    if (registered)
      e.handler->onFDIsSet(e.fd);
  }
}

} // namespace brevant::host
