#include <gtest/gtest.h>

#include "IFontFaceCheck.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

using namespace iplug::igraphics;

namespace
{
using Bytes = std::vector<uint8_t>;

const char* kRobotoPath = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf";

uint32_t Get16(const Bytes& b, size_t at) { return uint32_t(b[at]) << 8 | b[at + 1]; }
uint32_t Get32(const Bytes& b, size_t at) { return Get16(b, at) << 16 | Get16(b, at + 2); }
void Put16(Bytes& b, size_t at, uint32_t v) { b[at] = uint8_t(v >> 8), b[at + 1] = uint8_t(v); }
void Put32(Bytes& b, size_t at, uint32_t v) { Put16(b, at, v >> 16), Put16(b, at + 2, v); }

// Roboto with the positions of what the tests damage. Offsets found with a separate script, checked here.
struct Roboto
{
  Bytes b;
  Roboto()
  {
    std::ifstream f(kRobotoPath, std::ios::binary);
    b.assign(std::istreambuf_iterator<char>(f), {});
  }
  size_t Record(const char* tag) const
  {
    for (size_t r = 12; r < 12 + 16 * Get16(b, 4); r += 16)
      if (!std::memcmp(&b[r], tag, 4))
        return r;
    return 0;
  }
  size_t Table(const char* tag) const { return Get32(b, Record(tag) + 8); }
  size_t Glyph(uint32_t g) const { return Table("glyf") + Get32(b, Table("loca") + 4 * g); }
  // The subtable the rasteriser uses (the last Unicode record: format 12), and the format 4 one beside it.
  size_t MapRecord() const { return Table("cmap") + 4 + 8 * 3; }
  size_t Format4() const { return Table("cmap") + 36; }
  size_t Format12() const { return Table("cmap") + 2348; }
  // The pair adjustment lookup: a pair-set subtable and a class subtable.
  size_t PairSets() const { return Table("GPOS") + 698; }
  size_t Classes() const { return Table("GPOS") + 22540; }
};

// Checks an exactly sized heap copy, so the sanitizer sees any read past the bytes.
bool Drawable(const Bytes& b, size_t size = SIZE_MAX)
{
  const Bytes copy(b.begin(), b.begin() + std::min(size, b.size()));
  return IsFaceDrawable(copy.data(), int(copy.size()), 0);
}
bool Refused(const Roboto& r, const std::function<void(Bytes&)>& damage)
{
  Bytes b = r.b;
  damage(b);
  return !Drawable(b);
}
} // namespace

