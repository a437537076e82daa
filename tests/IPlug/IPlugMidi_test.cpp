#include <gtest/gtest.h>

#include "IPlugMidi.h"

#include <vector>

using namespace iplug;

TEST(IPlugMidi, MessageEncoding)
{
  IMidiMsg m;
  m.MakePitchWheelMsg(-1.0, 0, 3);
  EXPECT_EQ(m.mStatus, 0xE3);
  EXPECT_EQ(m.mData1, 0);
  EXPECT_EQ(m.mData2, 0);
  EXPECT_DOUBLE_EQ(m.PitchWheel(), -1.0);
  m.MakePitchWheelMsg(1.0, 0); // +1 saturates at the 14-bit maximum
  EXPECT_EQ(m.mData1, 0x7F);
  EXPECT_EQ(m.mData2, 0x7F);

  m.MakeControlChangeMsg(74, 2.0, 5, 17); // value clamped, channel wrapped into 0..15
  EXPECT_EQ(m.mStatus, 0xB1);
  EXPECT_EQ(m.ControlChangeIdx(), 74);
  EXPECT_EQ(m.mData2, 127);
  EXPECT_EQ(m.NoteNumber(), -1);

  EXPECT_EQ(IMidiMsg(0, 0xF0, 1, 2).StatusMsg(), IMidiMsg::kNone);
  EXPECT_EQ(IMidiMsg(0, 0x80, 60, 0).NoteNumber(), 60);
}

TEST(IPlugMidi, SysExDataHoldsAtMost512Bytes)
{
  std::vector<uint8_t> big(600, 0xAB);
  SysExData d(7, 600, big.data());
  EXPECT_EQ(d.mOffset, 7);
  EXPECT_EQ(d.mSize, SysExData::kMaxSize);
  EXPECT_EQ(d.mData[511], 0xAB);

  SysExData z(0, 4, nullptr);
  EXPECT_EQ(z.mSize, 4);
  EXPECT_EQ(z.mData[0], 0);
  EXPECT_EQ(SysExData(0, -5, big.data()).mSize, 0);
}
