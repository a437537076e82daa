// Input side of the graphics context: hit testing and capture, gestures around user interaction,
// resizing and rescaling, prompts, peer updates and the value bubble.

#include "IGraphics.h"

#include "IBubbleControl.h"
#include "ICornerResizerControl.h"
#include "IFPSDisplayControl.h"
#include "IGraphicsEditorDelegate.h"
#include "IPopupMenuControl.h"
#include "ITextEntryControl.h"

namespace iplug::igraphics
{

// --- hit testing --------------------------------------------------------------------------------

int IGraphics::GetMouseControlIdx(float x, float y, bool mouseOver)
{
  if (mouseOver && !mEnableMouseOver)
    return -1;

  // The background never becomes the mouse-over control.
  const int lowest = mouseOver ? 1 : 0;
  for (int c = NControls() - 1; c >= lowest; c--)
  {
    IControl* pControl = mControls.Get(c);
    if (pControl->IsHidden() || pControl->GetIgnoreMouse())
      continue;
    const bool allowed = !pControl->IsDisabled() ||
                         (mouseOver ? pControl->GetMouseOverWhenDisabled() : pControl->GetMouseEventsWhenDisabled());
    if (allowed && pControl->IsHit(x, y))
      return c;
  }
  return -1;
}

IControl* IGraphics::GetMouseControl(float x, float y, bool capture, bool mouseOver, ITouchID touchID)
{
  if (!mCapturedMap.empty())
  {
    auto it = mCapturedMap.find(touchID);
    if (it != mCapturedMap.end() && it->second)
      return it->second;
  }

  IControl* pControl = nullptr;
  int controlIdx = -1;
  if (mPopupControl && mPopupControl->GetExpanded())
    pControl = mPopupControl.get();
  else if (mTextEntryControl && mTextEntryControl->EditInProgress())
    pControl = mTextEntryControl.get();
  else if (mCornerResizer && mCornerResizer->GetRECT().Contains(x, y))
    pControl = mCornerResizer.get();
  else if (mPerfDisplay && mPerfDisplay->GetRECT().Contains(x, y))
    pControl = mPerfDisplay.get();
  else
  {
    controlIdx = GetMouseControlIdx(x, y, mouseOver);
    pControl = controlIdx >= 0 ? mControls.Get(controlIdx) : nullptr;
  }

  if (capture && pControl)
  {
    if (mEnableMultiTouch && ControlIsCaptured(pControl) && !pControl->GetWantsMultiTouch())
      return nullptr;
    mCapturedMap.emplace(touchID, pControl); // keeps an existing entry for this touch
  }

  if (mouseOver)
    mMouseOverIdx = controlIdx;

  return pControl;
}

bool IGraphics::ControlIsCaptured(const IControl* pControl) const
{
  for (const auto& entry : mCapturedMap)
    if (entry.second == pControl)
      return true;
  return false;
}

std::vector<ITouchID> IGraphics::GetTouchesOfCapturedControl(const IControl* pControl) const
{
  std::vector<ITouchID> touches;
  for (const auto& entry : mCapturedMap)
    if (entry.second == pControl)
      touches.push_back(entry.first);
  return touches;
}

void IGraphics::ReleaseMouseCapture()
{
  mCapturedMap.clear();
  if (mCursorHidden)
    HideMouseCursor(false, true);
}

// --- pointer and key events ---------------------------------------------------------------------

void IGraphics::OnMouseDown(const std::vector<IMouseInfo>& points)
{
  if (points.size() == 1)
  {
    mMouseDownX = points[0].x;
    mMouseDownY = points[0].y;
  }

  for (const IMouseInfo& point : points)
  {
    IControl* pControl = GetMouseControl(point.x, point.y, true, false, point.ms.touchID);
    if (!pControl)
      continue;

    const int valIdx = pControl->GetValIdxForPos(point.x, point.y);
    const int paramIdx = pControl->GetParamIdx(valIdx >= 0 ? valIdx : 0);

    // A right click on a parameter belongs to the host's context menu; the control never sees it.
    if (point.ms.R && paramIdx >= 0)
    {
      ReleaseMouseCapture();
      PopupHostContextMenuForParam(pControl, paramIdx, point.x, point.y);
      return;
    }

    for (int v = 0; v < pControl->NVals(); v++)
    {
      if (pControl->GetParamIdx(v) >= 0)
        mDelegate->BeginInformHostOfParamChangeFromUI(pControl->GetParamIdx(v));
    }
    mLastClickedParam = paramIdx;
    pControl->OnMouseDown(point.x, point.y, point.ms);
  }
}

void IGraphics::OnMouseUp(const std::vector<IMouseInfo>& points)
{
  if (!mCapturedMap.empty())
  {
    for (const IMouseInfo& point : points)
    {
      auto it = mCapturedMap.find(point.ms.touchID);
      if (it == mCapturedMap.end())
        continue;
      IControl* pControl = it->second;
      pControl->OnMouseUp(point.x, point.y, point.ms);
      for (int v = 0; v < pControl->NVals(); v++)
      {
        if (pControl->GetParamIdx(v) >= 0)
          mDelegate->EndInformHostOfParamChangeFromUI(pControl->GetParamIdx(v));
      }
      mCapturedMap.erase(point.ms.touchID); // by key: OnMouseUp may have changed the map
    }
  }

  if (mResizingInProcess)
    EndDragResize();

  if (points.size() == 1 && !points[0].ms.IsTouch())
    OnMouseOver(points[0].x, points[0].y, points[0].ms);
}

void IGraphics::OnMouseDrag(const std::vector<IMouseInfo>& points)
{
  if (mResizingInProcess && points.size() == 1)
  {
    const float x = points[0].x;
    const float y = points[0].y;
    if (mGUISizeMode == EUIResizerMode::Size)
      Resize(static_cast<int>(x), static_cast<int>(y), GetDrawScale(), true);
    else if (mMouseDownX > 0.f && mMouseDownY > 0.f) // the ratio needs a mouse-down position away from the origin
    {
      const float scaleX = x * GetDrawScale() / mMouseDownX;
      const float scaleY = y * GetDrawScale() / mMouseDownY;
      Resize(Width(), Height(), std::min(scaleX, scaleY), true);
    }
    return;
  }

  // While the platform's own text field is open, drags belong to it.
  const bool platformTextEntryOpen = mInTextEntry && !mTextEntryControl;
  if (mCapturedMap.empty() || platformTextEntryOpen)
    return;

  for (const IMouseInfo& point : points)
  {
    auto it = mCapturedMap.find(point.ms.touchID);
    if (it == mCapturedMap.end())
      continue;
    IControl* pControl = it->second;
    if (mInTextEntry && pControl != mTextEntryControl.get())
      continue;
    if (point.dX != 0.f || point.dY != 0.f)
      pControl->OnMouseDrag(point.x, point.y, point.dX, point.dY, point.ms);
  }
}

void IGraphics::OnTouchCancelled(const std::vector<IMouseInfo>& points)
{
  for (const IMouseInfo& point : points)
  {
    auto it = mCapturedMap.find(point.ms.touchID);
    if (it == mCapturedMap.end())
      continue;
    it->second->OnTouchCancelled(point.x, point.y, point.ms);
    mCapturedMap.erase(point.ms.touchID);
  }
}

bool IGraphics::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  IControl* pControl = GetMouseControl(x, y, true, false, mod.touchID);
  if (!pControl)
    return false;

