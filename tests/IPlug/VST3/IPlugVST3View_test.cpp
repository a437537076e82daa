// The editor view's translation of VST3 key events into the framework's key records.
#include "IPlugVST3View.h"

#include <gtest/gtest.h>

using iplug::TranslateKeyMessage;
using iplug::VSTKeyCodeToVK;

TEST(VST3ViewKeys, CharactersAndKeyCodesBecomeVirtualKeysWithTheirText)
{
  // Space by key code alone: VK 32 with its text.
  auto space = TranslateKeyMessage(0, 7, 0);
  EXPECT_EQ(space.VK, 32);
  EXPECT_STREQ(space.utf8, " ");
  // A character with shift: the upper-case letter as VK, the typed character as text.
  auto a = TranslateKeyMessage(u'a', 0, 1);
  EXPECT_EQ(a.VK, 65);
  EXPECT_STREQ(a.utf8, "a");
  EXPECT_TRUE(a.S);
  EXPECT_FALSE(a.C);
  EXPECT_FALSE(a.A);
  auto mods = TranslateKeyMessage(u'1', 0, 2 | 4);
  EXPECT_EQ(mods.VK, '1');
  EXPECT_TRUE(mods.A);
  EXPECT_TRUE(mods.C);
  // The SDK's ASCII range: code 128 + 80 + ch.
  auto fromCode = TranslateKeyMessage(0, static_cast<Steinberg::int16>('x' + 80), 0);
  EXPECT_STREQ(fromCode.utf8, "x");
  EXPECT_EQ(fromCode.VK, 'x');
  // A character beyond one UTF-8 byte travels without text.
  auto wide = TranslateKeyMessage(u'\u00e9', 0, 0);
  EXPECT_STREQ(wide.utf8, "");
  EXPECT_EQ(wide.VK, 0);
}

TEST(VST3ViewKeys, KeyCodeTable)
{
  EXPECT_EQ(VSTKeyCodeToVK(57, 0), 0) << "the equals key with no character";
  EXPECT_EQ(VSTKeyCodeToVK(0, 'q'), 'Q');
  EXPECT_EQ(VSTKeyCodeToVK(0, '5'), '5');
  EXPECT_EQ(VSTKeyCodeToVK(0, '-'), 0);
  const std::pair<int, int> table[] = {{1, 8},    {4, 13},   {6, 27},   {8, 34},   {11, 37},  {14, 40},  {15, 33},
                                       {16, 34},  {19, 13},  {22, 46},  {24, 96},  {33, 105}, {34, 106}, {39, 111},
                                       {40, 112}, {51, 123}, {52, 144}, {53, 145}, {54, 16},  {55, 17},  {56, 18}};
  for (auto [code, vk] : table)
    EXPECT_EQ(VSTKeyCodeToVK(code, 0), vk) << "key code " << code;
  EXPECT_EQ(VSTKeyCodeToVK(58, 0), 0);
  EXPECT_EQ(VSTKeyCodeToVK(127, 0), 0);
  EXPECT_EQ(VSTKeyCodeToVK(200, 0), 120);
  EXPECT_EQ(VSTKeyCodeToVK(100, 'a'), 0) << "outside the table and the ASCII range";
}
