#include "IGraphicsLinux.h"

#include "IPlugAPIBase.h"
#include "IPlugPluginBase.h"
#include "IPlugTimer.h"
#include "IPopupMenuControl.h"
#include "ITextEntryControl.h"
#include "LinuxEGLSurface.h"
#include "LinuxFonts.h"
#include "LinuxGLXSurface.h"
#include "LinuxKeys.h"

#include "pluginterfaces/gui/iplugview.h"

#include <GL/gl.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <stb_image_write.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace iplug::igraphics
{

namespace
{
using Clock = std::chrono::steady_clock;

constexpr unsigned kDoubleClickMs = 400;
constexpr int kDoubleClickSlop = 4; // pixels
constexpr int kTooltipDelayMs = 600;
constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                            LeaveWindowMask | KeyPressMask | KeyReleaseMask | StructureNotifyMask;

// --- X errors ----------------------------------------------------------------------------------------------------
// Xlib has one error handler per process, and a host's default one exits. While our own requests run we put ours
// in front: errors on our connections are logged and counted, anything else goes to the handler we displaced.
std::mutex sDisplaysMutex;
std::vector<Display*> sDisplays;
std::atomic<int> sXErrors{0};
int sTrapDepth = 0; // UI thread only
XErrorHandler sPrevHandler = nullptr;

bool IsOurDisplay(Display* d)
{
  std::lock_guard lock(sDisplaysMutex);
  return std::find(sDisplays.begin(), sDisplays.end(), d) != sDisplays.end();
}

int OnXError(Display* d, XErrorEvent* e)
{
  if (!IsOurDisplay(d))
    return sPrevHandler ? sPrevHandler(d, e) : 0;
  char text[128] = {};
  XGetErrorText(d, e->error_code, text, sizeof(text));
  std::fprintf(stderr, "IGraphicsLinux: X error %d (%s), request %d.%d, resource 0x%lx\n", e->error_code, text,
               e->request_code, e->minor_code, e->resourceid);
  sXErrors++;
  return 0;
}

class XErrorTrap
{
public:
  XErrorTrap()
  {
    if (sTrapDepth++ == 0)
      sPrevHandler = XSetErrorHandler(OnXError);
  }
  ~XErrorTrap()
  {
    if (--sTrapDepth == 0)
      XSetErrorHandler(sPrevHandler);
  }
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;
};

// The handler the host's run loop calls when the X connection is readable. The host may keep it (and even call
// it) after the window is gone: it is reference counted and forgets its owner.
class XEventHandler final : public Steinberg::Linux::IEventHandler
{
public:
  explicit XEventHandler(IGraphicsLinux* owner) : mOwner(owner) {}

  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override
  {
    if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown_iid) ||
        Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::IEventHandler_iid))
    {
      addRef();
      *obj = static_cast<IEventHandler*>(this);
      return Steinberg::kResultOk;
    }
    *obj = nullptr;
    return Steinberg::kNoInterface;
  }
  Steinberg::uint32 PLUGIN_API addRef() override { return ++mRefCount; }
  Steinberg::uint32 PLUGIN_API release() override
  {
    const Steinberg::uint32 left = --mRefCount;
    if (left == 0)
      delete this;
    return left;
  }
  void PLUGIN_API onFDIsSet(Steinberg::Linux::FileDescriptor) override
  {
    if (mOwner)
      mOwner->ProcessXEvents();
  }

  IGraphicsLinux* mOwner;

private:
  std::atomic<Steinberg::uint32> mRefCount{1};
};
} // namespace

// Everything an open X11 window needs beside its GL surface.
struct LinuxXWindow
{
  Display* display = nullptr;
  ::Window parent = 0;
  ::Window window = 0;
  Steinberg::Linux::IRunLoop* runLoop = nullptr; // referenced while set
  XEventHandler* handler = nullptr;              // referenced
  Cursor cursors[static_cast<int>(ECursor::kHelp) + 1] = {};
  Cursor blankCursor = 0;
  Atom clipboard = 0, utf8 = 0, targets = 0, transfer = 0;
  std::string clipboardText;
  bool ownsClipboard = false;
  // Pointer state, in UI units unless named pixels.
  float prevX = 0.f, prevY = 0.f;
  bool mouseOutDuringDrag = false;
  Time lastPressTime = 0;
  int lastPressX = -100, lastPressY = -100;
  unsigned lastPressButton = 0;
  int clickCount = 0;
  int lockPixelX = 0, lockPixelY = 0;
  float lockX = 0.f, lockY = 0.f;
  // While the cursor is locked: where the previous event put the pointer (window pixels), and a warp of ours the
  // server has not yet reported back. Events queued before the warp are measured against the old position, the
  // warp's own event moves the reference, and a pointer that comes straight back from the warp is absolute (a
  // tablet, a touch screen, a remote desktop): it is never warped again during that drag.
  int lastPixelX = 0, lastPixelY = 0;
  bool warpPending = false;
  bool warpSeen = false;
  unsigned long warpSerial = 0;
  int warpFromX = 0, warpFromY = 0, warpToX = 0, warpToY = 0;
  bool absolutePointer = false;
  int rootWidth = 0, rootHeight = 0;
  ::Window tooltip = 0;
  IControl* tooltipControl = nullptr;
  Clock::time_point hoverSince;
  Clock::time_point openedAt;
  int frames = 0;

