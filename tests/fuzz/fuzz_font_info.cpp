#include "IFontData.h"
#include <cstddef>
#include <cstdint>

using namespace iplug::igraphics;

// Untrusted font bytes through the face reader and the face search by style name.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const int n = static_cast<int>(size);
  for (int face = 0; face < 4; face++)
  {
    const IFontInfo info(data, n, face);
    if (info.IsValid())
      (void)(info.GetFamily().GetLength() + info.GetStyle().GetLength() + info.GetLineHeight());
  }
  PlatformFont::GetFaceIdx(data, n, "Regular");
  PlatformFont::GetFaceIdx(data, n, "");
  return 0;
}
