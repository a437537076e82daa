#pragma once
// A window surface: an X11 child window of the host's window with a GLX 3.2 core context. The frame is drawn
// into the window's back buffer and shown with a buffer swap; a screenshot reads the window back from the server.

#include "LinuxGLSurface.h"

#include <memory>

typedef struct _XDisplay Display;

namespace iplug::igraphics
{

class LinuxGLXSurface : public LinuxGLSurface
{
public:
  /** Creates a child window of parent (width x height pixels, selecting eventMask) with a GL 3.2 core context
   *  that has a stencil buffer. Null with the reason in error. The display must outlive the surface. */
  static std::unique_ptr<LinuxGLXSurface> Create(Display* display, unsigned long parent, int width, int height,
                                                 long eventMask, const char** error = nullptr);
  /** Destroys the context, then the window. */
  ~LinuxGLXSurface() override;

  bool MakeCurrent() override;
  void ReleaseCurrent() override;
  void BindTarget(int width, int height, bool clear) override;
  void Present() override;
  /** The window's contents as the X server holds them (XGetImage); needs no GL. */
  bool ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height) override;

  unsigned long GetWindow() const { return mWindow; }
  Display* GetDisplay() const { return mDisplay; }

private:
  LinuxGLXSurface() = default;

  Display* mDisplay = nullptr;
  unsigned long mWindow = 0;
  unsigned long mColormap = 0;
  void* mContext = nullptr; // GLXContext
  void* mPrevDisplay = nullptr;
  void* mPrevContext = nullptr;
  unsigned long mPrevDraw = 0;
  unsigned long mPrevRead = 0;
  int mDepth = 0;
};

} // namespace iplug::igraphics
