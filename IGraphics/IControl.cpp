#include "IControl.h"

#include "IGraphics.h"
#include "IGraphicsEditorDelegate.h"
#include "IPlugParameter.h"

#include <atomic>
#include <chrono>
#include <limits>

namespace iplug::igraphics
{

namespace
{
std::atomic<MonotonicClockFunc> sClock{nullptr};
} // namespace

double MonotonicMilliseconds()
{
  if (MonotonicClockFunc clock = sClock.load(std::memory_order_relaxed))
    return clock();
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void SetMonotonicClock(MonotonicClockFunc clock) { sClock.store(clock, std::memory_order_relaxed); }

IControl::IControl(const IRECT& bounds, int paramIdx, IActionFunction actionFunc)
    : mRECT(bounds), mTargetRECT(bounds), mActionFunc(std::move(actionFunc))
{
  mVals.emplace_back(paramIdx, 0.0);
}

IControl::IControl(const IRECT& bounds, const std::initializer_list<int>& params, IActionFunction actionFunc)
    : mRECT(bounds), mTargetRECT(bounds), mActionFunc(std::move(actionFunc))
{
  for (int paramIdx : params)
    mVals.emplace_back(paramIdx, 0.0);
}

IControl::IControl(const IRECT& bounds, IActionFunction actionFunc)
    : mRECT(bounds), mTargetRECT(bounds), mActionFunc(std::move(actionFunc))
{
  mVals.emplace_back(kNoParameter, 0.0);
}

Steinberg::tresult PLUGIN_API IControl::queryInterface(const Steinberg::TUID iid, void** obj)
{
  QUERY_INTERFACE(iid, obj, Steinberg::Vst::IContextMenuTarget::iid, Steinberg::Vst::IContextMenuTarget)
  return FObject::queryInterface(iid, obj);
}

Steinberg::tresult PLUGIN_API IControl::executeMenuItem(Steinberg::int32 tag)
{
  OnContextSelection(tag);
  return Steinberg::kResultOk;
}

// --- default event behaviour --------------------------------------------------------------------

void IControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (mod.R)
    PromptUserInput(GetValIdxForPos(x, y));
}

void IControl::OnMouseUp(float x, float y, const IMouseMod& mod) { (void)x, (void)y, (void)mod; }

void IControl::OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
{
  (void)x, (void)y, (void)dX, (void)dY, (void)mod;
}

void IControl::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  (void)mod;
  SetValueToDefault(GetValIdxForPos(x, y));
}

void IControl::OnMouseWheel(float x, float y, const IMouseMod& mod, float d) { (void)x, (void)y, (void)mod, (void)d; }

bool IControl::OnKeyDown(float x, float y, const IKeyPress& key)
{
  (void)x, (void)y, (void)key;
  return false;
}

bool IControl::OnKeyUp(float x, float y, const IKeyPress& key)
{
  (void)x, (void)y, (void)key;
  return false;
}

void IControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  const bool wasOver = mMouseIsOver;
  mMouseIsOver = true;
  if (!wasOver)
    SetDirty(false);
}

void IControl::OnMouseOut()
{
  const bool wasOver = mMouseIsOver;
  mMouseIsOver = false;
  if (wasOver)
    SetDirty(false);
}

void IControl::OnTouchCancelled(float x, float y, const IMouseMod& mod) { (void)x, (void)y, (void)mod; }

void IControl::OnDrop(const char* str) { (void)str; }

bool IControl::OnMsgFromDelegate(int msgTag, int dataSize, const void* pData)
{
  (void)msgTag, (void)dataSize, (void)pData;
  return false;
}

void IControl::OnMidi(const IMidiMsg& msg) { (void)msg; }

bool IControl::OnGesture(const IGestureInfo& info)
{
  auto it = mGestureFuncs.find(info.type);
  if (it == mGestureFuncs.end() || !it->second)
    return false;
  it->second(this, info);
  return true;
}

