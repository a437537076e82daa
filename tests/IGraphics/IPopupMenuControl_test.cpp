// The in-editor popup menu: its state sequence on a hand-driven clock, clicks and keys, submenus, and the
// completion contract with the graphics context, including the framework's menu when the host has none.

#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "IPlugParameter.h"
#include "IPopupMenuControl.h"

using namespace gfxtest;

namespace
{
struct MenuFixture : public ::testing::Test
{
  FakeClock clock;
  Log log;
  TestDelegate dlg{log};
  TestGraphics g{dlg, log, 400, 300};
  TestControl* c = nullptr;
  IPopupMenuControl* popup = nullptr;

  MenuFixture()
  {
    dlg.GetParam(2)->InitEnum("Mode", 1, {"Soft", "Hard", "Off"});
    g.AttachControl(new TestControl(log, "bg", g.GetBounds()));
    c = new TestControl(log, "c", IRECT(10, 10, 70, 70), 2);
    c->DisablePrompt(false);
    g.AttachControl(c);
    g.AttachPopupMenuControl();
    popup = g.GetPopupMenuControl();
    dlg.AttachUI(&g);
  }
  ~MenuFixture() override { dlg.DetachUI(); }

  /** Lets time pass and runs the frame's animations. */
  void Step(double ms)
  {
    clock.Advance(ms);
    IRECTList rects;
    g.IsDirty(rects);
  }
  /** Runs every closing phase out. */
  void Settle()
  {
    for (int i = 0; i < 4; i++)
      Step(200);
  }
  void Open()
  {
    g.OnMouseDown(Point(20, 20));
    c->PromptUserInput(0);
    Step(IPopupMenuControl::kOpenMs + 1);
    ASSERT_TRUE(popup->GetExpanded());
  }
  void ClickCell(int level, int cell)
  {
    const IRECT r = popup->GetPanel(level)->mCells[static_cast<size_t>(cell)];
    g.OnMouseDown(Point(r.MW(), r.MH()));
    g.OnMouseUp(Point(r.MW(), r.MH()));
  }
};
} // namespace

TEST_F(MenuFixture, StateSequenceOpensExpandsAndClosesInPhases)
{
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kCollapsed);
  EXPECT_TRUE(popup->IsHidden());
  c->PromptUserInput(0);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kExpanding);
  // While opening, clicks still go to the editor's controls.
  log.clear();
  g.OnMouseDown(Point(300, 200));
  EXPECT_EQ(Filter(log, "down"), Log{"down bg"});
  g.OnMouseUp(Point(300, 200));
  Step(IPopupMenuControl::kOpenMs / 2);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kExpanding);
  Step(IPopupMenuControl::kOpenMs);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kExpanded);
  // The panel opens below the control, with the parameter's name as its title and the current value checked.
  const IRECT panel = popup->GetPanel(0)->mRECT;
  EXPECT_GT(panel.T, 70.f);
  EXPECT_FLOAT_EQ(panel.L, 10.f);
  EXPECT_EQ(popup->GetTargetRECT(), g.GetBounds());

  ClickCell(0, 2);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kIdling);
  EXPECT_EQ(g.GetPromptMenu().GetChosenItemIdx(), 2);
  EXPECT_DOUBLE_EQ(dlg.GetParam(2)->Value(), 2.0);
  Step(IPopupMenuControl::kChosenMs + 1);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kCollapsing);
  Step(IPopupMenuControl::kFadeMs + 1);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kSubMenuAppearing);
  EXPECT_TRUE(popup->GetTargetRECT().Empty());
  EXPECT_FALSE(popup->GetRECT().Empty()); // still ours, so the frame repaints what the menu covered
  Step(IPopupMenuControl::kSettleMs + 1);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kCollapsed);
  EXPECT_EQ(popup->NPanels(), 0);
  EXPECT_TRUE(popup->GetRECT().Empty());
  EXPECT_TRUE(popup->IsHidden());

  // A menu at a point (no anchor area) opens through the other opening phase.
  g.CreatePopupMenu(*c, g.GetPromptMenu(), IRECT(390, 290, 390, 290), 0);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kFlickering);
  Step(IPopupMenuControl::kOpenMs + 1);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kExpanded);
  EXPECT_TRUE(g.GetBounds().Contains(popup->GetPanel(0)->mRECT)); // kept inside the editor
}

TEST_F(MenuFixture, ClicksSkipDisabledItemsAndOutsideChoosesNothing)
{
  Open();
  g.GetPromptMenu().GetItem(0)->SetEnabled(false);
  log.clear();
  ClickCell(0, 0);
  EXPECT_TRUE(popup->GetExpanded());
  EXPECT_TRUE(Filter(log, "popup").empty());

  // A click beside the panel closes the menu; the control is told with no menu, and the gesture of the click
  // that opened the menu ends.
  g.OnMouseDown(Point(390, 290));
  EXPECT_EQ(Filter(log, "popup"), Log{"popup selection c none"});
  EXPECT_EQ(Filter(log, "end"), Log{"end 2"});
  EXPECT_EQ(g.GetPromptMenu().GetChosenItemIdx(), -1);
  EXPECT_DOUBLE_EQ(dlg.GetParam(2)->Value(), 1.0);
  g.OnMouseUp(Point(390, 290));
}

