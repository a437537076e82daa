// Control base: the value path to the plug-in, knob and switch stepping, flags, animation, prompts.

#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "IPlugParameter.h"

#include <set>
#include <thread>

using namespace gfxtest;

namespace
{
struct ControlFixture : public ::testing::Test
{
  Log log;
  TestDelegate dlg{log};
  TestGraphics g{dlg, log, 200, 200};

  ControlFixture()
  {
    dlg.GetParam(0)->InitDouble("Gain", 0.25, 0.0, 1.0, 0.01);
    dlg.GetParam(1)->InitDouble("Steps", 0.0, 0.0, 4.0, 1.0, "", IParam::kParamStepped);
    dlg.GetParam(2)->InitEnum("Mode", 0, {"A", "B", "C"});
    dlg.GetParam(3)->InitDouble("Free", 0.5, 0.0, 1.0, 0.001);
  }

  /** Drags by dy in steps of step units, returning each distinct value seen. */
  std::vector<double> DragValues(IControl* c, float dy, float step, const IMouseMod& mod = IMouseMod(true))
  {
    std::vector<double> seen;
    const int n = static_cast<int>(std::fabs(dy / step));
    for (int i = 0; i < n; i++)
    {
      c->OnMouseDrag(0, 0, 0, dy > 0 ? step : -step, mod);
      if (seen.empty() || seen.back() != c->GetValue())
        seen.push_back(c->GetValue());
    }
    return seen;
  }
};
} // namespace

TEST_F(ControlFixture, SetDirtySendsClampsAndActs)
{
  int actions = 0;
  auto* c = new TestControl(log, "c", IRECT(0, 0, 10, 10), 0);
  c->SetActionFunction([&](IControl*) { actions++; });
  g.AttachControl(c);

  c->SetValue(1.5);
  log.clear();
  c->SetDirty(true, kNoValIdx); // one value: -1 means value 0
  EXPECT_EQ(c->GetValue(), 1.0);
  EXPECT_EQ(log, (Log{"send 0 1.0000"}));
  EXPECT_EQ(actions, 1);
  EXPECT_DOUBLE_EQ(dlg.GetParam(0)->Value(), 1.0);

  log.clear();
  c->SetValueFromUserInput(1.0); // unchanged: nothing sent, no action
  c->SetDirty(false);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(actions, 1);

  c->SetValueToDefault(); // the double-click path sends the default and acts
  EXPECT_EQ(log, (Log{"send 0 0.2500"}));
  EXPECT_EQ(actions, 2);

  // Several values: each bound one is sent, the unbound one is only clamped.
  auto* multi = new TestControl(log, "m", IRECT(0, 0, 10, 10), {2, -1, 3});
  g.AttachControl(multi);
  multi->SetValue(-1.0, 1);
  multi->SetValue(0.5, 2);
  log.clear();
  multi->SetDirty(true, kNoValIdx);
  EXPECT_EQ(log, (Log{"send 2 0.0000", "send 3 0.5000"}));
  EXPECT_EQ(multi->GetValue(1), 0.0);
  EXPECT_EQ(multi->LinkedToParam(3), 2);
  EXPECT_EQ(multi->LinkedToParam(1), -1);
  EXPECT_EQ(multi->GetValIdxForPos(0, 0), -1);
  EXPECT_THROW(multi->SetParamIdx(1, 3), std::out_of_range);

  auto* unbound = new TestControl(log, "u", IRECT(0, 0, 10, 10), 99);
  g.AttachControl(unbound);
  EXPECT_EQ(unbound->GetParam(), nullptr); // beyond the parameter table
  log.clear();
  unbound->SetValueToDefault();
  EXPECT_TRUE(Filter(log, "send").empty());
}

TEST_F(ControlFixture, KnobDragGearingAndFineControl)
{
  auto* knob = new TestKnob(log, IRECT(0, 0, 100, 100), 3, 4.0);
  g.AttachControl(knob);
  knob->SetValue(0.0);
  knob->OnMouseDown(50, 50, IMouseMod(true));
  // Up by 400 units sweeps the range at gearing 4 (target 100 high); further drags stay at 1.
  DragValues(knob, -200.f, 1.f);
  EXPECT_NEAR(knob->GetValue(), 0.5, 1e-9);
  DragValues(knob, -300.f, 1.f);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);
  DragValues(knob, 100.f, 1.f); // the running value was clamped: coming back moves at once
  EXPECT_NEAR(knob->GetValue(), 0.75, 1e-9);
  knob->OnMouseUp(50, 50, IMouseMod(true));

  knob->SetValue(0.0);
  knob->OnMouseDown(50, 50, IMouseMod(true));
  DragValues(knob, -400.f, 1.f, IMouseMod(true, false, true)); // shift: ten times finer
  EXPECT_NEAR(knob->GetValue(), 0.1, 1e-9);
  DragValues(knob, -3600.f, 4.f, IMouseMod(true, false, false, true)); // control: fine as well
  EXPECT_NEAR(knob->GetValue(), 1.0, 1e-9);
}

