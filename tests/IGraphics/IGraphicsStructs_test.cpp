#include <gtest/gtest.h>

#include "IGraphicsStructs.h"
#include "IPopupMenu.h"

#include <random>

using namespace iplug::igraphics;

namespace
{
constexpr int kGrid = 48;

// Coverage count of every cell of a kGrid x kGrid raster, sampled at the cell centres (cells of 1/res pixels).
std::vector<int> Rasterise(const std::vector<IRECT>& rects, int res)
{
  std::vector<int> cover(kGrid * kGrid, 0);
  for (const IRECT& r : rects)
    for (int y = 0; y < kGrid; y++)
      for (int x = 0; x < kGrid; x++)
        if (r.Contains((x + 0.5f) / res, (y + 0.5f) / res))
          cover[y * kGrid + x]++;
  return cover;
}

std::vector<IRECT> Members(const IRECTList& list)
{
  std::vector<IRECT> v;
  for (int i = 0; i < list.Size(); i++)
    v.push_back(list.Get(i));
  return v;
}

// Optimises the rectangles and checks that every pixel covered before is covered exactly once after.
void ExpectExactCover(const std::vector<IRECT>& input, int res)
{
  IRECTList list;
  for (const IRECT& r : input)
    list.Add(r);
  list.Optimize();

  const std::vector<int> before = Rasterise(input, res);
  const std::vector<int> after = Rasterise(Members(list), res);
  for (int i = 0; i < kGrid * kGrid; i++)
  {
    ASSERT_EQ(after[i], before[i] > 0 ? 1 : 0)
        << "cell " << i % kGrid << "," << i / kGrid << " of " << input.size() << " rectangles";
  }
}
} // namespace

TEST(IRECTListOptimize, SimpleCases)
{
  IRECTList contained;
  contained.Add(IRECT(0, 0, 20, 20));
  contained.Add(IRECT(5, 5, 10, 10));
  contained.Optimize();
  ASSERT_EQ(contained.Size(), 1);
  EXPECT_EQ(contained.Get(0), IRECT(0, 0, 20, 20));

  IRECTList sharedEdge;
  sharedEdge.Add(IRECT(0, 0, 10, 10));
  sharedEdge.Add(IRECT(0, 10, 10, 30));
  sharedEdge.Optimize();
  ASSERT_EQ(sharedEdge.Size(), 1);
  EXPECT_EQ(sharedEdge.Get(0), IRECT(0, 0, 10, 30));

  // An L-shaped overlap and a cross: the cross used to lose one arm when the wide rectangle was
  // trimmed to a single side of the overlap.
  ExpectExactCover({IRECT(0, 0, 20, 20), IRECT(10, 10, 30, 30)}, 1);
  ExpectExactCover({IRECT(0, 10, 40, 20), IRECT(15, 0, 25, 40)}, 1);
  ExpectExactCover({IRECT(15, 0, 25, 40), IRECT(0, 10, 40, 20)}, 1);

  // Touching at the origin: their overlap is the all-zero rectangle. This used to split the second one
  // forever, appending a new sliver each time.
  IRECTList origin;
  origin.Add(IRECT(-5, -5, 0, 0));
  origin.Add(IRECT(0, 0, 5, 5));
  origin.Optimize();
  ASSERT_EQ(origin.Size(), 2);
  EXPECT_EQ(origin.Get(0), IRECT(-5, -5, 0, 0));
  EXPECT_EQ(origin.Get(1), IRECT(0, 0, 5, 5));
}

TEST(IRECTListOptimize, RandomSetsCoverEveryPixelOnce)
{
  std::mt19937 rng(1234);
  for (int res : {1, 2})
  {
    std::uniform_int_distribution<int> pos(0, kGrid - 2);
    std::uniform_int_distribution<int> count(1, 12);
    for (int iter = 0; iter < 3000; iter++)
    {
      std::vector<IRECT> rects;
      const int n = count(rng);
      for (int k = 0; k < n; k++)
      {
        int a = pos(rng), b = pos(rng), c = pos(rng), d = pos(rng);
        if (a == b)
          b++;
        if (c == d)
          d++;
        const float s = static_cast<float>(res);
        rects.emplace_back(std::min(a, b) / s, std::min(c, d) / s, std::max(a, b) / s, std::max(c, d) / s);
      }
      ExpectExactCover(rects, res);
      if (HasFatalFailure())
        return;
    }
  }
}

