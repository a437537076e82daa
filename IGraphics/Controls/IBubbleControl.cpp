#include "IBubbleControl.h"

#include "IGraphics.h"

namespace iplug::igraphics
{

IBubbleControl::IBubbleControl(const IText& text, const IColor& fillColor, const IColor& strokeColor, float roundness)
    : IControl(IRECT()), mRoundness(roundness), mFillColor(fillColor), mStrokeColor(strokeColor)
{
  mText = text;
  mHide = true;
  mIgnoreMouse = true;
  mBlend = IBlend(EBlend::kDefault, 0.f);

  SetActionFunction([](IControl* pControl) { pControl->SetAnimation(BubbleAnimation, kFadeMs); });
  SetAnimationEndActionFunction(
      [](IControl* pControl)
      {
        if (static_cast<IBubbleControl*>(pControl)->mState == kShown)
          pControl->SetAnimation(BubbleAnimation, kHoldMs);
      });
}

void IBubbleControl::BubbleAnimation(IControl* pControl)
{
  IBubbleControl* pBubble = static_cast<IBubbleControl*>(pControl);
  const double p = pBubble->GetAnimationProgress();
  const bool over = p > 1.0;

  switch (pBubble->mState)
  {
  case kFadingIn:
    if (!over)
      pBubble->mBlend.mWeight = static_cast<float>(p) * pBubble->mOpacity;
    else
    {
      pBubble->mBlend.mWeight = pBubble->mOpacity;
      pBubble->mState = kShown;
      pBubble->OnEndAnimation(); // starts the hold
    }
    break;
  case kShown:
    pBubble->mBlend.mWeight = pBubble->mOpacity;
    if (over)
    {
      // Held longer, in fade-length steps, while the user still holds the control.
      IGraphics* pGraphics = pBubble->GetUI();
      if (!(pGraphics && pBubble->mCaller && pGraphics->ControlIsCaptured(pBubble->mCaller)))
        pBubble->mState = kFadingOut;
      pBubble->SetDirty(true);
    }
    break;
  case kFadingOut:
    if (!over)
      pBubble->mBlend.mWeight = static_cast<float>(1.0 - p) * pBubble->mOpacity;
    else
    {
      pBubble->mBlend.mWeight = 0.f;
      pBubble->Hide(true);
      pBubble->mState = kHidden;
      pBubble->mTouchId = 0;
      pBubble->SetDirty(false);
      pBubble->OnEndAnimation();
    }
    break;
  default:
    if (over)
      pBubble->OnEndAnimation();
    break;
  }
}

void IBubbleControl::ShowBubble(IControl* pCaller, float x, float y, const char* str, EDirection dir,
                                IRECT minimumContentBounds, ITouchID touchID)
{
  IGraphics* pGraphics = GetUI();
  if (!pGraphics || !pCaller)
    return;

  if (mMaxBounds.W() == 0.f)
    mMaxBounds = pGraphics->GetBounds();

  mDirection = dir;
  mTouchId = touchID;
  mStr.Set(str ? str : "");

  IRECT r;
  MeasureText(mStr.Get(), r);
  if (!minimumContentBounds.Empty())
  {
    if (r.W() < minimumContentBounds.W())
      r.R = r.L + minimumContentBounds.W();
    if (r.H() < minimumContentBounds.H())
      r.B = r.T + minimumContentBounds.H();
  }
  r.L -= mHorizontalMargin + mInnerMargin;
  r.T -= mInnerMargin;
  r.R += mHorizontalMargin + mInnerMargin;
  r.B += mInnerMargin;
  const float w = r.W();
  const float h = r.H();

  IRECT bubble;
  if (dir == EDirection::kHorizontal)
  {
    bubble = IRECT(x, y - h / 2.f, x + w, y + h / 2.f);
    mArrowSide = kLeft;
    if (bubble.R > mMaxBounds.R - mHorizontalMargin - mInnerMargin)
    {
      bubble.Translate(-(bubble.R - pCaller->GetRECT().L), 0.f);
      mArrowSide = kRight;
    }
  }
  else
  {
    bubble = IRECT(x - w / 2.f, y - h, x + w / 2.f, y);
    mArrowSide = kBottom;
    if (bubble.T < mMaxBounds.T)
    {
      bubble.Translate(0.f, pCaller->GetRECT().H() + h);
      mArrowSide = kTop;
    }
  }

  // Old and new places are both redrawn.
  mBubbleBounds = bubble;
  mRECT = mRECT.Union(bubble);
  mTargetRECT = mRECT;
  mMouseIsOver = false;
  OnResize();

  if (mState == kHidden)
  {
    Hide(false);
    mState = kFadingIn;
    SetDirty(true); // the action function starts the fade-in
  }

  if (pCaller != mCaller)
  {
    mRECT = mTargetRECT = bubble;
    pGraphics->SetAllControlsDirty();
  }
  mCaller = pCaller;
}

void IBubbleControl::Draw(IGraphics& g)
{
  const IRECT content = mBubbleBounds.GetPadded(-mInnerMargin);
  g.DrawFastDropShadow(content, mBubbleBounds, 2.f, mRoundness, 10.f, &mBlend);
  DrawBubble(g, content);
  DrawContent(g, content);
}

void IBubbleControl::DrawBubble(IGraphics& g, const IRECT& r)
{
  const float rd = mRoundness;
  const float a = mArrowSize;
  const float halfA = a / 2.f;

  // Clockwise from the left edge just below the top-left corner; the arrow sits mid-edge.
  g.PathClear();
  g.PathMoveTo(r.L, r.T + rd);
  g.PathArc(r.L + rd, r.T + rd, rd, 270.f, 360.f);
  if (mArrowSide == kTop)
  {
    g.PathLineTo(r.MW() - halfA, r.T);
    g.PathLineTo(r.MW(), r.T - a);
    g.PathLineTo(r.MW() + halfA, r.T);
  }
  g.PathArc(r.R - rd, r.T + rd, rd, 0.f, 90.f);
  if (mArrowSide == kRight)
  {
    g.PathLineTo(r.R, r.MH() - halfA);
    g.PathLineTo(r.R + a, r.MH());
    g.PathLineTo(r.R, r.MH() + halfA);
  }
  g.PathArc(r.R - rd, r.B - rd, rd, 90.f, 180.f);
  if (mArrowSide == kBottom)
  {
    g.PathLineTo(r.MW() + halfA, r.B);
    g.PathLineTo(r.MW(), r.B + a);
    g.PathLineTo(r.MW() - halfA, r.B);
  }
  g.PathArc(r.L + rd, r.B - rd, rd, 180.f, 270.f);
  if (mArrowSide == kLeft)
  {
    g.PathLineTo(r.L, r.MH() + halfA);
    g.PathLineTo(r.L - a, r.MH());
    g.PathLineTo(r.L, r.MH() - halfA);
  }
  g.PathClose();

  g.PathFill(mFillColor, IFillOptions(true), &mBlend);
  IStrokeOptions options;
  options.mMiterLimit = 10.f;
  g.PathStroke(mStrokeColor, mStrokeWidth, options, &mBlend);
}

void IBubbleControl::DrawContent(IGraphics& g, const IRECT& r)
{
  if (mStr.GetLength())
    g.DrawText(mText, mStr.Get(), r, &mBlend);
}

void IBubbleControl::MeasureText(const char* str, IRECT& r)
{
  if (GetUI())
    GetUI()->MeasureText(mText, str, r);
}

} // namespace iplug::igraphics