TEST_F(ControlFixture, SteppedKnobMovesInWholeStepsBothWays)
{
  auto* knob = new TestKnob(log, IRECT(0, 0, 100, 100), 1, 1.0);
  g.AttachControl(knob);
  knob->SetValue(0.0);
  knob->OnMouseDown(50, 50, IMouseMod(true));
  const std::vector<double> up = DragValues(knob, -100.f, 0.7f);
  EXPECT_EQ(up, (std::vector<double>{0.0, 0.25, 0.5, 0.75, 1.0}));
  const std::vector<double> down = DragValues(knob, 100.f, 0.7f);
  EXPECT_EQ(down, (std::vector<double>{1.0, 0.75, 0.5, 0.25, 0.0}));
  knob->OnMouseUp(50, 50, IMouseMod(true));

  // Wheel: whole steps for a stepped parameter, and no movement for a zero delta.
  knob->SetValue(0.25);
  knob->OnMouseWheel(0, 0, IMouseMod(), 1.f);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5);
  knob->OnMouseWheel(0, 0, IMouseMod(), -3.f);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  knob->OnMouseWheel(0, 0, IMouseMod(), 0.f);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.25);
  knob->SetValue(1.0);
  knob->OnMouseWheel(0, 0, IMouseMod(), 1.f);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);

  // Continuous: 0.01 per unit, 0.001 fine, never out of range.
  auto* free = new TestKnob(log, IRECT(0, 0, 100, 100), 3);
  g.AttachControl(free);
  free->SetValue(0.5);
  free->OnMouseWheel(0, 0, IMouseMod(), 2.f);
  EXPECT_NEAR(free->GetValue(), 0.52, 1e-12);
  free->OnMouseWheel(0, 0, IMouseMod(false, false, true), -1.f);
  EXPECT_NEAR(free->GetValue(), 0.519, 1e-12);
  free->OnMouseWheel(0, 0, IMouseMod(), 100.f);
  EXPECT_DOUBLE_EQ(free->GetValue(), 1.0);
  free->OnMouseWheel(0, 0, IMouseMod(), -300.f);
  EXPECT_DOUBLE_EQ(free->GetValue(), 0.0);
}

TEST_F(ControlFixture, SwitchStates)
{
  auto* twoState = new TestSwitch(IRECT(0, 0, 10, 10), kNoParameter);
  auto* threeState = new TestSwitch(IRECT(0, 0, 10, 10), kNoParameter, 3);
  auto* fromParam = new TestSwitch(IRECT(0, 0, 10, 10), 2); // three enum entries
  auto* sevenState = new TestSwitch(IRECT(0, 0, 10, 10), kNoParameter, 7);
  for (IControl* c : {static_cast<IControl*>(twoState), static_cast<IControl*>(threeState),
                      static_cast<IControl*>(fromParam), static_cast<IControl*>(sevenState)})
    g.AttachControl(c);
  EXPECT_TRUE(twoState->GetMouseDblAsSingleClick());
  EXPECT_EQ(fromParam->GetNumStates(), 3);

  auto clicks = [](ISwitchControlBase* s, int n)
  {
    std::vector<double> seen;
    for (int i = 0; i < n; i++)
    {
      s->OnMouseDown(0, 0, IMouseMod(true));
      s->OnMouseUp(0, 0, IMouseMod(true));
      seen.push_back(s->GetValue());
    }
    return seen;
  };
  EXPECT_EQ(clicks(twoState, 3), (std::vector<double>{1.0, 0.0, 1.0}));
  EXPECT_EQ(clicks(threeState, 4), (std::vector<double>{0.5, 1.0, 0.0, 0.5}));
  EXPECT_EQ(clicks(fromParam, 3), (std::vector<double>{0.5, 1.0, 0.0}));
  // Seven states: all seven positions are visited before wrapping, despite the rounding of sixths.
  const std::vector<double> seven = clicks(sevenState, 7);
  EXPECT_EQ(std::set<double>(seven.begin(), seven.end()).size(), 7u);
  EXPECT_EQ(seven.back(), 0.0);
}

