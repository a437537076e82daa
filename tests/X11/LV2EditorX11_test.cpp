// Brevant.lv2's editor as a small LV2 host runs it: the module loaded from the bundle, the UI instantiated in a
// top-level window of the test's own (ui:parent), driven by nothing but idle calls, every value in through port_event
// and every edit out through write_function, ui:touch and ui:resize. Dragged with xdotool; runs under xvfb-run.

#include <gtest/gtest.h>

#include "X11TestSupport.h"

#include "lv2/ui/ui.h"
#include "lv2/urid/urid.h"

#include <X11/Xlib.h> // after gtest: its None macro
#include <X11/Xutil.h>

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <set>
#include <string>
#include <thread>
#include <vector>

using x11test::XdoLive;

namespace
{
constexpr const char* kStereoURI = "https://quillmere.example/brevant";
constexpr const char* kMonoURI = "https://quillmere.example/brevant#mono";
constexpr int kPanelW = 997, kPanelH = 612;

// Ports are the parameters' indices.
constexpr uint32_t kLowInputPort = 2, kGlobalOutputPort = 18, kLowMeterPort = 20;
// Where their controls sit in the 997 x 612 panel: left, top, width, height.
constexpr int kLowInputKnob[4] = {134, 316, 60, 60};
constexpr int kGlobalOutputKnobX = 629, kGlobalOutputKnobY = 552; // its centre
constexpr int kNeedles[3][4] = {{143, 25, 148, 96}, {418, 25, 148, 96}, {695, 25, 148, 96}};

/** What the UI told the host, in the order it told it. */
struct HostCall
{
  enum Kind
  {
    kWrite,
    kTouchBegin,
    kTouchEnd
  } kind;
  uint32_t port;
  float value;
};

class LV2EditorX11 : public ::testing::Test
{
protected:
  void SetUp() override
  {
    mDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(mDisplay, nullptr) << "these tests need an X display (run them under xvfb-run)";
    mParent = XCreateSimpleWindow(mDisplay, DefaultRootWindow(mDisplay), 0, 0, 400, 300, 0, 0, 0);
    XMapWindow(mDisplay, mParent);
    XSync(mDisplay, False);
    const std::string so = std::string(BREVANT_LV2_BUNDLE_DIR) + "/Brevant.so";
    mModule = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(mModule, nullptr) << dlerror();
    auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(mModule, "lv2ui_descriptor"));
    ASSERT_NE(entry, nullptr) << "the module exports lv2ui_descriptor";
    mDesc = entry(0);
    ASSERT_NE(mDesc, nullptr);
    EXPECT_EQ(entry(1), nullptr) << "one editor for both variants";
  }

  void TearDown() override
  {
    if (mUI)
      Close();
    if (mModule)
      dlclose(mModule);
    if (mDisplay)
    {
      XDestroyWindow(mDisplay, mParent);
      XCloseDisplay(mDisplay);
    }
  }

  // --- the host's features
  static LV2_URID Map(LV2_URID_Map_Handle h, const char* uri)
  {
    auto& uris = static_cast<LV2EditorX11*>(h)->mURIs;
    for (size_t i = 0; i < uris.size(); i++)
      if (uris[i] == uri)
        return static_cast<LV2_URID>(i + 1);
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
  }
  static void Write(LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer)
  {
    auto* self = static_cast<LV2EditorX11*>(c);
    // Control ports only: a float, format 0.
    EXPECT_EQ(format, 0u);
    EXPECT_EQ(size, sizeof(float));
    if (format == 0 && size == sizeof(float) && buffer)
      self->mCalls.push_back({HostCall::kWrite, port, *static_cast<const float*>(buffer)});
  }
  static void Touch(LV2UI_Feature_Handle h, uint32_t port, bool grabbed)
  {
    static_cast<LV2EditorX11*>(h)->mCalls.push_back({grabbed ? HostCall::kTouchBegin : HostCall::kTouchEnd, port, 0.f});
  }
  static int Resize(LV2UI_Feature_Handle h, int w, int hgt)
  {
    auto* self = static_cast<LV2EditorX11*>(h);
    self->mResizes.emplace_back(w, hgt);
    if (w <= 0 || hgt <= 0)
      return 1;
    XResizeWindow(self->mDisplay, self->mParent, static_cast<unsigned>(w), static_cast<unsigned>(hgt));
    XFlush(self->mDisplay);
    return 0;
  }

