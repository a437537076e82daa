#include "LinuxGLXSurface.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

#ifndef GLX_CONTEXT_MAJOR_VERSION_ARB
#define GLX_CONTEXT_MAJOR_VERSION_ARB 0x2091
#define GLX_CONTEXT_MINOR_VERSION_ARB 0x2092
#define GLX_CONTEXT_PROFILE_MASK_ARB 0x9126
#define GLX_CONTEXT_CORE_PROFILE_BIT_ARB 0x00000001
#endif

namespace iplug::igraphics
{

namespace
{
using CreateContextAttribs = GLXContext (*)(Display*, GLXFBConfig, GLXContext, Bool, const int*);
using SwapIntervalEXT = void (*)(Display*, GLXDrawable, int);
using SwapIntervalMESA = int (*)(unsigned);

void Fail(const char** error, const char* reason)
{
  if (error)
    *error = reason;
}

// Shifts a visual's channel mask down to a byte.
uint8_t Channel(unsigned long pixel, unsigned long mask)
{
  if (!mask)
    return 0;
  int shift = 0;
  while (!(mask & 1ul))
  {
    mask >>= 1;
    shift++;
  }
  const unsigned long v = (pixel >> shift) & mask;
  return static_cast<uint8_t>(mask == 0xff ? v : v * 255ul / mask);
}
} // namespace

std::unique_ptr<LinuxGLXSurface> LinuxGLXSurface::Create(Display* display, unsigned long parent, int width, int height,
                                                         long eventMask, const char** error)
{
  if (!display || !parent)
  {
    Fail(error, "no X display or parent window");
    return nullptr;
  }
  int glxMajor = 0, glxMinor = 0;
  if (!glXQueryVersion(display, &glxMajor, &glxMinor) || (glxMajor == 1 && glxMinor < 3))
  {
    Fail(error, "the X server offers no GLX 1.3");
    return nullptr;
  }
  const int screen = DefaultScreen(display);
  // NanoVG fills paths through the stencil buffer; no alpha, so the window has the parent's depth.
  const int fbAttribs[] = {GLX_X_RENDERABLE,
                           True,
                           GLX_DRAWABLE_TYPE,
                           GLX_WINDOW_BIT,
                           GLX_RENDER_TYPE,
                           GLX_RGBA_BIT,
                           GLX_X_VISUAL_TYPE,
                           GLX_TRUE_COLOR,
                           GLX_RED_SIZE,
                           8,
                           GLX_GREEN_SIZE,
                           8,
                           GLX_BLUE_SIZE,
                           8,
                           GLX_STENCIL_SIZE,
                           8,
                           GLX_DOUBLEBUFFER,
                           True,
                           None};
  int nConfigs = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, screen, fbAttribs, &nConfigs);
  if (!configs || nConfigs < 1)
  {
    if (configs)
      XFree(configs);
    Fail(error, "no GLX framebuffer config with RGB8 and an 8-bit stencil");
    return nullptr;
  }
  GLXFBConfig config = configs[0];
  XFree(configs);

