// The host run loop plug-ins register timers with: fires on the host's clock, coalesces missed periods, survives
// handlers that unregister themselves, and is offered through the host context.

#include "HostModule.h"
#include "HostRunLoop.h"

#include <gtest/gtest.h>

using namespace Steinberg;
using namespace brevant::host;

namespace
{

class CountingTimer : public FObject, public Linux::ITimerHandler
{
public:
  explicit CountingTimer(HostRunLoop* loop = nullptr) : mLoop(loop) {}
  void PLUGIN_API onTimer() override
  {
    ++count;
    if (mLoop)
      mLoop->unregisterTimer(this);
  }
  int count = 0;

  OBJ_METHODS(CountingTimer, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(Linux::ITimerHandler)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  HostRunLoop* mLoop;
};

TEST(HostRunLoop, TimersFollowTheHostClock)
{
  auto loop = owned(new HostRunLoop);
  auto timer = owned(new CountingTimer);
  ASSERT_EQ(loop->registerTimer(timer, 20), kResultOk);
  EXPECT_NE(loop->registerTimer(timer, 0), kResultOk);

  // 480-sample blocks at 48 kHz: one tick every second block.
  for (int block = 0; block < 400; ++block) // 4 s
    loop->Advance(480 * 1000.0 / 48000.0);
  EXPECT_EQ(timer->count, 200);

  // A long pause fires once, not once per missed period.
  loop->Advance(1000.0);
  EXPECT_EQ(timer->count, 201);
  loop->Advance(10.0);
  EXPECT_EQ(timer->count, 201);

  EXPECT_EQ(loop->unregisterTimer(timer), kResultOk);
  loop->Advance(100.0);
  EXPECT_EQ(timer->count, 201);
  EXPECT_NE(loop->unregisterTimer(timer), kResultOk);
}

TEST(HostRunLoop, HandlerMayUnregisterItself)
{
  auto loop = owned(new HostRunLoop);
  auto once = owned(new CountingTimer(loop));
  auto other = owned(new CountingTimer);
  loop->registerTimer(once, 10);
  loop->registerTimer(other, 10);
  loop->Advance(10.0);
  loop->Advance(10.0);
  EXPECT_EQ(once->count, 1);
  EXPECT_EQ(other->count, 2);
  EXPECT_EQ(loop->NumTimers(), 1);
}

TEST(HostRunLoop, OfferedByTheHostContext)
{
  FUnknownPtr<Linux::IRunLoop> loop(static_cast<FUnknown*>(&HostModule::Host()));
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop.getInterface(), static_cast<Linux::IRunLoop*>(&HostModule::Host().RunLoop()));
}

} // namespace