  if (pControl->GetMouseDblAsSingleClick())
  {
    IMouseInfo info;
    info.x = x;
    info.y = y;
    info.ms = mod;
    OnMouseDown({info});
  }
  else
  {
    pControl->OnMouseDblClick(x, y, mod);
    ReleaseMouseCapture();
  }
  return true;
}

void IGraphics::OnMouseWheel(float x, float y, const IMouseMod& mod, float delta)
{
  if (IControl* pControl = GetMouseControl(x, y, false))
    pControl->OnMouseWheel(x, y, mod, delta);
}

bool IGraphics::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  IControl* pControl = GetMouseControl(x, y, false, true, mod.touchID);
  if (pControl != mMouseOver)
  {
    if (mMouseOver)
      mMouseOver->OnMouseOut();
    mMouseOver = pControl;
  }
  if (mMouseOver)
    mMouseOver->OnMouseOver(x, y, mod);
  return pControl != nullptr;
}

void IGraphics::OnMouseOut()
{
  // The shape in force is kept so it can be restored when the pointer comes back.
  mCursorType = SetMouseCursor(ECursor::kArrow);
  ForAllControlsFunc([](IControl* pControl) { pControl->OnMouseOut(); });
  mMouseOver = nullptr;
  mMouseOverIdx = -1;
}

