// Event dispatch: hit testing, capture, gestures, host context menu, resizing and scale, prompts, peers,
// the value bubble, and the editor delegate driving an open editor.

#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "IBubbleControl.h"
#include "ICornerResizerControl.h"
#include "IPlugByteChunk.h"
#include "IPlugParameter.h"
#include "IPopupMenuControl.h"
#include "ITextEntryControl.h"

#include <limits>
#include <thread>

using namespace gfxtest;

namespace
{
struct EventFixture : public ::testing::Test
{
  Log log;
  TestDelegate dlg{log};
  TestGraphics g{dlg, log, 200, 100};
  TestControl* bg = nullptr;

  EventFixture()
  {
    dlg.GetParam(0)->InitDouble("Gain", 0.25, 0.0, 1.0, 0.01, "dB");
    dlg.GetParam(1)->InitDouble("Amount", 0.0, 0.0, 100.0, 1.0, "%", IParam::kParamStepped);
    dlg.GetParam(2)->InitEnum("Mode", 1, {"Soft", "Hard", "Off"});
    dlg.GetParam(3)->InitDouble("Free", 0.5, 0.0, 1.0, 0.001);
    dlg.SetSizeConstraints(100, 400, 50, 200);
    bg = static_cast<TestControl*>(g.AttachControl(new TestControl(log, "bg", g.GetBounds())));
    dlg.AttachUI(&g);
  }
  ~EventFixture() override { dlg.DetachUI(); }

  void Click(float x, float y, const IMouseMod& mod = IMouseMod(true))
  {
    g.OnMouseDown(Point(x, y, mod));
    g.OnMouseUp(Point(x, y, mod));
  }
};
} // namespace

TEST_F(EventFixture, HitTestingPicksTheFrontmostEligibleControl)
{
  auto* a = g.AttachControl(new TestControl(log, "a", IRECT(10, 10, 60, 60)));
  g.AttachControl(new TestControl(log, "b", IRECT(40, 40, 90, 90)));
  auto* hidden = g.AttachControl(new TestControl(log, "hidden", IRECT(0, 0, 100, 100)));
  auto* disabled = g.AttachControl(new TestControl(log, "disabled", IRECT(0, 0, 30, 30)));
  hidden->Hide(true);
  disabled->SetDisabled(true);

  log.clear();
  Click(50, 50);  // in a and b: b was attached later
  Click(20, 20);  // the disabled control is skipped
  Click(150, 20); // empty space belongs to the background
  disabled->SetMouseEventsWhenDisabled(true);
  Click(20, 20);
  a->SetIgnoreMouse(true);
  Click(15, 50);
  EXPECT_EQ(Filter(log, "down"), (Log{"down b", "down a", "down bg", "down disabled", "down bg"}));

  // Mouse-over: off until enabled, never the background, and out before over.
  log.clear();
  EXPECT_FALSE(g.OnMouseOver(50, 50, IMouseMod()));
  g.EnableMouseOver(true);
  EXPECT_FALSE(g.OnMouseOver(150, 20, IMouseMod()));
  disabled->SetMouseOverWhenDisabled(true);
  EXPECT_TRUE(g.OnMouseOver(50, 50, IMouseMod()));
  EXPECT_EQ(g.GetMouseOverIdx(), 2);
  EXPECT_TRUE(g.OnMouseOver(20, 20, IMouseMod()));
  g.OnMouseOut();
  EXPECT_EQ(Filter(log, "o"), (Log{"over b", "out b", "over disabled", "out disabled"}));
  EXPECT_EQ(g.GetMouseOverControl(), nullptr);
}

TEST_F(EventFixture, GesturesWrapTheControlsMouseDownAndUp)
{
  auto* knob = new TestKnob(log, IRECT(10, 10, 60, 60), 3);
  g.AttachControl(knob);
  knob->SetValue(0.5);
  log.clear();
  g.OnMouseDown(Point(30, 30));
  g.OnMouseDrag(Point(30, 29, IMouseMod(true), 0.f, -1.f));
  g.OnMouseDrag(Point(30, 29, IMouseMod(true), 0.f, 0.f)); // no movement: not forwarded
  g.OnMouseUp(Point(30, 29));
  EXPECT_EQ(log, (Log{"begin 3", "down knob", "hide cursor locked", "send 3 0.5050", "up knob", "show cursor locked",
                      "end 3"}));
  EXPECT_FALSE(g.ControlIsCaptured());

  // Every bound value of a control gets its gesture, in value order.
  g.AttachControl(new TestControl(log, "multi", IRECT(100, 10, 150, 60), {3, -1, 1}));
  log.clear();
  Click(120, 30);
  EXPECT_EQ(log, (Log{"begin 3", "begin 1", "down multi", "up multi", "end 3", "end 1"}));

  // The wheel changes values without a gesture.
  log.clear();
  g.OnMouseWheel(30, 30, IMouseMod(), 1.f);
  EXPECT_EQ(log, (Log{"send 3 0.5150"}));
}

