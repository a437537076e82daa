// The in-editor text entry: character filters, selection, undo, clipboard, mouse placement, caret blink and
// the completion contract with the graphics context. The recording backend measures 6 units per character.

#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "IPlugParameter.h"
#include "ITextEntryControl.h"

using namespace gfxtest;

namespace
{
struct TextEntryFixture : public ::testing::Test
{
  Log log;
  TestDelegate dlg{log};
  TestGraphics g{dlg, log, 200, 100};
  TestControl* steps = nullptr;
  TestControl* gain = nullptr;
  TestControl* mode = nullptr;
  ITextEntryControl* entry = nullptr;

  TextEntryFixture()
  {
    dlg.GetParam(0)->InitInt("Steps", 3, -10, 10);
    dlg.GetParam(1)->InitDouble("Gain", 0.25, 0.0, 1.0, 0.01);
    dlg.GetParam(2)->InitBool("Switch", false);
    g.AttachControl(new TestControl(log, "bg", g.GetBounds()));
    steps = Add("steps", 0);
    gain = Add("gain", 1);
    mode = Add("switch", 2);
    g.AttachTextEntryControl();
    entry = g.GetTextEntryControl();
    dlg.AttachUI(&g);
  }
  ~TextEntryFixture() override { dlg.DetachUI(); }

  TestControl* Add(const char* name, int param)
  {
    auto* c = new TestControl(log, name, IRECT(10, 10, 110, 50), param);
    c->DisablePrompt(false);
    c->SetValue(dlg.GetParam(param)->GetNormalized());
    g.AttachControl(c);
    return c;
  }
  bool Type(const char* text, int vk = 0, bool shift = false, bool ctrl = false)
  {
    return g.OnKeyDown(150, 80, IKeyPress(text, vk, shift, ctrl));
  }
  bool Ctrl(int vk, bool shift = false) { return Type("", vk, shift, true); }
  void TypeAll(const char* text)
  {
    for (const char* p = text; *p; p++)
    {
      const char s[2] = {*p, 0};
      int vk = 0;
      if ((*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'Z'))
        vk = *p;
      else if (*p >= 'a' && *p <= 'z')
        vk = *p - 32;
      else if (*p == '.')
        vk = kVK_DECIMAL;
      Type(s, vk);
    }
  }
};
} // namespace

TEST_F(TextEntryFixture, CharacterFiltersFollowTheParameterType)
{
  steps->PromptUserInput(0);
  ASSERT_TRUE(entry->EditInProgress());
  EXPECT_STREQ(entry->GetStr(), "3");
  EXPECT_TRUE(entry->GetAllSelected());
  EXPECT_EQ(entry->GetCursor(), 0);

  // An integer takes neither letters nor a decimal point; a refused key changes nothing, the selection included.
  EXPECT_FALSE(Type("a", 'A'));
  EXPECT_FALSE(Type(".", kVK_DECIMAL));
  EXPECT_FALSE(Type(" ", kVK_SPACE));
  EXPECT_STREQ(entry->GetStr(), "3");
  EXPECT_TRUE(entry->GetAllSelected());
  // The first accepted key replaces the selected initial text.
  EXPECT_TRUE(Type("-", kVK_SUBTRACT));
  EXPECT_TRUE(Type("5", '5'));
  EXPECT_STREQ(entry->GetStr(), "-5");
  EXPECT_FALSE(Type("", kVK_TAB));
  log.clear();
  EXPECT_TRUE(Type("", kVK_RETURN));
  EXPECT_DOUBLE_EQ(dlg.GetParam(0)->Value(), -5.0);
  EXPECT_EQ(Filter(log, "send"), Log{"send 0 0.2500"});
  EXPECT_EQ(g.GetControlInTextEntry(), nullptr);
  EXPECT_TRUE(entry->GetRECT().Empty());

  // A double takes the point; a switch is typed like an integer.
  gain->PromptUserInput(0);
  TypeAll("0.5x");
  EXPECT_STREQ(entry->GetStr(), "0.5");
  entry->DismissEdit();
  g.CreateTextEntry(*mode, DEFAULT_TEXT, IRECT(0, 0, 100, 20), "", 0);
  TypeAll("1.x+");
  EXPECT_STREQ(entry->GetStr(), "1+");
  entry->DismissEdit();

  // Without a parameter everything printable goes in, UTF-8 included; broken sequences become an underscore.
  g.CreateTextEntry(*steps, DEFAULT_TEXT, IRECT(0, 0, 100, 20), "", kNoValIdx);
  TypeAll("a b");
  Type("\xC3\xA9", 0);
  Type("\xC3", 0);
  Type("\x01", 0); // control characters insert nothing
  EXPECT_STREQ(entry->GetStr(), "a b\xC3\xA9_");
  EXPECT_EQ(entry->GetCursor(), 5);
}

