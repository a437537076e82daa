// Brevant's editor in a real X11 window, hosted in-process the way a Linux DAW hosts it (HostEditor: frame, run
// loop, window), clicked and dragged with xdotool. Runs under xvfb-run; no display is a failure.

#include <gtest/gtest.h>

#include "HostEditor.h"
#include "HostModule.h"
#include "HostedPlugin.h"
#include "X11TestSupport.h"

#include <X11/Xlib.h> // after gtest: its None macro

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace brevant::host;
using namespace Steinberg;
using namespace Steinberg::Vst;
using x11test::Xdo;

namespace
{
// Centres of controls in the 997 x 612 panel.
constexpr int kInputKnobX = 354, kInputKnobY = 552;
constexpr int kOutputKnobX = 629, kOutputKnobY = 552;
constexpr int kOversamplingX = 433, kOversamplingY = 550;
const int kInputKnobRect[4] = {324, 522, 384, 582}; // left, top, right, bottom

class EditorX11 : public ::testing::Test
{
protected:
  void SetUp() override
  {
    // The host's own connection, open throughout as a DAW's is.
    mDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(mDisplay, nullptr) << "these tests need an X display (run them under xvfb-run)";
    std::string error;
    mModule = HostModule::Load(BREVANT_BUNDLE_DIR, error);
    ASSERT_TRUE(mModule) << error;
    mPlug = HostedPlugin::Create(mModule, error);
    ASSERT_TRUE(mPlug) << error;
  }

  void OpenEditor(HostEditor& editor)
  {
    std::string error;
    ASSERT_TRUE(editor.Open(error)) << error;
    editor.Run(400);
  }

  void StartAudio()
  {
    ASSERT_TRUE(mPlug->SetBusArrangements({SpeakerArr::kStereo}, {SpeakerArr::kStereo}));
    ASSERT_TRUE(mPlug->Setup(48000.0, 512, kSample32, kRealtime));
    ASSERT_TRUE(mPlug->Start());
  }

  // Output RMS of a few blocks of a quiet sine (the edits performed so far reach the processor first).
  double ProcessRms(int blocks = 8)
  {
    std::vector<float> l(512), r(512), ol(512), orr(512);
    std::vector<float*> in{l.data(), r.data()}, out{ol.data(), orr.data()};
    double sum = 0.0;
    for (int b = 0; b < blocks; ++b)
    {
      for (int i = 0; i < 512; ++i)
        l[static_cast<size_t>(i)] = r[static_cast<size_t>(i)] = static_cast<float>(0.1 * std::sin(i * 0.05));
      EXPECT_TRUE(mPlug->Process(512, in, out));
      if (b >= blocks / 2)
        for (float s : ol)
          sum += static_cast<double>(s) * s;
    }
    return std::sqrt(sum / (512.0 * (blocks - blocks / 2)));
  }

  void TearDown() override
  {
    mPlug.reset();
    if (mDisplay)
      XCloseDisplay(mDisplay);
  }

  Display* mDisplay = nullptr;
  std::shared_ptr<HostModule> mModule;
  std::unique_ptr<HostedPlugin> mPlug;
};

bool Differs(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int x, int y)
{
  const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4;
  return a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
}
} // namespace

TEST_F(EditorX11, OpensDrawsAndClosesFiftyTimesWithoutAnXError)
{
  testing::internal::CaptureStderr();
  HostEditor editor(*mPlug);
  for (int i = 0; i < 50; ++i)
  {
    std::string error;
    ASSERT_TRUE(editor.Open(error)) << "round " << i << ": " << error;
    ASSERT_NE(editor.ChildWindow(), 0u);
    editor.Run(i % 10 == 0 ? 400 : 40);
    if (i % 10 == 0)
    {
      std::vector<uint8_t> px;
      int w = 0, h = 0;
      ASSERT_TRUE(editor.Screenshot(px, w, h));
      EXPECT_EQ(w, 997);
      EXPECT_EQ(h, 612);
      // The panel is drawn: the window is not the host's black background.
      EXPECT_TRUE(px[(300 * 997 + 500) * 4] != 0 || px[(300 * 997 + 500) * 4 + 1] != 0) << "round " << i;
    }
    editor.Close();
  }
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_EQ(log.find("X error"), std::string::npos) << log;
}

TEST_F(EditorX11, TwoInstancesShowTheirEditorsAtOnce)
{
  std::string error;
  auto other = HostedPlugin::Create(mModule, error);
  ASSERT_TRUE(other) << error;
  HostEditor a(*mPlug), b(*other);
  ASSERT_TRUE(a.Open(error)) << error;
  ASSERT_TRUE(b.Open(error, 0.0, "second", 1200, 0)) << error; // side by side: both fully visible
  a.Run(400);
  for (HostEditor* e : {&a, &b})
  {
    std::vector<uint8_t> px;
    int w = 0, h = 0;
    ASSERT_TRUE(e->Screenshot(px, w, h));
    EXPECT_TRUE(px[(300 * 997 + 500) * 4] != 0 || px[(300 * 997 + 500) * 4 + 1] != 0);
  }
  a.Close(); // the other keeps drawing
  mPlug.reset();
  b.Run(100);
  b.Close();
}

