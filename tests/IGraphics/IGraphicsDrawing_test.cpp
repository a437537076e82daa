// The graphics context's control list, overlays, dirty collection and region drawing.

#include <gtest/gtest.h>

#include "GraphicsTestSupport.h"
#include "IBitmapControls.h"
#include "IBubbleControl.h"
#include "ICornerResizerControl.h"
#include "IFPSDisplayControl.h"

#include <cstdio>
#include <fstream>

using namespace gfxtest;

namespace
{
class LoggingResizer : public ICornerResizerControl
{
public:
  LoggingResizer(Log& log, const IRECT& bounds) : ICornerResizerControl(bounds, 20.f), mLog(log) {}
  void Draw(IGraphics&) override { mLog.push_back("draw resizer"); }

private:
  Log& mLog;
};

struct DrawFixture : public ::testing::Test
{
  Log log;
  TestDelegate dlg{log};
  TestGraphics g{dlg, log, 200, 100};

  /** One frame as the platform view runs it; returns what was drawn. */
  Log Frame()
  {
    log.clear();
    IRECTList rects;
    if (g.IsDirty(rects))
    {
      g.SetAllControlsClean();
      g.Draw(rects);
    }
    return log;
  }

  /** Area each control was drawn over in one frame, by name. */
  static float DrawnArea(const Log& frame, const std::string& name)
  {
    float area = 0.f;
    for (const std::string& entry : Filter(frame, "draw " + name + " "))
    {
      float l, t, r, b;
      std::sscanf(entry.c_str() + name.size() + 6, "(%f,%f,%f,%f)", &l, &t, &r, &b);
      area += (r - l) * (b - t);
    }
    return area;
  }
};
} // namespace

TEST_F(DrawFixture, RegionsDrawOverlappingControlsInOrderClipped)
{
  g.AttachControl(new TestControl(log, "bg", IRECT(0, 0, 200, 100)));
  IControl* a = g.AttachControl(new TestControl(log, "a", IRECT(10, 10, 50, 50)));
  IControl* b = g.AttachControl(new TestControl(log, "b", IRECT(40, 40, 80, 80)));
  g.AttachControl(new TestControl(log, "c", IRECT(150, 10, 190, 50)));
  Frame();

  a->SetDirty(false);
  EXPECT_EQ(Frame(),
            (Log{"begin frame", "draw bg (9,9,51,51)", "draw a (9,9,51,51)", "draw b (39,39,51,51)", "end frame"}));

  // Two dirty regions overlapping: every control is drawn over its own pixels once, never twice.
  a->SetDirty(false);
  b->SetDirty(false);
  const Log frame = Frame();
  EXPECT_FLOAT_EQ(DrawnArea(frame, "a"), 42 * 42);
  EXPECT_FLOAT_EQ(DrawnArea(frame, "b"), 42 * 42);
  EXPECT_FLOAT_EQ(DrawnArea(frame, "bg"), 42 * 42 * 2 - 12 * 12);
  EXPECT_TRUE(Filter(frame, "draw c").empty());

  // Nothing dirty: no frame at all.
  EXPECT_TRUE(Frame().empty());
  IRECTList none;
  g.Draw(none);
  EXPECT_TRUE(log.empty());
}

TEST_F(DrawFixture, HiddenControlsOverlaysAndStrictDrawing)
{
  g.AttachCornerResizer(new LoggingResizer(log, g.GetBounds()), EUIResizerMode::Scale, false);
  IControl* bg = g.AttachControl(new TestControl(log, "bg", IRECT(0, 0, 200, 100)));
  IControl* a = g.AttachControl(new TestControl(log, "a", IRECT(170, 70, 200, 100)));
  bg->Hide(true);
  a->Hide(true);

  // The hidden background is still drawn; overlays come after the list whatever their attach order.
  EXPECT_EQ(Frame(), (Log{"begin frame", "draw bg (-1,-1,201,101)", "draw resizer", "end frame"}));

  a->Hide(false);
  g.SetStrictDrawing(true);
  IControl* c = g.AttachControl(new TestControl(log, "c", IRECT(10, 10, 20, 20)));
  Frame();
  c->SetDirty(false);
  a->SetDirty(false);
  // Strict: one region, the aligned union of both.
  EXPECT_EQ(Frame(), (Log{"begin frame", "draw bg (9,9,201,101)", "draw a (169,69,201,101)", "draw c (9,9,21,21)",
                          "draw resizer", "end frame"}));
}

