#include "ClapEditor.h"

#include "HostEditor.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace brevant::host
{

ClapEditor::ClapEditor(HostedClap& plug) : mPlug(plug) {}

ClapEditor::~ClapEditor() { Close(); }

bool ClapEditor::Open(std::string& error, double scale, const std::string& title, int x, int y)
{
  Close();
  const clap_plugin* p = mPlug.Plugin();
  mGui = static_cast<const clap_plugin_gui*>(p->get_extension(p, CLAP_EXT_GUI));
  if (!mGui)
  {
    error = "the plug-in has no gui extension (or this host lacks what it needs for one)";
    return false;
  }
  if (!mGui->is_api_supported(p, CLAP_WINDOW_API_X11, false))
  {
    error = "the plug-in's gui cannot be embedded in an X11 window";
    return false;
  }
  mDisplay = XOpenDisplay(nullptr);
  if (!mDisplay)
  {
    error = "cannot open the X display (is DISPLAY set?)";
    return false;
  }
  mPlug.SetGuiHost(this);
  if (!mGui->create(p, CLAP_WINDOW_API_X11, false))
  {
    error = "the plug-in refused to create its gui";
    Close();
    return false;
  }
  mCreated = true;
  // A scale the plug-in cannot apply is not fatal: it then draws at its own.
  if (scale > 0.0)
    mGui->set_scale(p, scale);
  uint32_t w = 0, h = 0;
  if (!mGui->get_size(p, &w, &h) || w == 0 || h == 0 || w > 32767 || h > 32767)
  {
    error = "the gui reports no usable size";
    Close();
    return false;
  }
  mWidth = static_cast<int>(w);
  mHeight = static_cast<int>(h);
  mWindow = CreateEditorWindow(mDisplay, x, y, mWidth, mHeight, title, mDeleteAtom);

  clap_window window{};
  window.api = CLAP_WINDOW_API_X11;
  window.x11 = mWindow;
  if (!mGui->set_parent(p, &window))
  {
    error = "the gui refused the window as its parent";
    Close();
    return false;
  }
  // Opening at a scale may have changed the size without a request.
  if (mGui->get_size(p, &w, &h) && w > 0 && h > 0 && (static_cast<int>(w) != mWidth || static_cast<int>(h) != mHeight))
    ResizeWindow(w, h);
  if (!mGui->show(p))
  {
    error = "the gui refused to show";
    Close();
    return false;
  }
  mClosed = false;
  return true;
}

void ClapEditor::Close()
{
  const clap_plugin* p = mPlug.Plugin();
  if (mCreated)
  {
    mGui->hide(p);
    mGui->destroy(p);
    mCreated = false;
  }
  mPlug.SetGuiHost(nullptr);
  if (mDisplay)
  {
    if (mWindow)
      XDestroyWindow(mDisplay, mWindow);
    XCloseDisplay(mDisplay);
  }
  mDisplay = nullptr;
  mWindow = 0;
}

void ClapEditor::ResizeWindow(uint32_t width, uint32_t height)
{
  mWidth = static_cast<int>(std::clamp<uint32_t>(width, 1, 32767));
  mHeight = static_cast<int>(std::clamp<uint32_t>(height, 1, 32767));
  XResizeWindow(mDisplay, mWindow, static_cast<unsigned>(mWidth), static_cast<unsigned>(mHeight));
  XSync(mDisplay, False);
}

bool ClapEditor::RequestResize(uint32_t width, uint32_t height)
{
  if (!mCreated || !mWindow)
    return false;
  mResizes.push_back({width, height});
  // As a DAW does: the size checked with the plug-in, the window resized, then the gui told its new size.
  const clap_plugin* p = mPlug.Plugin();
  uint32_t w = width, h = height;
  if (!mGui->adjust_size(p, &w, &h) || w == 0 || h == 0)
    return false;
  ResizeWindow(w, h);
  return mGui->set_size(p, w, h);
}

bool ClapEditor::RequestShow()
{
  if (!mCreated || !mWindow)
    return false;
  XMapWindow(mDisplay, mWindow);
  XSync(mDisplay, False);
  return mGui->show(mPlug.Plugin());
}

bool ClapEditor::RequestHide()
{
  if (!mCreated || !mWindow)
    return false;
  mGui->hide(mPlug.Plugin());
  XUnmapWindow(mDisplay, mWindow);
  XSync(mDisplay, False);
  return true;
}

void ClapEditor::Closed(bool wasDestroyed)
{
  (void)wasDestroyed; // either way the run ends and Close() destroys the gui, which acknowledges a destruction
  mClosed = true;
}

void ClapEditor::DrainWindowEvents()
{
  if (DrainEditorWindowEvents(mDisplay, mDeleteAtom))
    mClosed = true;
}

bool ClapEditor::Run(double ms, const std::function<void()>& idle, double maxWaitMs)
{
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::duration<double, std::milli>(ms);
  auto last = Clock::now();
  while (!mClosed && mCreated)
  {
    DrainWindowEvents();
    if (idle)
      idle();
    const auto now = Clock::now();
    mPlug.Idle(std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
    if (now >= end)
      break;
    // Sleep until the next timer or an event on our window.
    const double untilEnd = std::chrono::duration<double, std::milli>(end - now).count();
    const double wait = std::min({untilEnd, mPlug.NextTimerDueIn(), maxWaitMs});
    pollfd fd{mDisplay ? ConnectionNumber(mDisplay) : -1, POLLIN, 0};
    // Rounded up: a timer due in a fraction of a millisecond must not turn into a busy loop.
    poll(&fd, 1, static_cast<int>(std::ceil(std::max(0.0, wait))));
  }
  return !mClosed;
}

unsigned long ClapEditor::ChildWindow() const { return FirstChildWindow(mDisplay, mWindow); }

bool ClapEditor::Screenshot(std::vector<uint8_t>& rgba, int& width, int& height) const
{
  return CaptureWindow(mDisplay, mWindow, rgba, width, height);
}

bool ClapEditor::WriteScreenshotPNG(const std::string& path) const { return WriteWindowPNG(mDisplay, mWindow, path); }

} // namespace brevant::host
