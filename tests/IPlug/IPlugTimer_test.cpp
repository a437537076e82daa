#include <gtest/gtest.h>

#include "FakeRunLoop.h"
#include "IPlugTimer.h"

#include <memory>
#include <string>
#include <thread>

using namespace iplug;

TEST(Timer, TicksOnTheRunLoopItIsGiven)
{
  FakeRunLoop loop;
  int ticks = 0;
  bool allOnUI = true;
  {
    Timer t([&](Timer& timer) { ++ticks, allOnUI &= timer.IsUIThreadTick(); }, 20, ETimerFallback::kNone);
    EXPECT_TRUE(t.IsRunning());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ticks, 0); // no run loop and no fallback: no ticks at all

    t.SetRunLoop(&loop);
    ASSERT_EQ(loop.NumTimers(), 1u);
    EXPECT_EQ(loop.IntervalOf(0), 20u);
    EXPECT_EQ(loop.refCount, 2u);
    loop.Fire();
    loop.Fire();
    EXPECT_EQ(ticks, 2);
    EXPECT_FALSE(t.IsUIThreadTick()); // outside a tick
    EXPECT_FALSE(t.IsBackgroundTick());

    t.SetRunLoop(nullptr);
    EXPECT_EQ(loop.NumTimers(), 0u);
    EXPECT_EQ(loop.refCount, 1u);
    t.SetRunLoop(&loop);
    EXPECT_EQ(loop.NumTimers(), 1u);
  }
  EXPECT_TRUE(allOnUI);
  EXPECT_EQ(loop.NumTimers(), 0u); // destruction unregisters
  EXPECT_EQ(loop.refCount, 1u);    // and lets go of the run loop
}

TEST(Timer, StopInsideItsOwnCallback)
{
  FakeRunLoop loop;
  int ticks = 0;
  Timer t([&](Timer& timer) { ++ticks, timer.Stop(); }, 20, ETimerFallback::kNone, &loop);
  auto* pending = loop.TakePending(0);
  loop.Fire();
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(t.IsRunning());
  EXPECT_EQ(loop.NumTimers(), 0u);
  pending->onTimer(); // a tick the host had already queued
  loop.Fire();
  EXPECT_EQ(ticks, 1);
  pending->release();

  t.SetRunLoop(nullptr); // a stopped timer stays stopped whatever it is handed
  FakeRunLoop other;
  t.SetRunLoop(&other);
  EXPECT_EQ(other.NumTimers(), 0u);
  EXPECT_EQ(other.refCount, 1u);
  EXPECT_EQ(loop.refCount, 1u); // stopping let go of the run loop
}

TEST(Timer, OwnerDestroyedInsideItsCallback)
{
  FakeRunLoop loop;
  auto capture = std::make_shared<std::string>("alive");
  std::weak_ptr<std::string> watch = capture;
  std::unique_ptr<Timer> owner;
  std::string seen;
  owner = std::make_unique<Timer>(
      [&, capture](Timer&)
      {
        owner.reset();
        seen = *capture; // the callback's own state must outlive the owner until it returns
      },
      20, ETimerFallback::kNone, &loop);
  capture.reset();
  loop.Fire();
  EXPECT_EQ(seen, "alive");
  EXPECT_TRUE(watch.expired()); // the callback was destroyed once the tick ended
  EXPECT_EQ(loop.NumTimers(), 0u);
  EXPECT_EQ(loop.refCount, 1u);
}

TEST(Timer, TickPendingAtTheHostAfterDestructionDoesNothing)
{
  FakeRunLoop loop;
  int ticks = 0;
  auto t = std::make_unique<Timer>([&](Timer&) { ++ticks; }, 20, ETimerFallback::kNone, &loop);
  auto* pending = loop.TakePending(0);
  t.reset();
  pending->onTimer();
  EXPECT_EQ(ticks, 0);
  pending->release(); // the last reference: frees the handler
}

TEST(Timer, RefusedRunLoopIsNotKept)
{
  FakeRunLoop loop;
  loop.refuse = true;
  Timer t([](Timer&) {}, 20, ETimerFallback::kNone, &loop);
  EXPECT_EQ(loop.NumTimers(), 0u);
  EXPECT_EQ(loop.refCount, 1u);
  EXPECT_TRUE(t.IsRunning());
}
