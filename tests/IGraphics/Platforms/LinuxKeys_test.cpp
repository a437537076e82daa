// X11 keys into the framework's key records and cursor shapes.

#include <gtest/gtest.h>

#include "LinuxKeys.h"

#include <X11/X.h> // after gtest: its None macro
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <cstring>

using namespace iplug::igraphics;

TEST(LinuxKeys, LettersDigitsAndCharactersFollowTheVirtualKeyRules)
{
  IKeyPress a = X11KeyPress(XK_A, ShiftMask);
  EXPECT_EQ(a.VK, 65);
  EXPECT_TRUE(a.S);
  EXPECT_STREQ(a.utf8, "A");
  IKeyPress lower = X11KeyPress(XK_a, ControlMask | Mod1Mask);
  EXPECT_EQ(lower.VK, 65);
  EXPECT_TRUE(lower.C);
  EXPECT_TRUE(lower.A);
  EXPECT_EQ(X11KeyPress(XK_7, 0).VK, '7');
  // A plain character: no virtual key, its text, Shift dropped.
  IKeyPress minus = X11KeyPress(XK_minus, ShiftMask);
  EXPECT_EQ(minus.VK, 0);
  EXPECT_STREQ(minus.utf8, "-");
  EXPECT_FALSE(minus.S);
  EXPECT_STREQ(X11KeyPress(XK_eacute, 0).utf8, "\xC3\xA9");
  EXPECT_STREQ(X11KeyPress(0x010020AC, 0).utf8, "\xE2\x82\xAC"); // Unicode keysym: the euro sign
}

TEST(LinuxKeys, NamedKeysGetTheirVirtualKeys)
{
  EXPECT_EQ(X11KeyPress(XK_KP_Enter, 0).VK, 0x800D);
  EXPECT_EQ(X11KeyPress(XK_Return, 0).VK, 13);
  EXPECT_EQ(X11KeyPress(XK_F5, 0).VK, 116);
  EXPECT_EQ(X11KeyPress(XK_F24, 0).VK, 135);
  EXPECT_EQ(X11KeyPress(XK_space, 0).VK, 32);
  EXPECT_STREQ(X11KeyPress(XK_space, 0).utf8, " ");
  EXPECT_EQ(X11KeyPress(XK_ISO_Left_Tab, ShiftMask).VK, 9);
  EXPECT_TRUE(X11KeyPress(XK_ISO_Left_Tab, ShiftMask).S);
  EXPECT_EQ(X11KeyPress(XK_KP_3, 0).VK, 99);
  EXPECT_EQ(X11KeyPress(XK_KP_Left, 0).VK, 37);
  EXPECT_EQ(X11KeyPress(XK_Delete, 0).VK, 46);
  EXPECT_EQ(X11KeyPress(XK_BackSpace, 0).VK, 8);
  EXPECT_EQ(X11KeyPress(XK_Escape, 0).VK, 27);
  EXPECT_EQ(X11KeyPress(NoSymbol, 0).VK, 0);
  EXPECT_STREQ(X11KeyPress(NoSymbol, 0).utf8, "");
}

TEST(LinuxKeys, EveryCursorTypeHasAShapeAndUnknownOnesAreTheArrow)
{
  EXPECT_EQ(X11CursorShape(ECursor::kArrow), static_cast<unsigned>(XC_left_ptr));
  EXPECT_EQ(X11CursorShape(ECursor::kSizeNWSE), static_cast<unsigned>(XC_bottom_right_corner));
  EXPECT_EQ(X11CursorShape(ECursor::kHand), static_cast<unsigned>(XC_hand2));
  EXPECT_EQ(X11CursorShape(static_cast<ECursor>(99)), static_cast<unsigned>(XC_left_ptr));
}
