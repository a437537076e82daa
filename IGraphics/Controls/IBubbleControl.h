#pragma once
// The value bubble: fades in beside a control while it is being changed, then fades out.

#include "IControl.h"

namespace iplug::igraphics
{

class IBubbleControl : public IControl
{
public:
  /** Which edge of the bubble carries the arrow. */
  enum EArrowSide : int
  {
    kTop = 0,    // bubble below the control
    kRight = 1,  // bubble left of it
    kBottom = 2, // bubble above it
    kLeft = 3    // bubble right of it
  };

  enum EState : int
  {
    kHidden = 0,
    kFadingIn = 1,
    kShown = 2,
    kFadingOut = 3
  };

  static constexpr float kMaxOpacity = 0.95f;
  static constexpr int kFadeMs = 200;
  static constexpr int kHoldMs = 1000;

  IBubbleControl(const IText& text = DEFAULT_TEXT, const IColor& fillColor = COLOR_WHITE,
                 const IColor& strokeColor = COLOR_BLACK, float roundness = 5.f);

  /** Shows text at (x, y) of the caller: above it (vertical) or to its right (horizontal), moved to the other
   *  side when it would leave the editor. A new call during any phase updates text and place only. */
  virtual void ShowBubble(IControl* pCaller, float x, float y, const char* str, EDirection dir,
                          IRECT minimumContentBounds, ITouchID touchID = 0);

  void Draw(IGraphics& g) override;
  virtual void DrawBubble(IGraphics& g, const IRECT& r);
  virtual void DrawContent(IGraphics& g, const IRECT& r);
  virtual void MeasureText(const char* str, IRECT& r);

  ITouchID GetTouchID() const { return mTouchId; }
  EState GetState() const { return static_cast<EState>(mState); }
  const IRECT& GetBubbleBounds() const { return mBubbleBounds; }
  EArrowSide GetArrowSide() const { return static_cast<EArrowSide>(mArrowSide); }
  const char* GetString() const { return mStr.Get(); }
  IControl* GetCaller() const { return mCaller; }
  void SetMaxBounds(const IRECT& bounds) { mMaxBounds = bounds; }

private:
  static void BubbleAnimation(IControl* pControl);

  ITouchID mTouchId = 0;
  EDirection mDirection = EDirection::kHorizontal;
  IRECT mMaxBounds;
  IRECT mBubbleBounds;
  int mArrowSide = kLeft;
  WDL_String mStr;
  float mRoundness;
  float mInnerMargin = 10.f;
  float mArrowSize = 10.f;
  float mOpacity = kMaxOpacity;
  float mStrokeWidth = 2.f;
  float mHorizontalMargin = 5.f;
  IColor mFillColor;
  IColor mStrokeColor;
  int mState = kHidden;
  IControl* mCaller = nullptr;
};

} // namespace iplug::igraphics
