#include "IFontFaceCheck.h"

#include "IFontData.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <unordered_set>
#include <vector>

// Each walk below follows the rasteriser's own: the same record chosen when a tag or an encoding appears twice,
// the same fields read in the same cases. Where it would stop at an assertion (formats it does not know), the
// face is refused too, as some builds abort there.

namespace iplug::igraphics
{

namespace
{

// Composite glyphs the rasteriser expands recursively, each component again.
constexpr int kMaxComponentDepth = 16;
// Points plus components one glyph may expand to; bounds the work of drawing it.
constexpr uint64_t kMaxGlyphCost = 1u << 20;

// One table's bytes. A read outside them yields 0 and marks the face damaged, so a walk reads on and the face
// is judged once the walk ends; the zeros end any count or loop the walk would have started.
class Table
{
public:
  Table() = default;
  Table(const uint8_t* data, int64_t length, bool* damaged) : mData(data), mLength(length), mDamaged(damaged) {}

  bool Present() const { return mData != nullptr; }
  int64_t Length() const { return mLength; }

  bool Has(int64_t at, int64_t count) const
  {
    return at >= 0 && count >= 0 && at <= mLength && count <= mLength - at;
  }
  /** Marks the face damaged unless [at, at + count) lies inside the table. */
  bool Need(int64_t at, int64_t count) const { return Has(at, count) || Fail(); }

  bool TagIs(int64_t at, const char* tag) const { return Has(at, 4) && !std::memcmp(mData + at, tag, 4); }
  uint8_t U8(int64_t at) const { return Has(at, 1) ? mData[at] : Fail(); }
  uint16_t U16(int64_t at) const { return Has(at, 2) ? uint16_t(mData[at] << 8 | mData[at + 1]) : Fail(); }
  int16_t S16(int64_t at) const { return static_cast<int16_t>(U16(at)); }
  uint32_t U32(int64_t at) const
  {
    return Has(at, 4) ? uint32_t(mData[at]) << 24 | uint32_t(mData[at + 1]) << 16 | uint32_t(mData[at + 2]) << 8 |
                            uint32_t(mData[at + 3])
                      : Fail();
  }

  /** The table's bytes from at on (to at + length when given), empty and damaged when they are not inside. */
  Table Sub(int64_t at, int64_t length = -1) const
  {
    if (length < 0)
      length = mLength - at;
    if (!Need(at, length))
      return Table(nullptr, 0, mDamaged);
    return Table(mData + at, length, mDamaged);
  }

private:
  bool Fail() const
  {
    *mDamaged = true;
    return false;
  }

  const uint8_t* mData = nullptr;
  int64_t mLength = 0;
  bool* mDamaged = nullptr;
};

class FaceCheck
{
public:
  FaceCheck(const uint8_t* data, int64_t size) : mFile(data, size, &mDamaged) {}

  bool Run(int64_t faceStart)
  {
    return Directory(faceStart) && Header() && CharacterMap() && Locations() && Glyphs() && Composites() &&
           Kerning() && Positioning();
  }

private:
  bool OK() const { return !mDamaged; }

  // Every record inside the bytes; the first record of a tag is the one used, and offset 0 means absent.
  bool Directory(int64_t faceStart)
  {
    const int64_t numTables = mFile.U16(faceStart + 4);
    const int64_t records = faceStart + 12;
    if (!mFile.Need(records, numTables * 16))
      return false;
    const char* tags[] = {"cmap", "head", "hhea", "hmtx", "maxp", "loca", "glyf", "kern", "GPOS"};
    Table* tables[] = {&mCMap, &mHead, &mHHea, &mHMtx, &mMaxP, &mLoca, &mGlyf, &mKern, &mGPOS};
    bool found[std::size(tags)] = {};
    for (int64_t i = 0; i < numTables; i++)
    {
      const int64_t record = records + 16 * i;
      const int64_t offset = mFile.U32(record + 8);
      const int64_t length = mFile.U32(record + 12);
      if (!mFile.Need(offset, length))
        return false;
      for (size_t t = 0; t < std::size(tags); t++)
        if (!found[t] && mFile.TagIs(record, tags[t]))
        {
          found[t] = true;
          if (offset)
            *tables[t] = mFile.Sub(offset, length);
        }
    }
    // Without glyf the rasteriser reads CFF outlines, which are not drawn here.
    return OK() && mCMap.Present() && mHead.Present() && mHHea.Present() && mHMtx.Present() && mGlyf.Present() &&
           mLoca.Present();
  }

