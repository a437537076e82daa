#pragma once
// Where IGraphicsLinux draws: a GL context and the target a finished frame is copied to. The headless surface
// (EGL, no window) and the window surface (GLX on an X11 child window) both implement it, so the drawing path
// above them is one.

#include <cstdint>
#include <vector>

namespace iplug::igraphics
{

class LinuxGLSurface
{
public:
  virtual ~LinuxGLSurface() = default;

  /** Makes the context current, remembering what was current; calls nest. False when it cannot. */
  virtual bool MakeCurrent() = 0;
  /** Undoes the matching MakeCurrent; the outermost restores the context that was current before. */
  virtual void ReleaseCurrent() = 0;
  /** Binds the frame's final target of width x height device pixels and sets the viewport; with \p clear, its
      colour becomes opaque black and its stencil zero. */
  virtual void BindTarget(int width, int height, bool clear) = 0;
  /** Shows the frame just copied to the target (a buffer swap for a window; nothing headless). */
  virtual void Present() {}
  /** Reads the target back as top-down RGBA rows; the context must be current. */
  virtual bool ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height) = 0;
};

} // namespace iplug::igraphics
