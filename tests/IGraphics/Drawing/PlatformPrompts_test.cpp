// Prompts on this platform: the in-editor text entry and menu stand in for the platform's own, drawn for real
// over Brevant's panel. Set BREVANT_SCREENSHOT_DIR to keep the pictures.
#include "DrawingTestSupport.h"
#include "IPlugParameter.h"
#include "IPopupMenuControl.h"
#include "ITextEntryControl.h"

#include <cstdlib>

using namespace gfxtest;

namespace
{
constexpr int kW = 997;
constexpr int kH = 612;
const IRECT kKnob = IRECT::MakeXYWH(134, 213, 60, 60);   // Low Attack
const IRECT kSwitch = IRECT::MakeXYWH(408, 538, 50, 24); // Oversampling

struct PromptScene
{
  HeadlessEditor ed;
  FakeClock clock;
  TestControl* knob = nullptr;
  TestControl* modes = nullptr;

  explicit PromptScene(float scale) : ed(kW, kH, scale)
  {
    EXPECT_TRUE(ed.G().LoadFont("Roboto-Regular", ROBOTO_TTF));
    ed.Delegate().GetParam(0)->InitDouble("Attack", 10.0, 0.1, 100.0, 0.1, "ms");
    ed.Delegate().GetParam(1)->InitEnum("Release Mode", 1, {"Fast", "Medium", "Slow", "Auto"});
    ed.G().AttachBackground(BREVANT_RESOURCES "/BG.png");
    knob = Add(kKnob, 0);
    modes = Add(kSwitch, 1);
  }
  TestControl* Add(const IRECT& r, int param)
  {
    auto* c = new TestControl(ed.GetLog(), "c", r, param);
    c->DisablePrompt(false);
    c->SetValue(ed.Delegate().GetParam(param)->GetNormalized());
    ed.G().AttachControl(c);
    return c;
  }
  /** Lets time pass and draws a frame. */
  void Step(double ms)
  {
    clock.Advance(ms);
    ASSERT_TRUE(ed.Frame());
  }
  void Key(const char* text, int vk) { ed.G().OnKeyDown(0, 0, IKeyPress(text, vk)); }
  void Save(const char* name)
  {
    if (const char* dir = std::getenv("BREVANT_SCREENSHOT_DIR"))
    {
      EXPECT_TRUE(ed.G().WriteFramePNG((std::string(dir) + "/" + name).c_str()));
    }
  }
  Pixel At(float x, float y, float scale) const
  {
    return ed.At(static_cast<int>(x * scale), static_cast<int>(y * scale));
  }
};

bool IsDark(const Pixel& p) { return p.r < 60 && p.g < 60 && p.b < 70; }
bool IsAmber(const Pixel& p) { return p.r > 200 && p.g > 110 && p.g < 190 && p.b < 100; }
} // namespace

TEST(PlatformPrompts, TypedValuesAndChosenItemsReachTheParameterThroughTheEditorsOwnControls)
{
  PromptScene s(1.f);
  ASSERT_TRUE(s.ed.IsOpen());
  IGraphicsLinux& g = s.ed.G();
  EXPECT_EQ(g.GetTextEntryControl(), nullptr); // attached on demand only
  EXPECT_EQ(g.GetPopupMenuControl(), nullptr);

  // A value typed into the entry that opens over the knob, as a gesture around the edit.
  g.OnMouseDown(Point(kKnob.MW(), kKnob.MH()));
  s.knob->PromptUserInput(0);
  g.OnMouseUp(Point(kKnob.MW(), kKnob.MH()));
  ITextEntryControl* entry = g.GetTextEntryControl();
  ASSERT_NE(entry, nullptr);
  EXPECT_STREQ(entry->GetStr(), "10.0");
  for (const char* c : {"2", "5", ".", "5"})
    s.Key(c, c[0] == '.' ? static_cast<int>(kVK_DECIMAL) : c[0]);
  s.ed.GetLog().clear();
  s.Key("", kVK_RETURN);
  EXPECT_DOUBLE_EQ(s.ed.Delegate().GetParam(0)->Value(), 25.5);
  EXPECT_EQ(Filter(s.ed.GetLog(), "send"), Log{"send 0 0.2543"});

  // Widths come from the font: a space has its own advance, so the caret can stand after it.
  g.CreateTextEntry(*s.knob, DEFAULT_TEXT, kKnob, "1 1", kNoValIdx);
  EXPECT_GT(entry->GetCharX(2) - entry->GetCharX(1), 2.f);
  EXPECT_GT(entry->GetCharX(1) - entry->GetCharX(0), 5.f);
  entry->DismissEdit();

  // An item chosen from the menu of display texts, between the gesture's begin and end.
  s.ed.GetLog().clear();
  g.OnMouseDown(Point(kSwitch.MW(), kSwitch.MH()));
  s.modes->PromptUserInput(0);
  g.OnMouseUp(Point(kSwitch.MW(), kSwitch.MH()));
  IPopupMenuControl* popup = g.GetPopupMenuControl();
  ASSERT_NE(popup, nullptr);
  s.Step(IPopupMenuControl::kOpenMs + 1);
  ASSERT_TRUE(popup->GetExpanded());
  // No room below the switch: the menu opens above it.
  EXPECT_LE(popup->GetPanel(0)->mRECT.B, kSwitch.T);
  const IRECT slow = popup->GetCellBounds(2);
  g.OnMouseDown(Point(slow.MW(), slow.MH()));
  g.OnMouseUp(Point(slow.MW(), slow.MH()));
  EXPECT_EQ(Filter(s.ed.GetLog(), "begin"), Log{"begin 1"});
  EXPECT_EQ(Filter(s.ed.GetLog(), "send"), Log{"send 1 0.6667"});
  EXPECT_EQ(Filter(s.ed.GetLog(), "end"), Log{"end 1"});
}

