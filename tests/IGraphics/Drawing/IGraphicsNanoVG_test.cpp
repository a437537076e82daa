// The NanoVG backend drawing for real, on llvmpipe through EGL: every check here reads pixels back.
#include "DrawingTestSupport.h"
#include "IPlugPaths.h"

#include <cmath>

using namespace gfxtest;

namespace
{
constexpr Pixel kRed{255, 0, 0, 255};
constexpr Pixel kGreen{0, 255, 0, 255};
constexpr Pixel kBlue{0, 0, 255, 255};

bool Same(const Pixel& a, const Pixel& b, int tol = 0)
{
  return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

/** A strip of n frames, frame k (1-based) a solid grey of level 20 * k, each fw x fh pixels. */
void WriteStrip(const std::string& path, int n, int fw, int fh)
{
  WritePNG(path, fw, fh * n,
           [&](int, int y)
           {
             const int level = 20 * (y / fh + 1);
             return Pixel{level, level, level, 255};
           });
}
} // namespace

TEST(NanoVGFrame, ReportsItsAPIAndSizesTheFramebufferInDevicePixels)
{
  HeadlessEditor ed(100, 60, 2.f);
  ASSERT_TRUE(ed.IsOpen());
  EXPECT_STREQ(ed.G().GetDrawingAPIStr(), "NanoVG | GL3");
  EXPECT_STREQ(ed.G().GetPlatformAPIStr(), "X11");
  EXPECT_EQ(ed.G().MainFramebufferWidth(), 200);
  EXPECT_EQ(ed.G().MainFramebufferHeight(), 120);
  EXPECT_FLOAT_EQ(ed.G().GetBackingPixelScale(), 2.f);

  ed.G().Resize(100, 60, 1.5f);
  EXPECT_EQ(ed.G().MainFramebufferWidth(), 300);
  EXPECT_EQ(ed.G().MainFramebufferHeight(), 180);
}

TEST(NanoVGBitmaps, EachFrameOfAStripLandsExactlyOnItsDestination)
{
  TempDir dir;
  WriteStrip(dir / "strip.png", 5, 10, 8);
  WriteStrip(dir / "strip@2x.png", 5, 20, 16);
  for (float screenScale : {1.f, 2.f})
  {
    HeadlessEditor ed(60, 40, screenScale);
    ASSERT_TRUE(ed.IsOpen());
    IBitmap strip = ed.G().LoadBitmap((dir / "strip.png").c_str(), 5);
    ASSERT_TRUE(strip.IsValid());
    EXPECT_EQ(strip.FW(), 10);
    EXPECT_EQ(strip.FH(), 8);
    for (int frame = 1; frame <= 5; frame++)
    {
      const IRECT dest(17.f, 13.f, 27.f, 21.f);
      ed.G().RemoveAllControls();
      ed.G().AttachControl(new DrawFuncControl(ed.G().GetBounds(),
                                               [&](IGraphics& g, const IRECT&) { g.DrawBitmap(strip, dest, frame); }));
      ASSERT_TRUE(ed.Frame());
      const int s = static_cast<int>(screenScale);
      const int level = 20 * frame;
      for (int y = 0; y < ed.PixelHeight(); y++)
        for (int x = 0; x < ed.PixelWidth(); x++)
        {
          const bool inside = x >= 17 * s && x < 27 * s && y >= 13 * s && y < 21 * s;
          const Pixel want = inside ? Pixel{level, level, level, 255} : Pixel{0, 0, 0, 255};
          ASSERT_TRUE(Same(ed.At(x, y), want))
              << "frame " << frame << " scale " << s << " at " << x << "," << y << " got " << ed.At(x, y).r;
        }
    }
  }
}

TEST(NanoVGBitmaps, BlendWeightScalesAlphaAndBlendModesComposite)
{
  HeadlessEditor ed(40, 20);
  ASSERT_TRUE(ed.IsOpen());
  const IBlend quarter(EBlend::kSrcOver, 0.25f);
  const IBlend add(EBlend::kAdd, 1.f);
  ed.G().AttachControl(new DrawFuncControl(ed.G().GetBounds(),
                                           [&](IGraphics& g, const IRECT&)
                                           {
                                             g.FillRect(COLOR_WHITE, IRECT(0, 0, 10, 20), &quarter);
                                             g.FillRect(IColor(255, 100, 0, 0), IRECT(10, 0, 20, 20));
                                             g.FillRect(IColor(255, 0, 100, 0), IRECT(10, 0, 20, 20), &add);
                                             g.FillRect(COLOR_WHITE, IRECT(20, 0, 30, 20));
                                             g.FillRect(COLOR_BLACK, IRECT(20, 0, 30, 20), nullptr);
                                           }));
  ASSERT_TRUE(ed.Frame());
  EXPECT_NEAR(ed.At(5, 10).r, 64, 1);
  EXPECT_TRUE(Same(ed.At(15, 10), Pixel{100, 100, 0, 255}, 1));
  EXPECT_TRUE(Same(ed.At(25, 10), Pixel{0, 0, 0, 255}));
}

// A bitmap on whole device pixels is drawn without NanoVG's shader (an opaque one is copied); split into tiles it
// is drawn through NanoVG. The two frames must agree to the bit wherever the bitmap is clipped, weighted, repeated
// at its edge and drawn between NanoVG's own shapes.
TEST(NanoVGBitmaps, WholePixelBitmapsDrawAsNanoVGDrawsThemInOrderAndWithinTheClip)
{
  TempDir dir;
  auto colour = [](int size)
  {
    return [size](int x, int y)
    {
      const int k = 240 / size;
      return Pixel{x * k, y * k, 255 - x * k, 255 - (x + y) * 120 / size};
    };
  };
  WritePNG(dir / "pic.png", 24, 24, colour(24));
  WritePNG(dir / "pic@2x.png", 48, 48, colour(48));
  auto opaque = [](int size) {
    return [size](int x, int y) { return Pixel{x * 250 / size, 90, y * 250 / size, 255}; };
  };
  WritePNG(dir / "opaque.png", 20, 20, opaque(20));
  WritePNG(dir / "opaque@2x.png", 40, 40, opaque(40));
  const IBlend half(EBlend::kSrcOver, 0.5f);
  for (float screenScale : {1.f, 2.f})
  {
    std::vector<uint8_t> frames[2];
    for (int split = 0; split < 2; split++)
    {
      HeadlessEditor ed(48, 32, screenScale);
      ASSERT_TRUE(ed.IsOpen());
      if (split)
        ed.G().LimitTextureSize(16);
      IBitmap pic = ed.G().LoadBitmap((dir / "pic.png").c_str());
      IBitmap solid = ed.G().LoadBitmap((dir / "opaque.png").c_str());
      ASSERT_TRUE(pic.IsValid() && solid.IsValid());
      ed.G().AttachControl(new DrawFuncControl(ed.G().GetBounds(), [](IGraphics& g, const IRECT& r)
                                               { g.FillRect(IColor(255, 30, 60, 200), r); }));
      // Its clip stops the first bitmap at x = 21 and y = 21 (the control's bounds, padded to whole pixels).
      ed.G().AttachControl(new DrawFuncControl(IRECT(2, 2, 20, 20),
                                               [&](IGraphics& g, const IRECT&)
                                               {
                                                 g.DrawBitmap(solid, IRECT(-4, -4, 16, 16), 0, 0);
                                                 g.DrawBitmap(pic, IRECT(4, 4, 28, 28), 0, 0);
                                                 g.FillRect(IColor(128, 0, 255, 0), IRECT(10, 10, 16, 16));
                                               }));
      ed.G().AttachControl(new DrawFuncControl(IRECT(22, 1, 47, 31),
                                               [&](IGraphics& g, const IRECT&)
                                               {
                                                 g.FillRect(IColor(255, 200, 20, 20), IRECT(23, 2, 30, 30));
                                                 // Taller than the image: its last row repeats.
                                                 g.DrawBitmap(pic, IRECT(24, 2, 36, 30), 6, 0);
                                                 g.DrawBitmap(pic, IRECT(34, 4, 46, 16), 0, 8, &half);
                                                 g.DrawBitmap(solid, IRECT(36, 18, 56, 38), 0, 0);
                                                 g.DrawBitmap(solid, IRECT(24, 24, 32, 32), 0, 0, &half);
                                               }));
      ASSERT_TRUE(ed.Frame());
      const int s = static_cast<int>(screenScale);
      EXPECT_TRUE(Same(ed.At(22 * s, 22 * s), Pixel{30, 60, 200, 255})) << "outside the clip";
      EXPECT_FALSE(Same(ed.At(8 * s, 8 * s), Pixel{30, 60, 200, 255}, 10)) << "the bitmap is drawn";
      int w = 0, h = 0;
      ASSERT_TRUE(ed.G().ReadFramePixels(frames[split], w, h));
    }
    EXPECT_TRUE(frames[0] == frames[1]) << "on a " << screenScale << "x screen";
  }
}

TEST(NanoVGBitmaps, ScaleVariantIsChosenForTheScreenAndA1xFileIsMagnified)
{
  TempDir dir;
  WritePNG(dir / "pic.png", 4, 4, [](int, int) { return kRed; });
  WritePNG(dir / "pic@2x.png", 8, 8, [](int, int) { return kGreen; });
  // Only a 1x file: quadrants of different colours, so magnification is visible.
  WritePNG(dir / "quad.png", 2, 2, [](int x, int y) { return x == y ? kBlue : kRed; });

  HeadlessEditor ed(20, 10, 2.f);
  ASSERT_TRUE(ed.IsOpen());
  IBitmap pic = ed.G().LoadBitmap((dir / "pic.png").c_str());
  ASSERT_TRUE(pic.IsValid());
  EXPECT_EQ(pic.GetScale(), 2);
  EXPECT_EQ(pic.W(), 4);
  IBitmap quad = ed.G().LoadBitmap((dir / "quad.png").c_str());
  ASSERT_TRUE(quad.IsValid());
  EXPECT_EQ(quad.GetScale(), 1);

  ed.G().AttachControl(new DrawFuncControl(ed.G().GetBounds(),
                                           [&](IGraphics& g, const IRECT&)
                                           {
                                             g.DrawBitmap(pic, IRECT(0, 0, 4, 4), 1);
                                             g.DrawBitmap(quad, IRECT(10, 0, 12, 2), 1);
                                           }));
  ASSERT_TRUE(ed.Frame());
  EXPECT_TRUE(Same(ed.At(3, 3), kGreen));
  // Device pixels (20..23, 0..3) show the 2x2 image at twice its size: corners keep their colours.
  EXPECT_TRUE(Same(ed.At(20, 0), kBlue, 2));
  EXPECT_TRUE(Same(ed.At(23, 0), kRed, 2));
  EXPECT_TRUE(Same(ed.At(20, 3), kRed, 2));
  EXPECT_TRUE(Same(ed.At(23, 3), kBlue, 2));

  // On a 1x screen the 2x file alone is found after the missing 1x and 3x names, and drawn reduced.
  std::filesystem::remove(dir / "pic.png");
  HeadlessEditor one(20, 10, 1.f);
  ASSERT_TRUE(one.IsOpen());
  IBitmap reduced = one.G().LoadBitmap((dir / "pic.png").c_str());
  ASSERT_TRUE(reduced.IsValid());
  EXPECT_EQ(reduced.GetScale(), 2);
  one.G().AttachControl(new DrawFuncControl(one.G().GetBounds(), [&](IGraphics& g, const IRECT&)
                                            { g.DrawBitmap(reduced, IRECT(0, 0, 4, 4), 1); }));
  ASSERT_TRUE(one.Frame());
  EXPECT_TRUE(Same(one.At(0, 0), kGreen));
  EXPECT_TRUE(Same(one.At(3, 3), kGreen));
  EXPECT_TRUE(Same(one.At(4, 4), Pixel{0, 0, 0, 255}));
}

TEST(NanoVGBitmaps, ContextCacheStoresABitmapOnceAndEmptiesWithTheView)
{
  TempDir dir;
  WritePNG(dir / "a.png", 4, 4, [](int, int) { return kRed; });
  HeadlessEditor ed(20, 10);
  ASSERT_TRUE(ed.IsOpen());
  IBitmap first = ed.G().LoadBitmap((dir / "a.png").c_str());
  IBitmap second = ed.G().LoadBitmap((dir / "a.png").c_str(), 2);
  EXPECT_EQ(first.GetAPIBitmap(), second.GetAPIBitmap());
  EXPECT_EQ(ed.G().NCachedBitmaps(), 1);
  EXPECT_EQ(second.N(), 2);
  EXPECT_FALSE(ed.G().LoadBitmap((dir / "missing.png").c_str()).IsValid());
  EXPECT_FALSE(ed.G().LoadBitmap((dir / "a.svg").c_str()).IsValid());

  // A second editor has images of its own: NanoVG images belong to one context.
  HeadlessEditor other(20, 10);
  ASSERT_TRUE(other.IsOpen());
  EXPECT_NE(other.G().LoadBitmap((dir / "a.png").c_str()).GetAPIBitmap(), first.GetAPIBitmap());

  ed.G().CloseHeadless();
  EXPECT_EQ(ed.G().NCachedBitmaps(), 0);
}

TEST(NanoVGBitmaps, ExtensionsAreMatchedWithoutRegardToCase)
{
  HeadlessEditor ed(10, 10);
  for (const char* ext : {"png", "PNG", "Jpg", "jpeg", "JPEG"})
    EXPECT_TRUE(ed.G().BitmapExtSupported(ext)) << ext;
  for (const char* ext : {"svg", "ttf", "", "gif"})
    EXPECT_FALSE(ed.G().BitmapExtSupported(ext)) << ext;
}

TEST(NanoVGFrame, ADirtyRegionRedrawsOnlyItsAreaOfThePersistentFramebuffer)
{
  HeadlessEditor ed(40, 20);
  ASSERT_TRUE(ed.IsOpen());
  IColor left = COLOR_RED;
  IColor right = COLOR_BLUE;
  auto* pLeft = new DrawFuncControl(IRECT(0, 0, 20, 20), [&](IGraphics& g, const IRECT& r) { g.FillRect(left, r); });
  auto* pRight = new DrawFuncControl(IRECT(20, 0, 40, 20), [&](IGraphics& g, const IRECT& r) { g.FillRect(right, r); });
  ed.G().AttachControl(pLeft);
  ed.G().AttachControl(pRight);
  ASSERT_TRUE(ed.Frame());
  EXPECT_TRUE(Same(ed.At(5, 5), kRed));
  EXPECT_TRUE(Same(ed.At(35, 5), kBlue));

  // Both colours change, but only the left control is dirty: the right keeps its earlier pixels.
  left = COLOR_GREEN;
  right = COLOR_WHITE;
  pLeft->SetDirty(false);
  ASSERT_TRUE(ed.Frame());
  EXPECT_TRUE(Same(ed.At(5, 5), kGreen));
  EXPECT_TRUE(Same(ed.At(35, 5), kBlue));

  // Nothing dirty: no frame is drawn at all.
  EXPECT_FALSE(ed.G().OnFrameTick());

  // After a resize everything is drawn again into a new framebuffer.
  ed.G().Resize(40, 20, 1.5f);
  ASSERT_TRUE(ed.Frame());
  EXPECT_EQ(ed.PixelWidth(), 60);
  EXPECT_TRUE(Same(ed.At(55, 5), Pixel{255, 255, 255, 255}));
}

TEST(NanoVGPaths, StrokesFillsClipsAndTransformsLandWhereExpected)
{
  HeadlessEditor ed(40, 40);
  ASSERT_TRUE(ed.IsOpen());
  ed.G().AttachControl(new DrawFuncControl(ed.G().GetBounds(),
                                           [&](IGraphics& g, const IRECT&)
                                           {
                                             // Even-odd fill of two nested squares leaves a hole.
                                             g.PathRect(IRECT(0, 0, 20, 20));
                                             g.PathRect(IRECT(5, 5, 15, 15));
                                             IFillOptions evenOdd;
                                             evenOdd.mFillRule = EFillRule::kEvenOdd;
                                             g.PathFill(IPattern(COLOR_RED), evenOdd);
                                             // A translated fill.
                                             g.PathTransformSave();
                                             g.PathTransformTranslate(20.f, 20.f);
                                             g.FillRect(COLOR_GREEN, IRECT(0, 0, 10, 10));
                                             g.PathTransformRestore();
                                             // A thick horizontal stroke.
                                             g.DrawLine(COLOR_BLUE, 22.f, 5.f, 38.f, 5.f, nullptr, 4.f);
                                           }));
  ASSERT_TRUE(ed.Frame());
  EXPECT_TRUE(Same(ed.At(2, 2), kRed));
  EXPECT_TRUE(Same(ed.At(10, 10), Pixel{0, 0, 0, 255}));
  EXPECT_TRUE(Same(ed.At(25, 25), kGreen));
  EXPECT_TRUE(Same(ed.At(15, 25), Pixel{0, 0, 0, 255}));
  EXPECT_TRUE(Same(ed.At(30, 5), kBlue));
  EXPECT_TRUE(Same(ed.At(30, 9), Pixel{0, 0, 0, 255}));

  // A control only ever paints within its own bounds (the clip), whatever it draws.
  ed.G().RemoveAllControls();
  ed.G().AttachControl(new DrawFuncControl(IRECT(0, 0, 40, 40), [](IGraphics& g, const IRECT&)
                                           { g.FillRect(COLOR_BLACK, IRECT(0, 0, 40, 40)); }));
  ed.G().AttachControl(new DrawFuncControl(IRECT(10, 10, 20, 20), [](IGraphics& g, const IRECT&)
                                           { g.FillRect(COLOR_WHITE, IRECT(0, 0, 40, 40)); }));
  ASSERT_TRUE(ed.Frame());
  EXPECT_TRUE(Same(ed.At(15, 15), Pixel{255, 255, 255, 255}));
  EXPECT_TRUE(Same(ed.At(25, 25), Pixel{0, 0, 0, 255}));
  EXPECT_TRUE(Same(ed.At(5, 5), Pixel{0, 0, 0, 255}));
}

namespace
{
/** A Linux context whose resources are those of a bundle registered under a test identifier. */
class BundleGraphics : public IGraphicsLinux
{
public:
  using IGraphicsLinux::IGraphicsLinux;
  const char* GetBundleID() const override { return "com.test.gfx-bundle"; }
};
} // namespace

TEST(NanoVGBitmaps, BareNamesAreFoundInTheBundleResourcesWithTheBestScaleVariant)
{
  TempDir bundle;
  std::filesystem::create_directories(bundle / "Contents/Resources");
  WritePNG(bundle / "Contents/Resources/KNOB.png", 6, 6, [](int, int) { return kRed; });
  WritePNG(bundle / "Contents/Resources/BG@2x.png", 8, 8, [](int, int) { return kGreen; });
  iplug::SetBundlePath("com.test.gfx-bundle", (bundle / "").c_str());

  Log log;
  TestDelegate delegate(log);
  for (float screenScale : {1.f, 2.f})
  {
    BundleGraphics g(delegate, 20, 20, 60, 1.f);
    ASSERT_TRUE(g.OpenHeadless(screenScale)) << g.GetSurfaceError();
    // Only the 1x knob exists: on a 2x screen the 2x and 3x names are tried first, then the 1x file is used.
    IBitmap knob = g.LoadBitmap("KNOB.png");
    ASSERT_TRUE(knob.IsValid());
    EXPECT_EQ(knob.GetScale(), 1);
    // Only the 2x background exists: it serves a 1x screen too.
    IBitmap bg = g.LoadBitmap("BG.png");
    ASSERT_TRUE(bg.IsValid());
    EXPECT_EQ(bg.GetScale(), 2);
    EXPECT_EQ(bg.W(), 4);
    EXPECT_FALSE(g.LoadBitmap("NEEDLE.png").IsValid());
    g.CloseHeadless();
  }
  iplug::ClearBundlePath("com.test.gfx-bundle");
}