TEST_F(EditorX11, DraggingAKnobSendsAGestureTheSoundFollowsAndADoubleClickResetsIt)
{
  StartAudio();
  const auto param = mPlug->FindParam("Output");
  ASSERT_TRUE(param);
  const double before = ProcessRms();
  HostEditor editor(*mPlug);
  OpenEditor(editor);
  mPlug->Handler().Clear();
  Xdo(editor.ChildWindow(), "mousemove --window %W " + std::to_string(kOutputKnobX) + " " +
                                std::to_string(kOutputKnobY) +
                                " mousedown 1 mousemove_relative 0 -10 sleep 0.05 "
                                "mousemove_relative 0 -10 sleep 0.05 mousemove_relative 0 -10 mouseup 1");
  editor.Run(300);
  const auto edits = mPlug->Handler().Edits();
  ASSERT_GE(edits.size(), 3u);
  EXPECT_EQ(edits.front().kind, ComponentHandler::EEdit::kBegin);
  EXPECT_EQ(edits.back().kind, ComponentHandler::EEdit::kEnd);
  double last = param->defaultNormalized;
  int performs = 0;
  for (const auto& e : edits)
  {
    EXPECT_EQ(e.id, param->id);
    if (e.kind == ComponentHandler::EEdit::kPerform)
    {
      EXPECT_GT(e.value, last) << "dragging up raises the value";
      last = e.value;
      performs++;
    }
  }
  EXPECT_GE(performs, 1);
  const double after = ProcessRms();
  EXPECT_GT(std::abs(after - before), before * 0.02) << "the processor follows the edit to " << last;

  mPlug->Handler().Clear();
  Xdo(editor.ChildWindow(), "mousemove --window %W " + std::to_string(kOutputKnobX) + " " +
                                std::to_string(kOutputKnobY) + " click --repeat 2 --delay 80 1");
  editor.Run(300);
  EXPECT_NEAR(mPlug->GetParamNormalized(param->id), param->defaultNormalized, 1e-9);
  EXPECT_NEAR(ProcessRms(), before, before * 0.01);
}

TEST_F(EditorX11, AKnobFollowsThePointersTravelWhetherItMovesAbsolutelyOrRelatively)
{
  // Tablets, touch screens, remote desktops and virtual machines move the pointer to absolute positions, which a
  // warp cannot move; a mouse moves it relatively. The same travel must give the same value.
  const auto param = mPlug->FindParam("Output");
  ASSERT_TRUE(param);
  HostEditor editor(*mPlug);
  OpenEditor(editor);
  const std::string press =
      "mousemove --window %W " + std::to_string(kOutputKnobX) + " " + std::to_string(kOutputKnobY) + " mousedown 1 ";
  auto drag = [&](const std::string& moves)
  {
    mPlug->Controller()->setParamNormalized(param->id, param->defaultNormalized);
    // Presses at one spot closer than the double-click time would reset the knob instead.
    editor.Run(500);
    x11test::XdoLive(editor.ChildWindow(), press + moves + "mouseup 1", [&] { editor.Run(10); });
    editor.Run(200);
    return mPlug->GetParamNormalized(param->id);
  };
  std::string absolute, relative;
  for (int i = 1; i <= 20; i++)
  {
    absolute += "mousemove --window %W " + std::to_string(kOutputKnobX) + " " + std::to_string(kOutputKnobY - i) +
                " sleep 0.03 ";
    relative += "mousemove_relative 0 -1 sleep 0.03 ";
  }
  const double byRelative = drag(relative);
  const double byAbsolute = drag(absolute);
  const double perPixel = (byRelative - param->defaultNormalized) / 20.0;
  ASSERT_GT(perPixel, 0.0) << "dragging up raises the value";
  EXPECT_NEAR(byAbsolute, byRelative, perPixel * 1.01)
      << "20 px of absolute moves went as far as " << (byAbsolute - param->defaultNormalized) / perPixel << " px";

  // A fast drag, its events batched however the server and the run loop happen to: always the same value.
  std::string fast;
  for (int i = 0; i < 10; i++)
    fast += "mousemove_relative 0 -5 ";
  const double first = drag(fast);
  EXPECT_NEAR(first, param->defaultNormalized + 50 * perPixel, perPixel * 1.01);
  for (int round = 0; round < 3; round++)
    EXPECT_NEAR(drag(fast), first, perPixel * 0.01) << "round " << round;
}

