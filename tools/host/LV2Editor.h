// An LV2 plug-in's editor (its ui:X11UI), shown the way a Linux DAW shows it: the UI's shared object loaded and its
// descriptor instantiated in a top-level window of the host's own (ui:parent), driven through the UI's idle
// interface, with the host side of the UI protocol: values go to the UI through port_event (the control ports this
// host holds, inputs and the outputs the plug-in wrote), edits come back through write_function into the control
// ports, ui:touch brackets gestures, ui:resize resizes the window. The UI never sees the DSP instance.
// This framework's UIs also open without a window (a private feature), for screenshots.
//
//   LV2Editor editor(plug);                     // HostedLV2
//   if (!editor.Open(error, 1.0)) ...            // window + UI; or OpenHeadless(2.0, error)
//   editor.Run(500);                             // idle calls and window events for 500 ms
//   editor.WriteScreenshotPNG("a.png");          // the window as the X server shows it
//   editor.Close();
#pragma once

#include "HostedLV2.h"

#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

namespace brevant::host
{

class LV2Editor final
{
public:
  explicit LV2Editor(HostedLV2& plug);
  ~LV2Editor(); // closes

  LV2Editor(const LV2Editor&) = delete;
  LV2Editor& operator=(const LV2Editor&) = delete;

  /** The UI in a window of its size at (x, y), scaled by scale (> 0: offered as ui:scaleFactor). */
  bool Open(std::string& error, double scale = 0.0, const std::string& title = "brevant-host", int x = 0, int y = 0);
  /** The UI without a window, drawn offscreen at scale (this framework's UIs). */
  bool OpenHeadless(double scale, std::string& error);
  void Close();
  bool IsOpen() const { return mHandle != nullptr; }

  /** Sends the UI every control port value that changed since the last call (all of them the first time). */
  void SendPortValues();
  /** Idle calls, port values and window events on real time for ms (or until closed); idle (if given) each pass. */
  bool Run(double ms, const std::function<void()>& idle = {}, double maxWaitMs = 1000.0);

  unsigned long Window() const { return mWindow; }
  unsigned long ChildWindow() const;
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  const std::vector<std::pair<uint32_t, uint32_t>>& ResizeRequests() const { return mResizes; }
  /** What the UI sent, in order: "begin N", "perform N value", "end N". */
  const std::vector<std::string>& Edits() const { return mEdits; }

  bool Screenshot(std::vector<uint8_t>& rgba, int& width, int& height) const;
  bool WriteScreenshotPNG(const std::string& path) const;
  /** Headless: draws a frame and writes it; width and height receive the editor's size. */
  bool WriteHeadlessPNG(const std::string& path, uint32_t& width, uint32_t& height);

private:
  bool Instantiate(void* parent, double scale, bool headless, std::string& error);
  void Write(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
  int Resize(int width, int height);
  void ResizeWindow(int width, int height);
  void DrainWindowEvents();

  HostedLV2& mPlug;
  void* mLibrary = nullptr;
  const LV2UI_Descriptor* mDescriptor = nullptr;
  LV2UI_Handle mHandle = nullptr;
  const LV2UI_Idle_Interface* mIdle = nullptr;
  std::vector<float> mSent; // what the UI was last told, per port (NaN: never)
  Display* mDisplay = nullptr;
  unsigned long mWindow = 0;
  unsigned long mDeleteAtom = 0;
  int mWidth = 0;
  int mHeight = 0;
  bool mClosed = false;
  std::vector<std::pair<uint32_t, uint32_t>> mResizes;
  std::vector<std::string> mEdits;
  std::vector<std::string> mURIs; // urid:map
  LV2_URID_Map mMap{};
  LV2UI_Resize mResize{};
  LV2UI_Touch mTouch{};
};

} // namespace brevant::host