TEST_F(EventFixture, RightClickOnAParameterOpensTheHostMenu)
{
  auto* c = new TestControl(log, "c", IRECT(10, 10, 60, 60), 1);
  c->mContextItems = {"Learn", "Reset"};
  g.AttachControl(c);
  g.Resize(200, 100, 1.5f);
  log.clear();
  g.OnMouseDown(Point(20, 10, IMouseMod(false, true)));
  g.OnMouseUp(Point(20, 10, IMouseMod(false, true)));
  // Position in view pixels; the control never sees the click and no gesture starts.
  EXPECT_EQ(log, (Log{"host menu 1 at 30,15 items 2"}));
  ASSERT_EQ(dlg.mMenuTarget, c);
  dlg.mMenuTarget->executeMenuItem(1);
  EXPECT_EQ(log.back(), "context selection c 1");

  // Without a parameter the right click is an ordinary click.
  log.clear();
  Click(150, 50, IMouseMod(false, true));
  EXPECT_EQ(log, (Log{"down bg", "up bg"}));
}

TEST_F(EventFixture, CapturedControlsIgnoreHostAutomationAndPeersFollow)
{
  auto* knob = new TestKnob(log, IRECT(10, 10, 60, 60), 3);
  auto* peer = new TestControl(log, "peer", IRECT(100, 10, 150, 60), 3);
  g.AttachControl(knob);
  g.AttachControl(peer);

  g.OnMouseDown(Point(30, 30));
  dlg.SendParameterValueFromDelegate(3, 0.9, true);
  EXPECT_EQ(knob->GetValue(), 0.0); // the drag wins
  EXPECT_DOUBLE_EQ(peer->GetValue(), 0.9);
  g.OnMouseDrag(Point(30, 20, IMouseMod(true), 0.f, -10.f));
  EXPECT_NEAR(peer->GetValue(), 0.05, 1e-9); // the other control bound to the parameter follows
  g.OnMouseUp(Point(30, 20));

  dlg.SendParameterValueFromDelegate(3, 0.9, true);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.9);
  // Plain values are normalized by the delegate.
  dlg.SendParameterValueFromDelegate(1, 40.0, false);
  auto* amount = new TestControl(log, "amount", IRECT(0, 0, 1, 1), 1);
  g.AttachControl(amount, 5);
  dlg.SendParameterValueFromDelegate(1, 40.0, false);
  EXPECT_DOUBLE_EQ(amount->GetValue(), 0.4);
  dlg.SendControlValueFromDelegate(5, 0.7);
  EXPECT_DOUBLE_EQ(amount->GetValue(), 0.7);
}

TEST_F(EventFixture, DoubleClicks)
{
  auto* knob = new TestKnob(log, IRECT(10, 10, 60, 60), 0);
  g.AttachControl(knob);
  knob->SetValue(0.8);
  log.clear();
  // A knob resets to its default and sends it, without a gesture of its own; the capture is released.
  EXPECT_TRUE(g.OnMouseDblClick(30, 30, IMouseMod(true)));
  EXPECT_EQ(log, (Log{"send 0 0.2500"}));
  EXPECT_FALSE(g.ControlIsCaptured());

  // A switch takes a double click as another click.
  auto* sw = new TestSwitch(IRECT(100, 10, 150, 60), 2);
  g.AttachControl(sw);
  sw->SetValue(0.5);
  log.clear();
  EXPECT_TRUE(g.OnMouseDblClick(120, 30, IMouseMod(true)));
  g.OnMouseUp(Point(120, 30));
  EXPECT_EQ(log, (Log{"begin 2", "send 2 1.0000", "end 2"}));
  EXPECT_DOUBLE_EQ(sw->GetValue(), 1.0);

  bg->Hide(true);
  EXPECT_FALSE(g.OnMouseDblClick(180, 90, IMouseMod(true)));
}

