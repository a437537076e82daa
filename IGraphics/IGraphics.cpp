#include "IGraphics.h"

#include "IBitmapControls.h"
#include "IBubbleControl.h"
#include "ICornerResizerControl.h"
#include "IFPSDisplayControl.h"
#include "IGraphicsEditorDelegate.h"
#include "IPlugPaths.h"
#include "IPopupMenuControl.h"
#include "ITextEntryControl.h"

#include <chrono>

namespace iplug::igraphics
{

namespace
{
// Process-wide caches shared by every graphics context of the module. The counts follow the live contexts.
StaticStorage<APIBitmap>& BitmapCache()
{
  static StaticStorage<APIBitmap> sCache;
  return sCache;
}

StaticStorage<ISVG>& SVGCache()
{
  static StaticStorage<ISVG> sCache;
  return sCache;
}

constexpr float kKappa = 0.5522847498f; // cubic Bezier handle length of a quarter circle

/** Text after the last '.', or "". */
const char* Extension(const char* name)
{
  const char* dot = name ? std::strrchr(name, '.') : nullptr;
  return dot ? dot + 1 : "";
}

/** "BG.png" at scale 2 becomes "BG@2x.png": the extension is the text after the last '.' that follows any
 *  path separator. */
void ScaledResourceName(const char* name, int scale, WDL_String& result)
{
  if (scale == 1)
  {
    result.Set(name);
    return;
  }
  const char* sep = std::max(std::strrchr(name, '/'), std::strrchr(name, '\\'));
  const char* dot = std::strrchr(sep ? sep : name, '.');
  WDL_String base(name);
  const char* ext = "";
  if (dot)
  {
    base.SetLen(static_cast<int>(dot - name));
    ext = dot;
  }
  result.SetFormatted(static_cast<int>(std::strlen(name)) + 3, "%s@%dx%s", base.Get(), scale, ext);
}

/** The next scale to try after `scale`, starting from target: target, 3, then downwards skipping target. */
int NextSearchScale(int scale, int targetScale)
{
  if (scale == targetScale)
    return targetScale != 3 ? 3 : targetScale - 1;
  scale--;
  if (scale == targetScale)
    scale--;
  return scale;
}
} // namespace

void IGraphics::ControlDeleter::operator()(IControl* pControl) const { delete pControl; }

IGraphics::IGraphics(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
    : mWidth(w), mHeight(h), mFPS(fps), mDrawScale(scale), mMinScale(scale / 2.f), mMaxScale(scale * 2.f),
      mDelegate(&dlg)
{
  StaticStorage<APIBitmap>::Accessor bitmapStorage(BitmapCache());
  bitmapStorage.Retain();
  StaticStorage<ISVG>::Accessor svgStorage(SVGCache());
  svgStorage.Retain();
}

IGraphics::~IGraphics()
{
  // The platform part of this object is gone already: releasing the capture must not try to show the cursor.
  mCursorHidden = false;
  RemoveAllControls();

  while (!mLayers.empty())
  {
    delete mLayers.top();
    mLayers.pop();
  }

  StaticStorage<APIBitmap>::Accessor bitmapStorage(BitmapCache());
  bitmapStorage.Release();
  StaticStorage<ISVG>::Accessor svgStorage(SVGCache());
  svgStorage.Release();
}

// --- attachment ---------------------------------------------------------------------------------

void IGraphics::BindControl(IControl* pControl)
{
  pControl->SetDelegate(*mDelegate);
  pControl->SetGraphics(this);
  pControl->OnInit();
  pControl->OnResize();
  pControl->OnRescale();
}

void IGraphics::AttachBackground(const char* fileName)
{
  IBitmap bg = LoadBitmap(fileName, 1, false, 0);
  IControl* pBG = new IBitmapControl(0.f, 0.f, bg, kNoParameter, EBlend::kDefault);
  BindControl(pBG);
  mControls.Insert(0, pBG);
  if (mMouseOverIdx >= 0)
    mMouseOverIdx++;
}

IControl* IGraphics::AttachControl(IControl* pControl, int ctrlTag, const char* group)
{
  if (!pControl)
    return nullptr;
  if (ctrlTag >= 0)
  {
    if (mCtrlTags.count(ctrlTag))
      return nullptr;
    mCtrlTags[ctrlTag] = pControl;
  }
  BindControl(pControl);
  pControl->SetGroup(group);
  mControls.Add(pControl);
  pControl->OnAttached();
  return pControl;
}

void IGraphics::AttachCornerResizer(EUIResizerMode sizeMode, bool layoutOnResize, const IColor& color,
                                    const IColor& mouseOverColor, const IColor& dragColor, float size)
{
  AttachCornerResizer(new ICornerResizerControl(GetBounds(), size, color, mouseOverColor, dragColor), sizeMode,
                      layoutOnResize);
}

void IGraphics::AttachCornerResizer(ICornerResizerControl* pControl, EUIResizerMode sizeMode, bool layoutOnResize)
{
  if (!pControl)
    return;
  if (mCornerResizer)
  {
    delete pControl;
    return;
  }
  mCornerResizer.reset(pControl);
  mGUISizeMode = sizeMode;
  mLayoutOnResize = layoutOnResize;
  BindControl(pControl);
}

void IGraphics::AttachBubbleControl(const IText& text)
{
  AttachBubbleControl(new IBubbleControl(text, COLOR_WHITE, COLOR_BLACK, 5.f));
}

void IGraphics::AttachBubbleControl(IBubbleControl* pControl)
{
  if (!pControl)
    return;
  BindControl(pControl);
  mBubbleControls.Add(pControl);
}

void IGraphics::AttachPopupMenuControl(const IText& text, const IRECT& bounds)
{
  if (mPopupControl)
    return;
  mPopupControl.reset(new IPopupMenuControl(kNoParameter, text, IRECT(), bounds));
  BindControl(mPopupControl.get());
}

void IGraphics::AttachTextEntryControl()
{
  if (mTextEntryControl)
    return;
  mTextEntryControl.reset(new ITextEntryControl());
  BindControl(mTextEntryControl.get());
}

void IGraphics::ShowFPSDisplay(bool enable)
{
  if (enable)
  {
    if (!mPerfDisplay)
    {
      mPerfDisplay.reset(new IFPSDisplayControl(IRECT(10.f, 10.f, 210.f, 60.f), "Frame Time"));
      BindControl(mPerfDisplay.get());
    }
  }
  else if (mPerfDisplay)
  {
    // A display being deleted must not stay reachable through the capture or the mouse-over state.
    for (auto it = mCapturedMap.begin(); it != mCapturedMap.end();)
      it = it->second == mPerfDisplay.get() ? mCapturedMap.erase(it) : std::next(it);
    mPerfDisplay.reset();
    mMouseOver = nullptr;
    mMouseOverIdx = -1;
  }
  SetAllControlsDirty();
}

void IGraphics::RemoveAllControls()
{
  ReleaseMouseCapture();
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
  mInTextEntry = nullptr;
  mInPopupMenu = nullptr;

  mPopupControl.reset();
  mTextEntryControl.reset();
  mCornerResizer.reset();
  mPerfDisplay.reset();

  while (mBubbleControls.GetSize())
    mBubbleControls.Delete(mBubbleControls.GetSize() - 1, true);

  mCtrlTags.clear();
  while (mControls.GetSize())
    mControls.Delete(mControls.GetSize() - 1, true);
}

// --- lookup and bulk operations -----------------------------------------------------------------

IControl* IGraphics::GetControlWithTag(int ctrlTag) const
{
  auto it = mCtrlTags.find(ctrlTag);
  return it == mCtrlTags.end() ? nullptr : it->second;
}

void IGraphics::ForAllControlsFunc(const std::function<void(IControl*)>& func)
{
  for (int c = 0; c < mControls.GetSize(); c++)
    func(mControls.Get(c));
  if (mPerfDisplay)
    func(mPerfDisplay.get());
  if (mCornerResizer)
    func(mCornerResizer.get());
  if (mTextEntryControl)
    func(mTextEntryControl.get());
  if (mPopupControl)
    func(mPopupControl.get());
  for (int b = 0; b < mBubbleControls.GetSize(); b++)
    func(mBubbleControls.Get(b));
}

void IGraphics::ForStandardControlsFunc(const std::function<void(IControl*)>& func)
{
  for (int c = 0; c < mControls.GetSize(); c++)
    func(mControls.Get(c));
}

void IGraphics::ForControlWithParam(int paramIdx, const std::function<void(IControl*)>& func)
{
  ForStandardControlsFunc(
      [&](IControl* pControl)
      {
        if (pControl->LinkedToParam(paramIdx) > kNoValIdx)
          func(pControl);
      });
}

void IGraphics::ForControlInGroup(const char* group, const std::function<void(IControl*)>& func)
{
  if (!group || !*group)
    return;
  ForStandardControlsFunc(
      [&](IControl* pControl)
      {
        if (std::strcmp(pControl->GetGroup(), group) == 0)
          func(pControl);
      });
}

void IGraphics::SetAllControlsDirty()
{
  ForAllControlsFunc([](IControl* pControl) { pControl->SetDirty(false, kNoValIdx); });
}

void IGraphics::SetAllControlsClean()
{
  ForAllControlsFunc([](IControl* pControl) { pControl->SetClean(); });
}

void IGraphics::OnGUIIdle()
{
  ForAllControlsFunc([](IControl* pControl) { pControl->OnGUIIdle(); });
}

void IGraphics::SetStrictDrawing(bool strict)
{
  mStrict = strict;
  SetAllControlsDirty();
}

void IGraphics::EnableTooltips(bool enable)
{
  mEnableTooltips = enable;
  if (enable)
    mEnableMouseOver = true;
}

void IGraphics::AssignParamNameToolTips()
{
  ForStandardControlsFunc(
      [](IControl* pControl)
      {
        if (const IParam* pParam = pControl->GetParam())
          pControl->SetTooltip(pParam->GetName());
      });
}

// --- frame cycle --------------------------------------------------------------------------------

bool IGraphics::IsDirty(IRECTList& rects)
{
  if (mDisplayTickFunc)
    mDisplayTickFunc();

  ForAllControlsFunc([](IControl* pControl) { pControl->Animate(); });

  bool dirty = false;
  ForAllControlsFunc(
      [&](IControl* pControl)
      {
        if (pControl->IsDirty())
        {
          rects.Add(pControl->GetRECT().GetPadded(kDirtyPadding));
          dirty = true;
        }
      });
  return dirty;
}

void IGraphics::BeginRegion(const IRECT& r)
{
  while (!mTransformStack.empty())
    mTransformStack.pop();
  mTransform = IMatrix();
  PathTransformSetMatrix(mTransform);
  PathClear();
  SetClipRegion(r);
  mClipRECT = r;
}

void IGraphics::DrawControl(IControl* pControl, const IRECT& bounds, float scale)
{
  // The background is drawn even when hidden: something must cover every pixel of the window.
  if (!pControl || (pControl->IsHidden() && pControl != GetControl(0)))
    return;

  const IRECT controlBounds = pControl->GetRECT().GetPadded(kDirtyPadding).GetPixelAligned(scale);
  const IRECT clip = bounds.Intersect(controlBounds);
  if (clip.W() <= 0.f || clip.H() <= 0.f)
    return;

  BeginRegion(clip);
  pControl->Draw(*this);
  CompleteRegion(clip);
}

void IGraphics::Draw(IRECTList& rects)
{
  if (!rects.Size())
    return;

  const float scale = GetBackingPixelScale();
  BeginFrame();

  auto drawRegion = [&](const IRECT& r)
  { ForAllControlsFunc([&](IControl* pControl) { DrawControl(pControl, r, scale); }); };

  if (mStrict)
    drawRegion(rects.Bounds().GetPixelAligned(scale));
  else
  {
    rects.PixelAlign(scale);
    rects.Optimize();
    for (int i = 0; i < rects.Size(); i++)
      drawRegion(rects.Get(i));
  }

  EndFrame();
}

void IGraphics::BeginFrame()
{
  if (!mPerfDisplay)
    return;
  static const auto sStart = std::chrono::steady_clock::now();
  const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - sStart).count();
  mPerfDisplay->Update(static_cast<float>(now - mPrevTimestamp));
  mPrevTimestamp = now;
}

// --- drawing helpers ----------------------------------------------------------------------------

void IGraphics::DrawBitmap(const IBitmap& bitmap, const IRECT& bounds, int frame, const IBlend* pBlend)
{
  int srcX = 0;
  int srcY = 0;
  bitmap.GetFrameOffset(frame, srcX, srcY);
  DrawBitmap(bitmap, bounds, srcX, srcY, pBlend);
}

void IGraphics::DrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* pBlend)
{
  if (!str || !*str)
    return;
  DoDrawText(text, str, bounds, pBlend);
}

