// Text through the backend's font engine with the real Roboto file, read back as pixels.
#include "DrawingTestSupport.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace gfxtest;

namespace
{
struct InkBox
{
  int l = 1 << 30, t = 1 << 30, r = -1, b = -1, peak = 0;
  float CX() const { return 0.5f * static_cast<float>(l + r + 1); }
  float CY() const { return 0.5f * static_cast<float>(t + b + 1); }
};

/** The box around every pixel brighter than the black background. */
InkBox Ink(const HeadlessEditor& ed)
{
  InkBox box;
  for (int y = 0; y < ed.PixelHeight(); y++)
    for (int x = 0; x < ed.PixelWidth(); x++)
    {
      const int v = ed.At(x, y).r;
      box.peak = std::max(box.peak, v);
      if (v > 40)
      {
        box.l = std::min(box.l, x);
        box.t = std::min(box.t, y);
        box.r = std::max(box.r, x);
        box.b = std::max(box.b, y);
      }
    }
  return box;
}

void DrawOnly(HeadlessEditor& ed, std::function<void(IGraphics&)> draw)
{
  ed.G().RemoveAllControls();
  // The framebuffer keeps earlier frames: paint the whole editor black first.
  ed.G().AttachControl(new DrawFuncControl(ed.G().GetBounds(),
                                           [draw](IGraphics& g, const IRECT& r)
                                           {
                                             g.FillRect(COLOR_BLACK, r);
                                             draw(g);
                                           }));
}
} // namespace

TEST(NanoVGText, CentredTextSitsOnTheCentreOfItsRectangleWhateverItsSize)
{
  HeadlessEditor ed(120, 80);
  ASSERT_TRUE(ed.IsOpen());
  ASSERT_TRUE(ed.G().LoadFont("Roboto-Regular", ROBOTO_TTF));
  const IText style(20.f, COLOR_WHITE, "Roboto-Regular", EAlign::kCenter, EVAlign::kMiddle);

  for (const IRECT& r : {IRECT(40, 30, 80, 50), IRECT(0, 0, 120, 80), IRECT(55, 35, 65, 45)})
  {
    DrawOnly(ed, [&](IGraphics& g) { g.DrawText(style, "HOH", r); });
    ASSERT_TRUE(ed.Frame());
    const InkBox ink = Ink(ed);
    ASSERT_GE(ink.r, 0) << "no text drawn";
    EXPECT_NEAR(ink.CX(), 60.f, 1.f);
    EXPECT_NEAR(ink.CY(), 40.f, 1.5f);
  }

  // Measuring agrees with drawing: the measured box is centred too and as wide as the ink (give or take the
  // side bearings).
  IRECT measured(40, 30, 80, 50);
  const float width = ed.G().MeasureText(style, "HOH", measured);
  EXPECT_GT(width, 30.f);
  EXPECT_NEAR(measured.MW(), 60.f, 0.5f);
  EXPECT_NEAR(measured.MH(), 40.f, 2.f);
}

TEST(NanoVGText, AlignmentRotationAndBlendWeightShapeTheInk)
{
  HeadlessEditor ed(120, 120);
  ASSERT_TRUE(ed.IsOpen());
  ASSERT_TRUE(ed.G().LoadFont("Roboto-Regular", ROBOTO_TTF));

  const IText near(16.f, COLOR_WHITE, "Roboto-Regular", EAlign::kNear, EVAlign::kTop);
  DrawOnly(ed, [&](IGraphics& g) { g.DrawText(near, "Mix", IRECT(10, 20, 110, 60)); });
  ASSERT_TRUE(ed.Frame());
  InkBox ink = Ink(ed);
  EXPECT_NEAR(ink.l, 11, 2);
  EXPECT_GE(ink.t, 20);
  EXPECT_LE(ink.t, 26);

  const IText far(16.f, COLOR_WHITE, "Roboto-Regular", EAlign::kFar, EVAlign::kBottom);
  DrawOnly(ed, [&](IGraphics& g) { g.DrawText(far, "Mix", IRECT(10, 20, 110, 60)); });
  ASSERT_TRUE(ed.Frame());
  ink = Ink(ed);
  EXPECT_NEAR(ink.r, 109, 2);
  EXPECT_LE(ink.b, 60);

  // Turned a quarter: a word that was wide becomes tall.
  const IText turned(16.f, COLOR_WHITE, "Roboto-Regular", EAlign::kCenter, EVAlign::kMiddle, 90.f);
  DrawOnly(ed, [&](IGraphics& g) { g.DrawText(turned, "Oversampling", IRECT(0, 0, 120, 120)); });
  ASSERT_TRUE(ed.Frame());
  ink = Ink(ed);
  EXPECT_GT(ink.b - ink.t, 3 * (ink.r - ink.l));
  EXPECT_NEAR(ink.CX(), 60.f, 2.f);
  EXPECT_NEAR(ink.CY(), 60.f, 2.f);

  // A disabled control's weight: opaque white text comes out at a quarter.
  const IText big(60.f, COLOR_WHITE, "Roboto-Regular");
  const IBlend quarter(EBlend::kSrcOver, 0.25f);
  DrawOnly(ed, [&](IGraphics& g) { g.DrawText(big, "I", IRECT(0, 0, 120, 120), &quarter); });
  ASSERT_TRUE(ed.Frame());
  EXPECT_NEAR(Ink(ed).peak, 64, 2);

  // An unknown face draws nothing rather than failing.
  const IText unknown(16.f, COLOR_WHITE, "NoSuchFont");
  DrawOnly(ed, [&](IGraphics& g) { g.DrawText(unknown, "Mix", IRECT(0, 0, 120, 120)); });
  ASSERT_TRUE(ed.Frame());
  EXPECT_EQ(Ink(ed).peak, 0);
}