TEST_F(EventFixture, KeysGoToTheControlThenTheKeyHandler)
{
  auto* c = new TestControl(log, "c", IRECT(10, 10, 60, 60));
  g.AttachControl(c);
  std::vector<bool> handlerCalls;
  g.SetKeyHandlerFunc(
      [&](const IKeyPress&, bool isUp)
      {
        handlerCalls.push_back(isUp);
        return true;
      });
  log.clear();
  EXPECT_TRUE(g.OnKeyDown(20, 20, IKeyPress("a", 65)));
  c->mHandlesKeys = true;
  EXPECT_TRUE(g.OnKeyDown(20, 20, IKeyPress("a", 65)));
  EXPECT_TRUE(g.OnKeyDown(150, 50, IKeyPress("b", 66))); // the background never gets keys
  EXPECT_TRUE(g.OnKeyUp(20, 20, IKeyPress("a", 65)));
  EXPECT_EQ(log, (Log{"key c 65", "key c 65"}));
  EXPECT_EQ(handlerCalls, (std::vector<bool>{false, false, true}));

  g.SetKeyHandlerFunc(nullptr);
  c->mHandlesKeys = false;
  EXPECT_FALSE(g.OnKeyDown(20, 20, IKeyPress("a", 65)));
}

TEST_F(EventFixture, ResizeClampsAndOrdersItsEffects)
{
  log.clear();
  g.Resize(200, 100, 1.f); // unchanged: nothing at all
  EXPECT_TRUE(log.empty());

  bg->mResizes = 0;
  g.Resize(1000, 10, 1.25f);
  EXPECT_EQ(g.Width(), 400);
  EXPECT_EQ(g.Height(), 50);
  EXPECT_EQ(log, (Log{"editor resize 500x62 platform", "platform resize ok", "draw resize"}));
  EXPECT_EQ(bg->mResizes, 1);

  log.clear();
  dlg.mResizeAccepted = false;
  g.Resize(400, 50, 9.f, false);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 2.f);
  EXPECT_EQ(log, (Log{"editor resize 800x100", "platform resize refused", "draw resize"}));
  dlg.mResizeAccepted = true;
  g.Resize(400, 50, 0.1f);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 0.5f);
  g.Resize(400, 50, std::nanf(""));
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 0.5f);
  g.Resize(400, 50, std::numeric_limits<float>::infinity());
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 2.f);

  int layouts = 0;
  dlg.mLayoutFunc = [&](IGraphics*) { layouts++; };
  g.SetLayoutOnResize(true);
  g.Resize(300, 60, 1.f);
  EXPECT_EQ(layouts, 1);

  log.clear();
  bg->mRescales = 0;
  g.SetScreenScale(2.f);
  EXPECT_FLOAT_EQ(g.GetBackingPixelScale(), 2.f);
  EXPECT_EQ(bg->mRescales, 1);
  EXPECT_EQ(log, (Log{"editor resize 300x60 platform", "platform resize ok", "draw resize"}));

  // A broken backing factor from the platform is ignored.
  log.clear();
  for (float bad : {0.f, -1.f, std::nanf(""), std::numeric_limits<float>::infinity()})
    g.SetScreenScale(bad);
  EXPECT_FLOAT_EQ(g.GetScreenScale(), 2.f);
  EXPECT_TRUE(log.empty());
}

TEST_F(EventFixture, CornerResizerDragKeepsTheAspectInScaleMode)
{
  g.AttachCornerResizer(EUIResizerMode::Scale, false);
  g.EnableMouseOver(true);
  log.clear();
  g.OnMouseOver(195, 95, IMouseMod());
  EXPECT_EQ(Filter(log, "cursor"), Log{"cursor 5"});

  g.OnMouseDown(Point(190, 95));
  EXPECT_TRUE(g.GetResizingInProcess());
  // Window position over mouse-down position: x gives 1.5, y gives 2; the smaller wins.
  g.OnMouseDrag(Point(285, 190, IMouseMod(true), 95.f, 95.f));
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.5f);
  EXPECT_EQ(g.Width(), 200);
  EXPECT_EQ(g.Height(), 100);
  EXPECT_EQ(g.GetCornerResizer()->GetRECT(), IRECT(200 - 20 / 1.5f, 100 - 20 / 1.5f, 200, 100));
  g.OnMouseDrag(Point(1000, 1000, IMouseMod(true), 5.f, 5.f));
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 2.f); // clamped to twice the initial scale

  bg->mRescales = 0;
  bg->SetClean();
  g.OnMouseUp(Point(1000, 1000));
  EXPECT_FALSE(g.GetResizingInProcess());
  EXPECT_EQ(bg->mRescales, 1);
  EXPECT_TRUE(bg->IsDirty());

  // Double-click: back to the nominal size at scale 1.
  g.OnMouseDblClick(195, 95, IMouseMod(true));
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.f);

  g.OnMouseOut();
  EXPECT_EQ(Filter(log, "cursor").back(), "cursor 0");
}

