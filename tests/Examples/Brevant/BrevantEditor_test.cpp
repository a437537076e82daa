// Brevant's editor artwork and panel, drawn headless from the built bundle's resources.

#include "Brevant.h"
#include "IBitmapControls.h"
#include "IGraphicsLinux.h"
#include "IPlugPaths.h"
#include "IPlugVST3View.h"
#include "VST3TestHost.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace iplug;
using namespace iplug::igraphics;

namespace
{
std::string Resource(const char* name) { return std::string(BREVANT_BUNDLE_DIR) + "/Contents/Resources/" + name; }

struct Art
{
  const char* name;
  int frames, fw, fh;
};
constexpr Art kArt[] = {
    {"BG.png", 1, 997, 612}, {"KNOB.png", 61, 60, 60}, {"BUTTON.png", 2, 50, 24}, {"NEEDLE.png", 81, 148, 96}};

class Painter : public IControl
{
public:
  explicit Painter(const IRECT& r) : IControl(r) {}
  void Draw(IGraphics& g) override
  {
    if (mFunc)
      mFunc(g);
  }
  std::function<void(IGraphics&)> mFunc;
};
} // namespace

TEST(BrevantArtwork, EveryBitmapHasItsFramesAtOneAndTwoTimesAndEachFrameStaysInItsPlace)
{
  IGEditorDelegate delegate(0);
  for (int scale : {1, 2})
  {
    IGraphicsLinux g(delegate, 1000, 620, 60, 1.f);
    ASSERT_TRUE(g.OpenHeadless(static_cast<float>(scale))) << g.GetSurfaceError();
    auto* pPainter = new Painter(g.GetBounds());
    g.AttachControl(pPainter);
    for (const Art& art : kArt)
    {
      const IBitmap bitmap = g.LoadBitmap(Resource(art.name).c_str(), art.frames);
      ASSERT_TRUE(bitmap.IsValid()) << art.name;
      EXPECT_EQ(bitmap.GetScale(), scale) << art.name << ": the variant for the screen";
      EXPECT_EQ(bitmap.FW(), art.fw) << art.name;
      EXPECT_EQ(bitmap.FH(), art.fh) << art.name;
      EXPECT_EQ(bitmap.H(), art.fh * art.frames) << art.name;

      // Each frame drawn over magenta at (1, 1): pixels outside its rectangle stay magenta, and neighbouring
      // frames differ (the strip really holds distinct frames).
      std::vector<uint8_t> previous;
      std::vector<int> frames{1};
      for (int f : {2, art.frames / 2 + 1, art.frames})
        if (f > frames.back() && f <= art.frames)
          frames.push_back(f);
      for (int frame : frames)
      {
        pPainter->mFunc = [&](IGraphics& gr)
        {
          gr.FillRect(IColor(255, 255, 0, 255), gr.GetBounds());
          gr.DrawBitmap(bitmap, IRECT(1, 1, 1.f + art.fw, 1.f + art.fh), frame);
        };
        pPainter->SetDirty(false);
        ASSERT_TRUE(g.OnFrameTick());
        std::vector<uint8_t> px;
        int w = 0, h = 0;
        ASSERT_TRUE(g.ReadFramePixels(px, w, h));
        auto at = [&](int x, int y) { return &px[(static_cast<size_t>(y) * w + x) * 4]; };
        const int right = (1 + art.fw) * scale, bottom = (1 + art.fh) * scale;
        for (int y = 0; y < std::min(h, bottom + 2); y++)
          for (int x : {0, right, right + 1})
          {
            if (x >= w)
              continue;
            const uint8_t* p = at(x, y);
            ASSERT_TRUE(p[0] == 255 && p[1] == 0 && p[2] == 255) << art.name << " frame " << frame << " at " << x;
          }
        std::vector<uint8_t> inside;
        for (int y = scale; y < bottom; y++)
          inside.insert(inside.end(), at(scale, y), at(right, y));
        if (!previous.empty())
        {
          EXPECT_NE(inside, previous) << art.name << " frame " << frame;
        }
        previous = std::move(inside);
      }
    }
    g.CloseHeadless();
  }
}

