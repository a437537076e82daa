#include "IGraphicsLinux.h"

#include "IPlugPluginBase.h"
#include "IPopupMenuControl.h"
#include "ITextEntryControl.h"
#include "LinuxEGLSurface.h"
#include "LinuxFonts.h"

#include <GL/gl.h>
#include <stb_image_write.h>

namespace iplug::igraphics
{

IGraphicsLinux::IGraphicsLinux(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGraphicsNanoVG(dlg, w, h, fps, scale)
{
  StaticStorage<LinuxFontDescriptor>::Accessor descriptors(LinuxFontHelpers::GetFontDescriptorCache());
  descriptors.Retain();
}

IGraphicsLinux::~IGraphicsLinux()
{
  DetachSurface();
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
  ActivateGLContext();
  OnViewDestroyed();
  DeactivateGLContext();
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

void IGraphicsLinux::BindDefaultTarget()
{
  const int w = static_cast<int>(static_cast<float>(WindowWidth()) * GetScreenScale());
  const int h = static_cast<int>(static_cast<float>(WindowHeight()) * GetScreenScale());
  if (mSurface)
    mSurface->BindTarget(w, h);
}

bool IGraphicsLinux::OnFrameTick()
{
  if (!mSurface || !GetDrawContext())
    return false;
  OnGUIIdle();
  IRECTList rects;
  if (!IsDirty(rects))
    return false;
  SetAllControlsClean();
  ActivateGLContext();
  Draw(rects);
  mSurface->Present();
  DeactivateGLContext();
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

void IGraphicsLinux::HideMouseCursor(bool hide, bool lock)
{
  mCursorHidden = hide;
  mCursorLock = hide && lock;
}

void IGraphicsLinux::MoveMouseCursor(float x, float y)
{
  mCursorX = x;
  mCursorY = y;
}

void* IGraphicsLinux::OpenWindow(void* pParent)
{
  // Without a parent window the editor opens headless: drawn offscreen, read back as pixels.
  if (!pParent)
    return OpenHeadless(GetScreenScale()) ? static_cast<void*>(GetSurface()) : nullptr;
  return nullptr;
}

void IGraphicsLinux::CloseWindow() { DetachSurface(); }

bool IGraphicsLinux::GetTextFromClipboard(WDL_String& str)
{
  str.Set(mClipboard.Get());
  return mClipboard.GetLength() > 0;
}

bool IGraphicsLinux::SetTextInClipboard(const char* str)
{
  mClipboard.Set(str ? str : "");
  return true;
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