TEST_F(MenuFixture, KeysMoveChooseAndEscape)
{
  Open();
  g.GetPromptMenu().GetItem(1)->SetEnabled(false);
  g.OnKeyDown(0, 0, IKeyPress("", kVK_DOWN)); // Soft
  g.OnKeyDown(0, 0, IKeyPress("", kVK_DOWN)); // Hard is disabled: Off
  EXPECT_EQ(popup->GetPanel(0)->mHighlighted, 2);
  log.clear();
  EXPECT_TRUE(g.OnKeyDown(0, 0, IKeyPress("", kVK_RETURN)));
  EXPECT_EQ(Filter(log, "popup"), Log{"popup selection c 2"});

  Settle();
  Open();
  log.clear();
  EXPECT_TRUE(g.OnKeyDown(0, 0, IKeyPress("", kVK_ESCAPE)));
  EXPECT_EQ(Filter(log, "popup"), Log{"popup selection c none"});
}

TEST_F(MenuFixture, SubmenusOpenOnHoverAndReportTheirOwnChoice)
{
  IPopupMenu menu;
  auto* sub = new IPopupMenu;
  sub->AddItem("Deep A");
  sub->AddItem("Deep B");
  menu.AddItem("Top");
  menu.AddSeparator();
  menu.AddItem("More", sub);
  IPopupMenu* reported = nullptr;
  menu.SetFunction([&](IPopupMenu* pMenu) { reported = pMenu; });
  g.CreatePopupMenu(*c, menu, c->GetRECT(), 0);
  Step(IPopupMenuControl::kOpenMs + 1);

  const IRECT more = popup->GetCellBounds(2);
  g.OnMouseOver(more.MW(), more.MH(), IMouseMod());
  ASSERT_EQ(popup->NPanels(), 2);
  EXPECT_GE(popup->GetPanel(1)->mRECT.L, popup->GetPanel(0)->mRECT.R);
  // The separator is not a choice either.
  const IRECT separator = popup->GetCellBounds(1);
  g.OnMouseDown(Point(separator.MW(), separator.MH()));
  EXPECT_TRUE(popup->GetExpanded());

  log.clear();
  ClickCell(1, 1);
  EXPECT_EQ(reported, sub); // the root's function hears of the submenu's choice
  EXPECT_EQ(sub->GetChosenItemIdx(), 1);
  EXPECT_EQ(menu.GetChosenItemIdx(), -1);
  EXPECT_EQ(Filter(log, "popup"), Log{"popup selection c 1"});
}

TEST_F(MenuFixture, ASecondRequestWhileClosingIsShownNotLost)
{
  Open();
  ClickCell(0, 0);
  ASSERT_EQ(popup->GetState(), IPopupMenuControl::kIdling);
  log.clear();
  g.OnMouseDown(Point(20, 20));
  c->PromptUserInput(0);
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kExpanding);
  Step(IPopupMenuControl::kOpenMs + 1);
  ClickCell(0, 1);
  EXPECT_EQ(Filter(log, "popup"), Log{"popup selection c 1"});
  // The second click's gesture is closed once, by the second menu.
  EXPECT_EQ(Filter(log, "begin"), Log{"begin 2"});
  EXPECT_EQ(Filter(log, "end"), Log{"end 2"});
}

TEST_F(MenuFixture, WithoutAHostMenuTheControlsItemsShowInTheFrameworksMenu)
{
  c->mContextItems = {"Learn", "Reset"};
  dlg.mHostHasContextMenu = false;
  log.clear();
  g.OnMouseDown(Point(30, 40, IMouseMod(false, true)));
  EXPECT_EQ(Filter(log, "down"), Log{}); // the control never sees the right click
  Step(IPopupMenuControl::kOpenMs + 1);
  ASSERT_TRUE(popup->GetExpanded());
  EXPECT_FLOAT_EQ(popup->GetPanel(0)->mRECT.L, 30.f);
  ClickCell(0, 1);
  // A right click opens no gesture, so none is closed.
  EXPECT_EQ(Filter(log, "context selection"), Log{"context selection c 1"});
  EXPECT_TRUE(Filter(log, "begin").empty());
  EXPECT_TRUE(Filter(log, "end").empty());

  // With no items of its own there is nothing to show.
  Settle();
  c->mContextItems.clear();
  g.OnMouseDown(Point(30, 40, IMouseMod(false, true)));
  EXPECT_EQ(popup->GetState(), IPopupMenuControl::kCollapsed);
}