TEST(IFontFaceCheck, RobotoPassesQuickly)
{
  const Roboto r;
  ASSERT_EQ(r.b.size(), 305608u) << kRobotoPath;
  ASSERT_EQ(Get16(r.b, r.Format4()), 4u);
  ASSERT_EQ(Get16(r.b, r.Format12()), 12u);
  ASSERT_EQ(Get16(r.b, r.PairSets()), 1u);
  ASSERT_EQ(Get16(r.b, r.Classes()), 2u);
  EXPECT_TRUE(Drawable(r.b));
  EXPECT_FALSE(IsFaceDrawable(r.b.data(), int(r.b.size()), 1));
  EXPECT_FALSE(IsFaceDrawable(nullptr, 100, 0));

  // The rasteriser's other Unicode subtable, chosen instead, is as good.
  Bytes bmp = r.b;
  Put32(bmp, r.MapRecord() + 4, 36);
  EXPECT_TRUE(Drawable(bmp));

  double best = 1e9;
  for (int i = 0; i < 5; i++)
  {
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(IsFaceDrawable(r.b.data(), int(r.b.size()), 0));
    best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  RecordProperty("RobotoCheckMs", std::to_string(best));
  EXPECT_LT(best, 50.0); // about 0.2 ms in an optimised build, a few ms under the sanitizers
}

TEST(IFontFaceCheck, RecordsOutsideTheBytesAndCutFilesRefused)
{
  const Roboto r;
  for (const char* tag : {"cmap", "glyf", "loca", "hmtx", "GPOS", "name", "GSUB"})
    for (uint32_t offset : {0x40000000u, uint32_t(r.b.size()) - 4, 0xFFFFFFF0u})
    {
      Bytes b = r.b;
      Put32(b, r.Record(tag) + 8, offset);
      EXPECT_FALSE(Drawable(b)) << tag << " at " << offset;
    }
  Bytes longTable = r.b, manyTables = r.b;
  Put32(longTable, r.Record("glyf") + 12, 0xFFFFFFFF);
  Put16(manyTables, 4, 0x100);
  EXPECT_FALSE(Drawable(longTable));
  EXPECT_FALSE(Drawable(manyTables));

  // Cut anywhere, it is refused (and read safely while being refused).
  EXPECT_FALSE(Drawable(r.b, 226000));
  EXPECT_FALSE(Drawable(r.b, 260000));
  for (size_t n = 0; n < r.b.size(); n += 4999)
    EXPECT_FALSE(Drawable(r.b, n)) << n;
  EXPECT_FALSE(Drawable(r.b, r.b.size() - 1));

  // A CFF face has no glyf; nor does a face whose glyf record is missing.
  Bytes noGlyf = r.b;
  std::memcpy(&noGlyf[r.Record("glyf")], "CFF ", 4);
  EXPECT_FALSE(Drawable(noGlyf));
}

TEST(IFontFaceCheck, CharacterMapWalksChecked)
{
  const Roboto r;
  auto refused = [&](const std::function<void(Bytes&)>& damage) { return Refused(r, damage); };
  const size_t cmap = r.Table("cmap"), f4 = r.Format4(), f12 = r.Format12();
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, cmap + 2, 0x7FFF); }));                   // records past the table
  EXPECT_TRUE(refused([&](Bytes& b) { Put32(b, r.MapRecord() + 4, 0x7FFFFFF0); }));      // subtable past it
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, f12, 2); }));                             // a format it asserts on
  EXPECT_TRUE(refused([&](Bytes& b) { Put32(b, f12 + 12, 0x00FFFFFF); }));               // groups past the end
  EXPECT_TRUE(refused([&](Bytes& b) { Put32(b, f12 + 16 + 8, 5000); }));                 // a glyph it has not
  EXPECT_TRUE(refused([&](Bytes& b) { Put32(b, f12 + 16 + 12 * 3 + 8, 0xFFFFFFF0); }));  // a negative glyph
  auto format4 = [&](std::function<void(Bytes&)> damage)
  {
    return refused(
        [&](Bytes& b)
        {
          Put32(b, r.MapRecord() + 4, 36);
          damage(b);
        });
  };
  const uint32_t segCount = Get16(r.b, f4 + 6) / 2;
  EXPECT_TRUE(format4([&](Bytes& b) { Put16(b, f4 + 12, 0xFFFE); }));   // the search starts past the table
  EXPECT_TRUE(format4([&](Bytes& b) { Put16(b, f4 + 8, 0xFFFE); }));    // and steps past it
  EXPECT_TRUE(format4([&](Bytes& b) { Put16(b, f4 + 6, 0xFFFE); }));    // segments past the table
  EXPECT_TRUE(format4([&](Bytes& b) { Put16(b, f4 + 14 + 2 * (segCount - 1), 0xFFF0); })); // U+FFFF in no segment
  // A segment's glyph array entry outside the table, or a delta giving a glyph the face has not.
  EXPECT_TRUE(format4([&](Bytes& b) { Put16(b, f4 + 16 + 6 * segCount + 2 * (segCount - 2), 0xFFF0); }));
  EXPECT_TRUE(format4([&](Bytes& b) { Put16(b, f4 + 16 + 4 * segCount, 0x7000); }));
}