TEST_F(TextEntryFixture, EscapeLeavesTheParameterAndForgetsTheEntry)
{
  steps->PromptUserInput(0);
  TypeAll("9");
  log.clear();
  EXPECT_TRUE(Type("", kVK_ESCAPE));
  EXPECT_TRUE(Filter(log, "send").empty());
  EXPECT_DOUBLE_EQ(dlg.GetParam(0)->Value(), 3.0);
  EXPECT_EQ(g.GetControlInTextEntry(), nullptr);
  EXPECT_FALSE(entry->EditInProgress());
  // Keys no longer reach a closed entry.
  EXPECT_FALSE(entry->OnKeyDown(0, 0, IKeyPress("1", '1')));
}

TEST_F(TextEntryFixture, EditingKeysUndoAndRedo)
{
  g.CreateTextEntry(*steps, DEFAULT_TEXT, IRECT(0, 0, 100, 20), "", kNoValIdx);
  TypeAll("12345");
  EXPECT_TRUE(Type("", kVK_LEFT));
  EXPECT_TRUE(Type("", kVK_LEFT));
  EXPECT_TRUE(Type("", kVK_BACK));
  EXPECT_STREQ(entry->GetStr(), "1245");
  EXPECT_TRUE(Type("", kVK_DELETE));
  EXPECT_STREQ(entry->GetStr(), "125");
  EXPECT_TRUE(Type("", kVK_HOME));
  EXPECT_EQ(entry->GetCursor(), 0);
  EXPECT_FALSE(Type("", kVK_HOME)); // nothing moved: not handled
  EXPECT_TRUE(Type("", kVK_END, true));
  EXPECT_EQ(entry->GetSelectionEnd() - entry->GetSelectionStart(), 3);

  EXPECT_TRUE(Ctrl(kVK_Z));
  EXPECT_STREQ(entry->GetStr(), "1245");
  EXPECT_TRUE(Ctrl(kVK_Z));
  EXPECT_STREQ(entry->GetStr(), "12345");
  EXPECT_TRUE(Ctrl(kVK_Z, true));
  EXPECT_STREQ(entry->GetStr(), "1245");

  // The maximum length refuses further characters but keeps the text.
  entry->DismissEdit();
  steps->SetTextEntryLength(3);
  steps->PromptUserInput(0);
  TypeAll("1234");
  EXPECT_STREQ(entry->GetStr(), "123");
}