IControl* IControl::AttachGestureRecognizer(EGestureType type, IGestureFunc func)
{
  mGestureFuncs[type] = std::move(func);
  if (mGraphics)
    mGraphics->AttachGestureRecognizer(type);
  return this;
}

void IControl::CreateContextMenu(IPopupMenu& contextMenu) { (void)contextMenu; }

void IControl::OnTextEntryCompletion(const char* str, int valIdx) { (void)str, (void)valIdx; }

void IControl::OnContextSelection(int itemSelected) { (void)itemSelected; }

void IControl::DrawPTHighlight(IGraphics& g)
{
  if (mPTisHighlighted)
    g.FillCircle(mPTHighlightColor, mRECT.R - 5.f, mRECT.T + 5.f, 2.f);
}

// --- values -------------------------------------------------------------------------------------

double IControl::GetValue(int valIdx) const
{
  return (valIdx >= 0 && valIdx < NVals()) ? mVals[static_cast<size_t>(valIdx)].value : 0.0;
}

int IControl::GetParamIdx(int valIdx) const
{
  return (valIdx >= 0 && valIdx < NVals()) ? mVals[static_cast<size_t>(valIdx)].idx : kNoParameter;
}

const IParam* IControl::GetParam(int valIdx) const
{
  const int paramIdx = GetParamIdx(valIdx);
  if (paramIdx < 0 || !mDelegate)
    return nullptr;
  return mDelegate->GetParam(paramIdx);
}

int IControl::LinkedToParam(int paramIdx) const
{
  for (int v = 0; v < NVals(); v++)
    if (mVals[static_cast<size_t>(v)].idx == paramIdx)
      return v;
  return kNoValIdx;
}

void IControl::SetParamIdx(int paramIdx, int valIdx)
{
  mVals.at(static_cast<size_t>(valIdx)).idx = paramIdx;
  SetDirty(false);
}

int IControl::GetValIdxForPos(float x, float y) const
{
  (void)x, (void)y;
  return NVals() == 1 ? 0 : kNoValIdx;
}

void IControl::SetValue(double value, int valIdx)
{
  if (valIdx >= 0 && valIdx < NVals())
    mVals[static_cast<size_t>(valIdx)].value = value;
}

void IControl::SetValueFromDelegate(double value, int valIdx)
{
  // The user's drag wins over host automation until mouse-up.
  if (mGraphics && mGraphics->ControlIsCaptured(this))
    return;
  if (GetValue(valIdx) != value)
  {
    SetValue(value, valIdx);
    SetDirty(false);
  }
}

void IControl::SetValueFromUserInput(double value, int valIdx)
{
  if (GetValue(valIdx) != value)
  {
    SetValue(value, valIdx);
    SetDirty(true, valIdx);
  }
}

void IControl::SetValueToDefault(int valIdx)
{
  if (NVals() == 1)
    valIdx = 0;

  auto setDefault = [this](int v)
  {
    if (const IParam* pParam = GetParam(v))
      SetValue(pParam->GetDefault(true), v);
  };

  if (valIdx >= 0)
    setDefault(valIdx);
  else
    for (int v = 0; v < NVals(); v++)
      setDefault(v);

  SetDirty(true, valIdx);
}

void IControl::SetDirty(bool triggerAction, int valIdx)
{
  if (NVals() == 1)
    valIdx = 0;

  auto handle = [&](int v)
  {
    ParamTuple& val = mVals[static_cast<size_t>(v)];
    val.value = std::clamp(val.value, 0.0, 1.0);
    mDirty = true;
    // A value whose parameter the delegate does not have is drawn but never sent.
    if (triggerAction && val.idx >= 0 && GetParam(v))
    {
      if (mDelegate)
        mDelegate->SendParameterValueFromUI(val.idx, val.value);
      if (mGraphics)
        mGraphics->UpdatePeers(this, v);
    }
  };

  if (valIdx >= 0 && valIdx < NVals())
    handle(valIdx);
  else if (valIdx < 0)
    for (int v = 0; v < NVals(); v++)
      handle(v);

  mDirty = true; // a control without values is still redrawn
  if (triggerAction && mActionFunc)
    mActionFunc(this);
}

