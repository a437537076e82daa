#include "HostEditor.h"

#include "HostModule.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

using namespace Steinberg;

namespace brevant::host
{

// IPlugFrame for one view; the run loop it offers is the host's (the same one the host context offers).
class HostPlugFrame : public FObject, public IPlugFrame, public Linux::IRunLoop
{
public:
  explicit HostPlugFrame(HostEditor* editor) : mEditor(editor) {}

  tresult PLUGIN_API resizeView(IPlugView* view, ViewRect* newSize) override
  {
    return mEditor ? mEditor->OnResizeView(view, newSize) : kResultFalse;
  }

  // The run loop is answered from the frame itself, forwarding to the host's.
  tresult PLUGIN_API registerEventHandler(Linux::IEventHandler* handler, Linux::FileDescriptor fd) override
  {
    return Loop().registerEventHandler(handler, fd);
  }
  tresult PLUGIN_API unregisterEventHandler(Linux::IEventHandler* handler) override
  {
    return Loop().unregisterEventHandler(handler);
  }
  tresult PLUGIN_API registerTimer(Linux::ITimerHandler* handler, Linux::TimerInterval ms) override
  {
    return Loop().registerTimer(handler, ms);
  }
  tresult PLUGIN_API unregisterTimer(Linux::ITimerHandler* handler) override { return Loop().unregisterTimer(handler); }

  HostEditor* mEditor;

  OBJ_METHODS(HostPlugFrame, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(IPlugFrame)
  DEF_INTERFACE(Linux::IRunLoop)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  static HostRunLoop& Loop() { return HostModule::Host().RunLoop(); }
};

HostEditor::HostEditor(HostedPlugin& plug) : mPlug(plug) {}

HostEditor::~HostEditor() { Close(); }

bool HostEditor::Open(std::string& error, double scale, const std::string& title, int x, int y)
{
  Close();
  Vst::IEditController* controller = mPlug.Controller();
  if (!controller)
  {
    error = "the plug-in has no edit controller";
    return false;
  }
  mView = controller->createView(Vst::ViewType::kEditor);
  if (!mView)
  {
    error = "the plug-in has no editor (createView returned nothing)";
    return false;
  }
  if (mView->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID) != kResultTrue)
  {
    error = "the editor does not support X11EmbedWindowID";
    Close();
    return false;
  }
  mDisplay = XOpenDisplay(nullptr);
  if (!mDisplay)
  {
    error = "cannot open the X display (is DISPLAY set?)";
    Close();
    return false;
  }
  mFrame = new HostPlugFrame(this);
  mView->setFrame(mFrame);
  if (scale > 0.0)
  {
    FUnknownPtr<IPlugViewContentScaleSupport> scaling(mView);
    if (scaling)
      scaling->setContentScaleFactor(static_cast<IPlugViewContentScaleSupport::ScaleFactor>(scale));
  }
  ViewRect rect;
  if (mView->getSize(&rect) != kResultTrue || rect.getWidth() <= 0 || rect.getHeight() <= 0)
  {
    error = "the editor reports no size";
    Close();
    return false;
  }
  mWidth = rect.getWidth();
  mHeight = rect.getHeight();
  mWindow = CreateEditorWindow(mDisplay, x, y, mWidth, mHeight, title, mDeleteAtom);

  const auto start = std::chrono::steady_clock::now();
  const tresult attached =
      mView->attached(reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow)), kPlatformTypeX11EmbedWindowID);
  mAttachMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (attached != kResultTrue)
  {
    error = "the editor refused to attach to the window";
    Close();
    return false;
  }
  mClosedByUser = false;
  return true;
}

void HostEditor::Close()
{
  if (mView)
  {
    if (mWindow)
      mView->removed();
    mView->setFrame(nullptr);
    mView->release();
    mView = nullptr;
  }
  if (mFrame)
  {
    mFrame->mEditor = nullptr;
    mFrame->release();
    mFrame = nullptr;
  }
  if (mDisplay)
  {
    if (mWindow)
      XDestroyWindow(mDisplay, mWindow);
    XCloseDisplay(mDisplay);
  }
  mDisplay = nullptr;
  mWindow = 0;
}

tresult HostEditor::OnResizeView(IPlugView* view, ViewRect* newSize)
{
  if (!newSize || view != mView || !mDisplay)
    return kInvalidArgument;
  mResizes.push_back(*newSize);
  // As a DAW does: check the size with the view, resize the window, then tell the view its new size.
  ViewRect rect = *newSize;
  mView->checkSizeConstraint(&rect);
  mWidth = std::max(1, rect.getWidth());
  mHeight = std::max(1, rect.getHeight());
  XResizeWindow(mDisplay, mWindow, static_cast<unsigned>(mWidth), static_cast<unsigned>(mHeight));
  XSync(mDisplay, False);
  mView->onSize(&rect);
  return kResultTrue;
}

