#pragma once
// The editor's graphics context: owns the controls and the overlay controls, collects dirty regions and
// draws them through the backend, dispatches pointer and key events, and carries the resize and scale
// model. Drawing backends and platform views derive from it.

#include "IControl.h"
#include "IGraphicsStructs.h"
#include "IPopupMenu.h"
#include "StaticStorage.h"
#include "heapbuf.h"
#include "ptrlist.h"

#include <stack>
#include <unordered_map>

namespace Steinberg::Linux
{
class IRunLoop;
}

namespace iplug::igraphics
{

class IGEditorDelegate;
class ICornerResizerControl;
class IBubbleControl;
class IPopupMenuControl;
class ITextEntryControl;
class IFPSDisplayControl;

using PlatformFontPtr = std::unique_ptr<PlatformFont>;

/** Raw pixels of a layer, four bytes per pixel. */
using RawBitmapData = WDL_TypedBuf<uint8_t>;

class IGraphics
{
public:
  IGraphics(IGEditorDelegate& dlg, int w, int h, int fps = kDefaultFPS, float scale = 1.f);
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // --- frame ---
  /** Feeds the frame-time display when one exists; backends wrap it. */
  virtual void BeginFrame();
  virtual void OnViewInitialized(void* pContext) { (void)pContext; }
  virtual void OnViewDestroyed() {}
  virtual void EndFrame() {}
  /** Draws what is dirty now, as the platform's frame timer does; false when nothing was drawn. */
  virtual bool OnFrameTick() { return false; }
  /** Writes the last frame as a PNG file, where the platform can read its frames back. */
  virtual bool WriteFramePNG(const char* path)
  {
    (void)path;
    return false;
  }

  // --- vector images and bitmaps ---
  virtual void DrawSVG(const ISVG& svg, const IRECT& bounds, const IBlend* pBlend = nullptr);
  virtual void DrawRotatedSVG(const ISVG& svg, float destCentreX, float destCentreY, float width, float height,
                              double angle, const IBlend* pBlend = nullptr);
  virtual void DrawBitmap(const IBitmap& bitmap, const IRECT& bounds, int srcX, int srcY,
                          const IBlend* pBlend = nullptr) = 0;
  virtual void DrawFittedBitmap(const IBitmap& bitmap, const IRECT& bounds, const IBlend* pBlend = nullptr);
  virtual void DrawRotatedBitmap(const IBitmap& bitmap, float destCentreX, float destCentreY, double angle,
                                 const IBlend* pBlend = nullptr);