  LV2UI_Handle Instantiate(const char* uri, bool withParent = true)
  {
    mMap = {this, Map};
    mResize = {this, Resize};
    mTouch = {this, Touch};
    const LV2_Feature map{LV2_URID__map, &mMap};
    const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(mParent)};
    const LV2_Feature resize{LV2_UI__resize, &mResize};
    const LV2_Feature touch{LV2_UI__touch, &mTouch};
    const LV2_Feature* withAll[] = {&map, &parent, &resize, &touch, nullptr};
    const LV2_Feature* noParent[] = {&map, &resize, &touch, nullptr};
    const std::string bundle = std::string(BREVANT_LV2_BUNDLE_DIR) + "/";
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle ui = mDesc->instantiate(mDesc, uri, bundle.c_str(), Write, this, &widget,
                                         withParent ? withAll : noParent);
    if (ui)
    {
      EXPECT_NE(widget, nullptr) << "an X11 UI hands over its window";
    }
    return ui;
  }

  void Open(const char* uri = kStereoURI)
  {
    mUI = Instantiate(uri);
    ASSERT_NE(mUI, nullptr);
    mIdle = static_cast<const LV2UI_Idle_Interface*>(mDesc->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(mIdle, nullptr);
  }

  void Close()
  {
    mDesc->cleanup(mUI);
    mUI = nullptr;
    mIdle = nullptr;
  }

  void PumpOnce()
  {
    EXPECT_EQ(mIdle->idle(mUI), 0) << "the UI stays open";
    while (XPending(mDisplay))
    {
      XEvent e;
      XNextEvent(mDisplay, &e);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(12));
  }

  void Pump(int ms)
  {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do
      PumpOnce();
    while (std::chrono::steady_clock::now() < end);
  }

  void PortEvent(uint32_t port, float value) { mDesc->port_event(mUI, port, sizeof(float), 0, &value); }

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

  std::vector<unsigned long> Pixels(const int (&rect)[4])
  {
    std::vector<unsigned long> pixels;
    XImage* image = XGetImage(mDisplay, Child(), rect[0], rect[1], static_cast<unsigned>(rect[2]),
                              static_cast<unsigned>(rect[3]), AllPlanes, ZPixmap);
    EXPECT_NE(image, nullptr);
    if (!image)
      return pixels;
    for (int y = 0; y < rect[3]; y++)
      for (int x = 0; x < rect[2]; x++)
        pixels.push_back(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return pixels;
  }

  static size_t Differing(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b)
  {
    size_t n = a.size() == b.size() ? 0 : std::max(a.size(), b.size());
    for (size_t i = 0; i < std::min(a.size(), b.size()); i++)
      n += a[i] != b[i];
    return n;
  }

  Display* mDisplay = nullptr;
  Window mParent = 0;
  void* mModule = nullptr;
  const LV2UI_Descriptor* mDesc = nullptr;
  LV2UI_Handle mUI = nullptr;
  const LV2UI_Idle_Interface* mIdle = nullptr;
  LV2_URID_Map mMap{};
  LV2UI_Resize mResize{};
  LV2UI_Touch mTouch{};
  std::vector<std::string> mURIs;
  std::vector<HostCall> mCalls;
  std::vector<std::pair<int, int>> mResizes;
};
} // namespace

TEST_F(LV2EditorX11, OpensInTheParentOnIdleCallsFiftyTimesForBothVariants)
{
  EXPECT_EQ(Instantiate("https://quillmere.example/other"), nullptr) << "another plug-in's URI";
  EXPECT_EQ(Instantiate(kStereoURI, false), nullptr) << "no ui:parent, no window to open in";
  for (int i = 0; i < 50; i++)
  {
    SCOPED_TRACE(i);
    mResizes.clear();
    Open(i % 2 ? kMonoURI : kStereoURI);
    ASSERT_FALSE(mResizes.empty()) << "the UI asks for its size";
    EXPECT_EQ(mResizes.back(), std::make_pair(kPanelW, kPanelH));
    Pump(i % 10 == 0 ? 300 : 30);
    const Window child = Child();
    ASSERT_NE(child, 0u);
    XWindowAttributes attrs{};
    ASSERT_TRUE(XGetWindowAttributes(mDisplay, child, &attrs));
    EXPECT_EQ(attrs.width, kPanelW);
    EXPECT_EQ(attrs.height, kPanelH);
    if (i % 10 == 0)
    {
      // The artwork is drawn: the panel's bitmaps give many colours, an empty or flat window a few.
      const int whole[4] = {0, 0, kPanelW, kPanelH};
      const std::vector<unsigned long> pixels = Pixels(whole);
      std::set<unsigned long> colours;
      for (size_t p = 0; p < pixels.size(); p += 7)
        colours.insert(pixels[p]);
      EXPECT_GT(colours.size(), 200u);
    }
    Close();
    EXPECT_EQ(Child(), 0u) << "the editor's window is gone";
  }
  EXPECT_TRUE(mCalls.empty()) << "opening and closing edits nothing";
}