TEST(BrevantEditor, LayoutAttachesThePanelInOrderWithNothingOverlapping)
{
  auto* plug = new Brevant(InstanceInfo());
  SetBundlePath(brevant::kBundleID, BREVANT_BUNDLE_DIR);
  std::unique_ptr<IGraphics> owned(plug->CreateGraphics());
  auto* g = dynamic_cast<IGraphicsLinux*>(owned.get());
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->Width(), 997);
  EXPECT_EQ(g->Height(), 612);
  EXPECT_EQ(g->FPS(), 60);
  ASSERT_TRUE(g->OpenHeadless(1.f)) << g->GetSurfaceError();

  ASSERT_EQ(g->NControls(), 32);
  EXPECT_NE(g->GetCornerResizer(), nullptr);
  EXPECT_EQ(g->NBubbles(), 1);
  const int params[31] = {
      kLowBypass, kMidBypass,   kHighBypass,   kLowSidechain, kMidSidechain, kHighSidechain, kBypass,     kOversampling,
      kLowAttack, kLowRelease,  kLowInput,     kLowOutput,    kLowMix,       kMidAttack,     kMidRelease, kMidInput,
      kMidOutput, kMidMix,      kHighAttack,   kHighRelease,  kHighInput,    kHighOutput,    kHighMix,    kLowXover,
      kHighXover, kGlobalInput, kGlobalOutput, kGlobalMix,    kLowMeter,     kMidMeter,      kHighMeter};
  for (int i = 1; i < 32; i++)
  {
    const IControl* c = g->GetControl(i);
    EXPECT_EQ(c->GetParamIdx(), params[i - 1]) << "control " << i;
    const IRECT r = c->GetRECT();
    EXPECT_GT(r.W(), 0.f);
    EXPECT_TRUE(g->GetBounds().Contains(r)) << "control " << i;
    for (int j = 1; j < i; j++)
      EXPECT_FALSE(r.Intersects(g->GetControl(j)->GetRECT())) << "controls " << j << " and " << i << " overlap";
  }
  EXPECT_TRUE(g->OnFrameTick());
  g->CloseHeadless();
  owned.reset();
  ClearBundlePath(brevant::kBundleID);
  plug->release();
}

TEST(BrevantEditor, ViewAnswersTheHostAboutTypeSizeAndLimits)
{
  vst3test::NamedHost host;
  auto* plug = new Brevant(InstanceInfo());
  plug->initialize(&host);
  EXPECT_EQ(plug->createView("other"), nullptr);
  Steinberg::IPlugView* view = plug->createView(Steinberg::Vst::ViewType::kEditor);
  ASSERT_NE(view, nullptr);

  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11), Steinberg::kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported("NSView"), Steinberg::kResultFalse);
  EXPECT_EQ(view->isPlatformTypeSupported("HWND"), Steinberg::kResultFalse);
  EXPECT_EQ(view->attached(reinterpret_cast<void*>(1), "HWND"), Steinberg::kResultFalse);
  EXPECT_EQ(plug->GetUI(), nullptr) << "a foreign window type opens nothing";

  Steinberg::ViewRect size;
  EXPECT_EQ(view->getSize(&size), Steinberg::kResultTrue);
  EXPECT_EQ(size.getWidth(), 997);
  EXPECT_EQ(size.getHeight(), 612);
  EXPECT_EQ(view->canResize(), Steinberg::kResultFalse);

  Steinberg::ViewRect small(0, 0, 100, 100);
  EXPECT_EQ(view->checkSizeConstraint(&small), Steinberg::kResultTrue);
  EXPECT_EQ(small.right, 498);
  EXPECT_EQ(small.bottom, 306);
  Steinberg::ViewRect large(10, 20, 3000, 2000);
  view->checkSizeConstraint(&large);
  EXPECT_EQ(large.left, 10);
  EXPECT_EQ(large.top, 20);
  EXPECT_EQ(large.right, 2004);
  EXPECT_EQ(large.bottom, 1244);
  Steinberg::ViewRect within(0, 0, 700, 500); // no aspect is imposed
  view->checkSizeConstraint(&within);
  EXPECT_EQ(within.right, 700);
  EXPECT_EQ(within.bottom, 500);

  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scale(view);
  EXPECT_TRUE(scale);

  // The view keeps the plug-in alive: released first, the plug-in still answers through it.
  plug->terminate();
  plug->release();
  EXPECT_EQ(view->getSize(&size), Steinberg::kResultTrue);
  view->release();
}