  // --- stroked shapes (built on the path operations) ---
  virtual void DrawPoint(const IColor& color, float x, float y, const IBlend* pBlend = nullptr);
  virtual void DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* pBlend = nullptr,
                        float thickness = 1.f);
  virtual void DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2,
                              const IBlend* pBlend = nullptr, float thickness = 1.f, float dashLen = 2.f);
  virtual void DrawTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                            const IBlend* pBlend = nullptr, float thickness = 1.f);
  virtual void DrawRect(const IColor& color, const IRECT& bounds, const IBlend* pBlend = nullptr,
                        float thickness = 1.f);
  virtual void DrawRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius = 5.f,
                             const IBlend* pBlend = nullptr, float thickness = 1.f);
  virtual void DrawRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL,
                             const IBlend* pBlend = nullptr, float thickness = 1.f);
  virtual void DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                       const IBlend* pBlend = nullptr, float thickness = 1.f);
  virtual void DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* pBlend = nullptr,
                          float thickness = 1.f);
  virtual void DrawEllipse(const IColor& color, const IRECT& bounds, const IBlend* pBlend = nullptr,
                           float thickness = 1.f);
  virtual void DrawEllipse(const IColor& color, float x, float y, float r1, float r2, float angle = 0.f,
                           const IBlend* pBlend = nullptr, float thickness = 1.f);
  virtual void DrawConvexPolygon(const IColor& color, float* x, float* y, int nPoints, const IBlend* pBlend = nullptr,
                                 float thickness = 1.f);
  virtual void DrawDottedRect(const IColor& color, const IRECT& bounds, const IBlend* pBlend = nullptr,
                              float thickness = 1.f, float dashLen = 2.f);

  // --- filled shapes ---
  virtual void FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                            const IBlend* pBlend = nullptr);
  virtual void FillRect(const IColor& color, const IRECT& bounds, const IBlend* pBlend = nullptr);
  virtual void FillRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius = 5.f,
                             const IBlend* pBlend = nullptr);
  virtual void FillRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL,
                             const IBlend* pBlend = nullptr);
  virtual void FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* pBlend = nullptr);
  virtual void FillEllipse(const IColor& color, const IRECT& bounds, const IBlend* pBlend = nullptr);
  virtual void FillEllipse(const IColor& color, float x, float y, float r1, float r2, float angle = 0.f,
                           const IBlend* pBlend = nullptr);
  virtual void FillArc(const IColor& color, float cx, float cy, float r, float a1, float a2,
                       const IBlend* pBlend = nullptr);
  virtual void FillConvexPolygon(const IColor& color, float* x, float* y, int nPoints, const IBlend* pBlend = nullptr);

  // --- text and context ---
  /** Width of the text in the style; bounds receive the measured rectangle. 0 for null or empty text. */
  virtual float MeasureText(const IText& text, const char* str, IRECT& bounds) const;
  virtual IColor GetPoint(int x, int y) = 0;
  virtual void* GetDrawContext() = 0;
  virtual const char* GetDrawingAPIStr() = 0;

  // --- bitmap management ---
  /** Renders a copy of the bitmap at another resolution factor. */
  virtual IBitmap ScaleBitmap(const IBitmap& inBitmap, const char* cacheName, int targetScale);
  /** Keeps the bitmap in the process-wide cache under its name. */
  virtual void RetainBitmap(const IBitmap& bitmap, const char* cacheName);
  /** Removes the bitmap from the process-wide cache and deletes it. */
  virtual void ReleaseBitmap(const IBitmap& bitmap);
  virtual bool BitmapExtSupported(const char* ext) = 0;
  virtual void DrawFastDropShadow(const IRECT& innerBounds, const IRECT& outerBounds, float xyDrop = 5.f,
                                  float roundness = 0.f, float blur = 10.f, const IBlend* pBlend = nullptr);

  // --- grids, data, fonts ---
  virtual void DrawGrid(const IColor& color, const IRECT& bounds, float gridSizeH, float gridSizeV,
                        const IBlend* pBlend = nullptr, float thickness = 1.f);
  virtual void DrawData(const IColor& color, const IRECT& bounds, float* normYPoints, int nPoints,
                        float* normXPoints = nullptr, const IBlend* pBlend = nullptr, float thickness = 1.f);
  virtual bool LoadFont(const char* fontID, const char* fileNameOrResID);
  virtual bool LoadFont(const char* fontID, void* pData, int dataSize);
  bool LoadFont(const char* fontID, const char* fontName, ETextStyle style);

  // --- layers ---
  virtual void GetLayerBitmapData(const ILayerPtr& layer, RawBitmapData& data);
  virtual void ApplyShadowMask(ILayerPtr& layer, RawBitmapData& mask, const IShadow& shadow);
  virtual void UpdateLayer() {}

  // --- paths and clipping ---
  virtual void PathClear() = 0;
  virtual void PathClose() = 0;
  virtual void PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding = EWinding::kCW) = 0;
  virtual void PathMoveTo(float x, float y) = 0;
  virtual void PathLineTo(float x, float y) = 0;
  virtual void PathSetWinding(bool clockwise) { (void)clockwise; }
  virtual void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) = 0;
  virtual void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) = 0;
  virtual void PathStroke(const IPattern& pattern, float thickness, const IStrokeOptions& options = IStrokeOptions(),
                          const IBlend* pBlend = nullptr) = 0;
  virtual void PathFill(const IPattern& pattern, const IFillOptions& options = IFillOptions(),
                        const IBlend* pBlend = nullptr) = 0;
  virtual void PathTransformSetMatrix(const IMatrix& m) = 0;
  virtual void CompleteRegion(const IRECT& r) { (void)r; }
  virtual void SetClipRegion(const IRECT& r) = 0;

  // --- platform ---
  virtual void AttachPlatformView(const IRECT& r, void* pView);
  virtual void RemovePlatformView(void* pView);
  virtual void GetMouseLocation(float& x, float& y) const = 0;
  /** Hides or shows the cursor; a locked hidden cursor stays where it was hidden. */
  virtual void HideMouseCursor(bool hide = true, bool lock = true) = 0;
  virtual void MoveMouseCursor(float x, float y) = 0;
  /** Stores the new shape and returns the previous one. */
  virtual ECursor SetMouseCursor(ECursor cursorType = ECursor::kArrow);
  virtual void ForceEndUserEdit() = 0;
  virtual void* OpenWindow(void* pParent) = 0;
  virtual void CloseWindow() = 0;
  virtual void* GetWindow() = 0;
  virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
  virtual bool GetTextFromClipboard(WDL_String& str) = 0;
  virtual bool SetTextInClipboard(const char* str) = 0;
  virtual void UpdateTooltips() = 0;
  virtual EMsgBoxResult ShowMessageBox(const char* str, const char* title, EMsgBoxType type,
                                       IMsgBoxCompletionHandlerFunc completionHandler = nullptr) = 0;
  virtual void PromptForFile(WDL_String& fileName, WDL_String& path, EFileAction action = EFileAction::kOpen,
                             const char* ext = "", IFileDialogCompletionHandlerFunc completionHandler = nullptr) = 0;
  virtual void PromptForDirectory(WDL_String& dir, IFileDialogCompletionHandlerFunc completionHandler = nullptr) = 0;
  virtual bool PromptForColor(IColor& color, const char* str = "", IColorPickerHandlerFunc func = nullptr) = 0;
  virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr, const char* confirmMsg = nullptr,
                       const char* errMsgOnFailure = nullptr) = 0;
  virtual const char* GetPlatformAPIStr() { return ""; }
  virtual bool RevealPathInExplorerOrFinder(WDL_String& path, bool select = false);
  virtual void SetWinModuleHandle(void* pInstance) { (void)pInstance; }
  virtual void* GetWinModuleHandle() { return nullptr; }
  virtual void ClientToScreen(float& x, float& y) { (void)x, (void)y; }
  /** The host's UI run loop changed (null: none known); a platform view that ticks on it moves there. */
  virtual void SetHostRunLoop(Steinberg::Linux::IRunLoop* runLoop) { (void)runLoop; }

  // --- platform fonts, resources, editing ---
  virtual PlatformFontPtr LoadPlatformFont(const char* fontID, const char* fileNameOrResID) = 0;
  virtual PlatformFontPtr LoadPlatformFont(const char* fontID, void* pData, int dataSize) = 0;
  virtual PlatformFontPtr LoadPlatformFont(const char* fontID, const char* fontName, ETextStyle style) = 0;
  virtual void CachePlatformFont(const char* fontID, const PlatformFontPtr& font) = 0;
  virtual const char* GetBundleID() const { return ""; }
  virtual void ActivateGLContext() {}
  virtual void DeactivateGLContext() {}
  virtual void CreatePlatformTextEntry(int paramIdx, const IText& text, const IRECT& bounds, int length,
                                       const char* str) = 0;
  /** Shows a platform menu. A synchronous platform returns the menu with its choice (or null for none); an
   *  asynchronous one sets isAsync, returns null and completes later through SetControlValueAfterPopupMenu. */
  virtual IPopupMenu* CreatePlatformPopupMenu(IPopupMenu& menu, const IRECT& bounds, bool& isAsync) = 0;

  // --- destruction ---
  virtual ~IGraphics();

  // --- platform scale and resize ---
  virtual bool PlatformSupportsMultiTouch() const { return false; }
  virtual float GetPlatformWindowScale() const { return 1.f; }
  /** The largest side, in device pixels, the window and its drawing surface can have. */
  virtual int GetMaxWindowPixels() const { return kDefaultMaxWindowPixels; }
  virtual void PlatformResize(bool parentHasResized) { (void)parentHasResized; }
  virtual void DrawResize() {}
  virtual EUIAppearance GetUIAppearance() const { return EUIAppearance::kLight; }

  // --- loading ---
  /** targetScale 0 means the screen scale rounded up. */
  virtual IBitmap LoadBitmap(const char* name, int nStates = 1, bool framesAreHorizontal = false, int targetScale = 0);
  virtual IBitmap LoadBitmap(const char* name, const void* pData, int dataSize, int nStates = 1,
                             bool framesAreHorizontal = false, int targetScale = 0);
  /** Vector images are not supported by this build: both forms return an invalid image. */
  virtual ISVG LoadSVG(const char* fileNameOrResID, const char* units = "px", float dpi = 72.f);
  virtual ISVG LoadSVG(const char* name, const void* pData, int dataSize, const char* units = "px", float dpi = 72.f);
  /** Finds a resource file: in the bundle's resources, the shared location, or as an existing file path. */
  virtual EResourceLocation LoadResource(const char* fileNameOrResID, const char* type, WDL_String& result);
  virtual void AttachGestureRecognizer(EGestureType type) { (void)type; }

  // --- backend creation and text ---
  virtual APIBitmap* LoadAPIBitmap(const char* fileNameOrResID, int scale, EResourceLocation location,
                                   const char* ext) = 0;
  virtual APIBitmap* LoadAPIBitmap(const char* name, const void* pData, int dataSize, int scale) = 0;
  virtual APIBitmap* CreateAPIBitmap(int width, int height, int scale, double drawScale, bool cacheable = false) = 0;
  virtual bool LoadAPIFont(const char* fontID, const PlatformFontPtr& font) = 0;
  virtual bool AssetsLoaded() { return true; }
  /** Byte index of alpha within a pixel. */
  virtual int AlphaChannel() const = 0;
  virtual bool FlippedBitmap() const = 0;
  virtual float DoMeasureText(const IText& text, const char* str, IRECT& bounds) const = 0;
  virtual void DoDrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* pBlend = nullptr) = 0;
  /** Device pixels per logical unit: screen scale x draw scale. */
  virtual float GetBackingPixelScale() const { return GetScreenScale() * GetDrawScale(); }

  // ================================================================================================
  // Non-virtual operations.

  // --- attachment ---
  /** Loads the bitmap and inserts it at index 0 as the background, bound to no parameter. */
  void AttachBackground(const char* fileName);
  /** Attaches a control (ownership passes). Returns null and attaches nothing when tag >= 0 is taken: the
   *  caller keeps the control. */
  IControl* AttachControl(IControl* pControl, int ctrlTag = -1, const char* group = "");
  void AttachCornerResizer(EUIResizerMode sizeMode = EUIResizerMode::Scale, bool layoutOnResize = false,
                           const IColor& color = COLOR_TRANSLUCENT, const IColor& mouseOverColor = COLOR_BLACK,
                           const IColor& dragColor = COLOR_BLACK, float size = 20.f);
  /** Takes ownership; a second resizer is deleted and changes nothing. */
  void AttachCornerResizer(ICornerResizerControl* pControl, EUIResizerMode sizeMode = EUIResizerMode::Scale,
                           bool layoutOnResize = false);
  void AttachBubbleControl(const IText& text = DEFAULT_TEXT);
  void AttachBubbleControl(IBubbleControl* pControl);
  void AttachPopupMenuControl(const IText& text = DEFAULT_TEXT, const IRECT& bounds = IRECT());
  void AttachTextEntryControl();
  void ShowFPSDisplay(bool enable);
  void RemoveAllControls();

  // --- lookup and bulk operations ---
  int NControls() const { return mControls.GetSize(); }
  IControl* GetControl(int idx) const { return mControls.Get(idx); }
  int GetControlIdx(const IControl* pControl) const { return mControls.Find(pControl); }
  IControl* GetBackgroundControl() const { return GetControl(0); }
  IControl* GetControlWithTag(int ctrlTag) const;
  ICornerResizerControl* GetCornerResizer() const { return mCornerResizer.get(); }
  IPopupMenuControl* GetPopupMenuControl() const { return mPopupControl.get(); }
  ITextEntryControl* GetTextEntryControl() const { return mTextEntryControl.get(); }
  IFPSDisplayControl* GetFPSDisplayControl() const { return mPerfDisplay.get(); }
  int NBubbles() const { return mBubbleControls.GetSize(); }
  IBubbleControl* GetBubbleControl(int idx = 0) const { return mBubbleControls.Get(idx); }
  /** Control list from index 0, then the frame-time display, resizer, text entry, popup menu, bubbles. */
  void ForAllControlsFunc(const std::function<void(IControl*)>& func);
  void ForStandardControlsFunc(const std::function<void(IControl*)>& func);
  template <typename T, typename... Args> void ForAllControls(T method, Args... args)
  {
    ForAllControlsFunc([&](IControl* pControl) { (pControl->*method)(args...); });
  }
  void ForControlWithParam(int paramIdx, const std::function<void(IControl*)>& func);
  void ForControlInGroup(const char* group, const std::function<void(IControl*)>& func);
  template <typename T, typename... Args> void ForMatchingControls(T method, int paramIdx, Args... args)
  {
    ForControlWithParam(paramIdx, [&](IControl* pControl) { (pControl->*method)(args...); });
  }
  void HideControl(int paramIdx, bool hide) { ForMatchingControls(&IControl::Hide, paramIdx, hide); }
  void DisableControl(int paramIdx, bool disable) { ForMatchingControls(&IControl::SetDisabled, paramIdx, disable); }
  void SetAllControlsDirty();
  void SetAllControlsClean();
  void OnGUIIdle();
  void SetStrictDrawing(bool strict);
  bool GetStrictDrawing() const { return mStrict; }
  void EnableTooltips(bool enable);
  bool TooltipsEnabled() const { return mEnableTooltips; }
  void EnableMouseOver(bool enable) { mEnableMouseOver = enable; }
  bool MouseOverEnabled() const { return mEnableMouseOver; }
  void EnableMultiTouch(bool enable) { mEnableMultiTouch = enable; }
  bool MultiTouchEnabled() const { return mEnableMultiTouch; }
  void AssignParamNameToolTips();
  void SetLayoutOnResize(bool layoutOnResize) { mLayoutOnResize = layoutOnResize; }
  bool GetLayoutOnResize() const { return mLayoutOnResize; }

  // --- frame cycle ---
  /** Runs animations and collects the padded bounds of every dirty control. Flags stay set. */
  bool IsDirty(IRECTList& rects);
  /** Draws the regions: aligned and optimised, or their union with strict drawing. */
  void Draw(IRECTList& rects);

  // --- drawing helpers for controls ---
  /** Draws frame (1-based) of a multi-frame bitmap. */
  void DrawBitmap(const IBitmap& bitmap, const IRECT& bounds, int frame = 1, const IBlend* pBlend = nullptr);
  void DrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* pBlend = nullptr);
  /** Reloads the bitmap's resource for the current screen scale. */
  IBitmap GetScaledBitmap(const IBitmap& src);
  void PathRect(const IRECT& bounds);
  void PathRoundRect(const IRECT& bounds, float ctl, float ctr, float cbl, float cbr);
  void PathRoundRect(const IRECT& bounds, float cornerRadius = 0.f);
  void PathEllipse(float x, float y, float r1, float r2, float angle = 0.f);
  void PathEllipse(const IRECT& bounds);
  void PathCircle(float cx, float cy, float r);
  void PathConvexPolygon(float* x, float* y, int nPoints);
  void PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3);
  void PathLine(float x1, float y1, float x2, float y2);
  // Transform stack of the region being drawn.
  void PathTransformSave();
  void PathTransformRestore();
  void PathTransformReset();
  void PathTransformTranslate(float x, float y);
  void PathTransformScale(float x, float y);
  void PathTransformRotate(float angle);
  void PathTransformMatrix(const IMatrix& m);
  const IMatrix& GetTransform() const { return mTransform; }
  const IRECT& GetClipRect() const { return mClipRECT; }
  // Layers: offscreen drawing into a bitmap.
  void StartLayer(IControl* pOwner, const IRECT& r, bool cacheable = false);
  ILayerPtr EndLayer();
  void DrawLayer(const ILayerPtr& layer, const IBlend* pBlend = nullptr);
  bool LayerActive() const { return !mLayers.empty(); }
  const ILayer* GetTopLayer() const { return mLayers.empty() ? nullptr : mLayers.top(); }

  // --- size and scale ---
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  /** Window size in points: the logical size times the draw scale, truncated. */
  int WindowWidth() const { return static_cast<int>(static_cast<float>(mWidth) * mDrawScale); }
  int WindowHeight() const { return static_cast<int>(static_cast<float>(mHeight) * mDrawScale); }
  int FPS() const { return mFPS; }
  float GetScreenScale() const { return mScreenScale; }
  float GetDrawScale() const { return mDrawScale; }
  float GetMinScale() const { return mMinScale; }
  float GetMaxScale() const { return mMaxScale; }
  IRECT GetBounds() const { return IRECT(0.f, 0.f, static_cast<float>(mWidth), static_cast<float>(mHeight)); }
  void Resize(int w, int h, float scale, bool needsPlatformResize = true);
  /** Takes scale within kMinScreenScale..kMaxScreenScale; ignores a non-positive or non-finite one. */
  void SetScreenScale(float scale);
  EUIResizerMode GetResizerMode() const { return mGUISizeMode; }
  bool GetResizingInProcess() const { return mResizingInProcess; }
  /** Called by the corner resizer's mouse-down: the following drags resize the editor. */
  void StartDragResize() { mResizingInProcess = true; }
  void SetTranslation(float x, float y)
  {
    mXTranslation = x;
    mYTranslation = y;
  }
  float GetXTranslation() const { return mXTranslation; }
  float GetYTranslation() const { return mYTranslation; }

  // --- events (called by the platform view) ---
  void OnMouseDown(const std::vector<IMouseInfo>& points);
  void OnMouseUp(const std::vector<IMouseInfo>& points);
  void OnMouseDrag(const std::vector<IMouseInfo>& points);
  void OnTouchCancelled(const std::vector<IMouseInfo>& points);
  bool OnMouseDblClick(float x, float y, const IMouseMod& mod);
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float delta);
  bool OnMouseOver(float x, float y, const IMouseMod& mod);
  void OnMouseOut();
  bool OnKeyDown(float x, float y, const IKeyPress& key);
  bool OnKeyUp(float x, float y, const IKeyPress& key);
  void OnDrop(const char* str, float x, float y);
  void OnAppearanceChanged(EUIAppearance appearance);
  void OnGestureRecognized(const IGestureInfo& info);

  // --- requests from controls ---
  void ReleaseMouseCapture();
  /** Whether pControl is captured by any touch (or the mouse). */
  bool ControlIsCaptured(const IControl* pControl) const;
  bool ControlIsCaptured() const { return !mCapturedMap.empty(); }
  /** Touch identifiers that have captured pControl. */
  std::vector<ITouchID> GetTouchesOfCapturedControl(const IControl* pControl) const;
  void PromptUserInput(IControl& control, const IRECT& bounds, int valIdx = 0);
  void CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx = 0);
  void CreateTextEntry(IControl& control, const IText& text, const IRECT& bounds, const char* str = "", int valIdx = 0);
  void SetControlValueAfterTextEdit(const char* str);
  void SetControlValueAfterPopupMenu(IPopupMenu* pMenu);
  /** Forgets the control in text entry without applying a value (an edit was dismissed). */
  void ClearInTextEntryControl() { mInTextEntry = nullptr; }
  IControl* GetControlInTextEntry() const { return mInTextEntry; }
  IControl* GetControlInPopupMenu() const { return mInPopupMenu; }
  void ShowBubbleControl(IControl* pCaller, float x, float y, const char* str, EDirection dir = EDirection::kHorizontal,
                         IRECT minimumContentBounds = IRECT());
  void UpdatePeers(IControl* pCaller, int callerValIdx);
  void PopupHostContextMenuForParam(IControl* pControl, int paramIdx, float x, float y);
  IPopupMenu& GetPromptMenu() { return mPromptPopupMenu; }

  // --- mouse state ---
  IControl* GetMouseOverControl() const { return mMouseOver; }
  int GetMouseOverIdx() const { return mMouseOverIdx; }
  float GetMouseDownX() const { return mMouseDownX; }
  float GetMouseDownY() const { return mMouseDownY; }
  int GetLastClickedParamForPTAutomation() const { return mLastClickedParam; }
  bool CursorIsHidden() const { return mCursorHidden; }
  bool CursorIsLocked() const { return mCursorLock; }
  ECursor GetCursor() const { return mCursorType; }

  // --- callbacks ---
  void SetKeyHandlerFunc(IKeyHandlerFunc func) { mKeyHandlerFunc = std::move(func); }
  void SetDisplayTickFunc(IDisplayTickFunc func) { mDisplayTickFunc = std::move(func); }
  void SetUIAppearanceChangedFunc(IUIAppearanceChangedFunc func) { mAppearanceChangedFunc = std::move(func); }

  // --- resources ---
  IGEditorDelegate* GetDelegate() const { return mDelegate; }
  void SetSharedResourcesSubPath(const char* path) { mSharedResourcesSubPath.Set(path); }
  const char* GetSharedResourcesSubPath() const { return mSharedResourcesSubPath.Get(); }
  /** Tries the scale variants of an image resource (target first, then 3, then downwards). */
  EResourceLocation SearchImageResource(const char* name, const char* type, WDL_String& result, int targetScale,
                                        int& sourceScale);
  /** The cached bitmap for name at the best scale in the same order, or null. */
  APIBitmap* SearchBitmapInCache(const char* name, int targetScale, int& sourceScale);

