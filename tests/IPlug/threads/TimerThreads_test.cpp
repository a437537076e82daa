#include <gtest/gtest.h>

#include "FakeRunLoop.h"
#include "IPlugTimer.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using namespace iplug;
using namespace std::chrono_literals;

namespace
{
// Polls cond for up to two seconds (the machine may be loaded).
template <typename F> bool Eventually(F cond)
{
  for (int i = 0; i < 400; ++i)
  {
    if (cond())
      return true;
    std::this_thread::sleep_for(5ms);
  }
  return cond();
}
} // namespace

TEST(TimerThreads, BackgroundTicksUntilARunLoopIsGiven)
{
  FakeRunLoop loop;
  std::atomic<int> bgTicks{0}, uiTicks{0};
  std::atomic<bool> wrongThread{false};
  const auto mainThread = std::this_thread::get_id();
  Timer t(
      [&](Timer& timer)
      {
        wrongThread = wrongThread || timer.IsUIThreadTick() == timer.IsBackgroundTick();
        if (timer.IsUIThreadTick())
          ++uiTicks;
        else
        {
          wrongThread = wrongThread || std::this_thread::get_id() == mainThread;
          ++bgTicks;
        }
      },
      2);
  ASSERT_TRUE(Eventually([&] { return bgTicks >= 3; }));

  t.SetRunLoop(&loop);
  const int frozen = bgTicks;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(bgTicks, frozen); // the background thread is gone once SetRunLoop returns
  loop.Fire();
  EXPECT_EQ(uiTicks, 1);

  t.SetRunLoop(nullptr);
  EXPECT_TRUE(Eventually([&] { return bgTicks > frozen; }));
  EXPECT_FALSE(wrongThread);
}

TEST(TimerThreads, RefusingRunLoopLeavesTheBackgroundThreadTicking)
{
  FakeRunLoop loop;
  loop.refuse = true;
  std::atomic<int> ticks{0};
  Timer t([&](Timer&) { ++ticks; }, 2, ETimerFallback::kBackgroundThread, &loop);
  EXPECT_TRUE(Eventually([&] { return ticks >= 2; }));
  EXPECT_EQ(loop.refCount, 1u);
}

TEST(TimerThreads, StopInsideABackgroundTick)
{
  std::atomic<int> ticks{0};
  Timer t(
      [&](Timer& timer)
      {
        ++ticks;
        timer.Stop();
      },
      1);
  ASSERT_TRUE(Eventually([&] { return ticks == 1; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(t.IsRunning());
}

TEST(TimerThreads, OwnerDestroyedInsideABackgroundTick)
{
  auto token = std::make_shared<int>(7);
  std::weak_ptr<int> watch = token;
  std::atomic<int> seen{0};
  std::unique_ptr<Timer> owner;
  std::atomic<bool> started{false};
  owner = std::make_unique<Timer>(
      [&, token](Timer&)
      {
        while (!started) // owner is assigned before the first tick reads it
          std::this_thread::yield();
        owner.reset();
        seen = *token;
      },
      1);
  token.reset();
  started = true;
  ASSERT_TRUE(Eventually([&] { return watch.expired(); })); // callback destroyed after its tick
  EXPECT_EQ(seen, 7);
}

TEST(TimerThreads, DestructionWaitsForARunningTick)
{
  std::atomic<bool> inside{false}, finished{false};
  std::atomic<int> ticks{0};
  auto t = std::make_unique<Timer>(
      [&](Timer&)
      {
        if (ticks++ > 0)
          return;
        inside = true;
        std::this_thread::sleep_for(50ms);
        finished = true;
      },
      1);
  ASSERT_TRUE(Eventually([&] { return inside.load(); }));
  t.reset(); // while the first tick sleeps on the background thread
  EXPECT_TRUE(finished);
  const int after = ticks;
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(ticks, after);
}

TEST(TimerThreads, HostTickRacingDestruction)
{
  // The host fires its handler on its own thread while the owner is destroyed elsewhere.
  for (int round = 0; round < 200; ++round)
  {
    FakeRunLoop loop;
    std::atomic<int> ticks{0};
    auto t = std::make_unique<Timer>([&](Timer&) { ++ticks; }, 20, ETimerFallback::kNone, &loop);
    auto* pending = loop.TakePending(0);
    std::thread host(
        [&]
        {
          for (int i = 0; i < 20; ++i)
            pending->onTimer();
        });
    t.reset();
    const int after = ticks;
    host.join();
    EXPECT_EQ(ticks, after); // nothing ran once the destructor had returned
    pending->release();
  }
}