bool IControl::IsDirty()
{
  if (mAnimationFunc)
    return true;
  return mDirty;
}

void IControl::OnPopupMenuSelection(IPopupMenu* pSelectedMenu, int valIdx)
{
  if (!pSelectedMenu || valIdx < 0 || !CanPrompt(valIdx))
    return;
  // The menu lists the prompted value's parameter, so its item index is a plain value of that parameter.
  const IParam* pParam = GetParam(valIdx);
  const double value = pParam->Constrain(static_cast<double>(pSelectedMenu->GetChosenItemIdx()));
  SetValueFromUserInput(std::clamp(pParam->ToNormalized(value), 0.0, 1.0), valIdx);
}

// --- geometry and flags -------------------------------------------------------------------------

void IControl::SetPosition(float x, float y)
{
  x = std::max(x, 0.f);
  y = std::max(y, 0.f);
  const float dx = x - mRECT.L;
  const float dy = y - mRECT.T;
  mRECT = IRECT(x, y, x + mRECT.W(), y + mRECT.H());
  mTargetRECT.Translate(dx, dy);
  mMouseIsOver = false;
  OnResize();
}

void IControl::SetSize(float w, float h)
{
  w = std::max(w, 0.f);
  h = std::max(h, 0.f);
  mTargetRECT = IRECT(mRECT.L, mRECT.T, mRECT.L + w, mRECT.T + h);
  mRECT.R = mTargetRECT.R;
  mRECT.B = mTargetRECT.B;
  mMouseIsOver = false;
  OnResize();
}

void IControl::Hide(bool hide)
{
  mHide = hide;
  SetDirty(false);
}

void IControl::SetDisabled(bool disable)
{
  mDisabled = disable;
  mBlend.mWeight = disable ? kDisabledBlendWeight : 1.f;
  SetDirty(false);
}

void IControl::SnapToMouse(float x, float y, EDirection direction, const IRECT& bounds, int valIdx, double minClip,
                           double maxClip)
{
  bounds.Constrain(x, y);
  double value = 0.;
  if (direction == EDirection::kVertical)
    value = bounds.H() > 0.f ? 1.0 - (y - bounds.T) / bounds.H() : 0.0;
  else
    value = bounds.W() > 0.f ? (x - bounds.L) / bounds.W() : 0.0;

  auto snap = [&](int v)
  {
    double snapped = value;
    if (const IParam* pParam = GetParam(v); pParam && pParam->GetStepped() && pParam->GetStep() > 0.)
      snapped = pParam->ToNormalized(pParam->FromNormalized(snapped));
    SetValue(std::clamp(snapped, minClip, maxClip), v);
  };

  if (valIdx >= 0 || NVals() == 1)
    snap(std::max(valIdx, 0));
  else
    for (int v = 0; v < NVals(); v++)
      snap(v);
  SetDirty(true, valIdx);
}

// --- animation ----------------------------------------------------------------------------------

void IControl::StartAnimation(int durationMs)
{
  mAnimationStartTime = MonotonicMilliseconds();
  mAnimationDuration = static_cast<double>(durationMs);
}

double IControl::GetAnimationProgress() const
{
  if (!mAnimationFunc)
    return 0.;
  const double elapsed = MonotonicMilliseconds() - mAnimationStartTime;
  // A zero-length animation is over at once (and must not give 0 / 0).
  if (mAnimationDuration <= 0.)
    return std::numeric_limits<double>::infinity();
  return elapsed / mAnimationDuration;
}

void IControl::Animate()
{
  if (mAnimationFunc)
    mAnimationFunc(this);
}

void IControl::OnEndAnimation()
{
  mAnimationFunc = nullptr;
  SetDirty(false);
  if (mAnimationEndActionFunc)
    mAnimationEndActionFunc(this);
}

