#include <gtest/gtest.h>

#include "IPlugHandOver.h"
#include "IPlugQueue.h"

#include <thread>

using namespace iplug;

namespace
{
// Every field derives from seq, so a torn or stale copy shows up as a mismatch.
struct Record
{
  int seq;
  int twice;
  double third;
  unsigned char bytes[40];
};

Record MakeRecord(int seq)
{
  Record r{seq, 2 * seq, seq / 3.0, {}};
  for (size_t i = 0; i < sizeof(r.bytes); ++i)
    r.bytes[i] = static_cast<unsigned char>(seq + i);
  return r;
}

bool Consistent(const Record& r)
{
  if (r.twice != 2 * r.seq || r.third != r.seq / 3.0)
    return false;
  for (size_t i = 0; i < sizeof(r.bytes); ++i)
    if (r.bytes[i] != static_cast<unsigned char>(r.seq + i))
      return false;
  return true;
}
} // namespace

TEST(IPlugQueueThreads, EveryElementArrivesOnceInOrder)
{
  constexpr int kCount = 200000;
  IPlugQueue<Record> q(32);
  std::thread producer(
      [&]
      {
        for (int i = 0; i < kCount; ++i)
          while (!q.Push(MakeRecord(i)))
            std::this_thread::yield();
      });
  int expect = 0;
  Record r;
  while (expect < kCount)
  {
    if (!q.Pop(r))
    {
      std::this_thread::yield();
      continue;
    }
    ASSERT_EQ(r.seq, expect);
    ASSERT_TRUE(Consistent(r));
    ASSERT_LE(q.ElementsAvailable(), 32u);
    ++expect;
  }
  producer.join();
  EXPECT_FALSE(q.Pop(r));
}

TEST(IPlugQueueThreads, FullQueueDropsWithoutCorruptingTheRest)
{
  // The producer never waits (as on the audio thread): what it cannot push is dropped, the rest stays in order.
  // A final marker, pushed until it fits, ends the run.
  constexpr int kCount = 100000;
  IPlugQueue<Record> q(4);
  int pushed = 0;
  std::thread producer(
      [&]
      {
        for (int i = 0; i < kCount; ++i)
          pushed += q.Push(MakeRecord(i));
        while (!q.Push(MakeRecord(kCount)))
          std::this_thread::yield();
      });
  int last = -1, popped = 0;
  Record r;
  while (last != kCount)
  {
    if (!q.Pop(r))
    {
      std::this_thread::yield();
      continue;
    }
    ASSERT_GT(r.seq, last);
    ASSERT_TRUE(Consistent(r));
    last = r.seq;
    ++popped;
  }
  producer.join();
  EXPECT_EQ(popped, pushed + 1);
}

TEST(IPlugLatestValueThreads, ConsumerSeesWholeValuesNewerEachTime)
{
  constexpr int kCount = 200000;
  IPlugLatestValue<Record> h;
  std::thread producer(
      [&]
      {
        for (int i = 0; i <= kCount; ++i)
          h.Publish(MakeRecord(i));
      });
  int last = -1, collected = 0;
  Record r;
  while (last < kCount)
  {
    if (!h.Collect(r))
      continue;
    ASSERT_TRUE(Consistent(r));
    ASSERT_GT(r.seq, last); // never an older value, never the same one twice
    last = r.seq;
    ++collected;
  }
  producer.join();
  EXPECT_FALSE(h.Collect(r));
  EXPECT_GT(collected, 0);
}