TEST_F(EventFixture, CornerResizerDragChangesTheSizeInSizeMode)
{
  g.AttachCornerResizer(EUIResizerMode::Size, false);
  g.OnMouseDown(Point(190, 95));
  g.OnMouseDrag(Point(250.7f, 120.2f, IMouseMod(true), 60.f, 25.f));
  EXPECT_EQ(g.Width(), 250);
  EXPECT_EQ(g.Height(), 120);
  EXPECT_FLOAT_EQ(g.GetDrawScale(), 1.f);
  bg->mRescales = 0;
  g.OnMouseUp(Point(250, 120));
  EXPECT_EQ(bg->mRescales, 0); // only a scale drag rescales at the end
}

TEST_F(EventFixture, MenuPromptsAndTheirCompletion)
{
  auto* c = new TestControl(log, "c", IRECT(10, 10, 60, 60), 2);
  c->DisablePrompt(false);
  g.AttachControl(c);
  dlg.GetParam(2)->Set(1);
  c->SetValue(0.5);

  // Synchronous platform menu: the choice is applied at once, then the gesture of the click closes.
  g.mMenuChoice = 2;
  log.clear();
  g.OnMouseDown(Point(20, 20));
  c->PromptUserInput(0);
  EXPECT_EQ(log, (Log{"begin 2", "down c", "menu 'Mode' Soft|*Hard|Off (10,10,60,60)", "popup selection c 2",
                      "send 2 1.0000", "end 2"}));
  EXPECT_FALSE(g.ControlIsCaptured()); // a menu releases the mouse
  g.OnMouseUp(Point(20, 20));

  // Nothing chosen: the control hears so with no menu.
  g.mMenuChoice = -1;
  log.clear();
  c->PromptUserInput(0);
  EXPECT_EQ(Filter(log, "popup"), Log{"popup selection c none"});
  EXPECT_DOUBLE_EQ(c->GetValue(), 1.0);

  // Asynchronous: nothing happens until the platform completes; completing twice does nothing more.
  g.mAsyncMenus = true;
  log.clear();
  c->PromptUserInput(0);
  EXPECT_EQ(g.GetControlInPopupMenu(), c);
  EXPECT_TRUE(Filter(log, "popup").empty());
  g.GetPromptMenu().SetChosenItemIdx(0);
  g.SetControlValueAfterPopupMenu(&g.GetPromptMenu());
  g.SetControlValueAfterPopupMenu(&g.GetPromptMenu());
  EXPECT_EQ(Filter(log, "popup"), Log{"popup selection c 0"});
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.0);
  EXPECT_EQ(g.GetPromptMenu().NItems(), 3); // refilled, not appended to

  // A control that asks again from its completion handler keeps the new request open.
  struct Reprompting : public TestControl
  {
    using TestControl::TestControl;
    void OnPopupMenuSelection(IPopupMenu*, int valIdx) override { PromptUserInput(valIdx); }
    void OnTextEntryCompletion(const char*, int) override
    {
      GetUI()->CreateTextEntry(*this, DEFAULT_TEXT, GetRECT(), "again", kNoValIdx);
    }
  };
  auto* again = new Reprompting(log, "again", IRECT(100, 10, 150, 60), 2);
  again->DisablePrompt(false);
  g.AttachControl(again);
  again->PromptUserInput(0);
  g.SetControlValueAfterPopupMenu(&g.GetPromptMenu());
  EXPECT_EQ(g.GetControlInPopupMenu(), again);
  g.CreateTextEntry(*again, DEFAULT_TEXT, again->GetRECT(), "", kNoValIdx);
  g.SetControlValueAfterTextEdit("x");
  EXPECT_EQ(g.GetControlInTextEntry(), again);

  // Removing the controls forgets the open requests: a late completion finds nothing to call.
  g.RemoveAllControls();
  EXPECT_EQ(g.GetControlInPopupMenu(), nullptr);
  EXPECT_EQ(g.GetControlInTextEntry(), nullptr);
  g.SetControlValueAfterPopupMenu(&g.GetPromptMenu());
  g.SetControlValueAfterTextEdit("y");
}