TEST(IRECTListOptimize, ControlSizedRegionsAfterPadding)
{
  // Dirty regions as the frame cycle makes them: padded by 0.75 and aligned at 1.5x.
  std::mt19937 rng(99);
  std::uniform_real_distribution<float> pos(0.f, 24.f);
  for (int iter = 0; iter < 500; iter++)
  {
    IRECTList list;
    std::vector<IRECT> input;
    for (int k = 0; k < 6; k++)
    {
      const float x = pos(rng), y = pos(rng);
      IRECT r = IRECT(x, y, x + 2.f + pos(rng) / 2, y + 2.f + pos(rng) / 2).GetPadded(0.75f).GetPixelAligned(1.5f);
      input.push_back(r);
      list.Add(r);
    }
    list.Optimize();
    // Sample finely (cells of 1/6 logical pixel, a multiple of the 1/1.5 grid) over the 32 x 32 area.
    for (int y = 0; y < 6 * 32; y++)
      for (int x = 0; x < 6 * 32; x++)
      {
        const float px = (x + 0.5f) / 6.f, py = (y + 0.5f) / 6.f;
        int before = 0, after = 0;
        for (const IRECT& r : input)
          before += r.Contains(px, py);
        for (int i = 0; i < list.Size(); i++)
          after += list.Get(i).Contains(px, py);
        ASSERT_EQ(after, before > 0 ? 1 : 0);
      }
  }
}

TEST(IRECT, PixelAlignmentIsStableAndCovering)
{
  EXPECT_EQ(IRECT(10.3f, 10.7f, 20.2f, 20.5f).GetPixelAligned(1.f), IRECT(10, 10, 21, 21));
  EXPECT_EQ(IRECT(10.3f, 10.7f, 20.2f, 20.5f).GetPixelAligned(2.f), IRECT(10, 10.5f, 20.5f, 20.5f));
  EXPECT_EQ(IRECT(-0.75f, -0.75f, 0.75f, 0.75f).GetPixelAligned(1.f), IRECT(-1, -1, 1, 1));

  std::mt19937 rng(7);
  std::uniform_real_distribution<float> pos(-500.f, 4000.f);
  for (float scale : {0.5f, 0.75f, 1.f, 1.1f, 1.25f, 1.5f, 1.f / 3.f, 2.f, 2.5f, 3.f, 3.7f})
  {
    for (int iter = 0; iter < 20000; iter++)
    {
      const float a = pos(rng), b = pos(rng);
      const IRECT r(std::min(a, b), std::min(a, b), std::max(a, b), std::max(a, b));
      const IRECT aligned = r.GetPixelAligned(scale);
      // Covering, up to the few float ulps by which a value on the grid may be off it.
      ASSERT_LE(aligned.L, r.L + std::fabs(r.L) * 1e-6f);
      ASSERT_GE(aligned.R, r.R - std::fabs(r.R) * 1e-6f);
      // Aligning an aligned rectangle again must not move it (a drift here grows regions every frame).
      ASSERT_EQ(aligned.GetPixelAligned(scale), aligned) << "scale " << scale << " value " << a;
      // Edges sit on the device-pixel grid.
      EXPECT_NEAR(aligned.L * scale, std::round(aligned.L * scale), 1e-2);
    }
  }
}

TEST(IRECT, GeometryRules)
{
  const IRECT r(10, 20, 30, 60);
  EXPECT_FLOAT_EQ(r.W(), 20);
  EXPECT_FLOAT_EQ(r.H(), 40);
  EXPECT_TRUE(r.Contains(10, 20));
  EXPECT_FALSE(r.Contains(30, 40)); // right and bottom edges are outside
  EXPECT_FALSE(r.Contains(20, 60));
  EXPECT_FALSE(IRECT().Contains(0, 0));
  EXPECT_FALSE(IRECT().Contains(IRECT()));
  EXPECT_TRUE(r.Contains(r));

  // Touching on the left of the other counts, touching on the right does not.
  EXPECT_TRUE(r.Intersects(IRECT(30, 20, 40, 60)));
  EXPECT_FALSE(IRECT(30, 20, 40, 60).Intersects(IRECT(40, 20, 50, 60)) &&
               IRECT(40, 20, 50, 60).Intersects(IRECT(30, 20, 40, 60)));
  EXPECT_EQ(r.Intersect(IRECT(25, 0, 100, 30)), IRECT(25, 20, 30, 30));
  EXPECT_TRUE(r.Intersect(IRECT(100, 100, 110, 110)).Empty());
  EXPECT_EQ(r.Union(IRECT()), r);
  EXPECT_EQ(IRECT().Union(r), r);
  EXPECT_EQ(r.Union(IRECT(0, 0, 5, 5)), IRECT(0, 0, 30, 60));
  EXPECT_EQ(r.GetPadded(-2), IRECT(12, 22, 28, 58));
  EXPECT_EQ(r.GetFromBRHC(5, 10), IRECT(25, 50, 30, 60));
  EXPECT_EQ(r.GetCentredInside(40, 16), IRECT(0, 32, 40, 48));

  EXPECT_TRUE(r.Mergeable(IRECT(10, 60, 30, 70)));  // shares the bottom edge
  EXPECT_FALSE(r.Mergeable(IRECT(10, 61, 30, 70))); // a gap
  EXPECT_TRUE(r.Mergeable(IRECT(0, 20, 10, 60)));
  EXPECT_FALSE(r.Mergeable(IRECT(0, 20, 10, 59)));
  EXPECT_TRUE(IRECT(0, 0, 5, 0).Mergeable(IRECT())); // a sliver and the empty overlap at its end
}