  auto createContext = reinterpret_cast<CreateContextAttribs>(
      glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCreateContextAttribsARB")));
  if (!createContext)
  {
    Fail(error, "GLX cannot create core-profile contexts");
    return nullptr;
  }
  XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
  if (!visual)
  {
    Fail(error, "the GLX config has no X visual");
    return nullptr;
  }

  std::unique_ptr<LinuxGLXSurface> surface(new LinuxGLXSurface());
  surface->mDisplay = display;
  surface->mColormap = XCreateColormap(display, parent, visual->visual, AllocNone);
  XSetWindowAttributes attrs = {};
  attrs.colormap = surface->mColormap;
  attrs.border_pixel = 0;
  attrs.background_pixmap = None;
  attrs.event_mask = eventMask;
  surface->mWindow = XCreateWindow(display, parent, 0, 0, static_cast<unsigned>(width > 0 ? width : 1),
                                   static_cast<unsigned>(height > 0 ? height : 1), 0, visual->depth, InputOutput,
                                   visual->visual, CWColormap | CWBorderPixel | CWBackPixmap | CWEventMask, &attrs);
  XFree(visual);
  if (!surface->mWindow)
  {
    Fail(error, "XCreateWindow failed");
    return nullptr;
  }

  const int contextAttribs[] = {
      GLX_CONTEXT_MAJOR_VERSION_ARB,    3,   GLX_CONTEXT_MINOR_VERSION_ARB, 2, GLX_CONTEXT_PROFILE_MASK_ARB,
      GLX_CONTEXT_CORE_PROFILE_BIT_ARB, None};
  GLXContext context = createContext(display, config, nullptr, True, contextAttribs);
  XSync(display, False);
  if (!context)
  {
    Fail(error, "GLX could not create an OpenGL 3.2 core context");
    return nullptr;
  }
  surface->mContext = context;
  XMapWindow(display, surface->mWindow);

  if (!surface->MakeCurrent())
  {
    Fail(error, "GLX could not make the window's context current");
    return nullptr;
  }
  // The frame tick paces drawing; a swap must not wait for the display and hold up the host's UI thread.
  if (auto ext = reinterpret_cast<SwapIntervalEXT>(
          glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT"))))
    ext(display, surface->mWindow, 0);
  else if (auto mesa = reinterpret_cast<SwapIntervalMESA>(
               glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA"))))
    mesa(0);
  surface->ReleaseCurrent();
  return surface;
}

LinuxGLXSurface::~LinuxGLXSurface()
{
  if (mContext)
  {
    // Never leave a destroyed context current.
    if (glXGetCurrentContext() == static_cast<GLXContext>(mContext))
      glXMakeCurrent(mDisplay, None, nullptr);
    glXDestroyContext(mDisplay, static_cast<GLXContext>(mContext));
  }
  if (mWindow)
    XDestroyWindow(mDisplay, mWindow);
  if (mColormap)
    XFreeColormap(mDisplay, mColormap);
  XSync(mDisplay, False);
}

bool LinuxGLXSurface::MakeCurrent()
{
  if (mDepth++ > 0)
    return true;
  mPrevContext = glXGetCurrentContext();
  mPrevDisplay = glXGetCurrentDisplay();
  mPrevDraw = glXGetCurrentDrawable();
  mPrevRead = glXGetCurrentReadDrawable();
  if (mPrevContext == mContext && mPrevDraw == mWindow)
    return true;
  if (!glXMakeCurrent(mDisplay, mWindow, static_cast<GLXContext>(mContext)))
  {
    mDepth--;
    return false;
  }
  return true;
}

void LinuxGLXSurface::ReleaseCurrent()
{
  if (mDepth <= 0 || --mDepth > 0)
    return;
  if (mPrevContext == mContext && mPrevDraw == mWindow)
    return;
  // Put back what the host (or another editor) had current.
  if (mPrevContext && mPrevDisplay)
    glXMakeContextCurrent(static_cast<Display*>(mPrevDisplay), mPrevDraw, mPrevRead,
                          static_cast<GLXContext>(mPrevContext));
  else
    glXMakeCurrent(mDisplay, None, nullptr);
}

void LinuxGLXSurface::BindTarget(int width, int height, bool clear)
{
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glViewport(0, 0, width > 0 ? width : 1, height > 0 ? height : 1);
  if (!clear)
    return;
  glClearColor(0.f, 0.f, 0.f, 1.f);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void LinuxGLXSurface::Present() { glXSwapBuffers(mDisplay, mWindow); }

bool LinuxGLXSurface::ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height)
{
  XWindowAttributes wa = {};
  if (!XGetWindowAttributes(mDisplay, mWindow, &wa) || wa.width <= 0 || wa.height <= 0)
    return false;
  XImage* image = XGetImage(mDisplay, mWindow, 0, 0, static_cast<unsigned>(wa.width), static_cast<unsigned>(wa.height),
                            AllPlanes, ZPixmap);
  if (!image)
    return false;
  width = wa.width;
  height = wa.height;
  rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  uint8_t* p = rgba.data();
  for (int y = 0; y < height; y++)
  {
    for (int x = 0; x < width; x++, p += 4)
    {
      const unsigned long pixel = XGetPixel(image, x, y);
      p[0] = Channel(pixel, image->red_mask);
      p[1] = Channel(pixel, image->green_mask);
      p[2] = Channel(pixel, image->blue_mask);
      p[3] = 255;
    }
  }
  XDestroyImage(image);
  return true;
}

} // namespace iplug::igraphics
