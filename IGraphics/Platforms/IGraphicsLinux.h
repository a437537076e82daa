#pragma once
// The Linux graphics context: the NanoVG backend on a GL surface. Without a window it draws headless into an
// EGL context (tests, screenshots); with the host's X11 window as parent it opens a child window with a GLX
// context, driven by the host's run loop: a 60 fps frame tick and a handler on the X connection's descriptor.
//
// Each open window has an X connection of its own, so two editors and the host never share one. Everything runs
// on the host's UI thread. X errors raised by our own requests are logged and survived, never passed to the
// host's handler (whose default ends the process).

#include "IGraphicsNanoVG.h"
#include "LinuxGLSurface.h"

#include <memory>
#include <vector>

namespace Steinberg::Linux
{
class IRunLoop;
}

namespace iplug
{
class Timer;
}

namespace iplug::igraphics
{

struct LinuxXWindow;

class IGraphicsLinux : public IGraphicsNanoVG
{
public:
  IGraphicsLinux(IGEditorDelegate& dlg, int w, int h, int fps = kDefaultFPS, float scale = 1.f);
  ~IGraphicsLinux() override;

  const char* GetPlatformAPIStr() override { return "X11"; }

  // --- headless surface ---
  /** Creates the headless context at the given screen scale and lays the editor out (when it has no controls
   *  yet). False, with the reason in GetSurfaceError(), when no EGL display or context can be had. */
  bool OpenHeadless(float screenScale = 1.f);
  /** Removes the controls and releases every GL object and the context. */
  void CloseHeadless();
  bool IsHeadless() const { return mHeadless; }
  const char* GetSurfaceError() const { return mSurfaceError; }

  /** One tick of the frame timer: idle work and animations, then the dirty regions are drawn and shown.
   *  Returns whether a frame was drawn. */
  bool OnFrameTick() override;
  /** The last frame as top-down RGBA of the window in device pixels. */
  bool ReadFramePixels(std::vector<uint8_t>& rgba, int& width, int& height);
  /** Writes the last frame as a PNG file. */
  bool WriteFramePNG(const char* path) override;

  void ActivateGLContext() override;
  void DeactivateGLContext() override;
  void DrawResize() override;

  // --- platform services (the window brings the interactive ones) ---
  void GetMouseLocation(float& x, float& y) const override;
  void HideMouseCursor(bool hide = true, bool lock = true) override;
  void MoveMouseCursor(float x, float y) override;
  void ForceEndUserEdit() override {}
  /** pParent is the host's X11 window id: opens a child window in it. Null opens headless. */
  void* OpenWindow(void* pParent) override;
  void CloseWindow() override;
  /** The child window's id, or the headless surface, or null while closed. */
  void* GetWindow() override;
  void PlatformResize(bool parentHasResized) override;
  /** The host sizes its window in pixels: the editor's size includes the screen scale. */
  float GetPlatformWindowScale() const override { return GetScreenScale(); }
  ECursor SetMouseCursor(ECursor cursorType = ECursor::kArrow) override;
  void ClientToScreen(float& x, float& y) override;
  bool GetTextFromClipboard(WDL_String& str) override;
  bool SetTextInClipboard(const char* str) override;
  void UpdateTooltips() override;
  EMsgBoxResult ShowMessageBox(const char* str, const char* title, EMsgBoxType type,
                               IMsgBoxCompletionHandlerFunc completionHandler = nullptr) override;
  void PromptForFile(WDL_String& fileName, WDL_String& path, EFileAction action = EFileAction::kOpen,
                     const char* ext = "", IFileDialogCompletionHandlerFunc completionHandler = nullptr) override;
  void PromptForDirectory(WDL_String& dir, IFileDialogCompletionHandlerFunc completionHandler = nullptr) override;
  bool PromptForColor(IColor& color, const char* str = "", IColorPickerHandlerFunc func = nullptr) override;
  bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
               const char* errMsgOnFailure = nullptr) override;
  const char* GetBundleID() const override;

  PlatformFontPtr LoadPlatformFont(const char* fontID, const char* fileNameOrResID) override;
  PlatformFontPtr LoadPlatformFont(const char* fontID, void* pData, int dataSize) override;
  PlatformFontPtr LoadPlatformFont(const char* fontID, const char* fontName, ETextStyle style) override;
  void CachePlatformFont(const char* fontID, const PlatformFontPtr& font) override;

  void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                               const char* str) override;
  IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync) override;
  /** Text style of the menus this platform shows. */
  static IText PlatformMenuText();

  // --- X11 window ---
  /** The run loop the window's ticks and X events run on. Without one, OpenWindow takes the host's from the
   *  delegate; given while open, the ticks move onto it. Null while open stops them (callers then pump). */
  void SetHostRunLoop(Steinberg::Linux::IRunLoop* runLoop) override;
  /** Reads and dispatches the X events that have arrived; the descriptor handler and every frame tick call it. */
  void ProcessXEvents();
  /** One frame-timer tick of the window: pending events, then the frame. */
  void OnWindowTick();
  unsigned long GetXWindow() const;
  /** Milliseconds from OpenWindow to the first frame shown in the window; negative until then. */
  double GetFirstFrameMs() const { return mFirstFrameMs; }
  /** X errors our own requests raised in this process (each was logged and survived). */
  static int GetXErrorCount();

protected:
  void BindDefaultTarget(bool overwritten) override;
  /** Attaches a surface (headless or window) and creates the drawing context on it. */
  bool AttachSurface(std::unique_ptr<LinuxGLSurface> surface, float screenScale);
  /** Destroys the drawing context and the surface. */
  void DetachSurface();
  LinuxGLSurface* GetSurface() const { return mSurface.get(); }

private:
  void DispatchXEvent(void* pEvent);
  void OnMouseButton(void* pEvent, bool down);
  void OnMouseMotion(void* pEvent);
  void OnKey(void* pEvent, bool down);
  /** Event position in UI units; it becomes the previous position. */
  void GetEventXY(int px, int py, float& x, float& y);
  /** The travel of a motion event (an XMotionEvent) while the cursor is hidden and locked. */
  void GetLockedMotion(const void* pEvent, float& dX, float& dY);
  /** Moves the pointer between two points of the window, noting the warp so that events can be told apart. */
  void WarpPointer(int fromX, int fromY, int toX, int toY);
  void ApplyCursor();
  bool ReadSelection(WDL_String& str);
  void ShowTooltip(bool show);

  std::unique_ptr<LinuxGLSurface> mSurface;
  std::unique_ptr<LinuxXWindow> mX;
  std::unique_ptr<Timer> mFrameTimer;
  Steinberg::Linux::IRunLoop* mRunLoop = nullptr; // referenced while set
  std::shared_ptr<bool> mAlive = std::make_shared<bool>(true);
  double mFirstFrameMs = -1.;
  bool mHeadless = false;
  const char* mSurfaceError = "";
  WDL_String mClipboard;
};

/** The graphics factory plug-ins call from their creation function: the Linux context of the given size. */
IGraphics* MakeGraphics(IGEditorDelegate& dlg, int w, int h, int fps = kDefaultFPS, float scale = 1.f);

} // namespace iplug::igraphics
