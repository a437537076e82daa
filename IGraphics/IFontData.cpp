#include "IFontData.h"

#include <climits>
#include <cstring>
#include <string>

namespace iplug::igraphics
{

namespace
{

// Offsets are 64-bit while checking: a 32-bit offset from the file plus a field position must not wrap.
struct Bytes
{
  const uint8_t* data;
  int64_t size;

  bool Has(int64_t offset, int64_t count) const { return offset >= 0 && count >= 0 && offset + count <= size; }
  uint16_t U16(int64_t offset) const { return static_cast<uint16_t>((data[offset] << 8) | data[offset + 1]); }
  int16_t S16(int64_t offset) const { return static_cast<int16_t>(U16(offset)); }
  uint32_t U32(int64_t offset) const
  {
    return (uint32_t(data[offset]) << 24) | (uint32_t(data[offset + 1]) << 16) | (uint32_t(data[offset + 2]) << 8) |
           uint32_t(data[offset + 3]);
  }
  bool TagIs(int64_t offset, const char* tag) const { return std::memcmp(data + offset, tag, 4) == 0; }
};

// Bytes each table must have for the fields read from it.
constexpr int64_t kHeadNeeds = 46; // macStyle at 44
constexpr int64_t kHHeaNeeds = 10; // lineGap at 8
constexpr int64_t kNameNeeds = 6;  // storage offset at 4
constexpr int64_t kFDscNeeds = 8;  // version and count
constexpr int64_t kDirHeader = 12; // sfnt version, numTables, search fields
constexpr int64_t kDirRecord = 16;
constexpr int64_t kNameRecord = 12;

// Mac OS Roman 0x80..0xFF as Unicode code points.
constexpr uint16_t kMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

void AppendUTF8(std::string& out, uint32_t cp)
{
  if (cp < 0x80)
    out += static_cast<char>(cp);
  else if (cp < 0x800)
  {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  else if (cp < 0x10000)
  {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  else
  {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Stops at a zero unit, as the result is a C string; an odd last byte is dropped.
std::string UTF16BEToUTF8(const Bytes& b, int64_t start, int64_t length)
{
  constexpr uint32_t kReplacement = 0xFFFD;
  std::string out;
  const int64_t units = length / 2;
  for (int64_t i = 0; i < units; i++)
  {
    const uint32_t u = b.U16(start + 2 * i);
    if (u == 0)
      break;
    if (u >= 0xD800 && u <= 0xDBFF)
    {
      const uint32_t next = i + 1 < units ? b.U16(start + 2 * (i + 1)) : 0;
      if (next >= 0xDC00 && next <= 0xDFFF)
      {
        AppendUTF8(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
        i++;
      }
      else
        AppendUTF8(out, kReplacement);
    }
    else if (u >= 0xDC00 && u <= 0xDFFF)
      AppendUTF8(out, kReplacement);
    else
      AppendUTF8(out, u);
  }
  return out;
}

std::string MacRomanToUTF8(const Bytes& b, int64_t start, int64_t length)
{
  std::string out;
  for (int64_t i = 0; i < length; i++)
  {
    const uint8_t c = b.data[start + i];
    if (c == 0)
      break;
    AppendUTF8(out, c < 0x80 ? c : kMacRoman[c - 0x80]);
  }
  return out;
}

// Offset of face faceIdx's table directory, -1 when there is none.
int64_t FindFace(const Bytes& b, int faceIdx)
{
  if (faceIdx < 0 || !b.Has(0, 4))
    return -1;

  static const uint8_t kTrueType[4] = {0, 1, 0, 0};
  static const uint8_t kTrueTypeOld[4] = {'1', 0, 0, 0};
  if (!std::memcmp(b.data, kTrueType, 4) || !std::memcmp(b.data, kTrueTypeOld, 4) || b.TagIs(0, "OTTO") ||
      b.TagIs(0, "typ1"))
    return faceIdx == 0 ? 0 : -1;

  if (b.TagIs(0, "ttcf") && b.Has(0, 12))
  {
    const uint16_t version = b.U16(4);
    if (version != 1 && version != 2)
      return -1;
    const uint32_t count = b.U32(8);
    const int64_t entry = 12 + 4 * int64_t(faceIdx);
    if (uint32_t(faceIdx) >= count || !b.Has(entry, 4))
      return -1;
    return b.U32(entry);
  }
  return -1;
}

} // namespace

IFontInfo::IFontInfo(const void* data, int size, int faceIdx)
{
  if (!data || size <= 0)
    return;

  const Bytes b{static_cast<const uint8_t*>(data), size};
  const int64_t faceStart = FindFace(b, faceIdx);
  if (faceStart < 0 || !b.Has(faceStart, kDirHeader))
    return;
  mFaceStart = static_cast<int>(faceStart);

  // A directory that runs past the end is a damaged face: none of its tables are trusted.
  const int64_t numTables = b.U16(faceStart + 4);
  if (!b.Has(faceStart + kDirHeader, numTables * kDirRecord))
    return;

  auto locate = [&](int64_t record, const char* tag, int64_t needs, int& location)
  {
    if (location || !b.TagIs(record, tag))
      return;
    const int64_t offset = b.U32(record + 8);
    if (offset > 0 && b.Has(offset, needs))
      location = static_cast<int>(offset);
  };
  for (int64_t i = 0; i < numTables; i++)
  {
    const int64_t record = faceStart + kDirHeader + i * kDirRecord;
    locate(record, "head", kHeadNeeds, mHeadLocation);
    locate(record, "name", kNameNeeds, mNameLocation);
    locate(record, "hhea", kHHeaNeeds, mHHeaLocation);
    locate(record, "fdsc", kFDscNeeds, mFDscLocation);
  }

  if (!IsValid())
    return;

  mUnitsPerEM = b.U16(mHeadLocation + 18);
  mMacStyle = b.U16(mHeadLocation + 44);
  mAscender = b.S16(mHHeaLocation + 4);
  mDescender = b.S16(mHHeaLocation + 6);
  mLineGap = b.S16(mHHeaLocation + 8);

  // The first record of the wanted platform whose string lies inside the bytes.
  auto name = [&](uint16_t nameID, uint16_t platform, uint16_t encoding, uint16_t language) -> std::string
  {
    const int64_t table = mNameLocation;
    const int64_t count = b.U16(table + 2);
    const int64_t storage = table + b.U16(table + 4);
    for (int64_t i = 0; i < count; i++)
    {
      const int64_t record = table + kNameNeeds + i * kNameRecord;
      if (!b.Has(record, kNameRecord))
        break;
      if (b.U16(record) != platform || b.U16(record + 2) != encoding || b.U16(record + 4) != language ||
          b.U16(record + 6) != nameID)
        continue;
      const int64_t length = b.U16(record + 8);
      const int64_t start = storage + b.U16(record + 10);
      if (!b.Has(start, length))
        continue;
      return platform == 3 ? UTF16BEToUTF8(b, start, length) : MacRomanToUTF8(b, start, length);
    }
    return {};
  };
  auto lookup = [&](uint16_t nameID)
  {
    std::string s = name(nameID, 3, 1, 1033);
    if (s.empty())
      s = name(nameID, 1, 0, 0);
    return WDL_String(s.c_str());
  };
  mFamily = lookup(1);
  mStyle = lookup(2);
}

IFontData::IFontData() : mFaceIdx(-1), mInfo(nullptr, 0, -1) {}

IFontData::IFontData(const void* data, int size, int faceIdx)
    : mBytes(data && size > 0
                 ? std::vector<uint8_t>(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size)
                 : std::vector<uint8_t>()),
      mFaceIdx(faceIdx), mInfo(mBytes.data(), GetSize(), faceIdx)
{
}

IFontData::IFontData(std::vector<uint8_t>&& bytes, int faceIdx)
    : mBytes(bytes.size() <= size_t(INT_MAX) ? std::move(bytes) : std::vector<uint8_t>()), mFaceIdx(faceIdx),
      mInfo(mBytes.data(), GetSize(), faceIdx)
{
}

int PlatformFont::GetFaceIdx(const void* data, int size, const char* styleName)
{
  const char* wanted = styleName ? styleName : "";
  // Faces without a style are skipped, so bound the walk by what a collection can hold in these bytes.
  const int maxFaces = size > 12 ? (size - 12) / 4 : 1;
  for (int i = 0; i < maxFaces; i++)
  {
    const IFontInfo info(data, size, i);
    if (!info.IsValid())
      return -1;
    if (info.GetStyle().GetLength() && (!wanted[0] || info.GetStyle().EqualsCase(wanted)))
      return i;
  }
  return -1;
}

} // namespace iplug::igraphics
