#include <gtest/gtest.h>

#include "IPlugPaths.h"
#include "LinuxFonts.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>

using namespace iplug::igraphics;
namespace fonts = iplug::igraphics::LinuxFontHelpers;

namespace
{
const char* kRobotoPath = "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf";
constexpr double kRobotoEMRatio = 2048. / (1900. + 500.);

std::vector<uint8_t> Roboto()
{
  std::ifstream f(kRobotoPath, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

const LinuxFontDescriptor& Descriptor(const PlatformFontPtr& font)
{
  return *static_cast<const LinuxFontDescriptor*>(font->GetDescriptor());
}

// A scratch folder removed with its files.
struct TempDir
{
  std::string path;
  TempDir()
  {
    char tmpl[] = "/tmp/brevant-fonts-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string Write(const char* name, const std::string& text) const
  {
    const std::string file = path + "/" + name;
    std::ofstream(file, std::ios::binary) << text;
    return file;
  }
};
} // namespace

TEST(LinuxFonts, SystemFontByFamilyAndStyle)
{
  const PlatformFontPtr regular = fonts::LoadPlatformFont("f", "Roboto", ETextStyle::kNormal);
  ASSERT_TRUE(regular) << "fontconfig does not list Roboto Regular (fonts-roboto-unhinted)";
  EXPECT_TRUE(regular->IsSystem());
  // Not a weight whose legacy style name is also "Regular", such as Roboto Thin.
  EXPECT_NE(Descriptor(regular).mPath.GetLength(), 0);
  EXPECT_NE(std::string(Descriptor(regular).mPath.Get()).find("Roboto-Regular"), std::string::npos);
  EXPECT_STREQ(Descriptor(regular).mStyle.Get(), "Regular");
  const IFontDataPtr data = regular->GetFontData();
  EXPECT_TRUE(data->IsValid());
  EXPECT_STREQ(data->GetInfo().GetFamily().Get(), "Roboto");

  const PlatformFontPtr bold = fonts::LoadPlatformFont("f", "roboto", ETextStyle::kBold);
  ASSERT_TRUE(bold);
  EXPECT_STREQ(bold->GetFontData()->GetInfo().GetStyle().Get(), "Bold");

  EXPECT_FALSE(fonts::LoadPlatformFont("f", "No Such Family Brevant", ETextStyle::kNormal));
  EXPECT_FALSE(fonts::LoadPlatformFont("f", "", ETextStyle::kNormal));
  EXPECT_FALSE(fonts::LoadPlatformFont("f", static_cast<const char*>(nullptr), ETextStyle::kNormal));
}

TEST(LinuxFonts, FileAndMemoryFonts)
{
  const PlatformFontPtr file = fonts::LoadPlatformFont("f", kRobotoPath, "", "");
  ASSERT_TRUE(file);
  EXPECT_FALSE(file->IsSystem());
  EXPECT_STREQ(Descriptor(file).mPath.Get(), kRobotoPath);
  const IFontDataPtr fileData = file->GetFontData();
  EXPECT_TRUE(fileData->IsValid());
  EXPECT_EQ(fileData->GetSize(), int(Roboto().size()));

  // Missing, not a regular file, empty, or not a font.
  const TempDir dir;
  mkdir((dir.path + "/dir.ttf").c_str(), 0700);
  for (const std::string& path : {std::string("/no/such/Font.ttf"), dir.path + "/dir.ttf", dir.Write("empty.ttf", ""),
                                  dir.Write("text.ttf", "not a font at all")})
    EXPECT_FALSE(fonts::LoadPlatformFont("f", path.c_str(), "", "")) << path;
  EXPECT_FALSE(fonts::LoadPlatformFont("f", "", "", ""));

  // By name from the bundle's resources, as the editor loads its font.
  std::filesystem::create_directories(dir.path + "/Fonts.vst3/Contents/Resources");
  std::filesystem::copy_file(kRobotoPath, dir.path + "/Fonts.vst3/Contents/Resources/Roboto-Regular.ttf");
  iplug::SetBundlePath("com.test.fonts", (dir.path + "/Fonts.vst3").c_str());
  const PlatformFontPtr bundled = fonts::LoadPlatformFont("f", "Roboto-Regular.ttf", "com.test.fonts", "");
  iplug::ClearBundlePath("com.test.fonts");
  ASSERT_TRUE(bundled);
  EXPECT_EQ(std::string(Descriptor(bundled).mPath.Get()),
            dir.path + "/Fonts.vst3/Contents/Resources/Roboto-Regular.ttf");

  std::vector<uint8_t> bytes = Roboto();
  const PlatformFontPtr memory = fonts::LoadPlatformFont("m", bytes.data(), int(bytes.size()));
  ASSERT_TRUE(memory);
  EXPECT_EQ(Descriptor(memory).mPath.GetLength(), 0);
  bytes.assign(bytes.size(), 0);
  const IFontDataPtr memoryData = memory->GetFontData();
  EXPECT_TRUE(memoryData->IsValid()) << "the font keeps its own copy";
  EXPECT_FALSE(fonts::LoadPlatformFont("m", bytes.data(), int(bytes.size())));
  EXPECT_FALSE(fonts::LoadPlatformFont("m", static_cast<const void*>(nullptr), 10));
}

TEST(LinuxFonts, DescriptorCache)
{
  fonts::FontDescriptorCache cache;
  const PlatformFontPtr font = fonts::LoadPlatformFont("f", kRobotoPath, "", "");
  ASSERT_TRUE(font);
  EXPECT_EQ(fonts::GetFontDescriptor("Roboto-Regular", cache), nullptr);
  fonts::CachePlatformFont("Roboto-Regular", font, cache);
  fonts::CachePlatformFont("Roboto-Regular", font, cache);
  EXPECT_EQ(cache.NEntries(), 1);
  const LinuxFontDescriptor* pCached = fonts::GetFontDescriptor("Roboto-Regular", cache);
  ASSERT_TRUE(pCached);
  EXPECT_DOUBLE_EQ(pCached->mEMRatio, kRobotoEMRatio);
  EXPECT_STREQ(pCached->mPath.Get(), kRobotoPath);
  EXPECT_EQ(fonts::GetFontDescriptor("Other", cache), nullptr);

  // Ascender equal to descender: no ratio from the metrics.
  std::vector<uint8_t> flat = Roboto();
  const int hhea = font->GetFontData()->GetInfo().GetHHeaLocation();
  flat[hhea + 4] = flat[hhea + 6], flat[hhea + 5] = flat[hhea + 7];
  fonts::CachePlatformFont("flat", fonts::LoadPlatformFont("flat", flat.data(), int(flat.size())), cache);
  ASSERT_TRUE(fonts::GetFontDescriptor("flat", cache));
  EXPECT_EQ(fonts::GetFontDescriptor("flat", cache)->mEMRatio, 1.);

  EXPECT_EQ(&fonts::GetFontDescriptorCache(), &fonts::GetFontDescriptorCache());
}
