// A CLAP plug-in's editor in a window of the host's own, as a Linux DAW shows it: a top-level X window, the gui
// created for X11 (embedded) and given the window as its parent, the plug-in's timers run on real time with the
// window's X events pumped between them, and the host side of the gui extension: request_resize checks the size with
// adjust_size, resizes the window, then set_size; request_show and request_hide map and unmap the window; closed ends
// the run.
//
//   ClapEditor editor(plug);             // HostedClap
//   if (!editor.Open(error)) ...          // create(X11), set_scale, get_size, set_parent, show
//   editor.Run(500);                      // timers and window events for 500 ms
//   editor.Screenshot(pixels, w, h);      // the window as the X server shows it
//   editor.Close();                       // hide, destroy, the window destroyed
#pragma once

#include "HostedClap.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

namespace brevant::host
{

class ClapEditor final : private ClapGuiHost
{
public:
  explicit ClapEditor(HostedClap& plug);
  ~ClapEditor() override; // closes

  ClapEditor(const ClapEditor&) = delete;
  ClapEditor& operator=(const ClapEditor&) = delete;

  // Creates the gui (after set_scale when scale > 0), a window of its size at (x, y), and embeds it.
  // False with the reason in error; nothing stays open then.
  bool Open(std::string& error, double scale = 0.0, const std::string& title = "brevant-host", int x = 0, int y = 0);
  // hide, destroy, the window destroyed. Safe to call twice.
  void Close();
  bool IsOpen() const { return mCreated; }

  // Runs the plug-in's timers on real time for ms milliseconds (or until the window is closed), calling idle (if
  // given) on every pass, e.g. to process audio; a pass comes at least every maxWaitMs. False once it was closed.
  bool Run(double ms, const std::function<void()>& idle = {}, double maxWaitMs = 1000.0);

  unsigned long Window() const { return mWindow; }
  // The editor's window (the first child of ours), 0 while there is none.
  unsigned long ChildWindow() const;
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  // Every size the plug-in asked for with request_resize, in order.
  const std::vector<std::pair<uint32_t, uint32_t>>& ResizeRequests() const { return mResizes; }

  bool Screenshot(std::vector<uint8_t>& rgba, int& width, int& height) const;
  bool WriteScreenshotPNG(const std::string& path) const;

private:
  bool RequestResize(uint32_t width, uint32_t height) override;
  bool RequestShow() override;
  bool RequestHide() override;
  void Closed(bool wasDestroyed) override;
  void ResizeHintsChanged() override {} // hints are asked for when needed, never kept
  void ResizeWindow(uint32_t width, uint32_t height);
  void DrainWindowEvents();

  HostedClap& mPlug;
  const clap_plugin_gui* mGui = nullptr;
  bool mCreated = false;
  Display* mDisplay = nullptr;
  unsigned long mWindow = 0;
  unsigned long mDeleteAtom = 0;
  int mWidth = 0;
  int mHeight = 0;
  bool mClosed = false;
  std::vector<std::pair<uint32_t, uint32_t>> mResizes;
};

} // namespace brevant::host