bool IGraphics::OnKeyDown(float x, float y, const IKeyPress& key)
{
  bool handled = false;
  IControl* pControl = GetMouseControl(x, y, false);
  if (pControl && pControl != GetControl(0))
    handled = pControl->OnKeyDown(x, y, key);
  if (!handled && mKeyHandlerFunc)
    handled = mKeyHandlerFunc(key, false);
  return handled;
}

bool IGraphics::OnKeyUp(float x, float y, const IKeyPress& key)
{
  bool handled = false;
  IControl* pControl = GetMouseControl(x, y, false);
  if (pControl && pControl != GetControl(0))
    handled = pControl->OnKeyUp(x, y, key);
  if (!handled && mKeyHandlerFunc)
    handled = mKeyHandlerFunc(key, true);
  return handled;
}

void IGraphics::OnDrop(const char* str, float x, float y)
{
  if (IControl* pControl = GetMouseControl(x, y, false))
    pControl->OnDrop(str);
}

void IGraphics::OnAppearanceChanged(EUIAppearance appearance)
{
  if (mAppearanceChangedFunc)
    mAppearanceChangedFunc(appearance);
}

void IGraphics::OnGestureRecognized(const IGestureInfo& info)
{
  const int idx = GetMouseControlIdx(info.x, info.y);
  if (IControl* pControl = GetControl(idx))
    pControl->OnGesture(info);
}

// --- resizing and scale -------------------------------------------------------------------------

void IGraphics::EndDragResize()
{
  mResizingInProcess = false;
  if (mGUISizeMode == EUIResizerMode::Scale)
  {
    ForAllControlsFunc([](IControl* pControl) { pControl->OnRescale(); });
    SetAllControlsDirty();
  }
}

void IGraphics::Resize(int w, int h, float scale, bool needsPlatformResize)
{
  w = std::min(std::max(w, mDelegate->GetMinWidth()), mDelegate->GetMaxWidth());
  h = std::min(std::max(h, mDelegate->GetMinHeight()), mDelegate->GetMaxHeight());
  // NaN would pass the clamp and reach the window size (an infinite scale clamps like any other).
  if (std::isnan(scale))
    scale = mDrawScale;
  scale = FitDrawScale(w, h, std::clamp(scale, mMinScale, mMaxScale));

  if (w == Width() && h == Height() && scale == GetDrawScale())
    return;

  ReleaseMouseCapture();

  mDrawScale = scale;
  mWidth = w;
  mHeight = h;

  if (mCornerResizer)
    mCornerResizer->OnRescale();

  const int windowW = static_cast<int>(static_cast<float>(WindowWidth()) * GetPlatformWindowScale());
  const int windowH = static_cast<int>(static_cast<float>(WindowHeight()) * GetPlatformWindowScale());
  PlatformResize(mDelegate->EditorResizeFromUI(windowW, windowH, needsPlatformResize));
  ForAllControlsFunc([](IControl* pControl) { pControl->OnResize(); });
  SetAllControlsDirty();
  DrawResize();

  if (mLayoutOnResize)
    mDelegate->LayoutUI(this);
}

float IGraphics::FitDrawScale(int w, int h, float scale) const
{
  // A host or a stored state can ask for any size; the window system and the GPU cannot draw all of them.
  const double device = std::max(GetScreenScale(), GetPlatformWindowScale());
  const double side = static_cast<double>(std::max(w, h)) * device;
  const double limit = static_cast<double>(GetMaxWindowPixels());
  if (side <= 0.0 || side * scale <= limit)
    return scale;
  // Rounded down to a step the pixel sizes can hold exactly.
  return static_cast<float>(std::floor(limit / side * 1024.0) / 1024.0);
}

