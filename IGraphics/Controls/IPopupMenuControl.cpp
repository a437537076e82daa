#include "IPopupMenuControl.h"

#include "IGraphics.h"

namespace iplug::igraphics
{

namespace
{
constexpr int kPhaseMs = 50;
}

IPopupMenuControl::IPopupMenuControl(int paramIdx, const IText& text, const IRECT& collapsedBounds,
                                     const IRECT& expandedBounds)
    : IControl(collapsedBounds, paramIdx), mExpandedBounds(expandedBounds), mCollapsedBounds(collapsedBounds)
{
  mText = text.WithFGColor(text.mFGColor);
  mText.mAlign = EAlign::kNear;
  mHide = true;
}

void IPopupMenuControl::CreatePopupMenu(IPopupMenu& menu, const IRECT& anchorArea)
{
  mMenu = &menu;
  if (mExpandedBounds.Empty() && GetUI())
    mExpandedBounds = GetUI()->GetBounds();
  if (mState == kCollapsed)
    Expand(anchorArea);
}

void IPopupMenuControl::Expand(const IRECT& anchorArea)
{
  // One panel below the anchor, kept inside the permitted area.
  const float h = kCellHeight * static_cast<float>(mMenu->NItems());
  IRECT panel = IRECT::MakeXYWH(anchorArea.L, anchorArea.B, kCellWidth, h);
  if (panel.B > mExpandedBounds.B)
    panel.Translate(0.f, mExpandedBounds.B - panel.B);
  if (panel.R > mExpandedBounds.R)
    panel.Translate(mExpandedBounds.R - panel.R, 0.f);
  if (panel.T < mExpandedBounds.T)
    panel.Translate(0.f, mExpandedBounds.T - panel.T);
  if (panel.L < mExpandedBounds.L)
    panel.Translate(mExpandedBounds.L - panel.L, 0.f);
  mPanelBounds = panel;
  mClickedCell = -1;
  mMouseCell = -1;

  // The whole permitted area is the target: a click anywhere belongs to the menu.
  mRECT = mPanelBounds;
  mTargetRECT = mExpandedBounds;
  Hide(false);
  mState = kExpanding;
  SetAnimation(DefaultAnimationFunc, kPhaseMs);
}

IRECT IPopupMenuControl::GetCellBounds(int idx) const
{
  return IRECT(mPanelBounds.L, mPanelBounds.T + kCellHeight * static_cast<float>(idx), mPanelBounds.R,
               mPanelBounds.T + kCellHeight * static_cast<float>(idx + 1));
}

int IPopupMenuControl::HitTestCells(float x, float y) const
{
  if (!mMenu)
    return -1;
  for (int i = 0; i < mMenu->NItems(); i++)
    if (GetCellBounds(i).Contains(x, y))
      return i;
  return -1;
}

void IPopupMenuControl::CollapseEverything()
{
  if (!mMenu)
    return;
  IPopupMenu* pMenu = mMenu;
  pMenu->SetChosenItemIdx(mClickedCell);
  pMenu->ExecFunction();
  mState = kIdling;
  if (GetUI())
    GetUI()->SetControlValueAfterPopupMenu(pMenu);
  Hide(true);
  SetAnimation(DefaultAnimationFunc, kPhaseMs);
}

void IPopupMenuControl::OnEndAnimation()
{
  switch (mState)
  {
  case kExpanding:
  case kFlickering:
    mState = kExpanded;
    break;
  case kIdling:
    mState = kCollapsing;
    IControl::OnEndAnimation();
    SetAnimation(DefaultAnimationFunc, kPhaseMs);
    return;
  case kCollapsing:
    mTargetRECT = mCollapsedBounds;
    mClickedCell = -1;
    mMouseCell = -1;
    mState = kSubMenuAppearing;
    IControl::OnEndAnimation();
    SetAnimation(DefaultAnimationFunc, kPhaseMs);
    return;
  case kSubMenuAppearing:
    mState = kCollapsed;
    mMenu = nullptr;
    mRECT = mCollapsedBounds;
    if (GetUI())
      GetUI()->UpdateTooltips();
    break;
  default:
    break;
  }
  IControl::OnEndAnimation();
}

void IPopupMenuControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (mState != kExpanded)
  {
    IControl::OnMouseDown(x, y, mod);
    return;
  }
  const int cell = HitTestCells(x, y);
  const IPopupMenu::Item* pItem = mMenu ? mMenu->GetItem(cell) : nullptr;
  if (pItem && !pItem->GetEnabled())
    return; // disabled items cannot be chosen
  mClickedCell = pItem && pItem->GetIsChoosable() ? cell : -1;
  CollapseEverything();
}

void IPopupMenuControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  if (mState == kExpanded)
  {
    const int cell = HitTestCells(x, y);
    if (cell != mMouseCell)
    {
      mMouseCell = cell;
      SetDirty(false);
    }
  }
  IControl::OnMouseOver(x, y, mod);
}

void IPopupMenuControl::Draw(IGraphics& g)
{
  if (!mMenu || mState == kCollapsed)
    return;
  g.FillRect(mPanelColor, mPanelBounds);
  g.DrawRect(COLOR_DARK_GRAY, mPanelBounds);
  for (int i = 0; i < mMenu->NItems(); i++)
  {
    const IPopupMenu::Item* pItem = mMenu->GetItem(i);
    const IRECT cell = GetCellBounds(i);
    if (pItem->GetIsSeparator())
    {
      g.DrawLine(COLOR_GRAY, cell.L + 4.f, cell.MH(), cell.R - 4.f, cell.MH());
      continue;
    }
    if (i == mMouseCell && pItem->GetIsChoosable())
      g.FillRect(mCellOverColor, cell);
    const IText text = mText.WithFGColor(pItem->GetEnabled() ? mText.mFGColor : mDisabledColor);
    if (pItem->GetChecked())
      g.FillCircle(text.mFGColor, cell.L + 8.f, cell.MH(), 3.f);
    g.DrawText(text, pItem->GetText(), cell.GetPadded(-16.f, 0.f, -4.f, 0.f));
  }
}

} // namespace iplug::igraphics
