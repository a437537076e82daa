#pragma once
// A headless drawing surface: an EGL context without a window (Mesa's surfaceless platform, llvmpipe where
// there is no GPU) whose frame target is an offscreen framebuffer that can be read back.

#include "LinuxGLSurface.h"

#include <memory>

namespace iplug::igraphics
{

class LinuxEGLSurface : public LinuxGLSurface
{
public:
  /** A GL 3.2 core context on the surfaceless display, or null with the reason in error. */
  static std::unique_ptr<LinuxEGLSurface> Create(const char** error = nullptr);
  ~LinuxEGLSurface() override;

  bool MakeCurrent() override;
  void ReleaseCurrent() override;
  void BindTarget(int width, int height, bool clear) override;
  bool ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height) override;

  /** The GL renderer's name (for diagnostics: "llvmpipe ..." on machines without a GPU). */
  const char* GetRenderer();

private:
  LinuxEGLSurface() = default;
  void DeleteTarget();

  void* mContext = nullptr; // EGLContext
  void* mPrevDisplay = nullptr;
  void* mPrevContext = nullptr;
  void* mPrevDraw = nullptr;
  void* mPrevRead = nullptr;
  int mDepth = 0;
  unsigned mFBO = 0;
  unsigned mColorRB = 0;
  unsigned mStencilRB = 0;
  int mWidth = 0;
  int mHeight = 0;
};

} // namespace iplug::igraphics
