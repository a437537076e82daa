// Hosts that create several views of one instance: only the view the editor is open in acts on it. The host here
// offers its run loop on the view's frame only, as the VST3 documentation has it, so an editor cut off its frame
// stops drawing. Runs under xvfb-run; no display is a failure.

#include <gtest/gtest.h>

#include "HostEditor.h"
#include "HostModule.h"
#include "HostedPlugin.h"
#include "X11TestSupport.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

#include <X11/Xlib.h> // after gtest: its None macro

#include <memory>
#include <string>
#include <vector>

using namespace brevant::host;
using namespace Steinberg;
using x11test::Xdo;

namespace
{
class EditorViewsX11 : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(mDisplay, nullptr) << "these tests need an X display (run them under xvfb-run)";
    std::string error;
    mModule = HostModule::Load(BREVANT_BUNDLE_DIR, error);
    ASSERT_TRUE(mModule) << error;
    HostModule::Host().OfferRunLoopOnContext(false);
    mPlug = HostedPlugin::Create(mModule, error);
    ASSERT_TRUE(mPlug) << error;
    mEditor = std::make_unique<HostEditor>(*mPlug);
    ASSERT_TRUE(mEditor->Open(error)) << error;
    mEditor->Run(400);
  }

  void TearDown() override
  {
    mEditor.reset();
    mPlug.reset();
    HostModule::Host().OfferRunLoopOnContext(true);
    if (mDisplay)
      XCloseDisplay(mDisplay);
  }

  // The open editor still draws on its frame's run loop: host automation moves a knob on screen.
  void ExpectEditorLive(HostEditor& editor, double value)
  {
    const auto param = mPlug->FindParam("Input");
    ASSERT_TRUE(param);
    std::vector<uint8_t> before, after;
    int w = 0, h = 0;
    editor.Run(100);
    ASSERT_TRUE(editor.Screenshot(before, w, h));
    ASSERT_EQ(mPlug->Controller()->setParamNormalized(param->id, value), kResultOk);
    editor.Run(300);
    ASSERT_TRUE(editor.Screenshot(after, w, h));
    EXPECT_NE(before, after) << "the knob did not move: the editor stopped drawing";
  }

  // Its frame still resizes the host window: the corner resizer's requests reach the host.
  void ExpectResizeReachesHost(HostEditor& editor)
  {
    const size_t before = editor.ResizeRequests().size();
    Xdo(editor.ChildWindow(), "mousemove --window %W 990 605 mousedown 1 mousemove_relative 60 36 sleep 0.05 "
                              "mousemove_relative 60 36 mouseup 1");
    editor.Run(400);
    EXPECT_GT(editor.ResizeRequests().size(), before) << "resizeView no longer reaches the host";
  }

  Display* mDisplay = nullptr;
  std::shared_ptr<HostModule> mModule;
  std::unique_ptr<HostedPlugin> mPlug;
  std::unique_ptr<HostEditor> mEditor;
};
} // namespace

TEST_F(EditorViewsX11, AViewCreatedToAskTheSizeLeavesTheOpenEditorOnItsFrame)
{
  IPlugView* probe = mPlug->Controller()->createView(Vst::ViewType::kEditor);
  ASSERT_NE(probe, nullptr);
  ViewRect size;
  EXPECT_EQ(probe->getSize(&size), kResultTrue);
  EXPECT_EQ(size.getWidth(), 997);
  // A scale or a size given to the idle view is its own: the open editor keeps its size.
  FUnknownPtr<IPlugViewContentScaleSupport> scaling(probe);
  ASSERT_TRUE(scaling);
  scaling->setContentScaleFactor(2.f);
  ViewRect other(0, 0, 600, 400);
  probe->onSize(&other);
  probe->release();
  mEditor->Run(200);
  EXPECT_TRUE(mEditor->ResizeRequests().empty());
  ExpectEditorLive(*mEditor, 0.9);
  ExpectResizeReachesHost(*mEditor);
}

TEST_F(EditorViewsX11, ASecondViewIsRefusedWhileTheFirstIsOpenAndWorksOnceItIsRemoved)
{
  HostEditor second(*mPlug);
  std::string error;
  EXPECT_FALSE(second.Open(error, 0.0, "second", 1200, 0)) << "one editor per instance";
  // The refused view's removal and release leave the first one's editor where it is.
  ExpectEditorLive(*mEditor, 0.8);
  ExpectResizeReachesHost(*mEditor);

  mEditor->Close();
  ASSERT_TRUE(second.Open(error, 0.0, "second", 1200, 0)) << error;
  second.Run(400);
  ExpectEditorLive(second, 0.3);
  second.Close();
}

TEST_F(EditorViewsX11, AViewNeverAttachedClosesNothingWhenRemoved)
{
  IPlugView* idle = mPlug->Controller()->createView(Vst::ViewType::kEditor);
  ASSERT_NE(idle, nullptr);
  EXPECT_EQ(idle->removed(), kResultFalse);
  idle->release();
  ExpectEditorLive(*mEditor, 0.7);
  // And the open editor closes normally afterwards.
  mEditor->Close();
  EXPECT_FALSE(mPlug->Controller() == nullptr);
}