// --- prompts ------------------------------------------------------------------------------------

bool IControl::CanPrompt(int valIdx) const { return valIdx >= 0 && !mDisablePrompt && GetParam(valIdx) != nullptr; }

void IControl::PromptUserInput(int valIdx)
{
  if (!CanPrompt(valIdx) || !mGraphics)
    return;
  const IParam* pParam = GetParam(valIdx);
  // Menus cover the control; a number is typed into a small box in its middle.
  const IRECT bounds = pParam->NDisplayTexts() ? mRECT : mRECT.GetCentredInside(40.f, 16.f);
  mGraphics->PromptUserInput(*this, bounds, valIdx);
  SetDirty(false);
}

void IControl::PromptUserInput(const IRECT& bounds, int valIdx)
{
  if (!CanPrompt(valIdx) || !mGraphics)
    return;
  mGraphics->PromptUserInput(*this, bounds, valIdx);
}

bool IControl::IsFineControl(const IMouseMod& mod, bool wheel)
{
  (void)wheel;
  return mod.S || mod.C;
}

// --- knob base ----------------------------------------------------------------------------------

namespace
{
/** The value a stepped parameter would take for normalized value v: snapped to a step and normalized. */
double ConstrainedNormalized(const IParam& param, double v)
{
  return std::clamp(param.ToNormalized(param.FromNormalized(v)), 0.0, 1.0);
}

bool IsSteppedParam(const IParam* pParam) { return pParam && pParam->GetStepped() && pParam->GetStep() > 0.0; }
} // namespace

IKnobControlBase::IKnobControlBase(const IRECT& bounds, int paramIdx, EDirection direction, double gearing)
    : IControl(bounds, paramIdx), mDirection(direction), mGearing(gearing)
{
}

void IKnobControlBase::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  mMouseDown = true;
  mDragValue = GetValue();
  if (mHideCursorOnDrag && GetUI())
    GetUI()->HideMouseCursor(true, true);
  IControl::OnMouseDown(x, y, mod);
}

void IKnobControlBase::OnMouseUp(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  if (mHideCursorOnDrag && GetUI())
    GetUI()->HideMouseCursor(false, true);
  mMouseDown = false;
  SetDirty(false);
}

void IKnobControlBase::OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod)
{
  (void)x, (void)y;
  double gearing = mGearing;
  if (IsFineControl(mod))
    gearing *= 10.0;

  const IRECT bounds = GetKnobDragBounds();
  if (mDirection == EDirection::kVertical)
    mDragValue += static_cast<double>(dY) / static_cast<double>(bounds.T - bounds.B) / gearing;
  else
    mDragValue += static_cast<double>(dX) / static_cast<double>(bounds.R - bounds.L) / gearing;
  mDragValue = std::clamp(mDragValue, 0.0, 1.0);

  double v = mDragValue;
  const IParam* pParam = GetParam();
  if (IsSteppedParam(pParam))
    v = ConstrainedNormalized(*pParam, v);

  SetValue(v);
  SetDirty(true);
}

void IKnobControlBase::OnMouseWheel(float x, float y, const IMouseMod& mod, float d)
{
  (void)x, (void)y;
  const IParam* pParam = GetParam();
  double v = GetValue();
  if (IsSteppedParam(pParam))
  {
    if (d != 0.f)
    {
      double plain = pParam->FromNormalized(v);
      plain += d > 0.f ? pParam->GetStep() : -pParam->GetStep();
      v = std::clamp(pParam->ToNormalized(pParam->Constrain(plain)), 0.0, 1.0);
    }
  }
  else
    v += static_cast<double>(d) * (IsFineControl(mod, true) ? 0.001 : 0.01);

  SetValue(v);
  SetDirty(true);
}

// --- switch base --------------------------------------------------------------------------------