TEST_F(EventFixture, TextPromptsAndTheirCompletion)
{
  auto* c = new TestControl(log, "c", IRECT(10, 10, 60, 50), 1);
  c->DisablePrompt(false);
  c->SetPromptShowsParamLabel(true);
  g.AttachControl(c);
  dlg.GetParam(1)->Set(25);
  log.clear();
  c->PromptUserInput(0);
  // No display texts: a 40 x 16 box in the middle of the control.
  EXPECT_EQ(log, (Log{"text entry 1 (15,22,55,38) len 7 '25 %'"}));
  EXPECT_EQ(g.GetControlInTextEntry(), c);

  // Drags go to the platform's own text field meanwhile.
  g.OnMouseDown(Point(20, 20));
  log.clear();
  g.OnMouseDrag(Point(20, 25, IMouseMod(true), 0.f, 5.f));
  EXPECT_TRUE(log.empty());
  g.OnMouseUp(Point(20, 25));

  log.clear();
  g.SetControlValueAfterTextEdit("62.6");
  EXPECT_EQ(log, (Log{"begin 1", "send 1 0.6300", "end 1"})); // stepped to whole units, a gesture of its own
  EXPECT_EQ(g.GetControlInTextEntry(), nullptr);
  g.SetControlValueAfterTextEdit("10"); // no edit open: ignored
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.63);

  // A control without a parameter gets the text itself.
  auto* plain = new TestControl(log, "plain", IRECT(0, 0, 10, 10));
  g.AttachControl(plain);
  g.CreateTextEntry(*plain, DEFAULT_TEXT, IRECT(0, 0, 10, 10), "abc");
  log.clear();
  g.SetControlValueAfterTextEdit("xyz");
  EXPECT_EQ(log, (Log{"text completion plain 'xyz' 0"}));
}

TEST_F(EventFixture, InEditorTextEntryAndMenu)
{
  auto* c = new TestControl(log, "c", IRECT(10, 10, 60, 50), 1);
  c->DisablePrompt(false);
  g.AttachControl(c);
  g.AttachTextEntryControl();
  ITextEntryControl* entry = g.GetTextEntryControl();
  dlg.GetParam(1)->Set(25);

  c->PromptUserInput(0);
  ASSERT_TRUE(entry->EditInProgress());
  EXPECT_STREQ(entry->GetStr(), "25");
  EXPECT_EQ(entry->GetRECT(), IRECT(15, 22, 55, 38));
  // Keys reach the entry wherever the pointer is; the first one replaces the selected text.
  EXPECT_FALSE(g.OnKeyDown(150, 80, IKeyPress("a", 65))); // an amount takes digits only
  g.OnKeyDown(150, 80, IKeyPress("7", 55));
  g.OnKeyDown(150, 80, IKeyPress("5", 53));
  log.clear();
  g.OnKeyDown(150, 80, IKeyPress("", kVK_RETURN));
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[1], "send 1 0.7500");
  EXPECT_FALSE(entry->EditInProgress());
  EXPECT_TRUE(entry->GetRECT().Empty());

  c->PromptUserInput(0);
  g.OnKeyDown(0, 0, IKeyPress("", kVK_ESCAPE));
  EXPECT_EQ(g.GetControlInTextEntry(), nullptr);
  EXPECT_DOUBLE_EQ(c->GetValue(), 0.75);

  // In-editor menu: clicks go to it once it has opened; a disabled item cannot be chosen.
  auto* m = new TestControl(log, "m", IRECT(100, 10, 150, 30), 2);
  m->DisablePrompt(false);
  g.AttachControl(m);
  g.AttachPopupMenuControl();
  IPopupMenuControl* popup = g.GetPopupMenuControl();
  m->PromptUserInput(0);
  EXPECT_EQ(g.GetControlInPopupMenu(), m);
  for (int i = 0; i < 20 && !popup->GetExpanded(); i++)
  {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    popup->Animate();
  }
  ASSERT_TRUE(popup->GetExpanded());
  g.GetPromptMenu().GetItem(0)->SetEnabled(false);
  const IRECT first = popup->GetCellBounds(0);
  Click(first.MW(), first.MH());
  EXPECT_EQ(g.GetControlInPopupMenu(), m);
  const IRECT third = popup->GetCellBounds(2);
  log.clear();
  Click(third.MW(), third.MH());
  EXPECT_EQ(Filter(log, "popup"), Log{"popup selection m 2"});
  EXPECT_EQ(g.GetControlInPopupMenu(), nullptr);
  EXPECT_FALSE(popup->GetExpanded());
}

