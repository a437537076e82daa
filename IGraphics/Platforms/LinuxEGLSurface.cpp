#include "LinuxEGLSurface.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <mutex>

namespace iplug::igraphics
{

namespace
{
// One display for the process, initialised once and never terminated: eglTerminate would end every context on
// it, and the driver it unloads keeps allocations of its own that would then be unreachable.
std::mutex sDisplayMutex;
EGLDisplay sDisplay = EGL_NO_DISPLAY;

EGLDisplay AcquireDisplay(const char** error)
{
  std::lock_guard<std::mutex> lock(sDisplayMutex);
  if (sDisplay == EGL_NO_DISPLAY)
  {
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor))
    {
      if (error)
        *error = "no EGL surfaceless display (is Mesa's libegl-mesa0 installed?)";
      return EGL_NO_DISPLAY;
    }
    sDisplay = display;
  }
  return sDisplay;
}
} // namespace

std::unique_ptr<LinuxEGLSurface> LinuxEGLSurface::Create(const char** error)
{
  EGLDisplay display = AcquireDisplay(error);
  if (display == EGL_NO_DISPLAY)
    return nullptr;

  // Surfaceless displays have no window configs: ask for a pbuffer-capable one, else go without a config.
  const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLConfig config = EGL_NO_CONFIG_KHR;
  EGLint nConfigs = 0;
  if (!eglBindAPI(EGL_OPENGL_API))
  {
    if (error)
      *error = "EGL offers no desktop OpenGL";
    return nullptr;
  }
  if (!eglChooseConfig(display, configAttribs, &config, 1, &nConfigs) || nConfigs < 1)
    config = EGL_NO_CONFIG_KHR;

  const EGLint contextAttribs[] = {
      EGL_CONTEXT_MAJOR_VERSION,           3,       EGL_CONTEXT_MINOR_VERSION, 2, EGL_CONTEXT_OPENGL_PROFILE_MASK,
      EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT, EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttribs);
  if (context == EGL_NO_CONTEXT)
  {
    if (error)
      *error = "EGL could not create an OpenGL 3.2 core context";
    return nullptr;
  }

  std::unique_ptr<LinuxEGLSurface> surface(new LinuxEGLSurface());
  surface->mContext = context;
  if (!surface->MakeCurrent())
  {
    if (error)
      *error = "EGL could not make a surfaceless context current";
    return nullptr;
  }
  surface->ReleaseCurrent();
  return surface;
}

LinuxEGLSurface::~LinuxEGLSurface()
{
  if (mContext)
  {
    if (MakeCurrent())
    {
      DeleteTarget();
      ReleaseCurrent();
    }
    eglDestroyContext(sDisplay, static_cast<EGLContext>(mContext));
  }
}

bool LinuxEGLSurface::MakeCurrent()
{
  if (mDepth++ > 0)
    return true;
  mPrevDisplay = eglGetCurrentDisplay();
  mPrevContext = eglGetCurrentContext();
  mPrevDraw = eglGetCurrentSurface(EGL_DRAW);
  mPrevRead = eglGetCurrentSurface(EGL_READ);
  eglBindAPI(EGL_OPENGL_API);
  if (mPrevContext == mContext)
    return true;
  if (!eglMakeCurrent(sDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, static_cast<EGLContext>(mContext)))
  {
    mDepth--;
    return false;
  }
  return true;
}

void LinuxEGLSurface::ReleaseCurrent()
{
  if (mDepth <= 0 || --mDepth > 0)
    return;
  if (mPrevContext == mContext)
    return;
  if (mPrevContext)
    eglMakeCurrent(static_cast<EGLDisplay>(mPrevDisplay), static_cast<EGLSurface>(mPrevDraw),
                   static_cast<EGLSurface>(mPrevRead), static_cast<EGLContext>(mPrevContext));
  else
    eglMakeCurrent(sDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void LinuxEGLSurface::DeleteTarget()
{
  if (mFBO)
    glDeleteFramebuffers(1, &mFBO);
  if (mColorRB)
    glDeleteRenderbuffers(1, &mColorRB);
  if (mStencilRB)
    glDeleteRenderbuffers(1, &mStencilRB);
  mFBO = mColorRB = mStencilRB = 0;
  mWidth = mHeight = 0;
}

void LinuxEGLSurface::BindTarget(int width, int height, bool clear)
{
  width = width > 0 ? width : 1;
  height = height > 0 ? height : 1;
  if (width != mWidth || height != mHeight || !mFBO)
  {
    DeleteTarget();
    glGenFramebuffers(1, &mFBO);
    glGenRenderbuffers(1, &mColorRB);
    glGenRenderbuffers(1, &mStencilRB);
    // No alpha, as a window has none: it reads back opaque, and a frame needs no pass to make it so.
    glBindRenderbuffer(GL_RENDERBUFFER, mColorRB);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, mStencilRB);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, mFBO);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, mColorRB);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, mStencilRB);
    mWidth = width;
    mHeight = height;
  }
  glBindFramebuffer(GL_FRAMEBUFFER, mFBO);
  glViewport(0, 0, width, height);
  if (!clear)
    return;
  glClearColor(0.f, 0.f, 0.f, 1.f);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

bool LinuxEGLSurface::ReadPixels(std::vector<uint8_t>& rgba, int& width, int& height)
{
  if (!mFBO || mWidth <= 0 || mHeight <= 0)
    return false;
  width = mWidth;
  height = mHeight;
  const size_t row = static_cast<size_t>(width) * 4;
  std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height));
  while (glGetError() != GL_NO_ERROR)
  {
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, mFBO);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  if (glGetError() != GL_NO_ERROR)
    return false;
  rgba.resize(bottomUp.size());
  for (int y = 0; y < height; y++)
    std::memcpy(&rgba[static_cast<size_t>(y) * row], &bottomUp[static_cast<size_t>(height - 1 - y) * row], row);
  return true;
}

const char* LinuxEGLSurface::GetRenderer()
{
  if (!MakeCurrent())
    return "";
  const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  ReleaseCurrent();
  return renderer ? renderer : "";
}

} // namespace iplug::igraphics