TEST_F(LV2EditorX11, AKnobDragWritesRisingValuesToItsPortBetweenTouchBeginAndEnd)
{
  Open();
  Pump(400);
  mCalls.clear();
  const std::string at = std::to_string(kGlobalOutputKnobX) + " " + std::to_string(kGlobalOutputKnobY);
  XdoLive(Child(), "mousemove --window %W " + at +
                       " mousedown 1 mousemove_relative 0 -10 sleep 0.05 mousemove_relative 0 -10 sleep 0.05 "
                       "mousemove_relative 0 -10 mouseup 1",
          [this] { PumpOnce(); });
  Pump(200);

  ASSERT_GE(mCalls.size(), 3u);
  EXPECT_EQ(mCalls.front().kind, HostCall::kTouchBegin);
  EXPECT_EQ(mCalls.back().kind, HostCall::kTouchEnd);
  float last = -20.f; // the range's bottom; the knob starts at 0 dB
  int writes = 0;
  for (const HostCall& c : mCalls)
  {
    EXPECT_EQ(c.port, kGlobalOutputPort) << "the port is the dragged knob's parameter";
    if (c.kind != HostCall::kWrite)
      continue;
    EXPECT_GT(c.value, last) << "dragging up raises the value";
    EXPECT_LE(c.value, 20.f) << "plain units, inside the range";
    last = c.value;
    writes++;
  }
  EXPECT_GE(writes, 2);
  EXPECT_GT(last, 0.f);
  for (size_t i = 1; i + 1 < mCalls.size(); i++)
    EXPECT_EQ(mCalls[i].kind, HostCall::kWrite) << "one gesture: begin, values, end";

  // Hosts echo what was written back through port_event: that is no edit of the UI's own.
  const size_t before = mCalls.size();
  PortEvent(kGlobalOutputPort, last);
  Pump(100);
  EXPECT_EQ(mCalls.size(), before);
}

TEST_F(LV2EditorX11, PortEventsMoveTheNeedleAndTheKnobWithoutEchoingThemBack)
{
  Open();
  Pump(400);
  std::vector<unsigned long> needles[3];
  for (int m = 0; m < 3; m++)
    needles[m] = Pixels(kNeedles[m]);
  const std::vector<unsigned long> knob = Pixels(kLowInputKnob);

  PortEvent(kLowMeterPort, 0.3f); // 1 is no gain reduction
  Pump(200);
  EXPECT_GT(Differing(needles[0], Pixels(kNeedles[0])), 100u) << "the low band's needle moves";
  EXPECT_EQ(Differing(needles[1], Pixels(kNeedles[1])), 0u) << "the mid band's does not";
  EXPECT_EQ(Differing(needles[2], Pixels(kNeedles[2])), 0u) << "the high band's does not";
  PortEvent(kLowMeterPort, 1.f);
  Pump(200);
  EXPECT_EQ(Differing(needles[0], Pixels(kNeedles[0])), 0u) << "back at rest";

  PortEvent(kLowInputPort, 30.f); // dB
  Pump(200);
  EXPECT_GT(Differing(knob, Pixels(kLowInputKnob)), 100u) << "the Low Input knob turns";
  // Values the UI cannot hold are refused, not shown.
  const std::vector<unsigned long> turned = Pixels(kLowInputKnob);
  PortEvent(kLowInputPort, NAN);
  const double wide = 10.0;
  mDesc->port_event(mUI, kLowInputPort, sizeof(wide), 0, &wide); // not a float
  PortEvent(400, 1.f);
  Pump(100);
  EXPECT_EQ(Differing(turned, Pixels(kLowInputKnob)), 0u);
  EXPECT_TRUE(mCalls.empty()) << "values from the host are not edits";
}

TEST_F(LV2EditorX11, TheCornerResizerAsksUiResizeForBiggerSizesOfThePanelsAspect)
{
  Open();
  Pump(400);
  mResizes.clear();
  XdoLive(Child(), "mousemove --window %W 990 605 mousedown 1 mousemove_relative 100 60 sleep 0.05 "
                   "mousemove_relative 100 60 mouseup 1",
          [this] { PumpOnce(); });
  Pump(300);
  ASSERT_FALSE(mResizes.empty()) << "the resize reaches the host";
  for (const auto& [w, h] : mResizes)
    EXPECT_NEAR(static_cast<double>(w) / h, static_cast<double>(kPanelW) / kPanelH, 0.01);
  EXPECT_GT(mResizes.back().first, kPanelW + 100);
  EXPECT_GT(mResizes.back().second, kPanelH + 60);
  XWindowAttributes attrs{};
  ASSERT_TRUE(XGetWindowAttributes(mDisplay, Child(), &attrs));
  EXPECT_EQ(std::make_pair(attrs.width, attrs.height), mResizes.back()) << "the editor's window took that size";
  EXPECT_TRUE(mCalls.empty()) << "resizing edits no parameter";
}