  void Unregister()
  {
    if (handler)
    {
      handler->mOwner = nullptr;
      if (runLoop)
        runLoop->unregisterEventHandler(handler);
      handler->release();
      handler = nullptr;
    }
    if (runLoop)
      runLoop->release();
    runLoop = nullptr;
  }

  void Register(Steinberg::Linux::IRunLoop* loop, IGraphicsLinux* owner)
  {
    Unregister();
    if (!loop)
      return;
    runLoop = loop;
    runLoop->addRef();
    handler = new XEventHandler(owner);
    // Some hosts never signal the descriptor; the frame tick drains the queue as well.
    runLoop->registerEventHandler(handler, ConnectionNumber(display));
  }
};

IGraphicsLinux::IGraphicsLinux(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGraphicsNanoVG(dlg, w, h, fps, scale)
{
  StaticStorage<LinuxFontDescriptor>::Accessor descriptors(LinuxFontHelpers::GetFontDescriptorCache());
  descriptors.Retain();
}

IGraphicsLinux::~IGraphicsLinux()
{
  *mAlive = false;
  CloseWindow();
  SetHostRunLoop(nullptr);
  StaticStorage<LinuxFontDescriptor>::Accessor descriptors(LinuxFontHelpers::GetFontDescriptorCache());
  descriptors.Release();
}

IGraphics* MakeGraphics(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
{
  return new IGraphicsLinux(dlg, w, h, fps, scale);
}

// --- surface ------------------------------------------------------------------------------------

bool IGraphicsLinux::AttachSurface(std::unique_ptr<LinuxGLSurface> surface, float screenScale)
{
  if (!surface)
    return false;
  DetachSurface();
  mSurface = std::move(surface);
  ActivateGLContext();
  OnViewInitialized(nullptr);
  const bool ok = GetDrawContext() != nullptr;
  if (ok)
  {
    SetScreenScale(screenScale > 0.f ? screenScale : 1.f);
    if (!HasMainFramebuffer())
      DrawResize();
  }
  DeactivateGLContext();
  if (!ok)
  {
    mSurfaceError = "NanoVG could not create its GL3 renderer";
    mSurface.reset();
  }
  return ok;
}

void IGraphicsLinux::DetachSurface()
{
  if (!mSurface)
    return;
  // No GL call without the context: should it be lost, its objects go with it.
  if (mSurface->MakeCurrent())
  {
    OnViewDestroyed();
    mSurface->ReleaseCurrent();
  }
  else
    RemoveAllControls();
  mSurface.reset();
  mHeadless = false;
}

bool IGraphicsLinux::OpenHeadless(float screenScale)
{
  const char* error = "";
  std::unique_ptr<LinuxEGLSurface> surface = LinuxEGLSurface::Create(&error);
  if (!surface)
  {
    mSurfaceError = error;
    return false;
  }
  if (!AttachSurface(std::move(surface), screenScale))
    return false;
  mHeadless = true;
  if (NControls() == 0)
  {
    ActivateGLContext();
    GetDelegate()->LayoutUI(this);
    DeactivateGLContext();
    GetDelegate()->OnUIOpen();
  }
  SetAllControlsDirty();
  return true;
}

void IGraphicsLinux::CloseHeadless()
{
  if (mHeadless)
    DetachSurface();
}

void IGraphicsLinux::ActivateGLContext()
{
  if (mSurface)
    mSurface->MakeCurrent();
}

void IGraphicsLinux::DeactivateGLContext()
{
  if (mSurface)
    mSurface->ReleaseCurrent();
}

void IGraphicsLinux::DrawResize()
{
  ActivateGLContext();
  IGraphicsNanoVG::DrawResize();
  DeactivateGLContext();
}

void IGraphicsLinux::BindDefaultTarget(bool overwritten)
{
  const int w = static_cast<int>(static_cast<float>(WindowWidth()) * GetScreenScale());
  const int h = static_cast<int>(static_cast<float>(WindowHeight()) * GetScreenScale());
  if (mSurface)
    mSurface->BindTarget(w, h, !overwritten);
}

bool IGraphicsLinux::OnFrameTick()
{
  if (!mSurface || !GetDrawContext())
    return false;
  OnGUIIdle();
  IRECTList rects;
  if (!IsDirty(rects))
    return false;
  if (!mSurface->MakeCurrent())
    return false;
  SetAllControlsClean();
  Draw(rects);
  mSurface->Present();
  mSurface->ReleaseCurrent();
  return true;
}

bool IGraphicsLinux::ReadFramePixels(std::vector<uint8_t>& rgba, int& width, int& height)
{
  if (!mSurface)
    return false;
  ActivateGLContext();
  const bool ok = mSurface->ReadPixels(rgba, width, height);
  DeactivateGLContext();
  return ok;
}

bool IGraphicsLinux::WriteFramePNG(const char* path)
{
  std::vector<uint8_t> rgba;
  int w = 0, h = 0;
  if (!path || !ReadFramePixels(rgba, w, h))
    return false;
  return stbi_write_png(path, w, h, 4, rgba.data(), w * 4) != 0;
}

// --- platform services --------------------------------------------------------------------------

void IGraphicsLinux::GetMouseLocation(float& x, float& y) const
{
  x = mCursorX;
  y = mCursorY;
}

// --- X11 window -----------------------------------------------------------------------------------------------

int IGraphicsLinux::GetXErrorCount() { return sXErrors.load(); }

unsigned long IGraphicsLinux::GetXWindow() const { return mX ? mX->window : 0; }

void* IGraphicsLinux::GetWindow() { return mX ? reinterpret_cast<void*>(mX->window) : nullptr; }

void* IGraphicsLinux::OpenWindow(void* pParent)
{
  // Without a parent window the editor opens headless: drawn offscreen, read back as pixels.
  if (!pParent)
    return OpenHeadless(GetScreenScale()) ? static_cast<void*>(GetSurface()) : nullptr;

  CloseWindow();
  const Clock::time_point openedAt = Clock::now();
  // A connection of our own: the host's and another editor's event queues stay theirs.
  Display* display = XOpenDisplay(nullptr);
  if (!display)
  {
    mSurfaceError = "cannot open the X display";
    return nullptr;
  }
  {
    std::lock_guard lock(sDisplaysMutex);
    sDisplays.push_back(display);
  }
  auto closeDisplay = [display]
  {
    XCloseDisplay(display);
    std::lock_guard lock(sDisplaysMutex);
    std::erase(sDisplays, display);
  };

  auto x = std::make_unique<LinuxXWindow>();
  x->display = display;
  x->parent = static_cast<::Window>(reinterpret_cast<uintptr_t>(pParent));
  x->openedAt = openedAt;
  {
    XErrorTrap trap;
    const int errorsBefore = sXErrors.load();
    const float ss = GetScreenScale();
    const int w = static_cast<int>(static_cast<float>(WindowWidth()) * ss);
    const int h = static_cast<int>(static_cast<float>(WindowHeight()) * ss);
    const char* error = "";
    std::unique_ptr<LinuxGLXSurface> surface = LinuxGLXSurface::Create(display, x->parent, w, h, kEventMask, &error);
    if (surface && sXErrors.load() != errorsBefore)
    {
      surface.reset();
      error = "the X server refused the child window (is the parent a window?)";
    }
    if (!surface)
    {
      mSurfaceError = error;
      closeDisplay();
      return nullptr;
    }
    x->window = surface->GetWindow();
    if (!AttachSurface(std::move(surface), ss))
    {
      closeDisplay();
      return nullptr;
    }
    x->clipboard = XInternAtom(display, "CLIPBOARD", False);
    x->utf8 = XInternAtom(display, "UTF8_STRING", False);
    x->targets = XInternAtom(display, "TARGETS", False);
    x->transfer = XInternAtom(display, "IGRAPHICS_SELECTION", False);
    // Hidden cursor: a 1x1 pixmap with an empty mask.
    const char zero = 0;
    Pixmap blank = XCreateBitmapFromData(display, x->window, &zero, 1, 1);
    XColor black = {};
    x->blankCursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
    XFreePixmap(display, blank);
    XFlush(display);
  }
  mX = std::move(x);

  if (NControls() == 0)
  {
    ActivateGLContext();
    GetDelegate()->LayoutUI(this);
    DeactivateGLContext();
    GetDelegate()->OnUIOpen();
  }
  UpdateTooltips();
  SetAllControlsDirty();
  ApplyCursor();

  Steinberg::Linux::IRunLoop* runLoop = mRunLoop;
  if (!runLoop)
  {
    if (auto* pAPI = dynamic_cast<IPlugAPIBase*>(GetDelegate()))
      runLoop = pAPI->GetHostRunLoop();
  }
  mX->Register(runLoop, this);
  const uint32_t interval = static_cast<uint32_t>(1000 / std::max(FPS(), 1));
  mFrameTimer = std::make_unique<Timer>([this](Timer&) { OnWindowTick(); }, interval, ETimerFallback::kNone, runLoop);
  return reinterpret_cast<void*>(mX->window);
}

void IGraphicsLinux::CloseWindow()
{
  if (!mX)
  {
    DetachSurface();
    return;
  }
  // Stop everything the host could still call before the window goes.
  mFrameTimer.reset();
  mX->Unregister();
  std::unique_ptr<LinuxXWindow> x = std::move(mX);
  if (std::getenv("IGRAPHICS_TRACE"))
    std::fprintf(stderr, "IGraphicsLinux: %d frames drawn in %.1f s\n", x->frames,
                 std::chrono::duration<double>(Clock::now() - x->openedAt).count());
  XErrorTrap trap;
  if (x->tooltip)
    XDestroyWindow(x->display, x->tooltip);
  DetachSurface(); // GL objects, context, then the window
  for (Cursor c : x->cursors)
  {
    if (c)
      XFreeCursor(x->display, c);
  }
  if (x->blankCursor)
    XFreeCursor(x->display, x->blankCursor);
  XCloseDisplay(x->display);
  std::lock_guard lock(sDisplaysMutex);
  std::erase(sDisplays, x->display);
}

void IGraphicsLinux::SetHostRunLoop(Steinberg::Linux::IRunLoop* runLoop)
{
  if (runLoop)
    runLoop->addRef();
  if (mRunLoop)
    mRunLoop->release();
  mRunLoop = runLoop;
  if (mX && runLoop != mX->runLoop)
  {
    mX->Register(runLoop, this);
    if (mFrameTimer)
      mFrameTimer->SetRunLoop(runLoop);
  }
}

void IGraphicsLinux::PlatformResize(bool parentHasResized)
{
  (void)parentHasResized;
  if (!mX)
    return;
  XErrorTrap trap;
  const float ss = GetScreenScale();
  const unsigned w = static_cast<unsigned>(std::max(1, static_cast<int>(static_cast<float>(WindowWidth()) * ss)));
  const unsigned h = static_cast<unsigned>(std::max(1, static_cast<int>(static_cast<float>(WindowHeight()) * ss)));
  XResizeWindow(mX->display, mX->window, w, h);
  XFlush(mX->display);
  UpdateTooltips();
}

void IGraphicsLinux::ClientToScreen(float& x, float& y)
{
  if (!mX)
    return;
  XErrorTrap trap;
  const float scale = GetBackingPixelScale();
  int sx = 0, sy = 0;
  ::Window child = 0;
  if (XTranslateCoordinates(mX->display, mX->window, DefaultRootWindow(mX->display), static_cast<int>(x * scale),
                            static_cast<int>(y * scale), &sx, &sy, &child))
  {
    x = static_cast<float>(sx);
    y = static_cast<float>(sy);
  }
}

void IGraphicsLinux::OnWindowTick()
{
  const std::shared_ptr<bool> alive = mAlive;
  ProcessXEvents();
  if (!*alive || !mX)
    return;
  if (TooltipsEnabled() && mX->tooltipControl && !mX->tooltip &&
      Clock::now() - mX->hoverSince >= std::chrono::milliseconds(kTooltipDelayMs))
    ShowTooltip(true);
  XErrorTrap trap;
  const bool drawn = OnFrameTick();
  if (drawn)
    mX->frames++;
  if (drawn && mFirstFrameMs < 0.)
  {
    XSync(mX->display, False);
    mFirstFrameMs = std::chrono::duration<double, std::milli>(Clock::now() - mX->openedAt).count();
    if (std::getenv("IGRAPHICS_TRACE"))
      std::fprintf(stderr, "IGraphicsLinux: first frame %.1f ms after OpenWindow\n", mFirstFrameMs);
  }
}

void IGraphicsLinux::ProcessXEvents()
{
  if (!mX)
    return;
  const std::shared_ptr<bool> alive = mAlive;
  XErrorTrap trap;
  // A handler may close the editor, or the delegate may delete us: check before every event.
  while (*alive && mX && XPending(mX->display) > 0)
  {
    XEvent event;
    XNextEvent(mX->display, &event);
    // Only the newest of a run of motion events matters.
    // Not across a warp of ours: its events must be told apart from those before it.
    if (event.type == MotionNotify && !mX->warpPending)
    {
      while (XEventsQueued(mX->display, QueuedAlready) > 0)
      {
        XEvent next;
        XPeekEvent(mX->display, &next);
        if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window)
          break;
        XNextEvent(mX->display, &event);
      }
    }
    DispatchXEvent(&event);
  }
}

void IGraphicsLinux::DispatchXEvent(void* pEvent)
{
  XEvent& e = *static_cast<XEvent*>(pEvent);
  LinuxXWindow& x = *mX;
  switch (e.type)
  {
  case Expose:
    if (e.xexpose.window == x.window && e.xexpose.count == 0)
      SetAllControlsDirty();
    break;
  case ButtonPress:
  case ButtonRelease:
    if (e.xbutton.window == x.window)
      OnMouseButton(&e, e.type == ButtonPress);
    break;
  case MotionNotify:
    if (e.xmotion.window == x.window)
      OnMouseMotion(&e);
    break;
  case EnterNotify:
    if (e.xcrossing.window == x.window)
    {
      x.mouseOutDuringDrag = false;
      ApplyCursor();
    }
    break;
  case LeaveNotify:
    // Grab notifications come in pairs around a press; only a real exit counts.
    if (e.xcrossing.window == x.window && e.xcrossing.mode == NotifyNormal)
    {
      ShowTooltip(false);
      x.tooltipControl = nullptr;
      if (ControlIsCaptured())
        x.mouseOutDuringDrag = true;
      else
        OnMouseOut();
    }
    break;
  case KeyPress:
  case KeyRelease:
    if (e.xkey.window == x.window)
      OnKey(&e, e.type == KeyPress);
    break;
  case SelectionClear:
    if (e.xselectionclear.selection == x.clipboard)
      x.ownsClipboard = false;
    break;
  case SelectionRequest:
  {
    const XSelectionRequestEvent& r = e.xselectionrequest;
    XSelectionEvent reply = {};
    reply.type = SelectionNotify;
    reply.display = r.display;
    reply.requestor = r.requestor;
    reply.selection = r.selection;
    reply.target = r.target;
    reply.time = r.time;
    reply.property = None;
    const Atom property = r.property != None ? r.property : r.target; // obsolete clients name no property
    if (r.selection == x.clipboard && x.ownsClipboard)
    {
      if (r.target == x.targets)
      {
        const Atom offered[] = {x.targets, x.utf8, XA_STRING};
        XChangeProperty(x.display, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(offered), 3);
        reply.property = property;
      }
      else if (r.target == x.utf8 || r.target == XA_STRING)
      {
        XChangeProperty(x.display, r.requestor, property, r.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(x.clipboardText.data()),
                        static_cast<int>(x.clipboardText.size()));
        reply.property = property;
      }
    }
    XSendEvent(x.display, r.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(x.display);
    break;
  }
  default:
    break;
  }
}

void IGraphicsLinux::GetEventXY(int px, int py, float& x, float& y)
{
  const float scale = GetBackingPixelScale();
  x = static_cast<float>(px) / scale;
  y = static_cast<float>(py) / scale;
  mCursorX = x;
  mCursorY = y;
  mX->prevX = x;
  mX->prevY = y;
  mX->lastPixelX = px;
  mX->lastPixelY = py;
}

void IGraphicsLinux::GetLockedMotion(const void* pEvent, float& dX, float& dY)
{
  const XMotionEvent& m = *static_cast<const XMotionEvent*>(pEvent);
  LinuxXWindow& w = *mX;
  // Each event counts the pointer's travel since the one before: the same travel gives the same change whether the
  // pointer is a mouse or an absolute device, and however the events are batched.
  int refX = w.lastPixelX, refY = w.lastPixelY;
  if (w.warpPending && m.serial >= w.warpSerial)
  {
    // From here on the server has moved the pointer. Its report of the warp itself is no travel; the first real
    // move after it tells the device: a mouse goes on from the target, an absolute device comes back to where
    // it really is.
    if (m.x == w.warpToX && m.y == w.warpToY && !w.warpSeen)
    {
      w.warpSeen = true;
      refX = m.x;
      refY = m.y;
    }
    else
    {
      w.warpPending = false;
      const auto dist2 = [&](int x, int y) { return (int64_t(m.x) - x) * (m.x - x) + (int64_t(m.y) - y) * (m.y - y); };
      const bool backFromWarp = dist2(w.warpFromX, w.warpFromY) < dist2(w.warpToX, w.warpToY);
      w.absolutePointer = backFromWarp;
      refX = backFromWarp ? w.warpFromX : w.warpToX;
      refY = backFromWarp ? w.warpFromY : w.warpToY;
    }
  }
  const float scale = GetBackingPixelScale();
  dX = static_cast<float>(m.x - refX) / scale;
  dY = static_cast<float>(m.y - refY) / scale;
  w.lastPixelX = m.x;
  w.lastPixelY = m.y;
  // Reported as the locked point moved by this step, as a pointer held in place would be.
  mCursorX = w.prevX = w.lockX + dX;
  mCursorY = w.prevY = w.lockY + dY;

  // A mouse stops at the screen's edge: before it gets there, bring it back to the middle of the screen.
  if (w.warpPending || w.absolutePointer)
    return;
  if (w.rootWidth <= 0 || w.rootHeight <= 0)
    return;
  const int marginX = w.rootWidth / 4, marginY = w.rootHeight / 4;
  if (m.x_root >= marginX && m.x_root < w.rootWidth - marginX && m.y_root >= marginY &&
      m.y_root < w.rootHeight - marginY)
    return;
  const int toRootX = w.rootWidth / 2, toRootY = w.rootHeight / 2;
  WarpPointer(m.x, m.y, toRootX - (m.x_root - m.x), toRootY - (m.y_root - m.y));
}

void IGraphicsLinux::WarpPointer(int fromX, int fromY, int toX, int toY)
{
  LinuxXWindow& w = *mX;
  w.warpFromX = fromX;
  w.warpFromY = fromY;
  w.warpToX = toX;
  w.warpToY = toY;
  w.warpSerial = NextRequest(w.display);
  w.warpPending = true;
  w.warpSeen = false;
  XWarpPointer(w.display, None, w.window, 0, 0, 0, 0, toX, toY);
  XFlush(w.display);
}

void IGraphicsLinux::OnMouseButton(void* pEvent, bool down)
{
  const XButtonEvent& b = static_cast<XEvent*>(pEvent)->xbutton;
  LinuxXWindow& xw = *mX;
  const bool shift = b.state & ShiftMask, control = b.state & ControlMask, alt = b.state & Mod1Mask;
  if (b.button >= 4 && b.button <= 7)
  {
    // Buttons 4 and 5 are the vertical wheel (one step each); 6 and 7 scroll sideways, which nothing here uses.
    if (down && b.button <= 5)
    {
      float x = 0.f, y = 0.f;
      GetEventXY(b.x, b.y, x, y);
      OnMouseWheel(x, y, IMouseMod(false, false, shift, control, alt), b.button == 4 ? 1.f : -1.f);
    }
    return;
  }
  if (b.button != Button1 && b.button != Button3)
    return;
  const bool left = b.button == Button1;
  float x = 0.f, y = 0.f;
  GetEventXY(b.x, b.y, x, y);
  IMouseInfo info;
  info.x = x;
  info.y = y;
  info.ms = IMouseMod(left, !left, shift, control, alt);
  if (down)
  {
    // Keys go to the window that was clicked, as in any application.
    XSetInputFocus(xw.display, xw.window, RevertToParent, b.time);
    ShowTooltip(false);
    // X has no click count: a second press of the same button soon after and close to the first is a double
    // click; the third starts over.
    const bool again = b.button == xw.lastPressButton && b.time - xw.lastPressTime <= kDoubleClickMs &&
                       std::abs(b.x - xw.lastPressX) <= kDoubleClickSlop &&
                       std::abs(b.y - xw.lastPressY) <= kDoubleClickSlop;
    xw.clickCount = again ? xw.clickCount + 1 : 1;
    xw.lastPressButton = b.button;
    xw.lastPressTime = b.time;
    xw.lastPressX = b.x;
    xw.lastPressY = b.y;
    if (xw.clickCount % 2 == 0)
      OnMouseDblClick(x, y, info.ms);
    else
      OnMouseDown({info});
  }
  else
  {
    const std::shared_ptr<bool> alive = mAlive;
    OnMouseUp({info});
    if (*alive && mX && left && mX->mouseOutDuringDrag)
    {
      mX->mouseOutDuringDrag = false;
      OnMouseOut();
    }
  }
}

void IGraphicsLinux::OnMouseMotion(void* pEvent)
{
  const XMotionEvent& m = static_cast<XEvent*>(pEvent)->xmotion;
  const bool shift = m.state & ShiftMask, control = m.state & ControlMask, alt = m.state & Mod1Mask;
  const bool leftHeld = m.state & Button1Mask, rightHeld = m.state & Button3Mask;
  const float prevX = mX->prevX, prevY = mX->prevY;
  float x = 0.f, y = 0.f, dX = 0.f, dY = 0.f;
  if (mCursorHidden && mCursorLock && !mTabletInput)
  {
    GetLockedMotion(&m, dX, dY);
    x = mCursorX;
    y = mCursorY;
  }
  else
  {
    GetEventXY(m.x, m.y, x, y);
    dX = x - prevX;
    dY = y - prevY;
  }
  if (leftHeld || rightHeld)
  {
    IMouseInfo info;
    info.x = x;
    info.y = y;
    info.dX = dX;
    info.dY = dY;
    info.ms = IMouseMod(leftHeld, !leftHeld && rightHeld, shift, control, alt);
    if (info.dX != 0.f || info.dY != 0.f)
      OnMouseDrag({info});
    return;
  }
  OnMouseOver(x, y, IMouseMod(false, false, shift, control, alt));
  if (mX && TooltipsEnabled())
  {
    IControl* pControl = GetMouseOverControl();
    if (pControl != mX->tooltipControl)
    {
      ShowTooltip(false);
      mX->tooltipControl = pControl && pControl->GetTooltip()[0] ? pControl : nullptr;
      mX->hoverSince = Clock::now();
    }
  }
}

void IGraphicsLinux::OnKey(void* pEvent, bool down)
{
  XKeyEvent k = static_cast<XEvent*>(pEvent)->xkey;
  // The keysym as Shift makes it; Control is a modifier here, never a control character.
  XKeyEvent plain = k;
  plain.state &= ~static_cast<unsigned>(ControlMask);
  char text[8];
  KeySym sym = NoSymbol;
  XLookupString(&plain, text, sizeof(text), &sym, nullptr);
  const IKeyPress key = X11KeyPress(sym, k.state);
  const std::shared_ptr<bool> alive = mAlive;
  const bool handled = down ? OnKeyDown(mX->prevX, mX->prevY, key) : OnKeyUp(mX->prevX, mX->prevY, key);
  if (handled || !*alive || !mX)
    return;
  // Unhandled keys belong to the host (transport shortcuts and the like): pass them to its window.
  k.window = mX->parent;
  k.subwindow = None;
  k.send_event = True;
  XSendEvent(mX->display, mX->parent, True, down ? KeyPressMask : KeyReleaseMask, reinterpret_cast<XEvent*>(&k));
  XFlush(mX->display);
}

void IGraphicsLinux::ApplyCursor()
{
  if (!mX)
    return;
  XErrorTrap trap;
  Cursor cursor = mX->blankCursor;
  if (!mCursorHidden)
  {
    const int idx = std::clamp(static_cast<int>(GetCursor()), 0, static_cast<int>(ECursor::kHelp));
    if (!mX->cursors[idx])
      mX->cursors[idx] = XCreateFontCursor(mX->display, X11CursorShape(static_cast<ECursor>(idx)));
    cursor = mX->cursors[idx];
  }
  XDefineCursor(mX->display, mX->window, cursor);
  XFlush(mX->display);
}

ECursor IGraphicsLinux::SetMouseCursor(ECursor cursorType)
{
  const ECursor previous = IGraphics::SetMouseCursor(cursorType);
  if (mX && !mCursorHidden)
  {
    // The core may keep the previous type stored (leaving the view): show the one asked for.
    XErrorTrap trap;
    const int idx = std::clamp(static_cast<int>(cursorType), 0, static_cast<int>(ECursor::kHelp));
    if (!mX->cursors[idx])
      mX->cursors[idx] = XCreateFontCursor(mX->display, X11CursorShape(static_cast<ECursor>(idx)));
    XDefineCursor(mX->display, mX->window, mX->cursors[idx]);
    XFlush(mX->display);
  }
  return previous;
}

void IGraphicsLinux::HideMouseCursor(bool hide, bool lock)
{
  if (mCursorHidden == hide)
    return;
  if (!mX)
  {
    mCursorHidden = hide;
    mCursorLock = hide && lock;
    return;
  }
  XErrorTrap trap;
  if (hide)
  {
    const float scale = GetBackingPixelScale();
    mX->lockX = mX->prevX;
    mX->lockY = mX->prevY;
    mX->lockPixelX = static_cast<int>(std::lround(mX->prevX * scale));
    mX->lockPixelY = static_cast<int>(std::lround(mX->prevY * scale));
    mX->warpPending = false;
    mX->absolutePointer = false;
    XWindowAttributes root{};
    if (XGetWindowAttributes(mX->display, DefaultRootWindow(mX->display), &root))
    {
      mX->rootWidth = root.width;
      mX->rootHeight = root.height;
    }
    mCursorHidden = true;
    mCursorLock = lock;
  }
  else
  {
    // The cursor shows again where it was hidden.
    if (mCursorLock)
      WarpPointer(mX->lastPixelX, mX->lastPixelY, mX->lockPixelX, mX->lockPixelY);
    mX->warpPending = false;
    mX->prevX = mX->lockX;
    mX->prevY = mX->lockY;
    mCursorHidden = false;
    mCursorLock = false;
  }
  ApplyCursor();
}

void IGraphicsLinux::MoveMouseCursor(float x, float y)
{
  if (mTabletInput)
    return;
  mCursorX = x;
  mCursorY = y;
  if (!mX)
    return;
  XErrorTrap trap;
  const float scale = GetBackingPixelScale();
  mX->lockX = mX->prevX = x;
  mX->lockY = mX->prevY = y;
  mX->lockPixelX = static_cast<int>(std::lround(x * scale));
  mX->lockPixelY = static_cast<int>(std::lround(y * scale));
  WarpPointer(mX->lastPixelX, mX->lastPixelY, mX->lockPixelX, mX->lockPixelY);
}

void IGraphicsLinux::ShowTooltip(bool show)
{
  if (!mX)
    return;
  XErrorTrap trap;
  if (!show)
  {
    if (mX->tooltip)
      XDestroyWindow(mX->display, mX->tooltip);
    mX->tooltip = 0;
    XFlush(mX->display);
    return;
  }
  if (mX->tooltip || !mX->tooltipControl || GetControlInPopupMenu())
    return;
  const char* text = mX->tooltipControl->GetTooltip();
  const int len = static_cast<int>(std::strlen(text));
  // A plain override-redirect window with the core font: no toolkit, no second GL context.
  XFontStruct* font = XQueryFont(mX->display, XGContextFromGC(DefaultGC(mX->display, DefaultScreen(mX->display))));
  const int ascent = font ? font->ascent : 11, descent = font ? font->descent : 3;
  const int textW = font ? XTextWidth(font, text, len) : len * 7;
  if (font)
    XFreeFontInfo(nullptr, font, 0);
  float sx = mCursorX, sy = mCursorY + 20.f / GetDrawScale();
  ClientToScreen(sx, sy);
  XSetWindowAttributes attrs = {};
  attrs.override_redirect = True;
  attrs.background_pixel = 0xFFFFE1;
  attrs.border_pixel = 0;
  const int screen = DefaultScreen(mX->display);
  mX->tooltip =
      XCreateWindow(mX->display, RootWindow(mX->display, screen), static_cast<int>(sx), static_cast<int>(sy),
                    static_cast<unsigned>(textW + 8), static_cast<unsigned>(ascent + descent + 6), 1, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel | CWBorderPixel, &attrs);
  XMapRaised(mX->display, mX->tooltip);
  XDrawString(mX->display, mX->tooltip, DefaultGC(mX->display, screen), 4, 3 + ascent, text, len);
  XFlush(mX->display);
}

void IGraphicsLinux::UpdateTooltips()
{
  // Tooltips are looked up under the pointer when it rests; a layout change only drops the one showing.
  if (mX)
  {
    ShowTooltip(false);
    mX->tooltipControl = nullptr;
  }
}

bool IGraphicsLinux::GetTextFromClipboard(WDL_String& str)
{
  if (mX && !mX->ownsClipboard)
    return ReadSelection(str);
  str.Set(mClipboard.Get());
  return mClipboard.GetLength() > 0;
}

bool IGraphicsLinux::SetTextInClipboard(const char* str)
{
  mClipboard.Set(str ? str : "");
  if (!mX)
    return true;
  XErrorTrap trap;
  mX->clipboardText = mClipboard.Get();
  XSetSelectionOwner(mX->display, mX->clipboard, mX->window, CurrentTime);
  mX->ownsClipboard = XGetSelectionOwner(mX->display, mX->clipboard) == mX->window;
  return mX->ownsClipboard;
}

bool IGraphicsLinux::ReadSelection(WDL_String& str)
{
  str.Set("");
  XErrorTrap trap;
  LinuxXWindow& x = *mX;
  if (XGetSelectionOwner(x.display, x.clipboard) == None)
    return false;
  XConvertSelection(x.display, x.clipboard, x.utf8, x.transfer, x.window, CurrentTime);
  XFlush(x.display);
  // The owner answers through the server; wait a moment for it, leaving other events queued.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(500);
  XEvent event;
  bool answered = false;
  while (!(answered = XCheckTypedWindowEvent(x.display, x.window, SelectionNotify, &event)))
  {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
      break;
    pollfd fd = {ConnectionNumber(x.display), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<long long>(left, 20)));
  }
  if (!answered || event.xselection.property == None)
    return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  const bool ok = XGetWindowProperty(x.display, x.window, x.transfer, 0, 1 << 24, True, AnyPropertyType, &type, &format,
                                     &count, &remaining, &data) == Success;
  if (ok && data && format == 8 && (type == x.utf8 || type == XA_STRING))
    str.Set(reinterpret_cast<const char*>(data), static_cast<int>(count));
  if (data)
    XFree(data);
  return str.GetLength() > 0;
}

EMsgBoxResult IGraphicsLinux::ShowMessageBox(const char* str, const char* title, EMsgBoxType type,
                                             IMsgBoxCompletionHandlerFunc completionHandler)
{
  (void)str, (void)title, (void)type;
  if (completionHandler)
    completionHandler(EMsgBoxResult::kCancel);
  return EMsgBoxResult::kCancel;
}

void IGraphicsLinux::PromptForFile(WDL_String& fileName, WDL_String& path, EFileAction action, const char* ext,
                                   IFileDialogCompletionHandlerFunc completionHandler)
{
  (void)action, (void)ext;
  fileName.Set("");
  if (completionHandler)
    completionHandler(fileName, path);
}

void IGraphicsLinux::PromptForDirectory(WDL_String& dir, IFileDialogCompletionHandlerFunc completionHandler)
{
  WDL_String none;
  dir.Set("");
  if (completionHandler)
    completionHandler(none, dir);
}

bool IGraphicsLinux::PromptForColor(IColor& color, const char* str, IColorPickerHandlerFunc func)
{
  (void)color, (void)str, (void)func;
  return false;
}

bool IGraphicsLinux::OpenURL(const char* url, const char* msgWindowTitle, const char* confirmMsg,
                             const char* errMsgOnFailure)
{
  (void)url, (void)msgWindowTitle, (void)confirmMsg, (void)errMsgOnFailure;
  return false;
}

const char* IGraphicsLinux::GetBundleID() const
{
  if (const auto* pPlug = dynamic_cast<const IPluginBase*>(GetDelegate()))
    return pPlug->GetBundleID();
  return "";
}

// This platform's own text field and menu are the in-editor controls, attached on first use. Once attached,
// the graphics context hands them later requests directly.

void IGraphicsLinux::CreatePlatformTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                                             const char* str)
{
  AttachTextEntryControl();
  GetTextEntryControl()->CreateTextEntry(paramIdx, text, bounds, length, str);
}