  bool Header()
  {
    if (!mHead.Need(0, 54) || !mHHea.Need(0, 36))
      return false;
    mLongLoca = mHead.S16(50);
    if (mLongLoca != 0 && mLongLoca != 1)
      return false;
    // The pixel scale divides by ascender - descender; zero or less turns glyph boxes inside out.
    if (mHHea.S16(4) <= mHHea.S16(6))
      return false;
    mNumGlyphs = 0xFFFF;
    if (mMaxP.Present())
      mNumGlyphs = mMaxP.U16(4);
    const int64_t longMetrics = mHHea.U16(34);
    // The last long metric is read for every glyph beyond them, the side bearings after them up to numGlyphs.
    if (mNumGlyphs < 1 || longMetrics < 1)
      return false;
    return mHMtx.Need(0, 4 * longMetrics + 2 * std::max<int64_t>(0, mNumGlyphs - longMetrics)) && OK();
  }

  bool GlyphOK(int64_t glyph) const { return glyph >= 0 && glyph < mNumGlyphs; }

  // The last Unicode encoding record wins; its subtable must give, for every code point, a glyph the face has.
  bool CharacterMap()
  {
    const int64_t numRecords = mCMap.U16(2);
    if (!mCMap.Need(4, 8 * numRecords))
      return false;
    int64_t subtable = -1;
    for (int64_t i = 0; i < numRecords; i++)
    {
      const int64_t record = 4 + 8 * i;
      const uint16_t platform = mCMap.U16(record), encoding = mCMap.U16(record + 2);
      if ((platform == 3 && (encoding == 1 || encoding == 10)) || platform == 0)
        subtable = mCMap.U32(record + 4);
    }
    if (subtable <= 0 || subtable >= mCMap.Length())
      return false;
    const Table map = mCMap.Sub(subtable);
    switch (map.U16(0))
    {
      case 0: return ByteMap(map);
      case 4: return SegmentMap(map);
      case 6: return TrimmedMap(map);
      case 12:
      case 13: return GroupMap(map, map.U16(0) == 12);
      default: return false;
    }
  }

  bool ByteMap(const Table& map) const
  {
    const int64_t length = map.U16(2);
    for (int64_t at = 6; at < length && OK(); at++)
      if (!GlyphOK(map.U8(at)))
        return false;
    return OK();
  }

  bool TrimmedMap(const Table& map) const
  {
    const int64_t count = map.U16(8);
    if (!map.Need(10, 2 * count))
      return false;
    for (int64_t i = 0; i < count; i++)
      if (!GlyphOK(map.U16(10 + 2 * i)))
        return false;
    return OK();
  }

  bool GroupMap(const Table& map, bool sequential) const
  {
    const uint32_t numGroups = map.U32(12);
    if (static_cast<int32_t>(numGroups) <= 0)
      return OK();
    if (!map.Need(16, 12 * int64_t(numGroups)))
      return false;
    for (int64_t g = 0; g < numGroups; g++)
    {
      const int64_t first = map.U32(16 + 12 * g), last = map.U32(20 + 12 * g), glyph = map.U32(24 + 12 * g);
      if (first <= last && !GlyphOK(sequential ? glyph + (last - first) : glyph))
        return false;
    }
    return OK();
  }

