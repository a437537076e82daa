// A plug-in's editor in a window of the host's own, as a Linux DAW shows it: a top-level X window, the view
// attached to it as "X11EmbedWindowID", the host side of IPlugFrame (resizeView resizes the window, then tells the
// view with onSize) and the host's run loop (IRunLoop, the one the host context offers) run on real time: timers
// and descriptor handlers on a poll loop.
//
//   HostEditor editor(plug);             // HostedPlugin with a controller
//   if (!editor.Open(error)) ...          // createView("editor"), setFrame, attached
//   editor.Run(500);                      // run loop and window events for 500 ms
//   editor.Screenshot(pixels, w, h);      // the window as the X server shows it
//   editor.Close();                       // removed, release
#pragma once

#include "HostedPlugin.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace brevant::host
{

class HostPlugFrame;

// An X window's pixels as top-down RGBA, and as a PNG file: what the editors of either format show.
bool CaptureWindow(Display* display, unsigned long window, std::vector<uint8_t>& rgba, int& width, int& height);
// The first child of a window (the plug-in's editor in the host's window), 0 when it has none.
unsigned long FirstChildWindow(Display* display, unsigned long window);
bool WriteWindowPNG(Display* display, unsigned long window, const std::string& path);
// The host's top-level window for an editor, mapped, with the window manager's close button reported through
// deleteAtom (WM_DELETE_WINDOW).
unsigned long CreateEditorWindow(Display* display, int x, int y, int width, int height, const std::string& title,
                                 unsigned long& deleteAtom);
// Reads the events queued for the host's window; true when the window manager asked to close it.
bool DrainEditorWindowEvents(Display* display, unsigned long deleteAtom);

class HostEditor
{
public:
  explicit HostEditor(HostedPlugin& plug);
  ~HostEditor(); // closes

  HostEditor(const HostEditor&) = delete;
  HostEditor& operator=(const HostEditor&) = delete;

  // Creates the view, a window of its size, and attaches it (after setContentScaleFactor when scale > 0).
  // False with the reason in error; nothing stays open then.
  // The window goes to (x, y) on the screen.
  bool Open(std::string& error, double scale = 0.0, const std::string& title = "brevant-host", int x = 0, int y = 0);
  // removed(), the view's last release, the window destroyed. Safe to call twice.
  void Close();
  bool IsOpen() const { return mView != nullptr; }

  // Runs the host's run loop on real time for ms milliseconds (or until the window is closed by the user),
  // calling idle (if given) on every pass, e.g. to process audio; a pass comes at least every maxWaitMs.
  // False once the window was closed.
  bool Run(double ms, const std::function<void()>& idle = {}, double maxWaitMs = 1000.0);

  Steinberg::IPlugView* View() const { return mView; }
  unsigned long Window() const { return mWindow; }
  // The view's child window (the first child of ours), 0 while there is none.
  unsigned long ChildWindow() const;
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  // Every size the view asked for with resizeView, in order.
  const std::vector<Steinberg::ViewRect>& ResizeRequests() const { return mResizes; }
  // Milliseconds the view's attached() call took.
  double AttachMs() const { return mAttachMs; }
  // Key presses that reached our window: what the editor did not handle and passed on to its host.
  int KeysPassedOn() const { return mKeysPassedOn; }

  // The window's pixels as top-down RGBA. Runs nothing.
  bool Screenshot(std::vector<uint8_t>& rgba, int& width, int& height) const;
  bool WriteScreenshotPNG(const std::string& path) const;

private:
  friend class HostPlugFrame;
  Steinberg::tresult OnResizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* newSize);
  void DrainWindowEvents();

  HostedPlugin& mPlug;
  Steinberg::IPlugView* mView = nullptr;
  HostPlugFrame* mFrame = nullptr;
  Display* mDisplay = nullptr;
  unsigned long mWindow = 0;
  unsigned long mDeleteAtom = 0;
  int mWidth = 0;
  int mHeight = 0;
  bool mClosedByUser = false;
  double mAttachMs = 0.0;
  int mKeysPassedOn = 0;
  std::vector<Steinberg::ViewRect> mResizes;
};

} // namespace brevant::host
