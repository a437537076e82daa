#include "IControl.h"
#include "IFontData.h"
#include "IGraphicsEditorDelegate.h"
#include "IGraphicsLinux.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace iplug;
using namespace iplug::igraphics;

// Untrusted font bytes through the face reader and the face search by style name, then the path an editor
// takes: loaded through the drawing backend, text measured, and a headless frame drawn with it.

namespace
{
constexpr int kWidth = 160, kHeight = 48;
// Loaded fonts stay until their editor goes: a fresh one every so many keeps the process small.
constexpr int kFontsPerEditor = 64;

class TextControl : public IControl
{
public:
  TextControl(const IRECT& bounds) : IControl(bounds) {}
  void Draw(IGraphics& g) override
  {
    g.FillRect(COLOR_BLACK, GetRECT());
    for (float size : {9.f, 40.f})
    {
      const IText style(size, COLOR_WHITE, mFontID.c_str(), EAlign::kCenter, EVAlign::kMiddle);
      g.DrawText(style, mText.c_str(), GetRECT());
    }
  }
  std::string mFontID, mText;
};

struct Editor
{
  IGEditorDelegate delegate{0};
  std::unique_ptr<IGraphicsLinux> graphics;
  TextControl* text = nullptr;
  int fonts = 0;

  bool Open()
  {
    graphics = std::make_unique<IGraphicsLinux>(delegate, kWidth, kHeight, 60, 1.f);
    if (!graphics->OpenHeadless(1.f))
    {
      std::fprintf(stderr, "headless GL unavailable: %s\n", graphics->GetSurfaceError());
      return false;
    }
    text = new TextControl(graphics->GetBounds());
    graphics->AttachControl(text);
    fonts = 0;
    return true;
  }
  void Close()
  {
    if (graphics)
      graphics->CloseHeadless();
    graphics.reset();
  }
};

Editor* sEditor = nullptr;
int sFontCount = 0;
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  sEditor = new Editor;
  if (!sEditor->Open())
    std::abort();
  return 0;
}

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

  if (size > (1u << 20))
    return 0;
  if (sEditor->fonts == kFontsPerEditor)
  {
    sEditor->Close();
    if (!sEditor->Open())
      std::abort();
  }
  // Each input is a font of its own: the backend keeps the first font loaded under a name.
  const std::string id = "fuzz-" + std::to_string(sFontCount++);
  IGraphicsLinux& g = *sEditor->graphics;
  if (!g.LoadFont(id.c_str(), const_cast<uint8_t*>(data), n))
    return 0;
  sEditor->fonts++;

  // The text: fixed, then the input's last bytes, so code points anywhere can be asked for.
  std::string text = "Attack 12.5 ms AVATAR fi \xC3\xA9\xE2\x82\xAC ";
  text.append(reinterpret_cast<const char*>(data) + (size > 24 ? size - 24 : 0), size > 24 ? 24 : size);
  text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
  IRECT bounds;
  g.MeasureText(IText(14.f, COLOR_WHITE, id.c_str()), text.c_str(), bounds);
  sEditor->text->mFontID = id;
  sEditor->text->mText = text;
  sEditor->text->SetDirty(false);
  g.OnFrameTick();
  std::vector<uint8_t> pixels;
  int w = 0, h = 0;
  g.ReadFramePixels(pixels, w, h);
  return 0;
}