void HostEditor::DrainWindowEvents()
{
  while (mDisplay && XPending(mDisplay) > 0)
  {
    XEvent e;
    XNextEvent(mDisplay, &e);
    if (e.type == ClientMessage && static_cast<unsigned long>(e.xclient.data.l[0]) == mDeleteAtom)
      mClosedByUser = true;
    else if (e.type == KeyPress)
      mKeysPassedOn++;
  }
}

bool HostEditor::Run(double ms, const std::function<void()>& idle, double maxWaitMs)
{
  using Clock = std::chrono::steady_clock;
  HostRunLoop& loop = HostModule::Host().RunLoop();
  const auto end = Clock::now() + std::chrono::duration<double, std::milli>(ms);
  auto last = Clock::now();
  while (!mClosedByUser)
  {
    DrainWindowEvents();
    if (idle)
      idle();
    const auto now = Clock::now();
    loop.Advance(std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
    if (now >= end)
      break;
    // Sleep until the next timer or a descriptor (the plug-in's or our window's) becomes readable.
    const double untilEnd = std::chrono::duration<double, std::milli>(end - now).count();
    const double wait = std::min({untilEnd, loop.NextDueIn(), maxWaitMs});
    std::vector<pollfd> fds = loop.Descriptors();
    if (mDisplay)
      fds.push_back({ConnectionNumber(mDisplay), POLLIN, 0});
    // Rounded up: a timer due in a fraction of a millisecond must not turn into a busy loop.
    poll(fds.data(), fds.size(), static_cast<int>(std::ceil(std::max(0.0, wait))));
  }
  return !mClosedByUser;
}

unsigned long HostEditor::ChildWindow() const { return FirstChildWindow(mDisplay, mWindow); }

unsigned long FirstChildWindow(Display* display, unsigned long window)
{
  if (!display || !window)
    return 0;
  ::Window root = 0, parent = 0;
  ::Window* children = nullptr;
  unsigned n = 0;
  unsigned long child = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &n) && n > 0)
    child = children[0];
  if (children)
    XFree(children);
  return child;
}

bool CaptureWindow(Display* display, unsigned long window, std::vector<uint8_t>& rgba, int& width, int& height)
{
  if (!display || !window)
    return false;
  XSync(display, False);
  XWindowAttributes wa = {};
  if (!XGetWindowAttributes(display, window, &wa))
    return false;
  XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(wa.width), static_cast<unsigned>(wa.height),
                            AllPlanes, ZPixmap);
  if (!image)
    return false;
  width = wa.width;
  height = wa.height;
  rgba.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  auto channel = [](unsigned long pixel, unsigned long mask) -> uint8_t
  {
    if (!mask)
      return 0;
    int shift = 0;
    while (!(mask & 1ul))
    {
      mask >>= 1;
      shift++;
    }
    return static_cast<uint8_t>(((pixel >> shift) & mask) * 255ul / mask);
  };
  uint8_t* p = rgba.data();
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++, p += 4)
    {
      const unsigned long pixel = XGetPixel(image, x, y);
      p[0] = channel(pixel, image->red_mask);
      p[1] = channel(pixel, image->green_mask);
      p[2] = channel(pixel, image->blue_mask);
      p[3] = 255;
    }
  XDestroyImage(image);
  return true;
}

unsigned long CreateEditorWindow(Display* display, int x, int y, int width, int height, const std::string& title,
                                 unsigned long& deleteAtom)
{
  const int screen = DefaultScreen(display);
  XSetWindowAttributes attrs = {};
  attrs.background_pixel = BlackPixel(display, screen);
  attrs.event_mask = StructureNotifyMask | KeyPressMask;
  const Window window =
      XCreateWindow(display, RootWindow(display, screen), x, y, static_cast<unsigned>(std::max(width, 1)),
                    static_cast<unsigned>(std::max(height, 1)), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixel | CWEventMask, &attrs);
  XStoreName(display, window, title.c_str());
  Atom atom = XInternAtom(display, "WM_DELETE_WINDOW", False);
  deleteAtom = atom;
  XSetWMProtocols(display, window, &atom, 1);
  XMapWindow(display, window);
  XSync(display, False);
  return window;
}

bool DrainEditorWindowEvents(Display* display, unsigned long deleteAtom)
{
  bool close = false;
  while (display && XPending(display) > 0)
  {
    XEvent e;
    XNextEvent(display, &e);
    if (e.type == ClientMessage && static_cast<unsigned long>(e.xclient.data.l[0]) == deleteAtom)
      close = true;
  }
  return close;
}

bool WriteWindowPNG(Display* display, unsigned long window, const std::string& path)
{
  std::vector<uint8_t> rgba;
  int w = 0, h = 0;
  if (!CaptureWindow(display, window, rgba, w, h))
    return false;
  return stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4) != 0;
}

bool HostEditor::Screenshot(std::vector<uint8_t>& rgba, int& width, int& height) const
{
  return CaptureWindow(mDisplay, mWindow, rgba, width, height);
}

bool HostEditor::WriteScreenshotPNG(const std::string& path) const { return WriteWindowPNG(mDisplay, mWindow, path); }

} // namespace brevant::host