TEST(BrevantEditor, ViewDrawsHeadlessAndWritesTheFrame)
{
  SetBundlePath(brevant::kBundleID, BREVANT_BUNDLE_DIR);
  vst3test::NamedHost host;
  auto* plug = new Brevant(InstanceInfo());
  plug->initialize(&host);
  Steinberg::IPlugView* view = plug->createView(Steinberg::Vst::ViewType::kEditor);
  ASSERT_NE(view, nullptr);
  Steinberg::FUnknownPtr<IPlugViewHeadless> headless(view);
  ASSERT_TRUE(headless);
  EXPECT_EQ(headless->drawFrame(), Steinberg::kResultFalse) << "not open yet";

  const std::string png = ::testing::TempDir() + "brevant-view-headless.png";
  for (int round = 0; round < 3; round++) // a view opens and closes again and again
  {
    ASSERT_EQ(headless->attachHeadless(2.f), Steinberg::kResultTrue);
    EXPECT_EQ(headless->attachHeadless(2.f), Steinberg::kResultFalse) << "already open";
    ASSERT_NE(plug->GetUI(), nullptr);
    EXPECT_FLOAT_EQ(plug->GetUI()->GetScreenScale(), 2.f);
    EXPECT_EQ(headless->drawFrame(), Steinberg::kResultTrue);
    EXPECT_EQ(headless->drawFrame(), Steinberg::kResultFalse) << "nothing changed, nothing drawn";
    std::remove(png.c_str());
    EXPECT_EQ(headless->writeFramePNG(png.c_str()), Steinberg::kResultTrue);
    EXPECT_GT(std::filesystem::file_size(png), 10000u);
    EXPECT_EQ(view->removed(), Steinberg::kResultOk);
    EXPECT_EQ(plug->GetUI(), nullptr);
  }
  std::remove(png.c_str());
  view->release();
  plug->terminate();
  plug->release();
  ClearBundlePath(brevant::kBundleID);
}

TEST(BrevantArtwork, OnAGPUWithSmallTexturesTheNeedleStripIsSplitAndEveryFrameDrawsTheSamePixels)
{
  // NEEDLE@2x is 15552 pixels tall: beyond an 8192 limit, common on older integrated graphics. Frames that meet at
  // the tiles' seams are drawn on both sides, at the scale of the file and reduced on a 1x screen.
  IGEditorDelegate delegate(0);
  const int frames[] = {1, 2, 20, 21, 22, 23, 42, 43, 64, 80, 81};
  for (int screen : {2, 1})
  {
    IGraphicsLinux whole(delegate, 160, 110, 60, 1.f), split(delegate, 160, 110, 60, 1.f);
    ASSERT_TRUE(whole.OpenHeadless(static_cast<float>(screen))) << whole.GetSurfaceError();
    ASSERT_TRUE(split.OpenHeadless(static_cast<float>(screen))) << split.GetSurfaceError();
    split.LimitTextureSize(4096);
    const IBitmap a = whole.LoadBitmap(Resource("NEEDLE.png").c_str(), 81, false, 2);
    const IBitmap b = split.LoadBitmap(Resource("NEEDLE.png").c_str(), 81, false, 2);
    ASSERT_TRUE(a.IsValid() && b.IsValid());
    auto* pA = new Painter(whole.GetBounds());
    auto* pB = new Painter(split.GetBounds());
    whole.AttachControl(pA);
    split.AttachControl(pB);
    for (int frame : frames)
    {
      for (auto [g, p, bitmap] : {std::tuple{&whole, pA, a}, std::tuple{&split, pB, b}})
      {
        p->mFunc = [frame, bitmap](IGraphics& gr)
        {
          gr.FillRect(IColor(255, 40, 40, 40), gr.GetBounds());
          gr.DrawBitmap(bitmap, IRECT(3, 5, 151, 101), frame);
        };
        p->SetDirty(false);
        ASSERT_TRUE(g->OnFrameTick());
      }
      std::vector<uint8_t> pxA, pxB;
      int w = 0, h = 0;
      ASSERT_TRUE(whole.ReadFramePixels(pxA, w, h));
      ASSERT_TRUE(split.ReadFramePixels(pxB, w, h));
      EXPECT_TRUE(pxA == pxB) << "frame " << frame << " on a " << screen << "x screen";
    }
    whole.CloseHeadless();
    split.CloseHeadless();
  }
}