TEST_F(EditorX11, ClickingOversamplingChangesTheLatencyTheHostReads)
{
  StartAudio();
  ProcessRms(2);
  uint32 latency = 0;
  mPlug->TakeLatencyChange(latency);
  HostEditor editor(*mPlug);
  OpenEditor(editor);
  Xdo(editor.ChildWindow(),
      "mousemove --window %W " + std::to_string(kOversamplingX) + " " + std::to_string(kOversamplingY) + " click 1");
  editor.Run(100);
  ProcessRms(2);
  editor.Run(200, [&] { ProcessRms(1); });
  ASSERT_TRUE(mPlug->TakeLatencyChange(latency));
  EXPECT_EQ(latency, 64u);
}

TEST_F(EditorX11, TheCornerResizerAsksTheHostForSizesOfTheSameAspectWithinTheScaleLimits)
{
  HostEditor editor(*mPlug);
  OpenEditor(editor);
  Xdo(editor.ChildWindow(), "mousemove --window %W 990 605 mousedown 1 mousemove_relative 100 60 sleep 0.05 "
                            "mousemove_relative 100 60 mouseup 1");
  editor.Run(300);
  ASSERT_FALSE(editor.ResizeRequests().empty());
  for (const auto& r : editor.ResizeRequests())
    EXPECT_NEAR(static_cast<double>(r.getWidth()) / r.getHeight(), 997.0 / 612.0, 0.01);
  EXPECT_GT(editor.Width(), 997);
  EXPECT_EQ(editor.Width(), editor.ResizeRequests().back().getWidth());

  // Far beyond the largest scale: clamped at twice the size.
  Xdo(editor.ChildWindow(), "mousemove --window %W " + std::to_string(editor.Width() - 6) + " " +
                                std::to_string(editor.Height() - 6) +
                                " mousedown 1 mousemove_relative 1000 800 sleep 0.05 mousemove_relative 500 300 "
                                "mouseup 1");
  editor.Run(400);
  const auto& last = editor.ResizeRequests().back();
  EXPECT_LE(last.getWidth(), 1994);
  EXPECT_LE(last.getHeight(), 1224);
  EXPECT_GE(last.getWidth(), 1990);
}

TEST_F(EditorX11, HostAutomationMovesOnlyThatKnobOnScreen)
{
  const auto param = mPlug->FindParam("Input");
  ASSERT_TRUE(param);
  HostEditor editor(*mPlug);
  OpenEditor(editor);
  std::vector<uint8_t> a, b;
  int w = 0, h = 0;
  ASSERT_TRUE(editor.Screenshot(a, w, h));
  // The host mirrors automation to the controller on its UI thread.
  ASSERT_EQ(mPlug->Controller()->setParamNormalized(param->id, 0.95), kResultOk);
  editor.Run(200);
  ASSERT_TRUE(editor.Screenshot(b, w, h));
  int changed = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (Differs(a, b, w, x, y))
      {
        changed++;
        EXPECT_TRUE(x >= kInputKnobRect[0] && x < kInputKnobRect[2] && y >= kInputKnobRect[1] && y < kInputKnobRect[3])
            << "pixel " << x << "," << y << " changed outside the knob";
      }
  EXPECT_GT(changed, 50);
}

TEST_F(EditorX11, KeysReachTheEditorAndWhatItLeavesGoesToTheHost)
{
  HostEditor editor(*mPlug);
  OpenEditor(editor);
  // A click gives the editor the keyboard focus; an empty spot of the panel handles no key, so each is passed on.
  Xdo(editor.ChildWindow(), "mousemove --window %W 60 300 click 1 key a key Escape");
  editor.Run(300);
  EXPECT_EQ(editor.KeysPassedOn(), 2);
}

TEST_F(EditorX11, CheckSizeConstraintClampsEachSideToTheEditorLimits)
{
  IPlugView* view = mPlug->Controller()->createView(ViewType::kEditor);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(view->attached(reinterpret_cast<void*>(1), kPlatformTypeHWND), kResultFalse);
  ViewRect small(0, 0, 100, 100);
  EXPECT_EQ(view->checkSizeConstraint(&small), kResultTrue);
  EXPECT_EQ(small.right, 498);
  EXPECT_EQ(small.bottom, 306);
  ViewRect large(10, 20, 3000, 2000);
  view->checkSizeConstraint(&large);
  EXPECT_EQ(large.left, 10);
  EXPECT_EQ(large.right, 2004);
  EXPECT_EQ(large.bottom, 1244);
  ViewRect inside(0, 0, 800, 600);
  view->checkSizeConstraint(&inside);
  EXPECT_EQ(inside.right, 800);
  EXPECT_EQ(inside.bottom, 600);
  view->release();
}
