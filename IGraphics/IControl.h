#pragma once
// Base class of every user-interface element, and the knob and switch bases built on it.
// A control holds normalized values bound to parameters; user changes travel through SetDirty to the
// editor delegate, host changes arrive through SetValueFromDelegate.

#include "IGraphicsStructs.h"
#include "IPlugConstants.h"
#include "IPlugMidi.h"

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"

#include <initializer_list>
#include <map>
#include <vector>

namespace iplug
{
class IParam;
}

namespace iplug::igraphics
{

class IGEditorDelegate;
class IPopupMenu;

/** Value index meaning "every value of the control". */
static constexpr int kNoValIdx = -1;

/** One touch gesture as a recogniser reports it. */
struct IGestureInfo
{
  float x = 0.f;
  float y = 0.f;
  float scale = 0.f;
  float velocity = 0.f;
  float angle = 0.f;
  EGestureType type = EGestureType::kUnknown;
};

using IGestureFunc = std::function<void(IControl*, const IGestureInfo&)>;

/** Milliseconds of a monotonic clock: the time animations run on. */
double MonotonicMilliseconds();
using MonotonicClockFunc = double (*)();
/** Replaces that clock (tests drive animations with a clock of their own); null restores the steady clock. */
void SetMonotonicClock(MonotonicClockFunc clock);

class IControl : public Steinberg::Vst::IContextMenuTarget, public Steinberg::FObject
{
public:
  IControl(const IRECT& bounds, int paramIdx = kNoParameter, IActionFunction actionFunc = nullptr);
  /** One value per parameter index, in list order. */
  IControl(const IRECT& bounds, const std::initializer_list<int>& params, IActionFunction actionFunc = nullptr);
  /** No parameter. */
  IControl(const IRECT& bounds, IActionFunction actionFunc);

  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // Host context menus call back through these.
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override { return FObject::addRef(); }
  Steinberg::uint32 PLUGIN_API release() override { return FObject::release(); }
  Steinberg::tresult PLUGIN_API executeMenuItem(Steinberg::int32 tag) override;

  ~IControl() override = default;

  virtual void OnMouseDown(float x, float y, const IMouseMod& mod);
  virtual void OnMouseUp(float x, float y, const IMouseMod& mod);
  virtual void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod);
  virtual void OnMouseDblClick(float x, float y, const IMouseMod& mod);
  virtual void OnMouseWheel(float x, float y, const IMouseMod& mod, float d);
  virtual bool OnKeyDown(float x, float y, const IKeyPress& key);
  virtual bool OnKeyUp(float x, float y, const IKeyPress& key);
  virtual void OnMouseOver(float x, float y, const IMouseMod& mod);
  virtual void OnMouseOut();
  virtual void OnTouchCancelled(float x, float y, const IMouseMod& mod);
  virtual void OnDrop(const char* str);
  virtual void OnRescale() {}
  virtual void OnResize() {}
  virtual void OnInit() {}
  virtual void OnAttached() {}
  virtual bool OnMsgFromDelegate(int msgTag, int dataSize, const void* pData);
  virtual void OnMidi(const IMidiMsg& msg);
  /** Runs the function registered for the gesture's type; false when there is none. */
  virtual bool OnGesture(const IGestureInfo& info);
  virtual void CreateContextMenu(IPopupMenu& contextMenu);
  /** Applies the chosen item index of a value prompt as a plain value of the prompted parameter. */
  virtual void OnPopupMenuSelection(IPopupMenu* pSelectedMenu, int valIdx);
  virtual void OnTextEntryCompletion(const char* str, int valIdx);
  virtual void OnContextSelection(int itemSelected);
  virtual void Draw(IGraphics& g) = 0;
  virtual void DrawPTHighlight(IGraphics& g);
  /** valIdx must be a valid value index (bounds-checked). */
  virtual void SetParamIdx(int paramIdx, int valIdx = 0);
  virtual int GetValIdxForPos(float x, float y) const;
  /** Host or processor change: ignored while the control is captured by the mouse. */
  virtual void SetValueFromDelegate(double value, int valIdx = 0);
  /** User change: sent and acted upon only when the value differs. */
  virtual void SetValueFromUserInput(double value, int valIdx = 0);
  virtual void SetValueToDefault(int valIdx = kNoValIdx);
  virtual void SetValue(double value, int valIdx = 0);
  virtual void SetText(const IText& text) { mText = text; }
  virtual void SetPosition(float x, float y);
  virtual void SetSize(float w, float h);
  virtual void Hide(bool hide);
  virtual void SetDisabled(bool disable);
  virtual bool IsHit(float x, float y) const { return mTargetRECT.Contains(x, y); }
  /** Marks the control for redrawing; with triggerAction the values go to the plug-in, peers follow and the
   *  action function runs. */
  virtual void SetDirty(bool triggerAction = true, int valIdx = kNoValIdx);
  virtual void SetClean() { mDirty = false; }
  virtual bool IsDirty();
  virtual void OnGUIIdle() {}
  /** Sets the value from a pointer position along the bounds (for sliders). */
  virtual void SnapToMouse(float x, float y, EDirection direction, const IRECT& bounds, int valIdx = kNoValIdx,
                           double minClip = 0., double maxClip = 1.);
  virtual void OnEndAnimation();

