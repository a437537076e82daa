#include "LinuxFonts.h"

#include "IPlugPaths.h"

#include <climits>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

namespace iplug::igraphics
{

namespace
{

// The whole file, or nothing when it is not a regular readable file or does not fit an int size.
std::vector<uint8_t> ReadFontFile(const char* path)
{
  std::vector<uint8_t> bytes;
  const int fd = path && *path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0)
    return bytes;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= INT_MAX)
  {
    bytes.resize(size_t(st.st_size));
    size_t done = 0;
    while (done < bytes.size())
    {
      const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0)
        break;
      done += size_t(n);
    }
    // A file that shrank while being read is not trusted.
    if (done != bytes.size())
      bytes.clear();
  }
  close(fd);
  return bytes;
}

double EMRatio(const IFontInfo& info)
{
  const int height = info.GetAscender() - info.GetDescender();
  if (info.GetUnitsPerEM() <= 0 || height <= 0)
    return 1.;
  return double(info.GetUnitsPerEM()) / height;
}

const char* StyleName(ETextStyle style)
{
  switch (style)
  {
  case ETextStyle::kBold:
    return "Bold";
  case ETextStyle::kItalic:
    return "Italic";
  default:
    return "Regular";
  }
}

// A configuration of our own: the host process may use fontconfig's shared one, which we must neither replace
// nor tear down, and ours is freed when the module goes.
FcConfig* FontConfig()
{
  struct Holder
  {
    FcConfig* pConfig = FcInitLoadConfigAndFonts();
    ~Holder()
    {
      if (pConfig)
        FcConfigDestroy(pConfig);
    }
  };
  static Holder sHolder;
  return sHolder.pConfig;
}

// Compared with the font's first (primary) family and style: fontconfig also lists legacy names, under which
// "Roboto Thin" would count as a "Regular" of "Roboto".
bool PrimaryNameIs(FcPattern* pFont, const char* object, const char* wanted)
{
  FcChar8* value = nullptr;
  return FcPatternGetString(pFont, object, 0, &value) == FcResultMatch &&
         FcStrCmpIgnoreCase(value, reinterpret_cast<const FcChar8*>(wanted)) == 0;
}

// Only bytes that hold the face the font will use make a font, as a platform font service would refuse others.
PlatformFontPtr MakeFont(std::vector<uint8_t>&& bytes, const char* path, const char* styleName, bool isSystem)
{
  const int size = int(bytes.size());
  const int faceIdx = *styleName ? PlatformFont::GetFaceIdx(bytes.data(), size, styleName) : 0;
  if (!IFontInfo(bytes.data(), size, faceIdx).IsValid())
    return nullptr;
  return std::make_unique<LinuxFont>(std::move(bytes), path, styleName, isSystem);
}

} // namespace

LinuxFont::LinuxFont(std::vector<uint8_t>&& bytes, const char* path, const char* styleName, bool isSystem)
    : PlatformFont(isSystem), mBytes(std::move(bytes)), mPath(path ? path : ""), mStyleName(styleName ? styleName : "")
{
  const int size = mBytes.size() <= size_t(INT_MAX) ? int(mBytes.size()) : 0;
  const int faceIdx = mStyleName.GetLength() ? GetFaceIdx(mBytes.data(), size, mStyleName.Get()) : 0;
  const IFontInfo info(mBytes.data(), size, faceIdx);
  mDescriptor.mFamily = info.GetFamily();
  mDescriptor.mStyle = info.GetStyle();
  mDescriptor.mPath = mPath;
  mDescriptor.mFaceIdx = faceIdx;
  mDescriptor.mEMRatio = EMRatio(info);
}

IFontDataPtr LinuxFont::GetFontData()
{
  return std::make_unique<IFontData>(mBytes.data(), int(mBytes.size()), mDescriptor.mFaceIdx);
}

namespace LinuxFontHelpers
{

PlatformFontPtr LoadPlatformFont(const char* fontID, const char* fileName, const char* bundleID,
                                 const char* sharedResourcesSubPath)
{
  (void)fontID;
  WDL_String path;
  if (!fileName || !*fileName)
    return nullptr;
  if (!LocateResource(fileName, "ttf", path, bundleID, nullptr, sharedResourcesSubPath))
  {
    // A module that is a single file carries its fonts compiled in.
    const EmbeddedResource* embedded = FindEmbeddedResource(fileName, "ttf", bundleID);
    if (!embedded)
      return nullptr;
    return MakeFont(std::vector<uint8_t>(embedded->data, embedded->data + embedded->size), "", "", false);
  }
  return MakeFont(ReadFontFile(path.Get()), path.Get(), "", false);
}

PlatformFontPtr LoadPlatformFont(const char* fontID, const char* familyName, ETextStyle style)
{
  (void)fontID;
  FcConfig* pConfig = familyName && *familyName ? FontConfig() : nullptr;
  if (!pConfig)
    return nullptr;
  const char* styleName = StyleName(style);

  FcPattern* pPattern = FcPatternCreate();
  if (!pPattern)
    return nullptr;
  FcPatternAddString(pPattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(familyName));
  FcPatternAddString(pPattern, FC_STYLE, reinterpret_cast<const FcChar8*>(styleName));
  FcConfigSubstitute(pConfig, pPattern, FcMatchPattern);
  FcDefaultSubstitute(pPattern);

  // Sorted best first; the sort always offers something, so only exact matches are taken.
  FcResult result = FcResultNoMatch;
  FcFontSet* pFonts = FcFontSort(pConfig, pPattern, FcFalse, nullptr, &result);
  PlatformFontPtr font;
  for (int i = 0; pFonts && i < pFonts->nfont && !font; i++)
  {
    FcPattern* pFont = pFonts->fonts[i];
    FcChar8* file = nullptr;
    if (!PrimaryNameIs(pFont, FC_FAMILY, familyName) || !PrimaryNameIs(pFont, FC_STYLE, styleName) ||
        FcPatternGetString(pFont, FC_FILE, 0, &file) != FcResultMatch)
      continue;
    const char* path = reinterpret_cast<const char*>(file);
    font = MakeFont(ReadFontFile(path), path, styleName, true);
  }
  if (pFonts)
    FcFontSetDestroy(pFonts);
  FcPatternDestroy(pPattern);
  return font;
}

PlatformFontPtr LoadPlatformFont(const char* fontID, const void* data, int size)
{
  (void)fontID;
  if (!data || size <= 0)
    return nullptr;
  const uint8_t* pBytes = static_cast<const uint8_t*>(data);
  return MakeFont(std::vector<uint8_t>(pBytes, pBytes + size), "", "", false);
}

void CachePlatformFont(const char* fontID, const PlatformFontPtr& font, FontDescriptorCache& cache)
{
  auto* pFont = dynamic_cast<LinuxFont*>(font.get());
  if (!pFont)
    return;
  FontDescriptorCache::Accessor storage(cache);
  if (storage.Find(fontID))
    return;
  IFontDataPtr data = pFont->GetFontData();
  auto* pEntry = new LinuxFontDescriptor(*static_cast<const LinuxFontDescriptor*>(pFont->GetDescriptor()));
  pEntry->mEMRatio = EMRatio(data->GetInfo());
  storage.Add(pEntry, fontID);
}

const LinuxFontDescriptor* GetFontDescriptor(const char* fontID, FontDescriptorCache& cache)
{
  FontDescriptorCache::Accessor storage(cache);
  return storage.Find(fontID);
}

FontDescriptorCache& GetFontDescriptorCache()
{
  static FontDescriptorCache sCache;
  return sCache;
}

} // namespace LinuxFontHelpers

} // namespace iplug::igraphics
