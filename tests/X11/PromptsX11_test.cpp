// Values typed and chosen in a real window: a framework plug-in whose boxes open the editor's own text entry and
// menu (this platform's text field and menu), driven with xdotool under Xvfb. What the user enters must reach the
// host's component handler as one begin/perform/end edit.

#include <gtest/gtest.h>

#include "HostEditor.h"
#include "HostModule.h"
#include "HostedPlugin.h"
#include "X11TestSupport.h"

#include <X11/Xlib.h> // after gtest: its None macro

#include <cstdlib>
#include <memory>
#include <string>

using namespace brevant::host;
using namespace Steinberg;
using namespace Steinberg::Vst;
using x11test::Xdo;

namespace
{
// Centres of the two boxes of the test plug-in's 320 x 140 panel.
constexpr int kLevelBoxX = 80, kLevelBoxY = 40;
constexpr int kModeBoxX = 240, kModeBoxY = 40;

class PromptsX11 : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(mDisplay, nullptr) << "these tests need an X display (run them under xvfb-run)";
    std::string error;
    mModule = HostModule::Load(PROMPT_BUNDLE_DIR, error);
    ASSERT_TRUE(mModule) << error;
    mPlug = HostedPlugin::Create(mModule, error);
    ASSERT_TRUE(mPlug) << error;
  }
  void TearDown() override
  {
    mPlug.reset();
    if (mDisplay)
      XCloseDisplay(mDisplay);
  }

  /** Opens the editor and forgets the edits opening it may have sent. */
  void Open(HostEditor& editor)
  {
    std::string error;
    ASSERT_TRUE(editor.Open(error)) << error;
    editor.Run(400);
    mPlug->Handler().Clear();
  }

  /** Clicks at (x, y) of the editor and lets it run for ms. */
  static void ClickAt(HostEditor& editor, int x, int y, double ms)
  {
    Xdo(editor.ChildWindow(), "mousemove --window %W " + std::to_string(x) + " " + std::to_string(y) + " click 1");
    editor.Run(ms);
  }

  /** The edits of one parameter ending in begin, perform, end; the value performed. (The click that opens a
      text entry may send a gesture of its own before.) */
  double OneGesture(ParamID id)
  {
    auto edits = mPlug->Handler().Edits();
    if (edits.size() > 3)
      edits.erase(edits.begin(), edits.end() - 3);
    EXPECT_EQ(edits.size(), 3u);
    if (edits.size() < 3)
      return -1.0;
    EXPECT_EQ(edits.front().kind, ComponentHandler::EEdit::kBegin);
    EXPECT_EQ(edits.back().kind, ComponentHandler::EEdit::kEnd);
    double value = -1.0;
    for (const auto& e : edits)
    {
      EXPECT_EQ(e.id, id);
      if (e.kind == ComponentHandler::EEdit::kPerform)
        value = e.value;
    }
    return value;
  }

  Display* mDisplay = nullptr;
  std::shared_ptr<HostModule> mModule;
  std::unique_ptr<HostedPlugin> mPlug;
};
} // namespace

TEST_F(PromptsX11, ATypedValueReachesTheHostAsOneEdit)
{
  const auto level = mPlug->FindParam("Level");
  ASSERT_TRUE(level);
  HostEditor editor(*mPlug);
  Open(editor);

  // The box opens the entry with its value selected: the first key replaces it, Return applies.
  ClickAt(editor, kLevelBoxX, kLevelBoxY, 200);
  Xdo(editor.ChildWindow(), "type --delay 30 '42.5'");
  Xdo(editor.ChildWindow(), "key Return");
  editor.Run(300);
  EXPECT_NEAR(OneGesture(level->id), mPlug->PlainToNormalized(level->id, 42.5), 1e-9);
  EXPECT_NEAR(mPlug->NormalizedToPlain(level->id, mPlug->GetParamNormalized(level->id)), 42.5, 1e-9);

  // Escape leaves the value as it was: no value is performed.
  mPlug->Handler().Clear();
  ClickAt(editor, kLevelBoxX, kLevelBoxY, 200);
  Xdo(editor.ChildWindow(), "type --delay 30 '7' key Escape");
  editor.Run(300);
  for (const auto& e : mPlug->Handler().Edits())
    EXPECT_NE(e.kind, ComponentHandler::EEdit::kPerform) << e.value;
  EXPECT_NEAR(mPlug->NormalizedToPlain(level->id, mPlug->GetParamNormalized(level->id)), 42.5, 1e-9);
}

TEST_F(PromptsX11, AChosenMenuItemReachesTheHostAsOneEdit)
{
  const auto mode = mPlug->FindParam("Mode");
  ASSERT_TRUE(mode);
  HostEditor editor(*mPlug);
  Open(editor);

  // The menu of the list's texts opens with no item highlighted: the third step down is "Slow".
  ClickAt(editor, kModeBoxX, kModeBoxY, 300);
  Xdo(editor.ChildWindow(), "key Down key Down key Down key Return");
  editor.Run(400);
  EXPECT_NEAR(OneGesture(mode->id), mPlug->PlainToNormalized(mode->id, 2.0), 1e-9);
  EXPECT_EQ(mPlug->ParamValueText(mode->id, mPlug->GetParamNormalized(mode->id)), "Slow");
}