TEST_F(DrawFixture, DirtyCollectionFollowsAnimations)
{
  IControl* a = g.AttachControl(new TestControl(log, "a", IRECT(10, 10, 20, 20)));
  IRECTList rects;
  EXPECT_TRUE(g.IsDirty(rects)); // new controls start dirty
  ASSERT_EQ(rects.Size(), 1);
  EXPECT_EQ(rects.Get(0), IRECT(9.25f, 9.25f, 20.75f, 20.75f));
  g.SetAllControlsClean();

  int ticks = 0;
  g.SetDisplayTickFunc([&] { ticks++; });
  a->SetAnimation([](IControl*) {}, 1000);
  IRECTList again;
  EXPECT_TRUE(g.IsDirty(again)); // an animating control is redrawn every frame
  g.SetAllControlsClean();
  EXPECT_EQ(ticks, 1);

  a->SetAnimation(DefaultAnimationFunc, 0); // over at once: the next poll ends it
  int ended = 0;
  a->SetAnimationEndActionFunction([&](IControl*) { ended++; });
  IRECTList last;
  EXPECT_TRUE(g.IsDirty(last)); // ending marks it dirty one last time
  g.SetAllControlsClean();
  EXPECT_EQ(ended, 1);
  IRECTList none;
  EXPECT_FALSE(g.IsDirty(none));
}

TEST_F(DrawFixture, AttachmentTagsAndOverlayOrder)
{
  TestControl* a = new TestControl(log, "a", IRECT(0, 0, 10, 10), 1);
  EXPECT_EQ(g.AttachControl(a, 7, "grp"), a);
  EXPECT_EQ(a->GetUI(), &g);
  EXPECT_EQ(a->GetDelegate(), &dlg);
  EXPECT_EQ(a->mRescales, 1);
  TestControl b(log, "b", IRECT(0, 0, 10, 10));
  EXPECT_EQ(g.AttachControl(&b, 7), nullptr); // tag taken: nothing attached, the caller keeps it
  EXPECT_EQ(g.NControls(), 1);
  EXPECT_EQ(g.GetControlWithTag(7), a);
  EXPECT_EQ(g.GetControlWithTag(8), nullptr);

  int groupCount = 0;
  g.ForControlInGroup("grp", [&](IControl*) { groupCount++; });
  g.ForControlInGroup("", [&](IControl*) { groupCount += 10; });
  EXPECT_EQ(groupCount, 1);

  // A second resizer is deleted, the first kept; the frame-time display sits before it in the visiting order.
  g.AttachCornerResizer(EUIResizerMode::Size, true);
  ICornerResizerControl* first = g.GetCornerResizer();
  g.AttachCornerResizer(new ICornerResizerControl(g.GetBounds(), 10.f), EUIResizerMode::Scale, false);
  EXPECT_EQ(g.GetCornerResizer(), first);
  EXPECT_EQ(g.GetResizerMode(), EUIResizerMode::Size);
  EXPECT_EQ(first->GetRECT(), IRECT(180, 80, 200, 100));
  g.AttachBubbleControl();
  g.ShowFPSDisplay(true);
  std::vector<IControl*> order;
  g.ForAllControlsFunc([&](IControl* c) { order.push_back(c); });
  ASSERT_EQ(order.size(), 4u);
  EXPECT_EQ(order[0], a);
  EXPECT_EQ(order[1], g.GetFPSDisplayControl());
  EXPECT_EQ(order[2], first);
  EXPECT_EQ(order[3], g.GetBubbleControl());
  EXPECT_EQ(g.GetFPSDisplayControl()->GetRECT(), IRECT(10, 10, 210, 60));

  // Each frame feeds the display one frame time.
  Frame();
  Frame();
  EXPECT_EQ(g.GetFPSDisplayControl()->NSamples(), 2);
  g.ShowFPSDisplay(false);
  EXPECT_EQ(g.GetFPSDisplayControl(), nullptr);

  g.RemoveAllControls();
  EXPECT_EQ(g.NControls(), 0);
  EXPECT_EQ(g.GetControlWithTag(7), nullptr);
  EXPECT_EQ(g.GetCornerResizer(), nullptr);
  EXPECT_EQ(g.NBubbles(), 0);
}

