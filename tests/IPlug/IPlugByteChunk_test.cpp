#include <gtest/gtest.h>

#include "IPlugByteChunk.h"

#include <climits>
#include <vector>

using iplug::IByteChunk;

namespace
{
std::vector<uint8_t> Bytes(const IByteChunk& c)
{
  return c.Size() ? std::vector<uint8_t>(c.GetData(), c.GetData() + c.Size()) : std::vector<uint8_t>{};
}
} // namespace

TEST(IByteChunk, RawLittleEndianValuesWithChainedReads)
{
  IByteChunk c;
  const int32_t i = 0x01020304;
  const double d = 1.5;
  const uint8_t b = 0xAB;
  EXPECT_EQ(c.Put(&i), 4);
  EXPECT_EQ(c.Put(&d), 12);
  EXPECT_EQ(c.Put(&b), 13);
  EXPECT_EQ(Bytes(c)[0], 0x04);
  EXPECT_EQ(Bytes(c)[3], 0x01);

  int32_t i2 = 0;
  double d2 = 0;
  uint8_t b2 = 0;
  int pos = c.Get(&i2, 0);
  pos = c.Get(&d2, pos);
  pos = c.Get(&b2, pos);
  EXPECT_EQ(pos, 13);
  EXPECT_EQ(i2, i);
  EXPECT_EQ(d2, d);
  EXPECT_EQ(b2, b);

  // A read past the end fails, leaves the destination untouched, and so does every read after it.
  double untouched = 7.0;
  EXPECT_EQ(c.Get(&untouched, 6), -1);
  EXPECT_EQ(untouched, 7.0);
  EXPECT_EQ(c.Get(&untouched, -1), -1);
  EXPECT_EQ(c.Get(&untouched, INT_MAX - 2), -1);
  EXPECT_EQ(c.GetBytes(&untouched, -8, 0), -1);
  EXPECT_EQ(c.GetBytes(nullptr, 0, 13), 13);

  EXPECT_EQ(c.PutBytes(&d, -5), 13);
  EXPECT_EQ(c.PutBytes(nullptr, 5), 13);
  IByteChunk other;
  other.PutChunk(&c);
  other.PutChunk(&other); // appending itself doubles it
  EXPECT_EQ(other.Size(), 26);
  other.Clear();
  EXPECT_EQ(other.Size(), 0);
  EXPECT_EQ(other.GetData(), nullptr);
}

TEST(IByteChunk, StringsAndHostileCounts)
{
  IByteChunk c;
  c.PutStr("empty");
  c.PutStr(nullptr);
  EXPECT_EQ(Bytes(c), (std::vector<uint8_t>{5, 0, 0, 0, 'e', 'm', 'p', 't', 'y', 0, 0, 0, 0}));

  WDL_String s("previous");
  int pos = c.GetStr(s, 0);
  EXPECT_EQ(pos, 9);
  EXPECT_STREQ(s.Get(), "empty");
  EXPECT_EQ(c.GetStr(s, pos), 13);
  EXPECT_STREQ(s.Get(), "");

  // Text with an inner NUL is cut there; text without a terminator is not read past its count.
  IByteChunk nul;
  const int32_t three = 3;
  nul.Put(&three);
  nul.PutBytes("a\0bXYZ", 6);
  EXPECT_EQ(nul.GetStr(s, 0), 7);
  EXPECT_STREQ(s.Get(), "a");
  IByteChunk exact;
  exact.Put(&three);
  exact.PutBytes("abc", 3);
  EXPECT_EQ(exact.GetStr(s, 0), 7);
  EXPECT_STREQ(s.Get(), "abc");

  // Counts larger than the chunk, huge or negative: failure, string unchanged.
  for (int32_t count : {4, 100, INT_MAX, -1, INT_MIN})
  {
    IByteChunk bad;
    bad.Put(&count);
    bad.PutBytes("abc", 3);
    s.Set("kept");
    EXPECT_EQ(bad.GetStr(s, 0), -1) << count;
    EXPECT_STREQ(s.Get(), "kept");
  }
  EXPECT_EQ(c.GetStr(s, 11), -1); // count itself cut short
}

TEST(IByteChunk, VersionHeader)
{
  IByteChunk c;
  IByteChunk::PutVersionHeader(c);
  EXPECT_EQ(Bytes(c), (std::vector<uint8_t>{0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00}));
  int pos = 0;
  EXPECT_EQ(IByteChunk::ReadVersionHeader(c, pos), 0x10000);
  EXPECT_EQ(pos, 8);

  IByteChunk none;
  const int32_t other = 5;
  none.Put(&other);
  pos = 0;
  EXPECT_EQ(IByteChunk::ReadVersionHeader(none, pos), 0);
  EXPECT_EQ(pos, 0);

  IByteChunk cut;
  cut.PutBytes(c.GetData(), 6);
  pos = 0;
  IByteChunk::ReadVersionHeader(cut, pos);
  EXPECT_EQ(pos, -1);
}
