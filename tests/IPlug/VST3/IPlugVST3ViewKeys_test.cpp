// VST3 key events into the framework's key records.

#include "IPlugVST3View.h"

#include <gtest/gtest.h>

using namespace iplug;

TEST(VST3ViewKeys, KeyCodesWithoutACharacterGiveTheirVirtualKeyAndText)
{
  const auto space = TranslateKeyMessage(0, 7, 0);
  EXPECT_EQ(space.VK, 32);
  EXPECT_STREQ(space.utf8, " ");
  const auto a = TranslateKeyMessage(u'a', 0, 1);
  EXPECT_EQ(a.VK, 65);
  EXPECT_STREQ(a.utf8, "a");
  EXPECT_TRUE(a.S);
  EXPECT_FALSE(a.C);
  const auto mods = TranslateKeyMessage(u'x', 0, 2 | 4);
  EXPECT_TRUE(mods.A);
  EXPECT_TRUE(mods.C);
  EXPECT_EQ(TranslateKeyMessage(0, 57, 0).VK, 0) << "equals with no character";
  EXPECT_STREQ(TranslateKeyMessage(u'\u00e9', 0, 0).utf8, "") << "only one-byte characters travel as text";
}

TEST(VST3ViewKeys, TheKeyCodeTableAndTheAsciiRange)
{
  EXPECT_EQ(VSTKeyCodeToVK(1, 0), 8);
  EXPECT_EQ(VSTKeyCodeToVK(19, 0), 13) << "enter is return";
  EXPECT_EQ(VSTKeyCodeToVK(16, 0), 34);
  EXPECT_EQ(VSTKeyCodeToVK(24, 0), 96);
  EXPECT_EQ(VSTKeyCodeToVK(44, 0), 116);
  EXPECT_EQ(VSTKeyCodeToVK(56, 0), 18);
  EXPECT_EQ(VSTKeyCodeToVK(128 + 65, 0), 193 - 80);
  EXPECT_EQ(VSTKeyCodeToVK(100, 'a'), 0) << "outside the table and the ASCII range";
  EXPECT_EQ(VSTKeyCodeToVK(0, 'z'), 'Z');
  EXPECT_EQ(VSTKeyCodeToVK(0, '5'), '5');
  EXPECT_EQ(VSTKeyCodeToVK(0, '-'), 0);
}