TEST_F(DrawFixture, BackgroundBitmapFramesAndRescaling)
{
  const std::string dir = ::testing::TempDir();
  const std::string bgPath = dir + "gfx_bg_test.png";
  const std::string stripPath = dir + "gfx_strip_test.png";
  std::ofstream(bgPath) << "x";
  std::ofstream(stripPath) << "x";
  std::ofstream(dir + "gfx_bg_test.svg") << "x";

  g.AttachControl(new TestControl(log, "first", IRECT(0, 0, 10, 10)));
  g.AttachBackground(bgPath.c_str());
  ASSERT_EQ(g.NControls(), 2);
  auto* bg = dynamic_cast<IBitmapControl*>(g.GetControl(0));
  ASSERT_NE(bg, nullptr);
  EXPECT_EQ(bg->GetRECT(), IRECT(0, 0, 100, 50)); // the test backend makes 100 x 50 images
  EXPECT_EQ(bg->GetBitmap().GetScale(), 1);

  // A 5-frame vertical strip: frame for value v is int(4v + 0.5) + 1, centred on the control.
  IBitmap strip = g.LoadBitmap(stripPath.c_str(), 5, false);
  auto* meter = new IBitmapControl(20, 20, strip, 2);
  g.AttachControl(meter);
  Frame();
  meter->SetValue(0.6);
  meter->SetDirty(false);
  EXPECT_EQ(Filter(Frame(), "bitmap " + stripPath), (Log{"bitmap " + stripPath + " (20,20,120,30) src 0,20"}));
  EXPECT_EQ(IBitmapBase::FrameForValue(61, 0.99), 60);
  EXPECT_EQ(IBitmapBase::FrameForValue(81, 1.0), 81);
  EXPECT_EQ(IBitmapBase::FrameForValue(1, 0.7), 1);

  // A 2x screen reloads every bitmap at 2x; only the 1x file exists, so a 2x copy is rendered.
  g.SetScreenScale(2.f);
  EXPECT_EQ(bg->GetBitmap().GetScale(), 2);
  EXPECT_EQ(bg->GetBitmap().W(), 100);
  int found = 0;
  EXPECT_NE(g.SearchBitmapInCache(bgPath.c_str(), 2, found), nullptr);
  EXPECT_EQ(found, 2);

  // A missing file or an unsupported extension gives an invalid bitmap.
  EXPECT_FALSE(g.LoadBitmap((dir + "missing.png").c_str()).IsValid());
  EXPECT_FALSE(g.LoadBitmap((dir + "gfx_bg_test.svg").c_str()).IsValid());
  std::remove(bgPath.c_str());
  std::remove(stripPath.c_str());
  std::remove((dir + "gfx_bg_test.svg").c_str());
}

TEST(StaticStorage, KeysCountsAndLifetime)
{
  EXPECT_EQ(StaticStorage<int>::KeyText("NEEDLE.png", 1), "NEEDLE.png-1.0x");
  EXPECT_EQ(StaticStorage<int>::KeyText("BG.png", 2), "BG.png-2.0x");

  StaticStorage<int> store;
  {
    StaticStorage<int>::Accessor access(store);
    access.Retain();
    access.Retain();
    int* first = new int(1);
    access.Add(first, "a", 2);
    access.Add(new int(2), "a", 2);
    EXPECT_EQ(access.Find("a", 2), first);
    EXPECT_EQ(access.Find("a", 1), nullptr);
    access.Release();
  }
  EXPECT_EQ(store.NEntries(), 2);
  StaticStorage<int>::Accessor(store).Release();
  EXPECT_EQ(store.NEntries(), 0);

  // The process-wide bitmap cache lives while any graphics context does.
  Log log;
  TestDelegate dlg(log);
  int deletions = 0;
  auto* g1 = new TestGraphics(dlg, log);
  g1->RetainBitmap(IBitmap(new TestAPIBitmap(10, 10, 1, 1.f, &deletions), 1, false), "shared");
  auto* g2 = new TestGraphics(dlg, log);
  delete g1;
  int scale = 0;
  EXPECT_NE(g2->SearchBitmapInCache("shared", 1, scale), nullptr);
  EXPECT_EQ(deletions, 0);
  delete g2;
  EXPECT_EQ(deletions, 1);
}

TEST_F(DrawFixture, ImageScaleVariantsAreSearchedTargetThenThreeThenDown)
{
  const std::string dir = ::testing::TempDir();
  const std::string name = dir + "gfx_variant.png";
  std::ofstream(dir + "gfx_variant@2x.png") << "x";
  std::ofstream(dir + "gfx_variant@3x.png") << "x";
  WDL_String path;
  int found = 0;
  EXPECT_EQ(g.SearchImageResource(name.c_str(), "png", path, 1, found), kAbsolutePath);
  EXPECT_EQ(found, 3); // 1, then 3
  EXPECT_EQ(std::string(path.Get()), dir + "gfx_variant@3x.png");
  EXPECT_EQ(g.SearchImageResource(name.c_str(), "png", path, 2, found), kAbsolutePath);
  EXPECT_EQ(found, 2);
  std::remove((dir + "gfx_variant@3x.png").c_str());
  EXPECT_EQ(g.SearchImageResource(name.c_str(), "png", path, 3, found), kAbsolutePath);
  EXPECT_EQ(found, 2); // 3, then 2
  std::remove((dir + "gfx_variant@2x.png").c_str());
  EXPECT_EQ(g.SearchImageResource(name.c_str(), "png", path, 2, found), kNotFound);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(g.SearchImageResource("", "png", path, 1, found), kNotFound);
}
