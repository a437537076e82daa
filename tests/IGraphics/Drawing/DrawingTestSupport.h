#pragma once
// Headless drawing for tests: an IGraphicsLinux on the EGL surface, controls that draw what a test gives them,
// PNG files written into a fresh folder, and pixel reads of the last frame.

#include "../GraphicsTestSupport.h"
#include "IGraphicsLinux.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

namespace gfxtest
{

/** A control whose drawing is a function. */
class DrawFuncControl : public IControl
{
public:
  DrawFuncControl(const IRECT& bounds, std::function<void(IGraphics&, const IRECT&)> func)
      : IControl(bounds), mFunc(std::move(func))
  {
  }
  void Draw(IGraphics& g) override { mFunc(g, GetRECT()); }
  std::function<void(IGraphics&, const IRECT&)> mFunc;
};

struct Pixel
{
  int r = 0, g = 0, b = 0, a = 0;
};

/** An open headless editor of w x h logical pixels at a screen scale. Opening fails the test, never skips. */
class HeadlessEditor
{
public:
  HeadlessEditor(int w, int h, float screenScale = 1.f) : mDelegate(mLog)
  {
    mGraphics = std::make_unique<IGraphicsLinux>(mDelegate, w, h, 60, 1.f);
    mDelegate.AttachUI(mGraphics.get());
    mOpen = mGraphics->OpenHeadless(screenScale);
    EXPECT_TRUE(mOpen) << "headless GL unavailable: " << mGraphics->GetSurfaceError();
  }
  ~HeadlessEditor()
  {
    mGraphics->CloseHeadless();
    mDelegate.DetachUI();
  }

  IGraphicsLinux& G() { return *mGraphics; }
  TestDelegate& Delegate() { return mDelegate; }
  Log& GetLog() { return mLog; }
  bool IsOpen() const { return mOpen; }

  /** Draws a frame and reads it back. */
  bool Frame()
  {
    mGraphics->OnFrameTick();
    return mGraphics->ReadFramePixels(mPixels, mW, mH);
  }
  Pixel At(int x, int y) const
  {
    const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(mW) + static_cast<size_t>(x)) * 4;
    return {mPixels[i], mPixels[i + 1], mPixels[i + 2], mPixels[i + 3]};
  }
  int PixelWidth() const { return mW; }
  int PixelHeight() const { return mH; }

private:
  Log mLog;
  TestDelegate mDelegate;
  std::unique_ptr<IGraphicsLinux> mGraphics;
  bool mOpen = false;
  std::vector<uint8_t> mPixels;
  int mW = 0;
  int mH = 0;
};

/** A folder of its own for one test's files, removed afterwards. */
class TempDir
{
public:
  TempDir()
  {
    static int sCount = 0;
    mPath = std::filesystem::temp_directory_path() /
            ("brevant-gfx-" + std::to_string(::getpid()) + "-" + std::to_string(sCount++));
    std::filesystem::create_directories(mPath);
  }
  ~TempDir() { std::filesystem::remove_all(mPath); }
  std::string operator/(const std::string& name) const { return (mPath / name).string(); }

private:
  std::filesystem::path mPath;
};

/** Writes a w x h PNG filled by colour(x, y). */
inline void WritePNG(const std::string& path, int w, int h, const std::function<Pixel(int, int)>& colour)
{
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
    {
      const Pixel p = colour(x, y);
      uint8_t* d = &rgba[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4];
      d[0] = static_cast<uint8_t>(p.r);
      d[1] = static_cast<uint8_t>(p.g);
      d[2] = static_cast<uint8_t>(p.b);
      d[3] = static_cast<uint8_t>(p.a);
    }
  ASSERT_NE(stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4), 0);
}

} // namespace gfxtest