float IGraphics::MeasureText(const IText& text, const char* str, IRECT& bounds) const
{
  if (!str || !*str)
    return 0.f;
  return DoMeasureText(text, str, bounds);
}

void IGraphics::DrawSVG(const ISVG& svg, const IRECT& bounds, const IBlend* pBlend)
{
  // No vector-image renderer in this build; LoadSVG never yields a valid image.
  (void)svg, (void)bounds, (void)pBlend;
}

void IGraphics::DrawRotatedSVG(const ISVG& svg, float destCentreX, float destCentreY, float width, float height,
                               double angle, const IBlend* pBlend)
{
  if (!svg.IsValid() || svg.W() <= 0.f || svg.H() <= 0.f)
    return;
  PathTransformSave();
  PathTransformTranslate(destCentreX, destCentreY);
  PathTransformRotate(static_cast<float>(angle));
  DrawSVG(svg, IRECT(-width / 2.f, -height / 2.f, width / 2.f, height / 2.f), pBlend);
  PathTransformRestore();
}

void IGraphics::DrawFittedBitmap(const IBitmap& bitmap, const IRECT& bounds, const IBlend* pBlend)
{
  if (!bitmap.IsValid() || bitmap.W() <= 0 || bitmap.H() <= 0)
    return;
  PathTransformSave();
  PathTransformTranslate(bounds.L, bounds.T);
  const IRECT newBounds(0.f, 0.f, static_cast<float>(bitmap.W()), static_cast<float>(bitmap.H()));
  PathTransformScale(bounds.W() / static_cast<float>(bitmap.W()), bounds.H() / static_cast<float>(bitmap.H()));
  DrawBitmap(bitmap, newBounds, 0, 0, pBlend);
  PathTransformRestore();
}