TEST_F(EventFixture, BubbleShowsTheValueAboveTheKnob)
{
  g.AttachBubbleControl();
  IBubbleControl* bubble = g.GetBubbleControl();
  auto* knob = new TestKnob(log, IRECT(50, 40, 90, 80), 0);
  knob->SetActionFunction(ShowBubbleVerticalActionFuncSTD);
  g.AttachControl(knob);
  knob->SetValue(0.25);

  g.OnMouseDown(Point(60, 60));
  g.OnMouseDrag(Point(60, 50, IMouseMod(true), 0.f, -16.f));
  // 0.25 + 16 / 40 / 4 = 0.35, shown with its label; the 42 x 14 text is widened to the 50 x 20 minimum,
  // then margins: 80 x 40 centred above the knob.
  EXPECT_STREQ(bubble->GetString(), "0.35 dB");
  EXPECT_EQ(bubble->GetState(), IBubbleControl::kFadingIn);
  EXPECT_FALSE(bubble->IsHidden());
  EXPECT_EQ(bubble->GetArrowSide(), IBubbleControl::kBottom);
  EXPECT_EQ(bubble->GetBubbleBounds(), IRECT(30, 0, 110, 40));
  g.OnMouseUp(Point(60, 50));

  // Near the top edge it goes below the control, arrow on top.
  auto* high = new TestKnob(log, IRECT(120, 5, 160, 45), 3);
  high->SetActionFunction(ShowBubbleVerticalActionFuncSTD);
  g.AttachControl(high);
  high->OnMouseWheel(0, 0, IMouseMod(), 1.f);
  EXPECT_EQ(bubble->GetArrowSide(), IBubbleControl::kTop);
  EXPECT_EQ(bubble->GetBubbleBounds(), IRECT(100, 45, 180, 85)); // moved down by the knob's and its own height
  EXPECT_EQ(bubble->GetRECT(), bubble->GetBubbleBounds());       // another caller: only the new place
  EXPECT_EQ(bubble->GetCaller(), high);
}

TEST_F(EventFixture, DelegateOpensClosesAndRemembersTheEditor)
{
  TestDelegate owner(log);
  owner.SetSizeConstraints(100, 1000, 50, 1000);
  TestGraphics* made = nullptr;
  owner.mMakeGraphicsFunc = [&]() -> IGraphics*
  {
    made = new TestGraphics(owner, log, 200, 100);
    return made;
  };

  IByteChunk state;
  const int w = 300, h = 150;
  const float s = 1.5f;
  state.Put(&w);
  state.Put(&h);
  state.Put(&s);
  owner.UnserializeEditorState(state, 0);

  log.clear();
  EXPECT_EQ(owner.OpenWindow(nullptr), made);
  EXPECT_EQ(owner.GetUI(), made);
  EXPECT_EQ(made->Width(), 300);
  EXPECT_FLOAT_EQ(made->GetDrawScale(), 1.5f);
  EXPECT_EQ(log.back(), "open window");

  made->Resize(320, 160, 1.25f);
  IByteChunk saved;
  owner.SerializeEditorState(saved);
  int sw = 0, sh = 0;
  float ss = 0.f;
  saved.Get(&ss, saved.Get(&sh, saved.Get(&sw, 0)));
  EXPECT_EQ(sw, 320);
  EXPECT_EQ(sh, 160);
  EXPECT_FLOAT_EQ(ss, 1.25f);

  // Keys: the mouse position of the open editor.
  made->AttachControl(new TestControl(log, "bg", made->GetBounds()));
  auto* c = new TestControl(log, "c", IRECT(0, 0, 50, 50));
  c->mHandlesKeys = true;
  made->AttachControl(c);
  made->mMouseX = 10;
  made->mMouseY = 10;
  EXPECT_TRUE(owner.OnKeyDown(IKeyPress("a", 65)));

  owner.CloseWindow();
  EXPECT_EQ(owner.GetUI(), nullptr);
  EXPECT_EQ(owner.GetLastWidth(), 320);
  EXPECT_EQ(owner.GetLastHeight(), 160);
  EXPECT_FLOAT_EQ(owner.GetLastScale(), 1.25f);
}