protected:
  /** The control under (x, y) for an event; captures it for touchID when asked. */
  IControl* GetMouseControl(float x, float y, bool capture, bool mouseOver = false, ITouchID touchID = 0);
  /** Index in the control list of the frontmost control hit at (x, y), or -1. */
  int GetMouseControlIdx(float x, float y, bool mouseOver = false);
  void DrawControl(IControl* pControl, const IRECT& bounds, float scale);
  void BeginRegion(const IRECT& r);
  void DoCreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx, bool isContext);
  void EndDragResize();
  /** Binds a control to the delegate and this context and runs its attach hooks. */
  void BindControl(IControl* pControl);
  int PromptPopupValIdx() const { return mPopupMenuValIdx; }
  /** The largest draw scale, at most scale, at which a w x h editor fits GetMaxWindowPixels() on this screen. */
  float FitDrawScale(int w, int h, float scale) const;

  // Cursor state, for platforms.
  bool mCursorHidden = false;
  bool mCursorLock = false;
  bool mTabletInput = false;
  float mCursorX = -1.f;
  float mCursorY = -1.f;

private:
  struct ControlDeleter
  {
    void operator()(IControl* pControl) const;
  };
  template <class T> using OwnedControl = std::unique_ptr<T, ControlDeleter>;

  WDL_PtrList<IControl> mControls; // owned; index 0 is the background
  std::unordered_map<int, IControl*> mCtrlTags;
  OwnedControl<ICornerResizerControl> mCornerResizer;
  WDL_PtrList<IBubbleControl> mBubbleControls; // owned
  OwnedControl<IPopupMenuControl> mPopupControl;
  OwnedControl<IFPSDisplayControl> mPerfDisplay;
  OwnedControl<ITextEntryControl> mTextEntryControl;
  IPopupMenu mPromptPopupMenu;
  WDL_String mSharedResourcesSubPath;
  ECursor mCursorType = ECursor::kArrow;
  int mWidth;
  int mHeight;
  int mFPS;
  float mScreenScale = 1.f;
  float mDrawScale;
  std::unordered_map<ITouchID, IControl*> mCapturedMap;
  IControl* mMouseOver = nullptr;
  IControl* mInTextEntry = nullptr;
  IControl* mInPopupMenu = nullptr;
  bool mIsContextMenu = false;
  int mTextEntryValIdx = kNoValIdx;
  int mPopupMenuValIdx = kNoValIdx;
  int mMouseOverIdx = -1;
  float mMouseDownX = -1.f;
  float mMouseDownY = -1.f;
  float mMinScale;
  float mMaxScale;
  int mLastClickedParam = kNoParameter;
  bool mEnableMouseOver = false;
  bool mStrict = false;
  bool mEnableTooltips = false;
  bool mResizingInProcess = false;
  bool mLayoutOnResize = false;
  bool mEnableMultiTouch = false;
  EUIResizerMode mGUISizeMode = EUIResizerMode::Scale;
  double mPrevTimestamp = 0.;
  IKeyHandlerFunc mKeyHandlerFunc;
  IDisplayTickFunc mDisplayTickFunc;
  IUIAppearanceChangedFunc mAppearanceChangedFunc;
  IGEditorDelegate* mDelegate;
  float mXTranslation = 0.f;
  float mYTranslation = 0.f;
  std::stack<ILayer*> mLayers;
  IRECT mClipRECT;
  IMatrix mTransform;
  std::stack<IMatrix> mTransformStack;
};

} // namespace iplug::igraphics