TEST(IBitmap, FrameOffsetsTruncate)
{
  APIBitmap api(nullptr, 200, 90, 2, 1.f); // 2x pixels: 100 x 45 logical
  IBitmap horiz(&api, 3, true, "strip.png");
  EXPECT_EQ(horiz.W(), 100);
  EXPECT_EQ(horiz.FW(), 33);
  EXPECT_EQ(horiz.FH(), 45);
  int x = -1, y = -1;
  horiz.GetFrameOffset(2, x, y);
  EXPECT_EQ(x, 33);
  EXPECT_EQ(y, 0);
  horiz.GetFrameOffset(3, x, y);
  EXPECT_EQ(x, 66);
  horiz.GetFrameOffset(9, x, y); // clamped to the last frame
  EXPECT_EQ(x, 66);
  horiz.GetFrameOffset(0, x, y);
  EXPECT_EQ(x, 0);

  IBitmap vert(&api, 4, false);
  vert.GetFrameOffset(4, x, y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 33); // 3 * 45 / 4
  EXPECT_FALSE(IBitmap().IsValid());
}

TEST(IMatrix, ComposesAndInverts)
{
  IMatrix m;
  m.Translate(10, 5).Scale(2, 3).Rotate(30);
  double x = 4, y = -7;
  m.TransformPoint(x, y);
  IMatrix inv = m;
  ASSERT_TRUE(inv.Invert());
  inv.TransformPoint(x, y);
  EXPECT_NEAR(x, 4, 1e-9);
  EXPECT_NEAR(y, -7, 1e-9);

  IMatrix t;
  t.Translate(10, 5).Scale(2, 2); // scale applies first, then the translation
  double px = 1, py = 1;
  t.TransformPoint(px, py);
  EXPECT_DOUBLE_EQ(px, 12);
  EXPECT_DOUBLE_EQ(py, 7);
  EXPECT_FALSE(IMatrix(0, 0, 0, 0, 1, 1).Invert());
}

TEST(IPopupMenu, InsertionAndChecks)
{
  IPopupMenu menu("Title", 1, true);
  menu.AddItem("delta");
  menu.AddItem("Bravo", IPopupMenu::kSorted);
  menu.AddItem("charlie", IPopupMenu::kSorted);
  menu.AddItem("alpha", IPopupMenu::kSorted);
  menu.AddItem("first", 0);
  std::string order;
  for (int i = 0; i < menu.NItems(); i++)
    order += std::string(menu.GetItemText(i)) + " ";
  // Sorted insertion is case-insensitive and binary: it assumes the items already sorted around it.
  EXPECT_EQ(order, "first alpha Bravo charlie delta ");

  menu.CheckItem(2, true);
  menu.CheckItemAlone(3);
  EXPECT_FALSE(menu.IsItemChecked(2));
  EXPECT_TRUE(menu.IsItemChecked(3));
  EXPECT_EQ(menu.GetItem(9), nullptr);
  EXPECT_FALSE(menu.IsItemChecked(-1));

  menu.Clear();
  EXPECT_EQ(menu.NItems(), 0);
  EXPECT_EQ(menu.GetPrefix(), 0);
  EXPECT_FALSE(menu.GetCanMultiCheck());
  EXPECT_STREQ(menu.GetRootTitle(), "Title");
}