ISwitchControlBase::ISwitchControlBase(const IRECT& bounds, int paramIdx, IActionFunction actionFunc, int numStates)
    : IControl(bounds, paramIdx, std::move(actionFunc)), mNumStates(std::max(numStates, 1)),
      mDisabledState(static_cast<size_t>(mNumStates), false)
{
  // A fast second click steps the switch again instead of resetting it.
  mDblAsSingleClick = true;
}

void ISwitchControlBase::OnInit()
{
  if (const IParam* pParam = GetParam())
  {
    mNumStates = std::max(static_cast<int>(pParam->GetRange()) + 1, 1);
    mDisabledState.resize(static_cast<size_t>(mNumStates), false);
  }
}

void ISwitchControlBase::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  if (mNumStates == 2)
    SetValue(GetValue() == 0.0 ? 1.0 : 0.0);
  else
  {
    const double step = 1.0 / static_cast<double>(mNumStates - 1);
    double v = GetValue() + step;
    if (v > 1.0000000000000002) // the double just above 1: a sum landing on 1 itself stays
      v = 0.0;
    SetValue(v);
  }
  mMouseDown = true;
  SetDirty(true);
}

void ISwitchControlBase::OnMouseUp(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  mMouseDown = false;
  SetDirty(false);
}

void ISwitchControlBase::SetStateDisabled(int stateIdx, bool disabled)
{
  if (stateIdx >= 0 && stateIdx < static_cast<int>(mDisabledState.size()))
    mDisabledState[static_cast<size_t>(stateIdx)] = disabled;
  SetDirty(false);
}

bool ISwitchControlBase::GetStateDisabled(int stateIdx) const
{
  return stateIdx >= 0 && stateIdx < static_cast<int>(mDisabledState.size()) &&
         mDisabledState[static_cast<size_t>(stateIdx)];
}

// --- action functions ---------------------------------------------------------------------------

void EmptyClickActionFunc(IControl* pCaller) { (void)pCaller; }

void DefaultAnimationFunc(IControl* pCaller)
{
  if (pCaller->GetAnimationProgress() > 1.0)
    pCaller->OnEndAnimation();
}

void DefaultClickActionFunc(IControl* pCaller) { pCaller->SetAnimation(DefaultAnimationFunc, 100); }

void SplashAnimationFunc(IControl* pCaller) { DefaultAnimationFunc(pCaller); }

void SplashClickActionFunc(IControl* pCaller)
{
  // The splash belongs to vector-styled controls, which this framework build does not have.
  (void)pCaller;
}

namespace
{
void ShowBubble(IControl* pCaller, EDirection dir, const IRECT& minimumContentBounds)
{
  IGraphics* pGraphics = pCaller->GetUI();
  const IParam* pParam = pCaller->GetParam();
  if (!pGraphics || !pParam)
    return;
  WDL_String display;
  pParam->GetDisplayWithLabel(display);
  const IRECT& r = pCaller->GetRECT();
  if (dir == EDirection::kVertical)
    pGraphics->ShowBubbleControl(pCaller, r.MW(), r.T, display.Get(), dir, minimumContentBounds);
  else
    pGraphics->ShowBubbleControl(pCaller, r.R, r.MH(), display.Get(), dir, minimumContentBounds);
}
} // namespace

void ShowBubbleVerticalActionFunc(IControl* pCaller)
{
  ShowBubble(pCaller, EDirection::kVertical, IRECT(0.f, 0.f, 50.f, 30.f));
}

void ShowBubbleVerticalActionFuncSTD(IControl* pCaller)
{
  ShowBubble(pCaller, EDirection::kVertical, IRECT(0.f, 0.f, 50.f, 20.f));
}

void ShowBubbleHorizontalActionFunc(IControl* pCaller)
{
  ShowBubble(pCaller, EDirection::kHorizontal, IRECT(0.f, 0.f, 50.f, 30.f));
}

void ShowBubbleHorizontalActionFuncSTD(IControl* pCaller)
{
  ShowBubble(pCaller, EDirection::kHorizontal, IRECT(0.f, 0.f, 50.f, 20.f));
}

} // namespace iplug::igraphics