void IGraphics::SetScreenScale(float scale)
{
  if (!(scale > 0.f) || !std::isfinite(scale))
    return;
  mScreenScale = std::clamp(scale, kMinScreenScale, kMaxScreenScale);
  const float fitted = FitDrawScale(Width(), Height(), mDrawScale);
  if (fitted < mDrawScale)
  {
    ReleaseMouseCapture();
    mDrawScale = fitted;
    if (mCornerResizer)
      mCornerResizer->OnRescale();
    ForAllControlsFunc([](IControl* pControl) { pControl->OnResize(); });
  }
  const int windowW = static_cast<int>(static_cast<float>(WindowWidth()) * GetPlatformWindowScale());
  const int windowH = static_cast<int>(static_cast<float>(WindowHeight()) * GetPlatformWindowScale());
  PlatformResize(mDelegate->EditorResizeFromUI(windowW, windowH, true));
  ForAllControlsFunc([](IControl* pControl) { pControl->OnRescale(); });
  SetAllControlsDirty();
  DrawResize();
}

// --- requests from controls ---------------------------------------------------------------------

void IGraphics::UpdatePeers(IControl* pCaller, int callerValIdx)
{
  if (!pCaller)
    return;
  const double value = pCaller->GetValue(callerValIdx);
  const int paramIdx = pCaller->GetParamIdx(callerValIdx);
  if (paramIdx < 0)
    return;
  ForStandardControlsFunc(
      [&](IControl* pControl)
      {
        if (pControl == pCaller)
          return;
        const int valIdx = pControl->LinkedToParam(paramIdx);
        if (valIdx > kNoValIdx)
          pControl->SetValueFromDelegate(value, valIdx);
      });
}

void IGraphics::PromptUserInput(IControl& control, const IRECT& bounds, int valIdx)
{
  const IParam* pParam = control.GetParam(valIdx);
  if (!pParam)
    return;

  const IParam::EParamKind type = pParam->Type();
  if (type == IParam::kTypeEnum || (type == IParam::kTypeBool && pParam->NDisplayTexts()))
  {
    WDL_String current;
    pParam->GetDisplay(current);
    // The menu is shared by every prompt: start from an empty one each time.
    mPromptPopupMenu.Clear();
    mPromptPopupMenu.SetRootTitle(pParam->GetName());
    for (int i = 0; i < pParam->NDisplayTexts(); i++)
    {
      const char* text = pParam->GetDisplayTextAtIdx(i);
      const bool checked = std::strcmp(text, current.Get()) == 0;
      mPromptPopupMenu.AddItem(text, IPopupMenu::kAppend, checked ? IPopupMenu::Item::kChecked : 0);
    }
    DoCreatePopupMenu(control, mPromptPopupMenu, bounds, valIdx, false);
    return;
  }

  WDL_String current;
  pParam->GetDisplay(current, false);
  if (control.GetPromptShowsParamLabel())
  {
    current.Append(" ");
    current.Append(pParam->GetLabel());
  }
  CreateTextEntry(control, control.GetText(), bounds, current.Get(), valIdx);
}

void IGraphics::CreateTextEntry(IControl& control, const IText& text, const IRECT& bounds, const char* str, int valIdx)
{
  mInTextEntry = &control;
  mTextEntryValIdx = valIdx;
  const int paramIdx = valIdx >= 0 ? control.GetParamIdx(valIdx) : kNoParameter;
  if (mTextEntryControl)
    mTextEntryControl->CreateTextEntry(paramIdx, text, bounds, control.GetTextEntryLength(), str);
  else
    CreatePlatformTextEntry(paramIdx, text, bounds, control.GetTextEntryLength(), str);
  control.SetDirty(false);
}

void IGraphics::CreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx)
{
  DoCreatePopupMenu(control, menu, bounds, valIdx, false);
}

void IGraphics::DoCreatePopupMenu(IControl& control, IPopupMenu& menu, const IRECT& bounds, int valIdx, bool isContext)
{
  ReleaseMouseCapture();
  mInPopupMenu = &control;
  mPopupMenuValIdx = valIdx;
  mIsContextMenu = isContext;

  if (mPopupControl)
  {
    mPopupControl->CreatePopupMenu(menu, bounds);
    return;
  }

  bool isAsync = false;
  IPopupMenu* pReturnMenu = CreatePlatformPopupMenu(menu, bounds, isAsync);
  if (!isAsync)
    SetControlValueAfterPopupMenu(pReturnMenu);
}