namespace
{
// Brevant with its editor open headless through the view, as brevant-host screenshot opens it.
struct HeadlessView
{
  HeadlessView()
  {
    SetBundlePath(brevant::kBundleID, BREVANT_BUNDLE_DIR);
    plug = new Brevant(InstanceInfo());
    plug->initialize(&host);
    view = plug->createView(Steinberg::Vst::ViewType::kEditor);
    headless = Steinberg::FUnknownPtr<IPlugViewHeadless>(view);
    scaling = Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport>(view);
  }
  ~HeadlessView()
  {
    view->removed();
    view->release();
    plug->terminate();
    plug->release();
    ClearBundlePath(brevant::kBundleID);
  }
  int CachedBitmaps() const { return dynamic_cast<IGraphicsNanoVG*>(plug->GetUI())->NCachedBitmaps(); }
  Steinberg::ViewRect Size() const
  {
    Steinberg::ViewRect r;
    view->getSize(&r);
    return r;
  }

  vst3test::NamedHost host;
  Brevant* plug = nullptr;
  Steinberg::IPlugView* view = nullptr;
  Steinberg::FUnknownPtr<IPlugViewHeadless> headless;
  Steinberg::FUnknownPtr<Steinberg::IPlugViewContentScaleSupport> scaling;
};
} // namespace

TEST(BrevantEditor, EachBitmapIsDecodedOnceWhateverTheScreenScale)
{
  // Only 1x and 2x files exist: a 2.5 or 3 screen takes the 2x ones, and must find them again in the cache.
  HeadlessView at2;
  ASSERT_EQ(at2.headless->attachHeadless(2.f), Steinberg::kResultTrue);
  ASSERT_EQ(at2.headless->drawFrame(), Steinberg::kResultTrue);
  const int expected = at2.CachedBitmaps();
  EXPECT_LE(expected, 8) << "BG, KNOB, BUTTON and NEEDLE at 1x and 2x at the most";
  for (float screen : {2.5f, 3.f})
  {
    HeadlessView v;
    ASSERT_EQ(v.headless->attachHeadless(screen), Steinberg::kResultTrue);
    ASSERT_EQ(v.headless->drawFrame(), Steinberg::kResultTrue);
    EXPECT_EQ(v.CachedBitmaps(), expected) << "screen " << screen;
    for (int round = 0; round < 3; round++)
      for (float back : {2.5f, 3.f})
      {
        v.scaling->setContentScaleFactor(back);
        v.headless->drawFrame();
      }
    EXPECT_EQ(v.CachedBitmaps(), expected) << "after rescaling from " << screen;
  }
}

