#include <gtest/gtest.h>

#include "IPlugHandOver.h"
#include "IPlugQueue.h"

using namespace iplug;

TEST(IPlugQueue, DropsWhenFullAndKeepsOrderAcrossWrapAround)
{
  IPlugQueue<int> q(32);
  EXPECT_EQ(q.Capacity(), 32u);
  for (int i = 0; i < 32; ++i)
    EXPECT_TRUE(q.Push(i));
  EXPECT_FALSE(q.Push(32)); // the 33rd is dropped
  EXPECT_EQ(q.ElementsAvailable(), 32u);

  int v = -1;
  for (int i = 0; i < 32; ++i)
  {
    ASSERT_TRUE(q.Pop(v));
    EXPECT_EQ(v, i);
  }
  EXPECT_FALSE(q.Pop(v));
  EXPECT_EQ(v, 31); // untouched on empty

  // Walk the indices round the ring many times with the write index both ahead of and behind the read index.
  int next = 0, expect = 0;
  for (int round = 0; round < 100; ++round)
  {
    for (int k = 0; k < 5; ++k)
      ASSERT_TRUE(q.Push(next++));
    for (int k = 0; k < 3; ++k)
    {
      ASSERT_TRUE(q.Pop(v));
      ASSERT_EQ(v, expect++);
    }
    while (q.ElementsAvailable() > 20)
    {
      ASSERT_TRUE(q.Pop(v));
      ASSERT_EQ(v, expect++);
    }
    ASSERT_EQ(q.ElementsAvailable(), static_cast<size_t>(next - expect));
  }
}

TEST(IPlugQueue, ZeroCapacityHoldsNothing)
{
  IPlugQueue<int> q(0);
  EXPECT_FALSE(q.Push(1));
  int v;
  EXPECT_FALSE(q.Pop(v));
  EXPECT_EQ(q.ElementsAvailable(), 0u);
}

TEST(IPlugLatestValue, CollectsOnlyTheNewestValueOnce)
{
  IPlugLatestValue<int> h;
  int v = -1;
  EXPECT_FALSE(h.HasNew());
  EXPECT_FALSE(h.Collect(v));
  EXPECT_EQ(v, -1);

  h.Publish(1);
  h.Publish(2);
  h.Publish(3);
  EXPECT_TRUE(h.HasNew());
  EXPECT_TRUE(h.Collect(v));
  EXPECT_EQ(v, 3);
  EXPECT_FALSE(h.Collect(v));

  // Alternate through every rotation of the three slots.
  for (int i = 10; i < 20; ++i)
  {
    h.Publish(i);
    if (i % 3 == 0)
      h.Publish(i + 100);
    ASSERT_TRUE(h.Collect(v));
    ASSERT_EQ(v, i % 3 == 0 ? i + 100 : i);
    ASSERT_FALSE(h.Collect(v));
  }
}

TEST(IMeterValues, AddStopsAtCapacity)
{
  IMeterValues m;
  for (int i = 0; i < IMeterValues::kMaxValues; ++i)
    EXPECT_TRUE(m.Add(20 + i, 0.5));
  EXPECT_FALSE(m.Add(99, 1.0));
  EXPECT_EQ(m.count, IMeterValues::kMaxValues);
  EXPECT_EQ(m.paramIdx[IMeterValues::kMaxValues - 1], 20 + IMeterValues::kMaxValues - 1);
}
