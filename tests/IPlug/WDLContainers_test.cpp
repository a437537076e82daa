#include <gtest/gtest.h>

#include "heapbuf.h"
#include "mutex.h"
#include "ptrlist.h"
#include "wdlstring.h"

#include <thread>

TEST(WDLString, FormattingRespectsLimits)
{
  WDL_String s;
  s.SetFormatted(32, "%s", "0123456789012345678901234567890123456789");
  EXPECT_EQ(s.GetLength(), 32);
  s.AppendFormatted(3, "%d", 123456);
  EXPECT_STREQ(s.Get() + 32, "123");
  s.SetFormatted(0, "%.2f|%+d", 1.005, 7);
  EXPECT_STREQ(s.Get(), "1.00|+7");

  WDL_String t("abcdef", 3);
  EXPECT_STREQ(t.Get(), "abc");
  t.Insert("XY", 1);
  EXPECT_STREQ(t.Get(), "aXYbc");
  t.DeleteSub(1, 2);
  EXPECT_STREQ(t.Get(), "abc");
  t.DeleteSub(5, 2); // out of range: untouched
  t.Set(nullptr);
  EXPECT_STREQ(t.Get(), "");
}

namespace
{
struct Counted
{
  explicit Counted(int* c) : count(c) { ++*count; }
  ~Counted() { --*count; }
  int* count;
};
} // namespace

TEST(WDLPtrList, OwnershipOnlyWhenAsked)
{
  int alive = 0;
  {
    WDL_PtrList<Counted> list;
    Counted* kept = list.Add(new Counted(&alive));
    list.Add(new Counted(&alive));
    list.Add(new Counted(&alive));
    EXPECT_EQ(list.Find(kept), 0);
    list.Delete(0, false);
    EXPECT_EQ(alive, 3);
    delete kept;
    list.Delete(0, true);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(list.Get(5), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    list.Empty(true);
    EXPECT_EQ(alive, 0);
  }
  {
    WDL_PtrList_DeleteOnDestroy<Counted> owning;
    owning.Add(new Counted(&alive));
    owning.Insert(-3, new Counted(&alive));
  }
  EXPECT_EQ(alive, 0);
}

TEST(WDLBuffers, ResizeKeepsContentsAndZeroesGrowth)
{
  WDL_TypedBuf<int> buf;
  buf.Resize(3);
  buf.Get()[2] = 7;
  buf.Resize(5);
  EXPECT_EQ(buf.Get()[2], 7);
  EXPECT_EQ(buf.Get()[4], 0);
  buf.Resize(-1);
  EXPECT_EQ(buf.GetSize(), 0);
  EXPECT_EQ(buf.Get(), nullptr);

  WDL_HeapBuf raw;
  EXPECT_NE(raw.Resize(16), nullptr);
  EXPECT_EQ(raw.GetSize(), 16);
}

TEST(WDLMutex, IsRecursiveAndExcludesOthers)
{
  WDL_Mutex m;
  int counter = 0;
  {
    WDL_MutexLock outer(&m);
    WDL_MutexLock inner(&m); // a recursive lock must not deadlock
    ++counter;
  }
  std::thread a(
      [&]
      {
        for (int i = 0; i < 10000; ++i)
        {
          WDL_MutexLock l(&m);
          ++counter;
        }
      });
  std::thread b(
      [&]
      {
        for (int i = 0; i < 10000; ++i)
        {
          WDL_MutexLock l(&m);
          ++counter;
        }
      });
  a.join();
  b.join();
  EXPECT_EQ(counter, 20001);
}