TEST(IFontFaceCheck, MetricsLocationsAndOutlinesChecked)
{
  const Roboto r;
  auto refused = [&](const std::function<void(Bytes&)>& damage) { return Refused(r, damage); };
  const size_t head = r.Table("head"), hhea = r.Table("hhea"), maxp = r.Table("maxp"), loca = r.Table("loca");
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, head + 50, 2); }));      // no such location format
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, hhea + 34, 0); }));      // no long metric to fall back on
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, hhea + 34, 0xFFFF); })); // hmtx too short for them
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, hhea + 4, 0xFE0C); }));  // ascender below the descender
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, maxp + 4, 0xFFFF); }));  // more glyphs than loca has
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, maxp + 4, 0); }));
  EXPECT_TRUE(refused([&](Bytes& b) { Put32(b, loca + 4 * 100, Get32(b, loca + 4 * 102)); })); // out of order
  EXPECT_TRUE(refused([&](Bytes& b) { Put32(b, loca + 4 * 3359, 0x10000000); }));               // past glyf
  EXPECT_TRUE(refused(
      [&](Bytes& b)
      {
        for (size_t i = 0; i < 4 * 3360; i++)
          b[loca + i] = uint8_t(i * 2654435761u >> 13);
      }));

  // A simple glyph: 3 contours (glyph 11), its box, contour ends, instructions, flags and coordinates.
  const size_t g = r.Glyph(11);
  ASSERT_EQ(Get16(r.b, g), 3u);
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, g + 2, 0x7FFF); }));             // box inside out
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, g + 12, Get16(b, g + 10)); }));  // contour ends not increasing
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, g + 14, 0xFFFE); }));            // more points than bytes
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, g + 16, 0xFFFF); }));            // instructions past the glyph
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, g, 0x7FFF); }));                 // contours past the glyph
  EXPECT_TRUE(refused(
      [&](Bytes& b)
      {
        const size_t flags = g + 18 + Get16(b, g + 16);
        b[flags] = 0x08, b[flags + 1] = 0xFF; // a repeat of long coordinates overruns the glyph
      }));
  // Its last contour reduced to one off-curve point: the outline builder would read past its points.
  EXPECT_TRUE(refused(
      [&](Bytes& b)
      {
        const uint32_t last = Get16(b, g + 14);
        Put16(b, g + 12, last - 1);
        size_t at = g + 18 + Get16(b, g + 16), flagOfLast = 0;
        for (uint32_t i = 0; i <= last; at += (b[at] & 8) ? 2 : 1)
        {
          flagOfLast = at;
          i += (b[at] & 8) ? 1u + b[at + 1] : 1u;
        }
        b[flagOfLast] &= uint8_t(~1);
      }));

  // A composite (glyph 31: flags 0x26, component 19, then more).
  const size_t c = r.Glyph(31);
  ASSERT_EQ(Get16(r.b, c), 0xFFFFu);
  ASSERT_EQ(Get16(r.b, c + 12), 19u);
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, c + 12, 31); }));   // itself
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, c + 12, 3359); }));   // no such glyph
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, c + 10, 0x24); }));   // placed by matching points
  EXPECT_TRUE(refused(
      [&](Bytes& b)
      {
        // The last component says more follow.
        size_t at = c + 10;
        while (Get16(b, at) & 0x20)
          at += 4 + ((Get16(b, at) & 1) ? 4 : 2) + ((Get16(b, at) & 8) ? 2 : 0);
        Put16(b, at, Get16(b, at) | 0x20);
      }));
  EXPECT_TRUE(refused(
      [&](Bytes& b)
      {
        // A chain of 20 composites, each the previous one: nesting beyond any real font's.
        uint32_t previous = 19;
        for (uint32_t glyph = 31, n = 0; n < 20; glyph++)
          if (r.Glyph(glyph + 1) > r.Glyph(glyph) && Get16(b, r.Glyph(glyph)) == 0xFFFF)
          {
            Put16(b, r.Glyph(glyph) + 12, previous);
            previous = glyph, n++;
          }
      }));
}

TEST(IFontFaceCheck, KerningAndPairPositioningWalksChecked)
{
  const Roboto r;
  auto refused = [&](const std::function<void(Bytes&)>& damage) { return Refused(r, damage); };
  const size_t gpos = r.Table("GPOS"), sets = r.PairSets(), classes = r.Classes();
  ASSERT_EQ(Get16(r.b, gpos + 8), 124u);
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, gpos + 124, 0xFFFF); }));       // lookups past the table
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, classes + 2, 0xFFFF); }));      // coverage past it
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, sets + 1620, 3); }));           // a coverage format it asserts on
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, sets + 8, 3); }));              // fewer pair sets than covered
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, sets + Get16(b, sets + 10), 0x7FFF); })); // its pairs past it
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, classes, 3); }));               // a format it asserts on
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, classes + 12, 1); }));          // classes beyond class1Count
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, classes + 14, 1); }));          // and class2Count
  EXPECT_TRUE(refused([&](Bytes& b) { Put16(b, classes + 8, 0xFFF0); }));      // a class table past the end
  // Only version 1.0 is walked, and an unwalked table is no reason to refuse the face.
  EXPECT_FALSE(refused([&](Bytes& b) { Put16(b, gpos + 2, 1), Put16(b, gpos + 8, 0xFFF0); }));
  EXPECT_FALSE(refused([&](Bytes& b) { Put16(b, sets + 4, 5), Put16(b, sets + Get16(b, sets + 10), 0x7FFF); }));

  // Without GPOS the kern table's first subtable is searched: a table appended in place of GDEF.
  auto withKern = [&](uint16_t pairs, size_t pairBytes)
  {
    Bytes b = r.b;
    std::memcpy(&b[r.Record("GPOS")], "GPOX", 4);
    std::memcpy(&b[r.Record("GDEF")], "kern", 4);
    Bytes kern(18 + pairBytes);
    Put16(kern, 2, 1), Put16(kern, 6, uint32_t(kern.size() - 4)), Put16(kern, 8, 1), Put16(kern, 10, pairs);
    for (size_t i = 0; i + 6 <= pairBytes; i += 6)
      Put16(kern, 18 + i, 36), Put16(kern, 20 + i, uint32_t(37 + i)), Put16(kern, 22 + i, 0xFFF0);
    Put32(b, r.Record("GDEF") + 8, uint32_t(b.size())), Put32(b, r.Record("GDEF") + 12, uint32_t(kern.size()));
    b.insert(b.end(), kern.begin(), kern.end());
    return b;
  };
  EXPECT_TRUE(Drawable(withKern(4, 24)));
  EXPECT_FALSE(Drawable(withKern(5, 24)));
  EXPECT_FALSE(Drawable(withKern(0xFFFF, 24)));
}