  // The rasteriser's binary search trusts the header's search fields, so it is run here for every code point it
  // can be asked for, with each read checked.
  bool SegmentMap(const Table& map) const
  {
    const int64_t segCount = map.U16(6) >> 1;
    const uint16_t searchRange = map.U16(8) >> 1, entrySelector = map.U16(10), rangeShift = map.U16(12) >> 1;
    const int64_t endCount = 14, startCount = endCount + 2 * segCount + 2, idDelta = endCount + 4 * segCount + 2,
                  idRangeOffset = endCount + 6 * segCount + 2;
    for (int64_t cp = 0; cp <= 0xFFFF && OK(); cp++)
    {
      int64_t search = endCount;
      if (cp >= map.U16(search + 2 * rangeShift))
        search += 2 * rangeShift;
      search -= 2;
      uint16_t range = searchRange;
      for (int step = entrySelector; step > 0; step--)
      {
        range >>= 1;
        if (cp > map.U16(search + 2 * range))
          search += 2 * range;
        if (range == 0) // the remaining steps read the same entry again
          break;
      }
      search += 2;
      const int64_t item = static_cast<uint16_t>(static_cast<uint32_t>(search - endCount) >> 1);
      if (cp > map.U16(endCount + 2 * item))
        return false;
      const int64_t start = map.U16(startCount + 2 * item);
      if (cp < start)
        continue;
      const int64_t offset = map.U16(idRangeOffset + 2 * item);
      const int64_t glyph = offset == 0 ? static_cast<uint16_t>(cp + map.S16(idDelta + 2 * item))
                                        : map.U16(offset + 2 * (cp - start) + idRangeOffset + 2 * item);
      if (!GlyphOK(glyph))
        return false;
    }
    return OK();
  }

  // numGlyphs + 1 offsets, in order, none past the end of glyf.
  bool Locations()
  {
    const int64_t entry = mLongLoca ? 4 : 2;
    if (!mLoca.Need(0, entry * (mNumGlyphs + 1)))
      return false;
    mOffsets.resize(size_t(mNumGlyphs) + 1);
    for (int64_t g = 0; g <= mNumGlyphs; g++)
    {
      mOffsets[size_t(g)] = mLongLoca ? mLoca.U32(4 * g) : 2 * int64_t(mLoca.U16(2 * g));
      if ((g > 0 && mOffsets[size_t(g)] < mOffsets[size_t(g) - 1]) || mOffsets[size_t(g)] > mGlyf.Length())
        return false;
    }
    return OK();
  }

  bool Glyphs()
  {
    mCost.assign(size_t(mNumGlyphs), 0);
    mFirstComponent.assign(size_t(mNumGlyphs) + 1, 0);
    mComponents.clear();
    for (int64_t g = 0; g < mNumGlyphs; g++)
    {
      mFirstComponent[size_t(g)] = static_cast<uint32_t>(mComponents.size());
      const int64_t length = mOffsets[size_t(g) + 1] - mOffsets[size_t(g)];
      if (length > 0 && !Glyph(g, mGlyf.Sub(mOffsets[size_t(g)], length)))
        return false;
    }
    mFirstComponent[size_t(mNumGlyphs)] = static_cast<uint32_t>(mComponents.size());
    return OK();
  }

  bool Glyph(int64_t g, const Table& glyph)
  {
    if (!glyph.Need(0, 10))
      return false;
    // The bitmap is sized from the box: an inside-out one has a negative width.
    if (glyph.S16(2) > glyph.S16(6) || glyph.S16(4) > glyph.S16(8))
      return false;
    const int64_t contours = glyph.S16(0);
    if (contours > 0)
      return Simple(g, glyph, contours);
    if (contours < 0)
      return Composite(glyph);
    return true;
  }

  bool Simple(int64_t g, const Table& glyph, int64_t contours)
  {
    // Contour ends strictly increasing: the outline builder starts a contour where the last one ended.
    int64_t last = -1;
    for (int64_t c = 0; c < contours; c++)
    {
      const int64_t end = glyph.U16(10 + 2 * c);
      if (end <= last)
        return false;
      last = end;
    }
    const int64_t points = last + 1;
    int64_t at = 12 + 2 * contours + glyph.U16(10 + 2 * contours);
    if (!OK())
      return false;

    mFlags.resize(size_t(points));
    uint8_t flags = 0, repeat = 0;
    int64_t coordinateBytes = 0;
    for (int64_t i = 0; i < points; i++)
    {
      if (repeat == 0)
      {
        flags = glyph.U8(at++);
        if (flags & 8)
          repeat = glyph.U8(at++);
      }
      else
        --repeat;
      mFlags[size_t(i)] = flags;
      coordinateBytes += (flags & 2) ? 1 : (flags & 16) ? 0 : 2;
      coordinateBytes += (flags & 4) ? 1 : (flags & 32) ? 0 : 2;
    }
    if (!glyph.Need(at, coordinateBytes))
      return false;

    // A contour of one off-curve point has the builder look at the point after it, past the last one.
    int64_t start = 0;
    for (int64_t c = 0; c < contours; c++)
    {
      const int64_t end = glyph.U16(10 + 2 * c);
      if (end == start && !(mFlags[size_t(start)] & 1))
        return false;
      start = end + 1;
    }
    mCost[size_t(g)] = uint64_t(points + 2 * contours);
    return OK();
  }