  OBJ_METHODS(IControl, FObject)

  // --- values and parameters ---
  int NVals() const { return static_cast<int>(mVals.size()); }
  double GetValue(int valIdx = 0) const;
  int GetParamIdx(int valIdx = 0) const;
  /** The delegate's parameter for that value, or null. */
  const IParam* GetParam(int valIdx = 0) const;
  /** The first value index bound to paramIdx, or -1. */
  int LinkedToParam(int paramIdx) const;

  // --- binding ---
  void SetDelegate(IGEditorDelegate& dlg) { mDelegate = &dlg; }
  IGEditorDelegate* GetDelegate() const { return mDelegate; }
  void SetGraphics(IGraphics* pGraphics) { mGraphics = pGraphics; }
  IGraphics* GetUI() const { return mGraphics; }

  // --- geometry ---
  const IRECT& GetRECT() const { return mRECT; }
  void SetRECT(const IRECT& bounds) { mRECT = bounds; }
  const IRECT& GetTargetRECT() const { return mTargetRECT; }
  void SetTargetRECT(const IRECT& bounds) { mTargetRECT = bounds; }
  void SetTargetAndDrawRECTs(const IRECT& bounds)
  {
    mRECT = mTargetRECT = bounds;
    mMouseIsOver = false;
    OnResize();
  }

  // --- style ---
  const IText& GetText() const { return mText; }
  const IBlend& GetBlend() const { return mBlend; }
  void SetBlend(const IBlend& blend) { mBlend = blend; }
  int GetTextEntryLength() const { return mTextEntryLength; }
  void SetTextEntryLength(int len) { mTextEntryLength = len; }
  const char* GetGroup() const { return mGroup.Get(); }
  void SetGroup(const char* groupName) { mGroup.Set(groupName ? groupName : ""); }
  const char* GetTooltip() const { return mTooltip.Get(); }
  void SetTooltip(const char* str) { mTooltip.Set(str ? str : ""); }
  void SetPTParameterHighlight(bool isHighlighted, const IColor& color)
  {
    mPTisHighlighted = isHighlighted;
    mPTHighlightColor = color;
    SetDirty(false);
  }

  // --- flags ---
  bool IsHidden() const { return mHide; }
  bool IsDisabled() const { return mDisabled; }
  bool GetMouseDblAsSingleClick() const { return mDblAsSingleClick; }
  void SetMouseDblAsSingleClick(bool single) { mDblAsSingleClick = single; }
  bool GetMouseOverWhenDisabled() const { return mMouseOverWhenDisabled; }
  void SetMouseOverWhenDisabled(bool allow) { mMouseOverWhenDisabled = allow; }
  bool GetMouseEventsWhenDisabled() const { return mMouseEventsWhenDisabled; }
  void SetMouseEventsWhenDisabled(bool allow) { mMouseEventsWhenDisabled = allow; }
  bool GetIgnoreMouse() const { return mIgnoreMouse; }
  void SetIgnoreMouse(bool ignore) { mIgnoreMouse = ignore; }
  bool GetWantsMultiTouch() const { return mWantsMultiTouch; }
  void SetWantsMultiTouch(bool enable) { mWantsMultiTouch = enable; }
  bool GetPromptDisabled() const { return mDisablePrompt; }
  void DisablePrompt(bool disable) { mDisablePrompt = disable; }
  bool GetPromptShowsParamLabel() const { return mPromptShowsParamLabel; }
  void SetPromptShowsParamLabel(bool enable) { mPromptShowsParamLabel = enable; }
  bool GetMouseIsOver() const { return mMouseIsOver; }
  bool GetWantsMidi() const { return mWantsMidi; }
  void SetWantsMidi(bool enable) { mWantsMidi = enable; }

  // --- functions ---
  IActionFunction GetActionFunction() const { return mActionFunc; }
  void SetActionFunction(IActionFunction func) { mActionFunc = std::move(func); }
  IActionFunction GetAnimationEndActionFunction() const { return mAnimationEndActionFunc; }
  void SetAnimationEndActionFunction(IActionFunction func) { mAnimationEndActionFunc = std::move(func); }
  IAnimationFunction GetAnimationFunction() const { return mAnimationFunc; }
  void SetAnimation(IAnimationFunction func) { mAnimationFunc = std::move(func); }
  void SetAnimation(IAnimationFunction func, int durationMs)
  {
    mAnimationFunc = std::move(func);
    StartAnimation(durationMs);
  }
  void StartAnimation(int durationMs);
  /** (now - start) / duration; 0 without an animation function. */
  double GetAnimationProgress() const;
  double GetAnimationDuration() const { return mAnimationDuration; }
  /** Runs the animation function, if any (once per frame). */
  void Animate();
  IControl* AttachGestureRecognizer(EGestureType type, IGestureFunc func);

