#pragma once
// Fonts on Linux: font files read into memory, system fonts by family and style through fontconfig, and the
// process-wide store of descriptors the platform text field sizes its font with. The platform graphics
// context forwards its LoadPlatformFont and CachePlatformFont overrides here.

#include "IFontData.h"
#include "IGraphicsStructs.h"
#include "StaticStorage.h"
#include "wdlstring.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace iplug::igraphics
{

// As the graphics context declares it; this header stays free of the context's own dependencies.
using PlatformFontPtr = std::unique_ptr<PlatformFont>;

/** What the platform knows of a font: where it came from and how big its em is against its line. */
struct LinuxFontDescriptor
{
  WDL_String mFamily;
  WDL_String mStyle;
  /** Empty for memory fonts. */
  WDL_String mPath;
  int mFaceIdx = 0;
  /** Units per em / (ascender - descender); 1 when the metrics cannot give it. */
  double mEMRatio = 1.;
};

class LinuxFont : public PlatformFont
{
public:
  /** styleName picks the face of a collection; empty means face 0. */
  LinuxFont(std::vector<uint8_t>&& bytes, const char* path, const char* styleName, bool isSystem);

  /** A LinuxFontDescriptor*, valid while this font lives. */
  void* GetDescriptor() override { return &mDescriptor; }
  IFontDataPtr GetFontData() override;

  const WDL_String& GetPath() const { return mPath; }
  const WDL_String& GetStyleName() const { return mStyleName; }

private:
  std::vector<uint8_t> mBytes;
  WDL_String mPath;
  WDL_String mStyleName;
  LinuxFontDescriptor mDescriptor;
};

namespace LinuxFontHelpers
{

using FontDescriptorCache = StaticStorage<LinuxFontDescriptor>;

/** fileName located as a "ttf" resource (the bundle, the shared location, then as a path). Null when it is
    not found, cannot be read or holds no font. */
PlatformFontPtr LoadPlatformFont(const char* fontID, const char* fileName, const char* bundleID,
                                 const char* sharedResourcesSubPath);

/** The first installed font whose family and style ("Regular", "Bold", "Italic") match exactly and whose
    file can be read; a system font. Null when there is none. */
PlatformFontPtr LoadPlatformFont(const char* fontID, const char* familyName, ETextStyle style);

/** A copy of size bytes. Null when they hold no font. */
PlatformFontPtr LoadPlatformFont(const char* fontID, const void* data, int size);

/** Adds the font's descriptor for fontID unless the cache has one already. */
void CachePlatformFont(const char* fontID, const PlatformFontPtr& font, FontDescriptorCache& cache);

/** The cached descriptor for fontID, or null. Owned by the cache. */
const LinuxFontDescriptor* GetFontDescriptor(const char* fontID, FontDescriptorCache& cache);

/** The process-wide descriptor cache. Each platform graphics context retains it while it exists (through a
    StaticStorage::Accessor) and releases it when it goes; the last release empties it. */
FontDescriptorCache& GetFontDescriptorCache();

} // namespace LinuxFontHelpers

} // namespace iplug::igraphics