TEST_F(ControlFixture, GeometryAndFlags)
{
  auto* c = new TestControl(log, "c", IRECT(10, 10, 30, 20));
  g.AttachControl(c);
  c->SetTargetRECT(IRECT(12, 12, 28, 18));
  c->SetPosition(-5, 40);
  EXPECT_EQ(c->GetRECT(), IRECT(0, 40, 20, 50));
  EXPECT_EQ(c->GetTargetRECT(), IRECT(2, 42, 18, 48));
  c->SetSize(-1, 5);
  EXPECT_EQ(c->GetRECT(), IRECT(0, 40, 0, 45));
  EXPECT_EQ(c->GetTargetRECT(), IRECT(0, 40, 0, 45));
  EXPECT_EQ(c->mResizes, 3); // attach, position, size

  c->SetDisabled(true);
  EXPECT_FLOAT_EQ(c->GetBlend().mWeight, 0.25f);
  c->SetDisabled(false);
  EXPECT_FLOAT_EQ(c->GetBlend().mWeight, 1.f);

  // Context-menu target of the host: the interface is answered and the call lands in OnContextSelection.
  void* obj = nullptr;
  EXPECT_EQ(c->queryInterface(Steinberg::Vst::IContextMenuTarget::iid, &obj), Steinberg::kResultOk);
  EXPECT_EQ(obj, static_cast<Steinberg::Vst::IContextMenuTarget*>(c));
  c->release();
  log.clear();
  EXPECT_EQ(c->executeMenuItem(3), Steinberg::kResultOk);
  EXPECT_EQ(log, Log{"context selection c 3"});
}

TEST_F(ControlFixture, AnimationRunsToItsEnd)
{
  auto* c = new TestControl(log, "c", IRECT(0, 0, 10, 10));
  g.AttachControl(c);
  EXPECT_EQ(c->GetAnimationProgress(), 0.0);
  int ends = 0;
  c->SetAnimationEndActionFunction([&](IControl*) { ends++; });
  DefaultClickActionFunc(c);
  EXPECT_EQ(c->GetAnimationDuration(), 100.0);
  c->SetClean();
  EXPECT_TRUE(c->IsDirty());
  c->Animate();
  EXPECT_EQ(ends, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  c->Animate();
  EXPECT_EQ(ends, 1);
  EXPECT_FALSE(c->GetAnimationFunction());
  EXPECT_TRUE(c->IsDirty()); // one last redraw
}

TEST_F(ControlFixture, PromptsNeedEnablingAndPopupSelectionsAreParameterValues)
{
  auto* c = new TestControl(log, "c", IRECT(20, 20, 60, 40), 2);
  g.AttachControl(c);
  log.clear();
  c->PromptUserInput(0);
  c->OnMouseDown(30, 30, IMouseMod(false, true)); // right button: the default prompt
  EXPECT_TRUE(Filter(log, "menu").empty());       // prompts start disabled

  IPopupMenu menu;
  menu.AddItem("A");
  menu.AddItem("B");
  menu.AddItem("C");
  menu.SetChosenItemIdx(2);
  c->OnPopupMenuSelection(&menu, 0);
  EXPECT_EQ(c->GetValue(), 0.0);

  c->DisablePrompt(false);
  log.clear();
  c->OnPopupMenuSelection(&menu, 0);
  EXPECT_EQ(c->GetValue(), 1.0);
  EXPECT_EQ(Filter(log, "send"), Log{"send 2 1.0000"});
  c->OnPopupMenuSelection(nullptr, 0);
  c->OnPopupMenuSelection(&menu, -1);
  menu.SetChosenItemIdx(7); // beyond the range: clamped to the last entry
  c->OnPopupMenuSelection(&menu, 0);
  EXPECT_EQ(c->GetValue(), 1.0);

  // Enabled: the prompt opens a menu over the whole control (the parameter has display texts).
  log.clear();
  c->PromptUserInput(0);
  EXPECT_EQ(Filter(log, "menu"), Log{"menu 'Mode' A|B|*C (20,20,60,40)"});

  // Several values: the item index is a value of the prompted value's parameter (Mode, 0..2), not of the
  // first one (Steps, 0..4).
  auto* pair = new TestControl(log, "pair", IRECT(0, 0, 10, 10), {1, 2});
  pair->DisablePrompt(false);
  g.AttachControl(pair);
  menu.SetChosenItemIdx(1);
  pair->OnPopupMenuSelection(&menu, 1);
  EXPECT_DOUBLE_EQ(pair->GetValue(1), 0.5);
}