TEST(PlatformPrompts, OpenEntryAndMenuAreDrawnInTheEditorsLookAtOneAndTwoTimes)
{
  for (float scale : {1.f, 2.f})
  {
    SCOPED_TRACE(scale);
    PromptScene s(scale);
    ASSERT_TRUE(s.ed.IsOpen());
    IGraphicsLinux& g = s.ed.G();
    const std::string suffix = scale > 1.f ? "@2x.png" : "@1x.png";

    // The entry over the knob: its background, the selected initial text, then a typed value with the caret.
    s.knob->PromptUserInput(0);
    s.Step(1);
    ITextEntryControl* entry = g.GetTextEntryControl();
    const IRECT box = entry->GetRECT();
    const Pixel corner = s.At(box.L + 1.f, box.T + 1.f, scale);
    EXPECT_GT(corner.r, 240);
    EXPECT_GT(corner.b, 240);
    s.Save(("text-entry-selected" + suffix).c_str());
    s.Key("1", '1');
    s.Key("2", '2');
    s.Step(1);
    const float caretX = entry->GetCharX(entry->GetCursor());
    EXPECT_LT(s.At(std::round(caretX) + 0.5f, box.MH(), scale).r, 100) << "the caret is drawn";
    s.Save(("text-entry" + suffix).c_str());
    s.Key("", kVK_ESCAPE);
    s.Step(1);
    EXPECT_TRUE(IsDark(s.At(box.L + 1.f, box.T + 1.f, scale))) << "the panel is repainted where the entry was";

    // The menu above the switch, the current value checked and the pointer over another item.
    s.modes->PromptUserInput(0);
    s.Step(IPopupMenuControl::kOpenMs + 1);
    IPopupMenuControl* popup = g.GetPopupMenuControl();
    ASSERT_TRUE(popup->GetExpanded());
    const IRECT slow = popup->GetCellBounds(2);
    g.OnMouseOver(slow.MW(), slow.MH(), IMouseMod());
    s.Step(16);
    s.Save(("menu" + suffix).c_str());
    EXPECT_TRUE(IsAmber(s.At(slow.L + 8.f, slow.T + 3.f, scale))) << "the item under the pointer";
    const IRECT fast = popup->GetCellBounds(0);
    EXPECT_TRUE(IsDark(s.At(fast.R - 6.f, fast.MH(), scale))) << "the panel";
    // Light text in the panel: some pixel of the "Fast" row is bright.
    int brightest = 0;
    for (float x = fast.L + 20.f; x < fast.L + 60.f; x += 0.5f)
      brightest = std::max(brightest, s.At(x, fast.MH(), scale).g);
    EXPECT_GT(brightest, 180);

    // Escape closes it, and once its phases have run the panel is gone from the picture.
    g.OnKeyDown(0, 0, IKeyPress("", kVK_ESCAPE));
    for (int i = 0; i < 4; i++)
      s.Step(200);
    EXPECT_EQ(popup->GetState(), IPopupMenuControl::kCollapsed);
    EXPECT_FALSE(IsAmber(s.At(slow.L + 8.f, slow.T + 3.f, scale)));
  }
}