void IGraphics::SetControlValueAfterPopupMenu(IPopupMenu* pMenu)
{
  if (!mInPopupMenu)
    return;

  // Forget the request first: the control's handler may open the next one.
  IControl* pControl = mInPopupMenu;
  const int valIdx = mPopupMenuValIdx;
  const bool isContext = mIsContextMenu;
  mInPopupMenu = nullptr;

  if (isContext)
  {
    // A right click opens no gesture (the control never saw the press), so there is none to close.
    pControl->OnContextSelection(pMenu ? pMenu->GetChosenItemIdx() : -1);
    return;
  }
  pControl->OnPopupMenuSelection(pMenu && pMenu->GetChosenItemIdx() != -1 ? pMenu : nullptr, valIdx);

  // Closes the gesture opened by the mouse-down that led to the menu.
  for (int v = 0; v < pControl->NVals(); v++)
  {
    if (pControl->GetParamIdx(v) >= 0)
      mDelegate->EndInformHostOfParamChangeFromUI(pControl->GetParamIdx(v));
  }
}

void IGraphics::SetControlValueAfterTextEdit(const char* str)
{
  if (!mInTextEntry)
    return;

  IControl* pControl = mInTextEntry;
  const int valIdx = mTextEntryValIdx;
  mInTextEntry = nullptr;

  if (valIdx < 0)
  {
    pControl->OnTextEntryCompletion(str, valIdx);
    return;
  }

  if (const IParam* pParam = pControl->GetParam(valIdx))
  {
    // The click that opened the entry ended its gesture on mouse-up: the typed value is a gesture of its own,
    // so that hosts record it like any other edit.
    const double value = pParam->Constrain(pParam->StringToValue(str ? str : ""));
    const int paramIdx = pControl->GetParamIdx(valIdx);
    mDelegate->BeginInformHostOfParamChangeFromUI(paramIdx);
    pControl->SetValueFromUserInput(std::clamp(pParam->ToNormalized(value), 0.0, 1.0), valIdx);
    mDelegate->EndInformHostOfParamChangeFromUI(paramIdx);
  }
  else
    pControl->OnTextEntryCompletion(str, valIdx);
}

void IGraphics::ShowBubbleControl(IControl* pCaller, float x, float y, const char* str, EDirection dir,
                                  IRECT minimumContentBounds)
{
  const int nBubbles = NBubbles();
  if (!nBubbles)
    return;

  if (!mEnableMultiTouch)
  {
    mBubbleControls.Get(0)->ShowBubble(pCaller, x, y, str, dir, minimumContentBounds);
    return;
  }

  const std::vector<ITouchID> touches = GetTouchesOfCapturedControl(pCaller);
  if (touches.size() != 1)
    return;
  const ITouchID touchID = touches[0];

  for (int b = 0; b < nBubbles; b++)
  {
    IBubbleControl* pBubble = mBubbleControls.Get(b);
    if (pBubble->GetTouchID() == touchID)
    {
      pBubble->ShowBubble(pCaller, x, y, str, dir, minimumContentBounds, touchID);
      return;
    }
  }

  // Shared by every context of the module.
  static unsigned sNextBubble = 0;
  IBubbleControl* pBubble = mBubbleControls.Get(static_cast<int>(sNextBubble % static_cast<unsigned>(nBubbles)));
  sNextBubble++;
  pBubble->ShowBubble(pCaller, x, y, str, dir, minimumContentBounds, touchID);
}

void IGraphics::PopupHostContextMenuForParam(IControl* pControl, int paramIdx, float x, float y)
{
  mPromptPopupMenu.Clear();
  if (!pControl)
    return;
  pControl->CreateContextMenu(mPromptPopupMenu);
  const bool shown = mDelegate->PopupHostContextMenuForParam(
      paramIdx, mPromptPopupMenu, pControl, static_cast<int>(x * GetDrawScale()), static_cast<int>(y * GetDrawScale()));
  // A host without context menus still lets the control offer its own items, in the framework's menu.
  if (!shown && mPromptPopupMenu.NItems())
    DoCreatePopupMenu(*pControl, mPromptPopupMenu, IRECT(x, y, x, y), kNoValIdx, true);
}

} // namespace iplug::igraphics
