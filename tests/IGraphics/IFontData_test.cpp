#include <gtest/gtest.h>

#include "IFontData.h"

#include <fstream>
#include <iterator>
#include <random>
#include <string>

using namespace iplug::igraphics;

namespace
{
using Bytes = std::vector<uint8_t>;

const char* kRobotoPath = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf";
// Read from the file with a separate script, not with the reader under test.
constexpr int kRobotoUPEM = 2048, kRobotoAsc = 1900, kRobotoDesc = -500, kRobotoGap = 0;

Bytes Roboto()
{
  std::ifstream f(kRobotoPath, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void Put16(Bytes& b, size_t at, uint32_t v) { b[at] = uint8_t(v >> 8), b[at + 1] = uint8_t(v); }
void Put32(Bytes& b, size_t at, uint32_t v) { Put16(b, at, v >> 16), Put16(b, at + 2, v); }
uint32_t Get32(const Bytes& b, size_t at)
{
  return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

size_t RecordOf(const Bytes& font, size_t faceStart, const char* tag)
{
  const size_t n = size_t(font[faceStart + 4]) << 8 | font[faceStart + 5];
  for (size_t r = faceStart + 12; r < faceStart + 12 + 16 * n; r += 16)
    if (!std::memcmp(&font[r], tag, 4))
      return r;
  return 0;
}

struct Name
{
  uint16_t platform, encoding, language, id;
  Bytes text;
};

Bytes NameTable(const std::vector<Name>& names)
{
  Bytes t(6 + 12 * names.size());
  Put16(t, 2, uint32_t(names.size())), Put16(t, 4, uint32_t(t.size()));
  size_t stored = 0;
  for (size_t i = 0; i < names.size(); i++)
  {
    const Name& n = names[i];
    const size_t r = 6 + 12 * i;
    Put16(t, r, n.platform), Put16(t, r + 2, n.encoding), Put16(t, r + 4, n.language), Put16(t, r + 6, n.id);
    Put16(t, r + 8, uint32_t(n.text.size())), Put16(t, r + 10, uint32_t(stored));
    stored += n.text.size();
  }
  for (const Name& n : names)
    t.insert(t.end(), n.text.begin(), n.text.end());
  return t;
}

Bytes UTF16(const std::u16string& s)
{
  Bytes b;
  for (char16_t c : s)
    b.push_back(uint8_t(c >> 8)), b.push_back(uint8_t(c));
  return b;
}

Name MS(uint16_t id, const std::u16string& s) { return {3, 1, 1033, id, UTF16(s)}; }
Name Mac(uint16_t id, const std::string& s) { return {1, 0, 0, id, Bytes(s.begin(), s.end())}; }

// A face of three tables: head, hhea and the given name table.
Bytes MakeFont(const Bytes& name, const char* sfntTag = "\0\1\0\0", int16_t asc = 800, int16_t desc = -200)
{
  Bytes head(54), hhea(36);
  Put16(head, 18, 1000), Put16(head, 44, 3);
  Put16(hhea, 4, uint16_t(asc)), Put16(hhea, 6, uint16_t(desc)), Put16(hhea, 8, 50);
  Bytes f(12 + 3 * 16);
  std::memcpy(f.data(), sfntTag, 4);
  Put16(f, 4, 3);
  const std::pair<const char*, const Bytes*> tables[] = {{"head", &head}, {"hhea", &hhea}, {"name", &name}};
  for (size_t i = 0; i < 3; i++)
  {
    std::memcpy(&f[12 + 16 * i], tables[i].first, 4);
    Put32(f, 12 + 16 * i + 8, uint32_t(f.size()));
    f.insert(f.end(), tables[i].second->begin(), tables[i].second->end());
  }
  return f;
}

// A ttcf of two faces over one copy of the Roboto tables; face 1 has its own name table.
Bytes MakeCollection(const Bytes& roboto, const Bytes& face1Name, uint16_t version = 1)
{
  const size_t header = 20, n = size_t(roboto[4]) << 8 | roboto[5];
  Bytes c(header);
  std::memcpy(c.data(), "ttcf", 4);
  Put16(c, 4, version), Put32(c, 8, 2), Put32(c, 12, header);
  c.insert(c.end(), roboto.begin(), roboto.end());
  for (size_t r = header + 12; r < header + 12 + 16 * n; r += 16)
    Put32(c, r + 8, Get32(c, r + 8) + header);
  const size_t face1 = c.size();
  Put32(c, 16, uint32_t(face1));
  c.insert(c.end(), c.begin() + header, c.begin() + header + 12 + 16 * n);
  Put32(c, RecordOf(c, face1, "name") + 8, uint32_t(c.size()));
  c.insert(c.end(), face1Name.begin(), face1Name.end());
  return c;
}

// Reads an exactly sized heap copy of the first size bytes, so the sanitizer sees any read past them.
IFontInfo ReadPrefix(const Bytes& b, size_t size, int face)
{
  const Bytes copy(b.begin(), b.begin() + size);
  return IFontInfo(copy.data(), int(copy.size()), face);
}
} // namespace

TEST(IFontData, RobotoNamesMetricsAndFaces)
{
  const Bytes roboto = Roboto();
  ASSERT_FALSE(roboto.empty()) << kRobotoPath;
  const IFontInfo info(roboto.data(), int(roboto.size()), 0);
  ASSERT_TRUE(info.IsValid());
  EXPECT_STREQ(info.GetFamily().Get(), "Roboto");
  EXPECT_STREQ(info.GetStyle().Get(), "Regular");
  EXPECT_EQ(info.GetUnitsPerEM(), kRobotoUPEM);
  EXPECT_EQ(info.GetAscender(), kRobotoAsc);
  EXPECT_EQ(info.GetDescender(), kRobotoDesc);
  EXPECT_EQ(info.GetLineHeight(), kRobotoAsc - kRobotoDesc + kRobotoGap);
  EXPECT_EQ(info.GetStyleFlags(), 0);

  EXPECT_FALSE(IFontInfo(roboto.data(), int(roboto.size()), 1).IsValid());

  IFontData data(roboto.data(), int(roboto.size()), 0);
  EXPECT_TRUE(data.IsValid());
  EXPECT_NE(data.Get(), roboto.data());
  EXPECT_EQ(data.GetSize(), int(roboto.size()));
  EXPECT_FALSE(IFontData(roboto.data(), int(roboto.size()), -1).IsValid());
  EXPECT_FALSE(IFontData().IsValid());
  EXPECT_EQ(IFontData().Get(), nullptr);

  EXPECT_EQ(PlatformFont::GetFaceIdx(roboto.data(), int(roboto.size()), "Regular"), 0);
  EXPECT_EQ(PlatformFont::GetFaceIdx(roboto.data(), int(roboto.size()), ""), 0);
  EXPECT_EQ(PlatformFont::GetFaceIdx(roboto.data(), int(roboto.size()), "Bold"), -1);
}

TEST(IFontData, CollectionFacesAndStyleLookup)
{
  const Bytes roboto = Roboto();
  const Bytes ttc = MakeCollection(roboto, NameTable({MS(1, u"Roboto"), MS(2, u"Bold")}));
  const int size = int(ttc.size());

  const IFontInfo face0(ttc.data(), size, 0), face1(ttc.data(), size, 1);
  ASSERT_TRUE(face0.IsValid() && face1.IsValid());
  EXPECT_STREQ(face0.GetStyle().Get(), "Regular");
  EXPECT_STREQ(face1.GetFamily().Get(), "Roboto");
  EXPECT_STREQ(face1.GetStyle().Get(), "Bold");
  EXPECT_EQ(face1.GetUnitsPerEM(), kRobotoUPEM);
  EXPECT_FALSE(IFontInfo(ttc.data(), size, 2).IsValid());
  Bytes oneFace = ttc;
  Put32(oneFace, 8, 1);
  EXPECT_FALSE(IFontInfo(oneFace.data(), size, 1).IsValid());
  EXPECT_TRUE(IFontData(ttc.data(), size, 1).IsValid());

  EXPECT_EQ(PlatformFont::GetFaceIdx(ttc.data(), size, "Bold"), 1);
  EXPECT_EQ(PlatformFont::GetFaceIdx(ttc.data(), size, "Regular"), 0);
  EXPECT_EQ(PlatformFont::GetFaceIdx(ttc.data(), size, "Italic"), -1);

  // A face without a style name is passed over.
  Bytes noStyle = MakeCollection(roboto, NameTable({MS(1, u"Roboto")}));
  std::swap_ranges(noStyle.begin() + 12, noStyle.begin() + 16, noStyle.begin() + 16);
  EXPECT_EQ(PlatformFont::GetFaceIdx(noStyle.data(), int(noStyle.size()), nullptr), 1);

  const Bytes v3 = MakeCollection(roboto, NameTable({}), 3);
  EXPECT_FALSE(IFontInfo(v3.data(), int(v3.size()), 0).IsValid());
}

TEST(IFontData, NameEncodings)
{
  auto read = [](const std::vector<Name>& names)
  {
    const Bytes f = MakeFont(NameTable(names));
    return IFontInfo(f.data(), int(f.size()), 0);
  };
  // Mac Roman when there is no Microsoft name, or an empty one; its upper half becomes UTF-8.
  EXPECT_STREQ(read({Mac(1, "Caf\x8E")}).GetFamily().Get(), "Caf\xC3\xA9");
  EXPECT_STREQ(read({Mac(2, std::string("Gras\0x", 6))}).GetStyle().Get(), "Gras");
  EXPECT_STREQ(read({MS(1, u""), Mac(1, "Mac")}).GetFamily().Get(), "Mac");
  EXPECT_STREQ(read({Mac(1, "Mac"), MS(1, u"Win")}).GetFamily().Get(), "Win");
  EXPECT_STREQ(read({{3, 1, 1031, 1, UTF16(u"De")}}).GetFamily().Get(), "");

  // Surrogate pairs combine; lone surrogates become U+FFFD; an odd last byte is dropped.
  EXPECT_STREQ(read({MS(1, u"a\U0001D11Eb")}).GetFamily().Get(), "a\xF0\x9D\x84\x9E"
                                                                 "b");
  EXPECT_STREQ(read({MS(1, u"a\xD834")}).GetFamily().Get(), "a\xEF\xBF\xBD");
  EXPECT_STREQ(read({MS(1, u"\xDD1Ex")}).GetFamily().Get(), "\xEF\xBF\xBDx");
  Name odd = MS(1, u"ab");
  odd.text.push_back('c');
  EXPECT_STREQ(read({odd}).GetFamily().Get(), "ab");

  const Bytes f = MakeFont(NameTable({}), "OTTO", -5, -32768);
  const IFontInfo info(f.data(), int(f.size()), 0);
  EXPECT_EQ(info.GetAscender(), -5);
  EXPECT_EQ(info.GetDescender(), -32768);
  EXPECT_EQ(info.GetStyleFlags(), 3);
  for (const char* tag : {"typ1", "1\0\0\0", "wOFF"})
  {
    const Bytes t = MakeFont(NameTable({}), tag);
    EXPECT_EQ(IFontInfo(t.data(), int(t.size()), 0).IsValid(), tag[0] != 'w') << tag;
  }
}

TEST(IFontData, TruncatedBytesReadSafely)
{
  const Bytes roboto = Roboto();
  const Bytes ttc = MakeCollection(roboto, NameTable({MS(1, u"Roboto"), MS(2, u"Bold")}));
  const Bytes small = MakeFont(NameTable({MS(1, u"Family"), MS(2, u"Style")}));
  for (size_t n = 0; n <= small.size(); n++)
  {
    const IFontInfo info = ReadPrefix(small, n, 0);
    if (info.IsValid())
    {
      EXPECT_EQ(info.GetUnitsPerEM(), 1000) << n;
    }
  }
  auto check = [](const Bytes& b, size_t n, int face)
  {
    const IFontInfo info = ReadPrefix(b, n, face);
    if (info.IsValid())
    {
      EXPECT_EQ(info.GetUnitsPerEM(), kRobotoUPEM) << n;
    }
  };
  // Every length of the headers, every cut through the name table, and random cuts.
  for (size_t n = 0; n <= 2048; n++)
    for (int face = 0; face < 3; face++)
      check(roboto, n, face), check(ttc, n, face);
  const size_t name = Get32(roboto, RecordOf(roboto, 0, "name") + 8);
  for (size_t n = name - 16; n < name + 740; n++)
    check(roboto, n, 0);
  std::mt19937 rng(7);
  for (int i = 0; i < 60; i++)
  {
    const size_t n = std::uniform_int_distribution<size_t>(0, ttc.size())(rng);
    for (int face = 0; face < 3; face++)
      check(ttc, n, face);
    const Bytes cut(ttc.begin(), ttc.begin() + n);
    EXPECT_LE(PlatformFont::GetFaceIdx(cut.data(), int(n), "Bold"), 1);
  }
}

TEST(IFontData, CorruptTablesReadSafely)
{
  const Bytes roboto = Roboto();
  auto read = [](const Bytes& b) { return ReadPrefix(b, b.size(), 0); };
  const size_t name = Get32(roboto, RecordOf(roboto, 0, "name") + 8);

  // Each table one byte too short for the last field read from it.
  for (auto [tag, needs] : {std::pair("head", 46u), std::pair("name", 6u), std::pair("hhea", 10u)})
    for (uint32_t offset : {uint32_t(roboto.size()) - needs + 1, 0xFFFFFFFFu, 0u})
    {
      Bytes b = roboto;
      Put32(b, RecordOf(b, 0, tag) + 8, offset);
      EXPECT_FALSE(read(b).IsValid()) << tag << " at " << offset;
    }

  Bytes manyTables = roboto;
  Put16(manyTables, 4, 0xFFFF);
  EXPECT_FALSE(read(manyTables).IsValid());

  Bytes storagePastEnd = roboto, manyNames = roboto, longNames = roboto;
  Put32(storagePastEnd, RecordOf(storagePastEnd, 0, "name") + 8, uint32_t(roboto.size() - 6));
  Put16(storagePastEnd, roboto.size() - 2, 0xFFFF);
  Put16(manyNames, name + 2, 0xFFFF);
  const size_t count = size_t(roboto[name + 2]) << 8 | roboto[name + 3];
  for (size_t r = 0; r < count; r++)
    Put16(longNames, name + 6 + 12 * r + 8, 0xFFFF);
  for (const Bytes* b : {&storagePastEnd, &manyNames, &longNames})
  {
    const IFontInfo info = read(*b);
    EXPECT_TRUE(info.IsValid());
    EXPECT_EQ(info.GetUnitsPerEM(), kRobotoUPEM);
  }
  EXPECT_STREQ(read(manyNames).GetFamily().Get(), "Roboto");
  const size_t nameEnd = name + Get32(roboto, RecordOf(roboto, 0, "name") + 12);
  EXPECT_STREQ(ReadPrefix(longNames, nameEnd, 0).GetFamily().Get(), "");
  EXPECT_STREQ(ReadPrefix(roboto, nameEnd, 0).GetFamily().Get(), "Roboto");

  // A collection claiming more faces than it has offsets for, and a face offset past the end.
  Bytes ttc = MakeCollection(roboto, NameTable({}));
  Put32(ttc, 8, 0xFFFFFFFF);
  EXPECT_FALSE(ReadPrefix(ttc, 30, 4).IsValid());
  Put32(ttc, 16, 0xFFFFFFF0);
  EXPECT_TRUE(read(ttc).IsValid());
  EXPECT_FALSE(IFontInfo(ttc.data(), int(ttc.size()), 1).IsValid());
  EXPECT_EQ(PlatformFont::GetFaceIdx(ttc.data(), int(ttc.size()), "Bold"), -1);
}