TEST(BrevantEditor, ContentScalesAndSizesFromAHostStayWithinWhatADisplayCanShow)
{
  HeadlessView v;
  ASSERT_EQ(v.headless->attachHeadless(1.f), Steinberg::kResultTrue);
  // Far beyond any display: taken as 4, the window stays drawable.
  EXPECT_EQ(v.scaling->setContentScaleFactor(100.f), Steinberg::kResultTrue);
  EXPECT_EQ(v.Size().getWidth(), 997 * 4);
  EXPECT_EQ(v.Size().getHeight(), 612 * 4);
  EXPECT_EQ(v.headless->drawFrame(), Steinberg::kResultTrue);
  // Nearly zero: taken as 0.5, never a 0 x 0 view.
  EXPECT_EQ(v.scaling->setContentScaleFactor(1e-6f), Steinberg::kResultTrue);
  EXPECT_EQ(v.Size().getWidth(), 498);
  EXPECT_EQ(v.Size().getHeight(), 306);
  EXPECT_EQ(v.scaling->setContentScaleFactor(0.f), Steinberg::kResultFalse);
  EXPECT_EQ(v.scaling->setContentScaleFactor(std::nanf("")), Steinberg::kResultFalse);
  EXPECT_EQ(v.Size().getWidth(), 498) << "a refused factor changes nothing";

  // The size limits follow the scale: at 3 the view's own size is allowed, and so is twice it.
  ASSERT_EQ(v.scaling->setContentScaleFactor(3.f), Steinberg::kResultTrue);
  Steinberg::ViewRect own = v.Size();
  EXPECT_EQ(own.getWidth(), 2991);
  Steinberg::ViewRect checked = own;
  v.view->checkSizeConstraint(&checked);
  EXPECT_EQ(checked.getWidth(), 2991);
  EXPECT_EQ(checked.getHeight(), 1836);
  Steinberg::ViewRect huge(0, 0, 100000, 100000), tiny(7, 9, 8, 10);
  v.view->checkSizeConstraint(&huge);
  EXPECT_EQ(huge.getWidth(), 1994 * 3);
  EXPECT_EQ(huge.getHeight(), 1224 * 3);
  v.view->checkSizeConstraint(&tiny);
  EXPECT_EQ(tiny.left, 7);
  EXPECT_EQ(tiny.getWidth(), 498 * 3);
  EXPECT_EQ(tiny.getHeight(), 306 * 3);

  // A GPU that cannot hold a 4x window: the panel is drawn smaller, and the host is offered no larger size.
  dynamic_cast<IGraphicsNanoVG*>(v.plug->GetUI())->LimitTextureSize(2048);
  ASSERT_EQ(v.scaling->setContentScaleFactor(4.f), Steinberg::kResultTrue);
  EXPECT_LE(v.Size().getWidth(), 2048);
  EXPECT_GT(v.Size().getWidth(), 2000);
  EXPECT_EQ(v.headless->drawFrame(), Steinberg::kResultTrue);
  Steinberg::ViewRect wide(0, 0, 9000, 9000);
  v.view->checkSizeConstraint(&wide);
  EXPECT_EQ(wide.getWidth(), 2048);
  dynamic_cast<IGraphicsNanoVG*>(v.plug->GetUI())->LimitTextureSize(0);
  ASSERT_EQ(v.scaling->setContentScaleFactor(3.f), Steinberg::kResultTrue);

  // Rectangles at the ends of the coordinate range: no overflow, and a size that fits after the corner.
  constexpr Steinberg::int32 kMax = std::numeric_limits<Steinberg::int32>::max();
  constexpr Steinberg::int32 kMin = std::numeric_limits<Steinberg::int32>::min();
  Steinberg::ViewRect edge(kMax - 10, kMax - 10, kMax, kMax), all(kMin, kMin, kMax, kMax);
  EXPECT_EQ(v.view->checkSizeConstraint(&edge), Steinberg::kResultTrue);
  EXPECT_EQ(edge.right, kMax);
  EXPECT_EQ(int64_t(edge.right) - edge.left, 498 * 3);
  EXPECT_EQ(v.view->checkSizeConstraint(&all), Steinberg::kResultTrue);
  EXPECT_EQ(all.left, kMin);
  EXPECT_EQ(int64_t(all.right) - all.left, 1994 * 3);
  EXPECT_EQ(int64_t(all.bottom) - all.top, 1224 * 3);
}