void IGraphics::DrawRotatedBitmap(const IBitmap& bitmap, float destCentreX, float destCentreY, double angle,
                                  const IBlend* pBlend)
{
  if (!bitmap.IsValid())
    return;
  const float w = static_cast<float>(bitmap.W()) / bitmap.GetDrawScale();
  const float h = static_cast<float>(bitmap.H()) / bitmap.GetDrawScale();
  PathTransformSave();
  PathTransformTranslate(destCentreX, destCentreY);
  PathTransformRotate(static_cast<float>(angle));
  DrawBitmap(bitmap, IRECT(-w / 2.f, -h / 2.f, w / 2.f, h / 2.f), 0, 0, pBlend);
  PathTransformRestore();
}

void IGraphics::DrawPoint(const IColor& color, float x, float y, const IBlend* pBlend)
{
  FillRect(color, IRECT(x, y, x + 1.f, y + 1.f), pBlend);
}

void IGraphics::DrawLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* pBlend,
                         float thickness)
{
  PathClear();
  PathLine(x1, y1, x2, y2);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawDottedLine(const IColor& color, float x1, float y1, float x2, float y2, const IBlend* pBlend,
                               float thickness, float dashLen)
{
  IStrokeOptions options;
  options.mDashes = {dashLen, dashLen};
  PathClear();
  PathLine(x1, y1, x2, y2);
  PathStroke(color, thickness, options, pBlend);
}

void IGraphics::DrawTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                             const IBlend* pBlend, float thickness)
{
  PathClear();
  PathTriangle(x1, y1, x2, y2, x3, y3);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawRect(const IColor& color, const IRECT& bounds, const IBlend* pBlend, float thickness)
{
  PathClear();
  PathRect(bounds);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* pBlend,
                              float thickness)
{
  PathClear();
  PathRoundRect(bounds, cornerRadius);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL,
                              const IBlend* pBlend, float thickness)
{
  PathClear();
  PathRoundRect(bounds, cRTL, cRTR, cRBL, cRBR);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawArc(const IColor& color, float cx, float cy, float r, float a1, float a2, const IBlend* pBlend,
                        float thickness)
{
  PathClear();
  PathArc(cx, cy, r, a1, a2);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawCircle(const IColor& color, float cx, float cy, float r, const IBlend* pBlend, float thickness)
{
  PathClear();
  PathCircle(cx, cy, r);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawEllipse(const IColor& color, const IRECT& bounds, const IBlend* pBlend, float thickness)
{
  PathClear();
  PathEllipse(bounds);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawEllipse(const IColor& color, float x, float y, float r1, float r2, float angle,
                            const IBlend* pBlend, float thickness)
{
  PathClear();
  PathEllipse(x, y, r1, r2, angle);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawConvexPolygon(const IColor& color, float* x, float* y, int nPoints, const IBlend* pBlend,
                                  float thickness)
{
  PathClear();
  PathConvexPolygon(x, y, nPoints);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawDottedRect(const IColor& color, const IRECT& bounds, const IBlend* pBlend, float thickness,
                               float dashLen)
{
  IStrokeOptions options;
  options.mDashes = {dashLen, dashLen};
  PathClear();
  PathRect(bounds);
  PathStroke(color, thickness, options, pBlend);
}

void IGraphics::FillTriangle(const IColor& color, float x1, float y1, float x2, float y2, float x3, float y3,
                             const IBlend* pBlend)
{
  PathClear();
  PathTriangle(x1, y1, x2, y2, x3, y3);
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::FillRect(const IColor& color, const IRECT& bounds, const IBlend* pBlend)
{
  PathClear();
  PathRect(bounds);
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::FillRoundRect(const IColor& color, const IRECT& bounds, float cornerRadius, const IBlend* pBlend)
{
  PathClear();
  PathRoundRect(bounds, cornerRadius);
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::FillRoundRect(const IColor& color, const IRECT& bounds, float cRTL, float cRTR, float cRBR, float cRBL,
                              const IBlend* pBlend)
{
  PathClear();
  PathRoundRect(bounds, cRTL, cRTR, cRBL, cRBR);
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::FillCircle(const IColor& color, float cx, float cy, float r, const IBlend* pBlend)
{
  PathClear();
  PathCircle(cx, cy, r);
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::FillEllipse(const IColor& color, const IRECT& bounds, const IBlend* pBlend)
{
  PathClear();
  PathEllipse(bounds);
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::FillEllipse(const IColor& color, float x, float y, float r1, float r2, float angle,
                            const IBlend* pBlend)
{
  PathClear();
  PathEllipse(x, y, r1, r2, angle);
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::FillArc(const IColor& color, float cx, float cy, float r, float a1, float a2, const IBlend* pBlend)
{
  PathClear();
  PathMoveTo(cx, cy);
  PathArc(cx, cy, r, a1, a2);
  PathClose();
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::FillConvexPolygon(const IColor& color, float* x, float* y, int nPoints, const IBlend* pBlend)
{
  PathClear();
  PathConvexPolygon(x, y, nPoints);
  PathFill(color, IFillOptions(), pBlend);
}

void IGraphics::DrawGrid(const IColor& color, const IRECT& bounds, float gridSizeH, float gridSizeV,
                         const IBlend* pBlend, float thickness)
{
  // A grid size of zero (or less, or NaN) would never reach the far edge.
  if (!(gridSizeH > 0.f) || !(gridSizeV > 0.f))
    return;
  PathClear();
  for (float x = bounds.L + gridSizeH; x < bounds.R; x += gridSizeH)
    PathLine(x, bounds.T, x, bounds.B);
  for (float y = bounds.T + gridSizeV; y < bounds.B; y += gridSizeV)
    PathLine(bounds.L, y, bounds.R, y);
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawData(const IColor& color, const IRECT& bounds, float* normYPoints, int nPoints, float* normXPoints,
                         const IBlend* pBlend, float thickness)
{
  if (!normYPoints || nPoints < 2)
    return;
  auto xAt = [&](int i)
  {
    const float n = normXPoints ? normXPoints[i] : static_cast<float>(i) / static_cast<float>(nPoints - 1);
    return bounds.L + bounds.W() * n;
  };
  auto yAt = [&](int i) { return bounds.B - bounds.H() * normYPoints[i]; };
  PathClear();
  PathMoveTo(xAt(0), yAt(0));
  for (int i = 1; i < nPoints; i++)
    PathLineTo(xAt(i), yAt(i));
  PathStroke(color, thickness, IStrokeOptions(), pBlend);
}

void IGraphics::DrawFastDropShadow(const IRECT& innerBounds, const IRECT& outerBounds, float xyDrop, float roundness,
                                   float blur, const IBlend* pBlend)
{
  // Backends that can blur draw the shadow; without one the bubble simply has none.
  (void)innerBounds, (void)outerBounds, (void)xyDrop, (void)roundness, (void)blur, (void)pBlend;
}

void IGraphics::GetLayerBitmapData(const ILayerPtr& layer, RawBitmapData& data)
{
  (void)layer;
  data.Resize(0);
}

void IGraphics::ApplyShadowMask(ILayerPtr& layer, RawBitmapData& mask, const IShadow& shadow)
{
  (void)layer, (void)mask, (void)shadow;
}

void IGraphics::PathRect(const IRECT& bounds)
{
  PathMoveTo(bounds.L, bounds.T);
  PathLineTo(bounds.R, bounds.T);
  PathLineTo(bounds.R, bounds.B);
  PathLineTo(bounds.L, bounds.B);
  PathClose();
}

void IGraphics::PathRoundRect(const IRECT& bounds, float ctl, float ctr, float cbl, float cbr)
{
  if (ctl <= 0.f && ctr <= 0.f && cbl <= 0.f && cbr <= 0.f)
  {
    PathRect(bounds);
    return;
  }
  // Angles in degrees, 0 at twelve o'clock, clockwise.
  PathMoveTo(bounds.L, bounds.T + ctl);
  PathArc(bounds.L + ctl, bounds.T + ctl, ctl, 270.f, 360.f);
  PathArc(bounds.R - ctr, bounds.T + ctr, ctr, 0.f, 90.f);
  PathArc(bounds.R - cbr, bounds.B - cbr, cbr, 90.f, 180.f);
  PathArc(bounds.L + cbl, bounds.B - cbl, cbl, 180.f, 270.f);
  PathClose();
}

void IGraphics::PathRoundRect(const IRECT& bounds, float cornerRadius)
{
  PathRoundRect(bounds, cornerRadius, cornerRadius, cornerRadius, cornerRadius);
}

void IGraphics::PathEllipse(float x, float y, float r1, float r2, float angle)
{
  // Four cubic quarter arcs, rotated about the centre.
  const double rad = static_cast<double>(angle) * 3.14159265358979323846 / 180.0;
  const float c = static_cast<float>(std::cos(rad));
  const float s = static_cast<float>(std::sin(rad));
  auto px = [&](float lx, float ly) { return x + lx * c - ly * s; };
  auto py = [&](float lx, float ly) { return y + lx * s + ly * c; };
  const float kx = r1 * kKappa;
  const float ky = r2 * kKappa;
  PathMoveTo(px(r1, 0.f), py(r1, 0.f));
  PathCubicBezierTo(px(r1, ky), py(r1, ky), px(kx, r2), py(kx, r2), px(0.f, r2), py(0.f, r2));
  PathCubicBezierTo(px(-kx, r2), py(-kx, r2), px(-r1, ky), py(-r1, ky), px(-r1, 0.f), py(-r1, 0.f));
  PathCubicBezierTo(px(-r1, -ky), py(-r1, -ky), px(-kx, -r2), py(-kx, -r2), px(0.f, -r2), py(0.f, -r2));
  PathCubicBezierTo(px(kx, -r2), py(kx, -r2), px(r1, -ky), py(r1, -ky), px(r1, 0.f), py(r1, 0.f));
  PathClose();
}

void IGraphics::PathEllipse(const IRECT& bounds)
{
  PathEllipse(bounds.MW(), bounds.MH(), bounds.W() / 2.f, bounds.H() / 2.f);
}

void IGraphics::PathCircle(float cx, float cy, float r) { PathEllipse(cx, cy, r, r); }

void IGraphics::PathConvexPolygon(float* x, float* y, int nPoints)
{
  if (!x || !y || nPoints < 1)
    return;
  PathMoveTo(x[0], y[0]);
  for (int i = 1; i < nPoints; i++)
    PathLineTo(x[i], y[i]);
  PathClose();
}

void IGraphics::PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3)
{
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
  PathLineTo(x3, y3);
  PathClose();
}

void IGraphics::PathLine(float x1, float y1, float x2, float y2)
{
  PathMoveTo(x1, y1);
  PathLineTo(x2, y2);
}

void IGraphics::PathTransformSave() { mTransformStack.push(mTransform); }

void IGraphics::PathTransformRestore()
{
  if (mTransformStack.empty())
    return;
  mTransform = mTransformStack.top();
  mTransformStack.pop();
  PathTransformSetMatrix(mTransform);
}

void IGraphics::PathTransformReset()
{
  mTransform = IMatrix();
  PathTransformSetMatrix(mTransform);
}

void IGraphics::PathTransformTranslate(float x, float y)
{
  mTransform.Translate(x, y);
  PathTransformSetMatrix(mTransform);
}

void IGraphics::PathTransformScale(float x, float y)
{
  mTransform.Scale(x, y);
  PathTransformSetMatrix(mTransform);
}

void IGraphics::PathTransformRotate(float angle)
{
  mTransform.Rotate(angle);
  PathTransformSetMatrix(mTransform);
}

void IGraphics::PathTransformMatrix(const IMatrix& m)
{
  mTransform.Transform(m);
  PathTransformSetMatrix(mTransform);
}

// --- layers -------------------------------------------------------------------------------------

void IGraphics::StartLayer(IControl* pOwner, const IRECT& r, bool cacheable)
{
  const IRECT aligned = r.GetPixelAligned(GetBackingPixelScale());
  const int w = static_cast<int>(std::ceil(GetBackingPixelScale() * aligned.W()));
  const int h = static_cast<int>(std::ceil(GetBackingPixelScale() * aligned.H()));
  const int scale = std::max(1, static_cast<int>(std::lround(GetScreenScale())));
  APIBitmap* pBitmap = CreateAPIBitmap(w, h, scale, GetDrawScale(), cacheable);
  mLayers.push(new ILayer(pBitmap, aligned, pOwner, pOwner ? pOwner->GetRECT() : IRECT()));
  UpdateLayer();
  PathTransformReset();
  SetClipRegion(aligned);
  PathClear();
}

ILayerPtr IGraphics::EndLayer()
{
  if (mLayers.empty())
    return nullptr;
  ILayerPtr layer(mLayers.top());
  mLayers.pop();
  UpdateLayer();
  PathTransformReset();
  SetClipRegion(mClipRECT);
  PathClear();
  return layer;
}

void IGraphics::DrawLayer(const ILayerPtr& layer, const IBlend* pBlend)
{
  if (!layer || !layer->GetAPIBitmap())
    return;
  PathTransformSave();
  PathTransformReset();
  DrawBitmap(layer->GetBitmap(), layer->Bounds(), 0, 0, pBlend);
  PathTransformRestore();
}

// --- bitmaps and fonts --------------------------------------------------------------------------

IBitmap IGraphics::ScaleBitmap(const IBitmap& inBitmap, const char* cacheName, int targetScale)
{
  if (!inBitmap.IsValid() || targetScale < 1 || inBitmap.GetDrawScale() <= 0.f)
    return IBitmap();

  // Draw the bitmap into a layer as if the screen had the target resolution.
  const float screenScale = mScreenScale;
  const float drawScale = mDrawScale;
  mScreenScale = static_cast<float>(targetScale);
  mDrawScale = inBitmap.GetDrawScale();
  const IRECT bounds(0.f, 0.f, static_cast<float>(inBitmap.W()) / inBitmap.GetDrawScale(),
                     static_cast<float>(inBitmap.H()) / inBitmap.GetDrawScale());
  StartLayer(nullptr, bounds, true);
  DrawBitmap(inBitmap, bounds, 0, 0, nullptr);
  ILayerPtr layer = EndLayer();
  mScreenScale = screenScale;
  mDrawScale = drawScale;

  if (!layer || !layer->GetAPIBitmap())
    return IBitmap();
  return IBitmap(layer->mBitmap.release(), inBitmap.N(), inBitmap.GetFramesAreHorizontal(), cacheName);
}

void IGraphics::RetainBitmap(const IBitmap& bitmap, const char* cacheName)
{
  if (!bitmap.IsValid())
    return;
  StaticStorage<APIBitmap>::Accessor storage(BitmapCache());
  storage.Add(bitmap.GetAPIBitmap(), cacheName, bitmap.GetScale());
}

void IGraphics::ReleaseBitmap(const IBitmap& bitmap)
{
  StaticStorage<APIBitmap>::Accessor storage(BitmapCache());
  storage.Remove(bitmap.GetAPIBitmap());
}

APIBitmap* IGraphics::SearchBitmapInCache(const char* name, int targetScale, int& sourceScale)
{
  StaticStorage<APIBitmap>::Accessor storage(BitmapCache());
  for (sourceScale = targetScale; sourceScale > 0; sourceScale = NextSearchScale(sourceScale, targetScale))
  {
    if (APIBitmap* pBitmap = storage.Find(name, sourceScale))
      return pBitmap;
  }
  sourceScale = 0;
  return nullptr;
}

EResourceLocation IGraphics::SearchImageResource(const char* name, const char* type, WDL_String& result,
                                                 int targetScale, int& sourceScale)
{
  if (!name || !*name)
  {
    sourceScale = 0;
    return kNotFound;
  }
  WDL_String candidate;
  for (sourceScale = targetScale; sourceScale > 0; sourceScale = NextSearchScale(sourceScale, targetScale))
  {
    ScaledResourceName(name, sourceScale, candidate);
    if (LocateResource(candidate.Get(), type, result, GetBundleID(), GetWinModuleHandle(), GetSharedResourcesSubPath()))
      return kAbsolutePath;
    if (FindEmbeddedResource(candidate.Get(), type, GetBundleID()))
    {
      result.Set(candidate.Get());
      return kWinBinary; // compiled into the module
    }
  }
  sourceScale = 0;
  return kNotFound;
}

EResourceLocation IGraphics::LoadResource(const char* fileNameOrResID, const char* type, WDL_String& result)
{
  if (LocateResource(fileNameOrResID, type, result, GetBundleID(), GetWinModuleHandle(), GetSharedResourcesSubPath()))
    return kAbsolutePath;
  if (FindEmbeddedResource(fileNameOrResID, type, GetBundleID()))
  {
    result.Set(fileNameOrResID);
    return kWinBinary;
  }
  return kNotFound;
}

IBitmap IGraphics::LoadBitmap(const char* name, int nStates, bool framesAreHorizontal, int targetScale)
{
  if (targetScale == 0)
    targetScale = static_cast<int>(std::ceil(GetScreenScale()));

  StaticStorage<APIBitmap>::Accessor storage(BitmapCache());
  int sourceScale = 0;
  APIBitmap* pAPIBitmap = SearchBitmapInCache(name, targetScale, sourceScale);
  if (!pAPIBitmap)
  {
    const char* ext = Extension(name);
    WDL_String fullPath;
    const EResourceLocation location = SearchImageResource(name, ext, fullPath, targetScale, sourceScale);
    if (location == kNotFound || !BitmapExtSupported(ext))
      return IBitmap();
    pAPIBitmap = LoadAPIBitmap(fullPath.Get(), sourceScale, location, ext);
    if (!pAPIBitmap)
      return IBitmap();
    storage.Add(pAPIBitmap, name, sourceScale);
  }

  IBitmap bitmap(pAPIBitmap, nStates, framesAreHorizontal, name);
  if (sourceScale != targetScale)
  {
    // Keep a copy at the wanted resolution so the next load finds it directly.
    IBitmap scaled = ScaleBitmap(bitmap, name, targetScale);
    if (scaled.IsValid())
    {
      RetainBitmap(scaled, name);
      return scaled;
    }
  }
  return bitmap;
}

IBitmap IGraphics::LoadBitmap(const char* name, const void* pData, int dataSize, int nStates, bool framesAreHorizontal,
                              int targetScale)
{
  if (!pData || dataSize <= 0)
    return IBitmap();
  if (targetScale == 0)
    targetScale = static_cast<int>(std::ceil(GetScreenScale()));
  APIBitmap* pAPIBitmap = LoadAPIBitmap(name, pData, dataSize, targetScale);
  return pAPIBitmap ? IBitmap(pAPIBitmap, nStates, framesAreHorizontal, name) : IBitmap();
}

IBitmap IGraphics::GetScaledBitmap(const IBitmap& src)
{
  // A bitmap made from memory has no resource to reload.
  if (!src.GetResourceName().GetLength())
    return src;
  return LoadBitmap(src.GetResourceName().Get(), src.N(), src.GetFramesAreHorizontal(),
                    static_cast<int>(std::ceil(GetScreenScale())));
}

ISVG IGraphics::LoadSVG(const char* fileNameOrResID, const char* units, float dpi)
{
  (void)fileNameOrResID, (void)units, (void)dpi;
  return ISVG();
}

ISVG IGraphics::LoadSVG(const char* name, const void* pData, int dataSize, const char* units, float dpi)
{
  (void)name, (void)pData, (void)dataSize, (void)units, (void)dpi;
  return ISVG();
}

bool IGraphics::LoadFont(const char* fontID, const char* fileNameOrResID)
{
  PlatformFontPtr font = LoadPlatformFont(fontID, fileNameOrResID);
  if (!font)
    return false;
  const bool loaded = LoadAPIFont(fontID, font);
  if (loaded)
    CachePlatformFont(fontID, font);
  return loaded;
}

bool IGraphics::LoadFont(const char* fontID, void* pData, int dataSize)
{
  PlatformFontPtr font = LoadPlatformFont(fontID, pData, dataSize);
  if (!font)
    return false;
  const bool loaded = LoadAPIFont(fontID, font);
  if (loaded)
    CachePlatformFont(fontID, font);
  return loaded;
}

bool IGraphics::LoadFont(const char* fontID, const char* fontName, ETextStyle style)
{
  PlatformFontPtr font = LoadPlatformFont(fontID, fontName, style);
  if (!font)
    return false;
  const bool loaded = LoadAPIFont(fontID, font);
  if (loaded)
    CachePlatformFont(fontID, font);
  return loaded;
}

// --- platform defaults --------------------------------------------------------------------------

void IGraphics::AttachPlatformView(const IRECT& r, void* pView) { (void)r, (void)pView; }

void IGraphics::RemovePlatformView(void* pView) { (void)pView; }

ECursor IGraphics::SetMouseCursor(ECursor cursorType)
{
  const ECursor previous = mCursorType;
  mCursorType = cursorType;
  return previous;
}

bool IGraphics::RevealPathInExplorerOrFinder(WDL_String& path, bool select)
{
  (void)path, (void)select;
  return false;
}

} // namespace iplug::igraphics