IPopupMenu* IGraphicsLinux::CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync)
{
  AttachPopupMenuControl(PlatformMenuText());
  // The choice arrives later, through SetControlValueAfterPopupMenu.
  isAsync = true;
  GetPopupMenuControl()->CreatePopupMenu(menu, bounds);
  return nullptr;
}

IText IGraphicsLinux::PlatformMenuText()
{
  // The editor's own face; the menu brings its colours.
  return IText(14.f, COLOR_WHITE, kDefaultFontID, EAlign::kNear, EVAlign::kMiddle);
}

// --- fonts --------------------------------------------------------------------------------------

PlatformFontPtr IGraphicsLinux::LoadPlatformFont(const char* fontID, const char* fileNameOrResID)
{
  return LinuxFontHelpers::LoadPlatformFont(fontID, fileNameOrResID, GetBundleID(), GetSharedResourcesSubPath());
}

PlatformFontPtr IGraphicsLinux::LoadPlatformFont(const char* fontID, void* pData, int dataSize)
{
  return LinuxFontHelpers::LoadPlatformFont(fontID, pData, dataSize);
}

PlatformFontPtr IGraphicsLinux::LoadPlatformFont(const char* fontID, const char* fontName, ETextStyle style)
{
  return LinuxFontHelpers::LoadPlatformFont(fontID, fontName, style);
}

void IGraphicsLinux::CachePlatformFont(const char* fontID, const PlatformFontPtr& font)
{
  LinuxFontHelpers::CachePlatformFont(fontID, font, LinuxFontHelpers::GetFontDescriptorCache());
}

} // namespace iplug::igraphics