  // --- prompts ---
  void PromptUserInput(int valIdx = 0);
  void PromptUserInput(const IRECT& bounds, int valIdx = 0);

  /** Fine adjustment: shift or control held. */
  static bool IsFineControl(const IMouseMod& mod, bool wheel = false);

protected:
  /** Whether a prompt for valIdx may open: prompts enabled and the value has a parameter. */
  bool CanPrompt(int valIdx) const;

  IRECT mRECT;
  IRECT mTargetRECT;
  WDL_String mGroup;
  IText mText;
  IBlend mBlend;
  int mTextEntryLength = 7;
  bool mDirty = true;
  bool mHide = false;
  bool mDisabled = false;
  bool mDisablePrompt = true;
  bool mDblAsSingleClick = false;
  bool mMouseOverWhenDisabled = false;
  bool mMouseEventsWhenDisabled = false;
  bool mIgnoreMouse = false;
  bool mWantsMultiTouch = false;
  bool mPromptShowsParamLabel = false;
  bool mMouseIsOver = false;
  bool mWantsMidi = false;
  WDL_String mTooltip;
  IColor mPTHighlightColor = COLOR_RED;
  bool mPTisHighlighted = false;

private:
  IGEditorDelegate* mDelegate = nullptr;
  IGraphics* mGraphics = nullptr;
  IActionFunction mActionFunc;
  IActionFunction mAnimationEndActionFunc;
  IAnimationFunction mAnimationFunc;
  double mAnimationStartTime = 0.;
  double mAnimationDuration = 0.;
  std::vector<ParamTuple> mVals;
  std::map<EGestureType, IGestureFunc> mGestureFuncs;
};

/** A control adjusted by dragging, with gearing and fine control. */
class IKnobControlBase : public IControl
{
public:
  static constexpr double kDefaultGearing = 4.0;

  IKnobControlBase(const IRECT& bounds, int paramIdx = kNoParameter, EDirection direction = EDirection::kVertical,
                   double gearing = kDefaultGearing);

  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;
  void OnMouseDrag(float x, float y, float dX, float dY, const IMouseMod& mod) override;
  void OnMouseWheel(float x, float y, const IMouseMod& mod, float d) override;

  /** The area one full drag is measured against. */
  virtual IRECT GetKnobDragBounds() { return mTargetRECT; }

  void SetGearing(double gearing) { mGearing = gearing; }
  double GetGearing() const { return mGearing; }
  void SetHideCursorOnDrag(bool hide) { mHideCursorOnDrag = hide; }
  bool GetHideCursorOnDrag() const { return mHideCursorOnDrag; }
  EDirection GetDirection() const { return mDirection; }
  bool GetMouseDown() const { return mMouseDown; }

protected:
  bool mHideCursorOnDrag = true;
  EDirection mDirection = EDirection::kVertical;
  double mGearing = kDefaultGearing;
  bool mMouseDown = false;
  double mDragValue = 0.; // unconstrained running value of the drag, so slow drags accumulate across steps
};

/** A control that steps through a fixed number of states. */
class ISwitchControlBase : public IControl
{
public:
  ISwitchControlBase(const IRECT& bounds, int paramIdx = kNoParameter, IActionFunction actionFunc = nullptr,
                     int numStates = 2);

  void OnInit() override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseUp(float x, float y, const IMouseMod& mod) override;

  int GetNumStates() const { return mNumStates; }
  void SetStateDisabled(int stateIdx, bool disabled);
  bool GetStateDisabled(int stateIdx) const;
  bool GetMouseDown() const { return mMouseDown; }

protected:
  int mNumStates = 2;
  std::vector<bool> mDisabledState;
  bool mMouseDown = false;
};

// Action functions.
void EmptyClickActionFunc(IControl* pCaller);
void DefaultClickActionFunc(IControl* pCaller);
void SplashClickActionFunc(IControl* pCaller);
void DefaultAnimationFunc(IControl* pCaller);
void SplashAnimationFunc(IControl* pCaller);
void ShowBubbleVerticalActionFunc(IControl* pCaller);
void ShowBubbleVerticalActionFuncSTD(IControl* pCaller);
void ShowBubbleHorizontalActionFunc(IControl* pCaller);
void ShowBubbleHorizontalActionFuncSTD(IControl* pCaller);

} // namespace iplug::igraphics
