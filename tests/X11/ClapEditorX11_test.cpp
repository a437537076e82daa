// Brevant.clap's editor through the gui extension, in a real X11 window: embedded in a parent window of the test's
// own, ticked only by the host timers the plug-in registered, dragged with xdotool. Runs under xvfb-run.

#include <gtest/gtest.h>

#include "ClapTestHost.h"
#include "X11TestSupport.h"

#include <X11/Xlib.h> // after gtest: its None macro
#include <X11/Xutil.h>

#include <cmath>
#include <set>
#include <memory>
#include <string>

using x11test::Xdo;

namespace
{
constexpr int kOutputKnobX = 629, kOutputKnobY = 552;

class ClapEditorX11 : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(mDisplay, nullptr) << "these tests need an X display (run them under xvfb-run)";
    mParent = XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 2000, 1300, 0, 0, 0);
    XMapWindow(mDisplay, mParent);
    XSync(mDisplay, False);
    std::string error;
    mModule = claptest::Module::Load(BREVANT_CLAP_FILE, error);
    ASSERT_TRUE(mModule) << error;
    mPlug = claptest::Plugin::Create(*mModule, error);
    ASSERT_TRUE(mPlug) << error;
    ASSERT_NE(mPlug->gui, nullptr);
  }

  void TearDown() override
  {
    mPlug.reset();
    mModule.reset();
    if (mDisplay)
    {
      XDestroyWindow(mDisplay, mParent);
      XCloseDisplay(mDisplay);
    }
  }

  void Open(double scale = 1.0)
  {
    const clap_plugin_gui* gui = mPlug->gui;
    const clap_plugin* p = mPlug->p;
    ASSERT_TRUE(gui->is_api_supported(p, CLAP_WINDOW_API_X11, false));
    EXPECT_FALSE(gui->is_api_supported(p, CLAP_WINDOW_API_WAYLAND, false));
    ASSERT_TRUE(gui->create(p, CLAP_WINDOW_API_X11, false));
    ASSERT_TRUE(gui->set_scale(p, scale)); // before the window exists, as hosts do
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(gui->get_size(p, &w, &h));
    EXPECT_EQ(w, 997u);
    EXPECT_EQ(h, 612u);
    clap_window window{};
    window.api = CLAP_WINDOW_API_X11;
    window.x11 = mParent;
    ASSERT_TRUE(gui->set_parent(p, &window));
    EXPECT_FALSE(gui->set_parent(p, &window)) << "one parent per editor";
    ASSERT_TRUE(gui->show(p));
  }

  void Close()
  {
    mPlug->gui->hide(mPlug->p);
    mPlug->gui->destroy(mPlug->p);
  }

  // The editor's window: the parent's one child.
  Window Child()
  {
    XSync(mDisplay, False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    Window child = 0;
    if (XQueryTree(mDisplay, mParent, &root, &parent, &children, &n) && n > 0)
      child = children[n - 1];
    if (children)
      XFree(children);
    return child;
  }

  // The compiled-in artwork is drawn: the panel's bitmaps give many colours, an empty or flat window a few.
  void ExpectPanelDrawn(Window child)
  {
    XImage* image = XGetImage(mDisplay, child, 0, 0, 997, 612, AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    std::set<unsigned long> colours;
    for (int y = 0; y < 612; y += 7)
      for (int x = 0; x < 997; x += 7)
        colours.insert(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    EXPECT_GT(colours.size(), 200u) << "the panel's artwork is drawn";
  }

  Display* mDisplay = nullptr;
  Window mParent = 0;
  std::unique_ptr<claptest::Module> mModule;
  std::unique_ptr<claptest::Plugin> mPlug;
};
} // namespace

TEST_F(ClapEditorX11, OpensInTheParentOnHostTimersFiftyTimesAndGivesTheTimersBack)
{
  const size_t timersBefore = mPlug->host.timers.size();
  for (int i = 0; i < 50; i++)
  {
    SCOPED_TRACE(i);
    Open();
    EXPECT_GT(mPlug->host.timers.size(), timersBefore) << "the frame tick and X events run on host timers";
    mPlug->RunTimers(i % 10 == 0 ? 300 : 30);
    const Window child = Child();
    ASSERT_NE(child, 0u);
    XWindowAttributes attrs{};
    ASSERT_TRUE(XGetWindowAttributes(mDisplay, child, &attrs));
    EXPECT_EQ(attrs.width, 997);
    EXPECT_EQ(attrs.height, 612);
    if (i % 10 == 0)
      ExpectPanelDrawn(child);
    Close();
    EXPECT_EQ(Child(), 0u) << "the editor's window is gone";
    EXPECT_EQ(mPlug->host.timers.size(), timersBefore);
  }
}

TEST_F(ClapEditorX11, AKnobDragReachesTheHostAsGestureBeginValuesAndEnd)
{
  Open();
  mPlug->RunTimers(400);
  mPlug->host.flushRequests = 0;
  Xdo(Child(), "mousemove --window %W " + std::to_string(kOutputKnobX) + " " + std::to_string(kOutputKnobY) +
                   " mousedown 1 mousemove_relative 0 -10 sleep 0.05 mousemove_relative 0 -10 sleep 0.05 "
                   "mousemove_relative 0 -10 mouseup 1");
  mPlug->RunTimers(300);
  EXPECT_GT(mPlug->host.flushRequests, 0) << "the plug-in asks for a flush to hand over its edits";
  mPlug->Flush(); // inactive: the host flushes on the main thread
  const auto& events = mPlug->output.events;
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
  EXPECT_EQ(events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
  const clap_id id = events.front().id;
  double last = -1e300;
  int values = 0;
  for (size_t i = 1; i + 1 < events.size(); i++)
  {
    EXPECT_EQ(events[i].type, CLAP_EVENT_PARAM_VALUE);
    EXPECT_EQ(events[i].id, id);
    EXPECT_GT(events[i].value, last) << "dragging up raises the value";
    last = events[i].value;
    values++;
  }
  EXPECT_GE(values, 1);
  EXPECT_EQ(events.back().id, id);
  EXPECT_DOUBLE_EQ(mPlug->Value(id), last) << "the plug-in holds the value it reported";

  // Active: the edits leave with the next block.
  ASSERT_TRUE(mPlug->Activate(48000.0, 256));
  mPlug->output.events.clear();
  Xdo(Child(), "mousemove --window %W " + std::to_string(kOutputKnobX) + " " + std::to_string(kOutputKnobY) +
                   " mousedown 1 mousemove_relative 0 10 sleep 0.05 mousemove_relative 0 10 mouseup 1");
  mPlug->RunTimers(300);
  std::vector<float> l(256, 0.f), r(256, 0.f), ol(256), orr(256);
  ASSERT_EQ(mPlug->Process<float>(256, {l.data(), r.data()}, {ol.data(), orr.data()}), CLAP_PROCESS_CONTINUE);
  ASSERT_GE(events.size(), 3u);
  EXPECT_EQ(events.front().type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
  EXPECT_EQ(events.back().type, CLAP_EVENT_PARAM_GESTURE_END);
  EXPECT_LT(events[events.size() - 2].value, last) << "dragging down lowers it again";
  Close();
}

TEST_F(ClapEditorX11, TheCornerResizerAsksTheHostForSizesOfThePanelsAspect)
{
  const clap_plugin_gui* gui = mPlug->gui;
  const clap_plugin* p = mPlug->p;
  Open();
  clap_gui_resize_hints hints{};
  ASSERT_TRUE(gui->get_resize_hints(p, &hints));
  EXPECT_TRUE(hints.preserve_aspect_ratio);
  EXPECT_NEAR(static_cast<double>(hints.aspect_ratio_width) / hints.aspect_ratio_height, 997.0 / 612.0, 1e-3);
  uint32_t w = 3000, h = 100;
  ASSERT_TRUE(gui->adjust_size(p, &w, &h));
  EXPECT_EQ(w, 1994u);
  EXPECT_NEAR(static_cast<double>(w) / h, 997.0 / 612.0, 0.01);
  EXPECT_FALSE(gui->set_size(p, 100, 100)) << "below half the size";

  mPlug->RunTimers(400);
  Xdo(Child(), "mousemove --window %W 990 605 mousedown 1 mousemove_relative 100 60 sleep 0.05 "
               "mousemove_relative 100 60 mouseup 1");
  mPlug->RunTimers(300);
  const auto& requests = mPlug->host.resizeRequests;
  ASSERT_FALSE(requests.empty());
  for (const auto& [rw, rh] : requests)
    EXPECT_NEAR(static_cast<double>(rw) / rh, 997.0 / 612.0, 0.01);
  EXPECT_GT(requests.back().first, 997u);
  uint32_t nowW = 0, nowH = 0;
  ASSERT_TRUE(gui->get_size(p, &nowW, &nowH));
  EXPECT_EQ(nowW, requests.back().first) << "an accepted request is the editor's size";
  // The host then sizes its window and the editor to match.
  ASSERT_TRUE(gui->set_size(p, requests.back().first, requests.back().second));
  Close();
}