  bool Composite(const Table& glyph)
  {
    int64_t at = 10;
    uint16_t flags = 0;
    do
    {
      flags = glyph.U16(at);
      const int64_t component = glyph.U16(at + 2);
      at += 4;
      // Components placed by matching points are not supported by the rasteriser, which asserts on them.
      if (!(flags & 2) || !GlyphOK(component))
        return false;
      at += (flags & 1) ? 4 : 2;
      at += (flags & 8) ? 2 : (flags & 0x40) ? 4 : (flags & 0x80) ? 8 : 0;
      mComponents.push_back(static_cast<uint16_t>(component));
    } while ((flags & 0x20) && OK());
    return glyph.Need(0, at) && OK();
  }

  // No component refers back to its glyph, nesting is bounded, and so is what one glyph expands to. Heights
  // and costs are kept per glyph, so each is worked out once.
  bool Composites()
  {
    mState.assign(size_t(mNumGlyphs), 0);
    mHeight.assign(size_t(mNumGlyphs), 0);
    for (int64_t g = 0; g < mNumGlyphs; g++)
      if (!Expand(g, 0))
        return false;
    return true;
  }

  bool Expand(int64_t g, int depth)
  {
    uint8_t& state = mState[size_t(g)];
    if (state == 2)
      return true;
    if (state == 1 || depth > kMaxComponentDepth)
      return false;
    const uint32_t first = mFirstComponent[size_t(g)], end = mFirstComponent[size_t(g) + 1];
    if (first == end)
    {
      state = 2;
      return true;
    }
    state = 1;
    uint64_t cost = 1;
    int height = 0;
    for (uint32_t i = first; i < end; i++)
    {
      const uint16_t component = mComponents[i];
      if (!Expand(component, depth + 1))
        return false;
      cost += mCost[component];
      height = std::max(height, 1 + mHeight[component]);
      if (cost > kMaxGlyphCost || height > kMaxComponentDepth)
        return false;
    }
    mCost[size_t(g)] = cost;
    mHeight[size_t(g)] = static_cast<uint8_t>(height);
    state = 2;
    return true;
  }

  // Read only when there is no GPOS: the first subtable, if horizontal, and its pair array.
  bool Kerning() const
  {
    if (mGPOS.Present() || !mKern.Present())
      return true;
    if (mKern.U16(2) < 1 || mKern.U16(8) != 1)
      return OK();
    const int64_t pairs = mKern.U16(10);
    return (pairs == 0 || mKern.Need(18, 6 * pairs)) && OK();
  }

  // Version 1.0 only; of the lookups, pair adjustments (type 2) are walked for any two glyphs.
  bool Positioning()
  {
    if (!mGPOS.Present())
      return true;
    const Table& p = mGPOS;
    if (p.U16(0) != 1 || p.U16(2) != 0)
      return OK();
    const int64_t list = p.U16(8);
    const int64_t count = p.U16(list);
    std::unordered_set<int64_t> lookups, subtables;
    for (int64_t i = 0; i < count && OK(); i++)
    {
      const int64_t lookup = list + p.U16(list + 2 + 2 * i);
      if (!lookups.insert(lookup).second)
        continue;
      const uint16_t type = p.U16(lookup);
      const int64_t numSubtables = p.U16(lookup + 4);
      if (type != 2)
        continue;
      for (int64_t s = 0; s < numSubtables && OK(); s++)
      {
        const int64_t subtable = lookup + p.U16(lookup + 6 + 2 * s);
        if (subtables.insert(subtable).second && !PairAdjustment(subtable))
          return false;
      }
    }
    return OK();
  }

