#pragma once
// The Linux graphics context: the NanoVG backend on a GL surface. Without a window it draws headless into an
// EGL context (tests, screenshots); the X11 window is another surface beside it, under the same drawing path.

#include "IGraphicsNanoVG.h"
#include "LinuxGLSurface.h"

#include <memory>
#include <vector>

namespace iplug::igraphics
{

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
  float GetBackingPixelScale() const override { return GetScreenScale() * GetDrawScale(); }

  // --- platform services (the window brings the interactive ones) ---
  void GetMouseLocation(float& x, float& y) const override;
  void HideMouseCursor(bool hide = true, bool lock = true) override;
  void MoveMouseCursor(float x, float y) override;
  void ForceEndUserEdit() override {}
  void* OpenWindow(void* pParent) override;
  void CloseWindow() override;
  void* GetWindow() override { return nullptr; }
  bool GetTextFromClipboard(WDL_String& str) override;
  bool SetTextInClipboard(const char* str) override;
  void UpdateTooltips() override {}
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

protected:
  void BindDefaultTarget() override;
  /** Attaches a surface (headless or window) and creates the drawing context on it. */
  bool AttachSurface(std::unique_ptr<LinuxGLSurface> surface, float screenScale);
  /** Destroys the drawing context and the surface. */
  void DetachSurface();
  LinuxGLSurface* GetSurface() const { return mSurface.get(); }

private:
  std::unique_ptr<LinuxGLSurface> mSurface;
  bool mHeadless = false;
  const char* mSurfaceError = "";
  WDL_String mClipboard;
};

/** The graphics factory plug-ins call from their creation function: the Linux context of the given size. */
IGraphics* MakeGraphics(IGEditorDelegate& dlg, int w, int h, int fps = kDefaultFPS, float scale = 1.f);

} // namespace iplug::igraphics