// A damaged copy of the font is refused like a missing one: text that needs it is neither drawn nor measured,
// and the rasteriser never reads outside the bytes. Before the face was checked each of these read far past
// them, in loading (cmap) or in measuring and drawing text (the others).
TEST(NanoVGText, DamagedFontIsRefusedAndDrawsNothing)
{
  std::ifstream f(ROBOTO_TTF, std::ios::binary);
  const std::vector<uint8_t> roboto(std::istreambuf_iterator<char>(f), {});
  ASSERT_EQ(roboto.size(), 305608u);
  auto record = [&](const char* tag)
  {
    for (size_t r = 12; r < 12 + 16 * size_t(roboto[5]); r += 16)
      if (!std::memcmp(&roboto[r], tag, 4))
        return r;
    return size_t(0);
  };
  auto offsetOf = [&](const char* tag)
  {
    const size_t r = record(tag);
    return size_t(roboto[r + 8]) << 24 | size_t(roboto[r + 9]) << 16 | size_t(roboto[r + 10]) << 8 | roboto[r + 11];
  };

  std::vector<std::pair<std::string, std::vector<uint8_t>>> damaged;
  for (const char* tag : {"cmap", "glyf", "loca", "hmtx", "GPOS"})
  {
    std::vector<uint8_t> b = roboto;
    b[record(tag) + 8] = 0x40; // offset 0x40xxxxxx, a gigabyte past the end
    damaged.emplace_back(std::string(tag) + " past the end", std::move(b));
  }
  std::vector<uint8_t> garbageLoca = roboto;
  for (size_t i = 0; i < 4 * 3360; i++)
    garbageLoca[offsetOf("loca") + i] = uint8_t(i * 2654435761u >> 13);
  damaged.emplace_back("garbage loca", std::move(garbageLoca));
  for (size_t cut : {226000u, 260000u})
    damaged.emplace_back("cut at " + std::to_string(cut), std::vector<uint8_t>(roboto.begin(), roboto.begin() + long(cut)));

  HeadlessEditor ed(160, 60);
  ASSERT_TRUE(ed.IsOpen());
  const std::string text = "Attack 12.5 ms AVATAR fi Wo";
  int n = 0;
  for (auto& [what, bytes] : damaged)
  {
    const std::string id = "Damaged-" + std::to_string(n++);
    EXPECT_FALSE(ed.G().LoadFont(id.c_str(), bytes.data(), int(bytes.size()))) << what;
    const IText style(24.f, COLOR_WHITE, id.c_str());
    IRECT bounds;
    EXPECT_EQ(ed.G().MeasureText(style, text.c_str(), bounds), 0.f) << what;
    DrawOnly(ed, [&](IGraphics& g) { g.DrawText(style, text.c_str(), g.GetBounds()); });
    ASSERT_TRUE(ed.Frame());
    EXPECT_EQ(Ink(ed).peak, 0) << what;
  }

  // The healthy bytes, through the same path, draw.
  std::vector<uint8_t> copy = roboto;
  ASSERT_TRUE(ed.G().LoadFont("Roboto-FromMemory", copy.data(), int(copy.size())));
  const IText style(24.f, COLOR_WHITE, "Roboto-FromMemory");
  IRECT bounds;
  EXPECT_GT(ed.G().MeasureText(style, text.c_str(), bounds), 100.f);
  DrawOnly(ed, [&](IGraphics& g) { g.DrawText(style, text.c_str(), g.GetBounds()); });
  ASSERT_TRUE(ed.Frame());
  EXPECT_GT(Ink(ed).peak, 200);
}