  bool PairAdjustment(int64_t t) const
  {
    const Table& p = mGPOS;
    const uint16_t format = p.U16(t);
    const int64_t maxCoverage = CoverageMax(t + p.U16(t + 2));
    if (maxCoverage == kBad)
      return false;
    if (maxCoverage < 0) // no glyph is covered: nothing more is read
      return OK();
    const bool walksValues = p.U16(t + 4) == 4 && p.U16(t + 6) == 0;
    if (format == 1)
    {
      const int64_t pairSets = p.U16(t + 8);
      if (maxCoverage >= pairSets || !p.Need(t + 10, 2 * pairSets))
        return false;
      for (int64_t i = 0; i < pairSets; i++)
      {
        const int64_t set = t + p.U16(t + 10 + 2 * i);
        const int64_t pairs = p.U16(set);
        if (walksValues && pairs && !p.Need(set + 2, 4 * pairs))
          return false;
      }
      return OK();
    }
    if (format == 2)
    {
      const int64_t maxClass1 = ClassMax(t + p.U16(t + 8)), maxClass2 = ClassMax(t + p.U16(t + 10));
      const int64_t class1Count = p.U16(t + 12), class2Count = p.U16(t + 14);
      if (maxClass1 == kBad || maxClass2 == kBad || maxClass1 >= class1Count || maxClass2 >= class2Count)
        return false;
      return (!walksValues || p.Need(t + 16, 2 * class1Count * class2Count)) && OK();
    }
    return false;
  }

  static constexpr int64_t kBad = -2;

  // The largest coverage index any glyph can get, -1 when none is covered.
  int64_t CoverageMax(int64_t c) const
  {
    const Table& p = mGPOS;
    const uint16_t format = p.U16(c);
    const int64_t count = p.U16(c + 2);
    if (format == 1)
      return p.Need(c + 4, 2 * count) ? count - 1 : kBad;
    if (format != 2 || !p.Need(c + 4, 6 * count))
      return kBad;
    int64_t max = -1;
    for (int64_t i = 0; i < count; i++)
    {
      const int64_t r = c + 4 + 6 * i;
      const int64_t first = p.U16(r), last = p.U16(r + 2);
      if (first <= last)
        max = std::max(max, p.U16(r + 4) + last - first);
    }
    return max;
  }

  // The largest class a class definition gives, -1 when it gives none.
  int64_t ClassMax(int64_t c) const
  {
    const Table& p = mGPOS;
    const uint16_t format = p.U16(c);
    int64_t max = -1;
    if (format == 1)
    {
      const int64_t count = p.U16(c + 4);
      if (!p.Need(c + 6, 2 * count))
        return kBad;
      for (int64_t i = 0; i < count; i++)
        max = std::max<int64_t>(max, p.U16(c + 6 + 2 * i));
      return max;
    }
    if (format != 2)
      return kBad;
    const int64_t count = p.U16(c + 2);
    if (!p.Need(c + 4, 6 * count))
      return kBad;
    for (int64_t i = 0; i < count; i++)
    {
      const int64_t r = c + 4 + 6 * i;
      if (p.U16(r) <= p.U16(r + 2))
        max = std::max<int64_t>(max, p.U16(r + 4));
    }
    return max;
  }

  bool mDamaged = false;
  Table mFile;
  Table mCMap, mHead, mHHea, mHMtx, mMaxP, mLoca, mGlyf, mKern, mGPOS;
  int64_t mNumGlyphs = 0;
  int mLongLoca = 0;
  std::vector<int64_t> mOffsets;
  std::vector<uint8_t> mFlags;
  std::vector<uint64_t> mCost;
  std::vector<uint32_t> mFirstComponent;
  std::vector<uint16_t> mComponents;
  std::vector<uint8_t> mState;
  std::vector<uint8_t> mHeight;
};

} // namespace

bool IsFaceDrawable(const void* data, int size, int faceIdx)
{
  if (!data || size <= 0)
    return false;
  const IFontInfo info(data, size, faceIdx);
  if (!info.IsValid())
    return false;
  FaceCheck check(static_cast<const uint8_t*>(data), size);
  return check.Run(info.GetFaceStart());
}

} // namespace iplug::igraphics