TEST_F(TextEntryFixture, ClipboardRoundTripAndTheEditMenu)
{
  g.CreateTextEntry(*steps, DEFAULT_TEXT, IRECT(0, 0, 100, 20), "-12", kNoValIdx);
  EXPECT_TRUE(Ctrl(kVK_C));
  EXPECT_EQ(g.mClipboard, "-12");
  EXPECT_TRUE(Ctrl(kVK_X));
  EXPECT_STREQ(entry->GetStr(), "");
  EXPECT_TRUE(Ctrl(kVK_V));
  EXPECT_TRUE(Ctrl(kVK_V));
  EXPECT_STREQ(entry->GetStr(), "-12-12");
  // Pasted line breaks are dropped; what exceeds the maximum length (7) is clipped.
  g.mClipboard = "4\n5";
  Ctrl(kVK_V);
  EXPECT_STREQ(entry->GetStr(), "-12-124");
  entry->DismissEdit();
  steps->SetTextEntryLength(4);
  g.CreateTextEntry(*steps, DEFAULT_TEXT, IRECT(0, 0, 100, 20), "1", kNoValIdx);
  Type("", kVK_END);
  Ctrl(kVK_V);
  EXPECT_STREQ(entry->GetStr(), "145");

  // The right-click menu: Cut, Copy, Paste, at the click point, its choice applied to the entry.
  Ctrl(kVK_A);
  g.mMenuChoice = 0;
  log.clear();
  g.OnMouseDown(Point(20, 10, IMouseMod(false, true)));
  EXPECT_EQ(Filter(log, "menu"), Log{"menu '' Cut|Copy|Paste (20,10,20,10)"});
  EXPECT_STREQ(entry->GetStr(), "");
  EXPECT_EQ(g.mClipboard, "145");
  g.mMenuChoice = 2;
  g.OnMouseDown(Point(20, 10, IMouseMod(false, true)));
  EXPECT_STREQ(entry->GetStr(), "145");
  EXPECT_TRUE(entry->EditInProgress());
}

TEST_F(TextEntryFixture, MousePlacesTheCursorDragsSelectAndOutsideCommits)
{
  // "1234" is 24 units wide, centred in 0..100: characters start at 38, 44, 50, 56.
  g.CreateTextEntry(*steps, DEFAULT_TEXT, IRECT(0, 0, 100, 20), "1234", kNoValIdx);
  EXPECT_FLOAT_EQ(entry->GetCharX(0), 38.f);
  g.OnMouseDown(Point(45, 10));
  EXPECT_EQ(entry->GetCursor(), 1);
  EXPECT_EQ(entry->GetSelectionStart(), entry->GetSelectionEnd());
  g.OnMouseDrag(Point(48, 10, IMouseMod(true), 3.f, 0.f));
  EXPECT_EQ(entry->GetSelectionStart(), 1);
  EXPECT_EQ(entry->GetSelectionEnd(), 2);
  g.OnMouseDrag(Point(90, 10, IMouseMod(true), 42.f, 0.f)); // past the end
  EXPECT_EQ(entry->GetSelectionEnd(), 4);
  g.OnMouseUp(Point(90, 10));
  Type("9", '9');
  EXPECT_STREQ(entry->GetStr(), "19");

  g.OnMouseDblClick(40, 10, IMouseMod(true));
  EXPECT_TRUE(entry->GetAllSelected());

  log.clear();
  g.OnMouseDown(Point(150, 80));
  EXPECT_EQ(Filter(log, "text completion"), Log{"text completion steps '19' -1"});
  EXPECT_FALSE(entry->EditInProgress());
}

TEST_F(TextEntryFixture, CaretBlinksThroughTheActionFunction)
{
  FakeClock clock;
  steps->PromptUserInput(0);
  Type("", kVK_END);
  EXPECT_TRUE(entry->GetCaretVisible());
  clock.Advance(400);
  entry->Animate();
  EXPECT_TRUE(entry->GetCaretVisible());
  clock.Advance(200);
  entry->Animate();
  EXPECT_FALSE(entry->GetCaretVisible());
  EXPECT_TRUE(entry->IsDirty());
  clock.Advance(401);
  entry->Animate();
  EXPECT_TRUE(entry->GetCaretVisible()); // the next second has begun
  // A key restarts the cycle at once.
  clock.Advance(600);
  entry->Animate();
  EXPECT_FALSE(entry->GetCaretVisible());
  Type("", kVK_LEFT);
  EXPECT_TRUE(entry->GetCaretVisible());

  // Once the edit is over the blink stops.
  entry->CommitEdit();
  clock.Advance(1001);
  entry->Animate();
  EXPECT_EQ(entry->GetAnimationFunction(), nullptr);
}
