#include "IPopupMenuControl.h"

#include "IGraphics.h"

#include <algorithm>
#include <cstdio>

namespace iplug::igraphics
{

namespace
{
constexpr float kCellHeight = 22.f;
constexpr float kSeparatorHeight = 9.f;
constexpr float kTitleHeight = 24.f;
constexpr float kPanelPadding = 4.f; // above the first and below the last cell
constexpr float kTextLeft = 26.f;    // room for the check mark
constexpr float kTextRight = 14.f;
constexpr float kArrowRoom = 14.f;
constexpr float kMinWidth = 120.f;
constexpr float kCornerRadius = 5.f;
constexpr float kShadow = 5.f;
constexpr float kGap = 2.f; // between the anchor and the panel

bool IsCellSelectable(const IPopupMenu::Item* pItem)
{
  return pItem && pItem->GetEnabled() && !pItem->GetIsSeparator() && !pItem->GetIsTitle();
}
} // namespace

int IPopupMenuControl::MenuPanel::HitTestCells(float x, float y) const
{
  for (size_t i = 0; i < mCells.size(); i++)
    if (mCells[i].Contains(x, y))
      return static_cast<int>(i);
  return -1;
}

IPopupMenuControl::IPopupMenuControl(int paramIdx, const IText& text, const IRECT& collapsedBounds,
                                     const IRECT& expandedBounds)
    : IControl(collapsedBounds, paramIdx), mExpandedBounds(expandedBounds), mCollapsedBounds(collapsedBounds)
{
  mText = text;
  mText.mAlign = EAlign::kNear;
  mText.mVAlign = EVAlign::kMiddle;
  mHide = true;
}

const IPopupMenuControl::MenuPanel* IPopupMenuControl::GetPanel(int level) const
{
  return (level >= 0 && level < NPanels()) ? mPanels[static_cast<size_t>(level)].get() : nullptr;
}

IRECT IPopupMenuControl::GetCellBounds(int idx) const
{
  const MenuPanel* pPanel = GetPanel(0);
  if (!pPanel || idx < 0 || idx >= static_cast<int>(pPanel->mCells.size()))
    return IRECT();
  return pPanel->mCells[static_cast<size_t>(idx)];
}

void IPopupMenuControl::ItemLabel(const IPopupMenu& menu, int idx, WDL_String& label)
{
  const int prefix = menu.GetPrefix();
  if (prefix >= 1 && prefix <= 3)
  {
    static const char* const kFormats[] = {"%d: ", "%02d: ", "%03d: "};
    label.SetFormatted(16, kFormats[prefix - 1], idx + 1);
  }
  else
    label.Set("");
  label.Append(menu.GetItemText(idx));
}

// --- opening ------------------------------------------------------------------------------------

void IPopupMenuControl::CreatePopupMenu(IPopupMenu& menu, const IRECT& anchorArea)
{
  mMenu = &menu;
  if (mExpandedBounds.Empty() && GetUI())
    mExpandedBounds = GetUI()->GetBounds();
  // A request arriving while the last menu fades out (from its own completion, or a quick second click)
  // must not be lost: the graphics context waits for its answer.
  if (mState == kIdling || mState == kCollapsing || mState == kSubMenuAppearing)
  {
    FinishClosing();
    if (GetUI())
      GetUI()->SetAllControlsDirty();
  }
  if (mState == kCollapsed)
    Expand(anchorArea);
}

std::unique_ptr<IPopupMenuControl::MenuPanel> IPopupMenuControl::MakePanel(IPopupMenu& menu, const IRECT& anchor,
                                                                           bool besideAnchor) const
{
  const bool isRoot = !besideAnchor;
  const float titleHeight = (isRoot && menu.GetRootTitle()[0]) ? kTitleHeight : 0.f;
  const IRECT area = mExpandedBounds;

  // Width from the widest label.
  float textWidth = 0.f;
  bool hasSubmenu = false;
  WDL_String label;
  for (int i = 0; i < menu.NItems(); i++)
  {
    ItemLabel(menu, i, label);
    IRECT r;
    const float w = GetUI() ? GetUI()->MeasureText(mText, label.Get(), r)
                            : 0.6f * mText.mSize * static_cast<float>(label.GetLength());
    textWidth = std::max(textWidth, w);
    hasSubmenu = hasSubmenu || menu.GetItem(i)->GetSubmenu();
  }
  if (titleHeight > 0.f && GetUI())
  {
    IRECT r;
    textWidth = std::max(textWidth, GetUI()->MeasureText(mText, menu.GetRootTitle(), r) - kTextLeft + 12.f);
  }
  float width = std::ceil(std::max(kMinWidth, textWidth + kTextLeft + kTextRight + (hasSubmenu ? kArrowRoom : 0.f)));
  width = std::min(width, area.W());

  // Heights; a menu taller than the area squeezes its cells rather than losing items off screen.
  float contentHeight = 0.f;
  for (int i = 0; i < menu.NItems(); i++)
    contentHeight += menu.GetItem(i)->GetIsSeparator() ? kSeparatorHeight : kCellHeight;
  float squeeze = 1.f;
  const float room = area.H() - titleHeight - 2.f * kPanelPadding;
  if (contentHeight > room && contentHeight > 0.f)
    squeeze = std::max(0.f, room) / contentHeight;
  const float height = titleHeight + 2.f * kPanelPadding + contentHeight * squeeze;

  float left, top;
  if (besideAnchor)
  {
    left = anchor.R + 1.f;
    top = anchor.T - kPanelPadding;
    if (left + width > area.R)
      left = anchor.L - 1.f - width;
  }
  else if (anchor.W() > 0.f || anchor.H() > 0.f)
  {
    left = anchor.L;
    top = anchor.B + kGap;
    if (top + height > area.B && anchor.T - kGap - height >= area.T)
      top = anchor.T - kGap - height;
  }
  else
  {
    left = anchor.L;
    top = anchor.T;
  }
  left = std::clamp(left, area.L, std::max(area.L, area.R - width));
  top = std::clamp(top, area.T, std::max(area.T, area.B - height));
  const IRECT bounds(std::round(left), std::round(top), std::round(left) + width, std::round(top) + std::ceil(height));

  std::vector<IRECT> cells;
  float y = bounds.T + titleHeight + kPanelPadding;
  for (int i = 0; i < menu.NItems(); i++)
  {
    const float h = (menu.GetItem(i)->GetIsSeparator() ? kSeparatorHeight : kCellHeight) * squeeze;
    cells.emplace_back(bounds.L, y, bounds.R, y + h);
    y += h;
  }
  return std::make_unique<MenuPanel>(menu, bounds, std::move(cells), titleHeight);
}

void IPopupMenuControl::Expand(const IRECT& anchorArea)
{
  mPanels.clear();
  mPanels.push_back(MakePanel(*mMenu, anchorArea, false));
  mClickedLevel = -1;
  mClickedCell = -1;
  mFocusLevel = 0;
  // The whole permitted area is the target: a click anywhere belongs to the menu.
  mTargetRECT = mExpandedBounds;
  UpdateDrawBounds();
  Hide(false);
  // A menu at a point (a context menu) and one below a control open alike; both end expanded.
  mState = (anchorArea.W() > 0.f || anchorArea.H() > 0.f) ? kExpanding : kFlickering;
  SetAnimation(DefaultAnimationFunc, kOpenMs);
}

void IPopupMenuControl::UpdateDrawBounds()
{
  IRECT r;
  for (const auto& panel : mPanels)
    r = r.Union(panel->mRECT.GetPadded(kShadow));
  mRECT = r;
  SetDirty(false);
}

void IPopupMenuControl::SyncSubmenus(int level)
{
  mPanels.resize(static_cast<size_t>(level + 1));
  MenuPanel& panel = *mPanels[static_cast<size_t>(level)];
  const IPopupMenu::Item* pItem = panel.mMenu.GetItem(panel.mHighlighted);
  if (pItem && pItem->GetEnabled() && pItem->GetSubmenu() && pItem->GetSubmenu()->NItems())
  {
    const IRECT& cell = panel.mCells[static_cast<size_t>(panel.mHighlighted)];
    mPanels.push_back(MakePanel(*pItem->GetSubmenu(), IRECT(panel.mRECT.L, cell.T, panel.mRECT.R, cell.B), true));
  }
  UpdateDrawBounds();
}

void IPopupMenuControl::Highlight(int level, int cell)
{
  MenuPanel& panel = *mPanels[static_cast<size_t>(level)];
  if (!IsCellSelectable(panel.mMenu.GetItem(cell)))
    cell = -1;
  mFocusLevel = level;
  if (panel.mHighlighted == cell && NPanels() > level + 1)
    return;
  panel.mHighlighted = cell;
  SyncSubmenus(level);
}

bool IPopupMenuControl::HitTest(float x, float y, int& level, int& cell) const
{
  // Deeper panels lie on top.
  for (int l = NPanels() - 1; l >= 0; l--)
  {
    const int c = mPanels[static_cast<size_t>(l)]->HitTestCells(x, y);
    if (c >= 0)
    {
      level = l;
      cell = c;
      return true;
    }
  }
  return false;
}

// --- closing ------------------------------------------------------------------------------------

void IPopupMenuControl::CollapseEverything()
{
  if (!mMenu || mPanels.empty())
    return;
  IPopupMenu* pRoot = &mPanels.front()->mMenu;
  IPopupMenu* pChosenMenu = pRoot;
  pRoot->SetChosenItemIdx(-1);
  if (mClickedLevel >= 0 && mClickedLevel < NPanels())
  {
    pChosenMenu = &mPanels[static_cast<size_t>(mClickedLevel)]->mMenu;
    pChosenMenu->SetChosenItemIdx(mClickedCell);
  }
  if (pChosenMenu->GetFunction())
    pChosenMenu->ExecFunction();
  else if (pChosenMenu != pRoot && pRoot->GetFunction())
    pRoot->GetFunction()(pChosenMenu);

  mState = kIdling;
  SetAnimation(DefaultAnimationFunc, kChosenMs);
  if (GetUI())
    GetUI()->SetControlValueAfterPopupMenu(pChosenMenu);
}

void IPopupMenuControl::FinishClosing()
{
  mState = kCollapsed;
  mTargetRECT = mCollapsedBounds;
  mClickedLevel = -1;
  mClickedCell = -1;
  mPanels.clear();
  mRECT = mCollapsedBounds;
  SetAnimation(nullptr);
  Hide(true);
  if (GetUI())
    GetUI()->UpdateTooltips();
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
    SetAnimation(DefaultAnimationFunc, kFadeMs);
    return;
  case kCollapsing:
    // Nothing is drawn from here on, but the panels' area stays ours for one more frame so it is repainted.
    mState = kSubMenuAppearing;
    mTargetRECT = mCollapsedBounds;
    for (auto& panel : mPanels)
      panel->mHighlighted = -1;
    mClickedLevel = -1;
    mClickedCell = -1;
    IControl::OnEndAnimation();
    SetAnimation(DefaultAnimationFunc, kSettleMs);
    return;
  case kSubMenuAppearing:
    IControl::OnEndAnimation();
    FinishClosing();
    mMenu = nullptr;
    return;
  default:
    break;
  }
  IControl::OnEndAnimation();
}

// --- events -------------------------------------------------------------------------------------

void IPopupMenuControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  if (mState != kExpanded)
  {
    IControl::OnMouseDown(x, y, mod);
    return;
  }
  int level = -1, cell = -1;
  if (!HitTest(x, y, level, cell))
  {
    CollapseEverything(); // outside every cell: no choice
    return;
  }
  const IPopupMenu::Item* pItem = mPanels[static_cast<size_t>(level)]->mMenu.GetItem(cell);
  if (!IsCellSelectable(pItem))
    return; // disabled items, separators and titles cannot be chosen
  if (pItem->GetSubmenu())
  {
    Highlight(level, cell);
    return;
  }
  mClickedLevel = level;
  mClickedCell = cell;
  CollapseEverything();
}

void IPopupMenuControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  if (mState == kExpanded)
  {
    int level = -1, cell = -1;
    if (HitTest(x, y, level, cell))
      Highlight(level, cell);
  }
  IControl::OnMouseOver(x, y, mod);
}

void IPopupMenuControl::OnMouseOut()
{
  // Leaving the editor keeps an open submenu, but nothing stays highlighted in the deepest panel.
  if (mState == kExpanded && !mPanels.empty())
  {
    mPanels.back()->mHighlighted = -1;
    SetDirty(false);
  }
  IControl::OnMouseOut();
}

bool IPopupMenuControl::OnKeyDown(float x, float y, const IKeyPress& key)
{
  (void)x, (void)y;
  if (mState != kExpanded || mPanels.empty())
    return false;
  mFocusLevel = std::clamp(mFocusLevel, 0, NPanels() - 1);
  MenuPanel& panel = *mPanels[static_cast<size_t>(mFocusLevel)];
  const int n = panel.mMenu.NItems();
  switch (key.VK)
  {
  case kVK_ESCAPE:
    mClickedLevel = -1;
    CollapseEverything();
    return true;
  case kVK_UP:
  case kVK_DOWN:
  {
    const int step = key.VK == kVK_DOWN ? 1 : n - 1;
    int cell = panel.mHighlighted;
    for (int i = 0; i < n; i++)
    {
      cell = cell < 0 ? (key.VK == kVK_DOWN ? 0 : n - 1) : (cell + step) % n;
      if (IsCellSelectable(panel.mMenu.GetItem(cell)))
      {
        Highlight(mFocusLevel, cell);
        break;
      }
    }
    return true;
  }
  case kVK_RIGHT:
    if (NPanels() > mFocusLevel + 1)
    {
      mFocusLevel++;
      return OnKeyDown(x, y, IKeyPress("", kVK_DOWN));
    }
    return true;
  case kVK_LEFT:
    if (mFocusLevel > 0)
    {
      mFocusLevel--;
      SyncSubmenus(mFocusLevel);
    }
    return true;
  case kVK_RETURN:
  case kVK_KEYPAD_ENTER:
  {
    const IPopupMenu::Item* pItem = panel.mMenu.GetItem(panel.mHighlighted);
    if (!IsCellSelectable(pItem))
      return true;
    if (pItem->GetSubmenu())
      return OnKeyDown(x, y, IKeyPress("", kVK_RIGHT));
    mClickedLevel = mFocusLevel;
    mClickedCell = panel.mHighlighted;
    CollapseEverything();
    return true;
  }
  default:
    return false;
  }
}

// --- drawing --------------------------------------------------------------------------------------

void IPopupMenuControl::Draw(IGraphics& g)
{
  if (mPanels.empty() || mState == kCollapsed || mState == kSubMenuAppearing)
    return;
  float alpha = 1.f;
  const float progress = static_cast<float>(std::clamp(GetAnimationProgress(), 0.0, 1.0));
  if (mState == kExpanding || mState == kFlickering)
    alpha = progress;
  else if (mState == kCollapsing)
    alpha = 1.f - progress;
  if (alpha <= 0.f)
    return;
  const IBlend blend(EBlend::kDefault, alpha);

  const IText itemText = mText.WithFGColor(mItemColor);
  for (int level = 0; level < NPanels(); level++)
  {
    const MenuPanel& panel = *mPanels[static_cast<size_t>(level)];
    const IRECT& r = panel.mRECT;
    g.FillRoundRect(IColor(70, 0, 0, 0), r.GetTranslated(0.f, 2.f).GetPadded(1.5f), kCornerRadius + 1.5f, &blend);
    g.FillRoundRect(mPanelColor, r, kCornerRadius, &blend);
    g.DrawRoundRect(mBorderColor, r.GetPadded(-0.5f), kCornerRadius, &blend);

    if (panel.mTitleHeight > 0.f)
    {
      IText title = mText.WithFGColor(mTitleColor);
      title.mSize = std::max(9.f, mText.mSize - 2.f);
      const IRECT titleRect(r.L + 12.f, r.T + kPanelPadding, r.R - 12.f, r.T + panel.mTitleHeight);
      g.DrawText(title, panel.mMenu.GetRootTitle(), titleRect, &blend);
      const float ruleY = std::round(r.T + panel.mTitleHeight + kPanelPadding * 0.5f) - 0.5f;
      g.DrawLine(mBorderColor, r.L + 8.f, ruleY, r.R - 8.f, ruleY, &blend);
    }

    WDL_String label;
    for (int i = 0; i < static_cast<int>(panel.mCells.size()); i++)
    {
      const IPopupMenu::Item* pItem = panel.mMenu.GetItem(i);
      const IRECT& cell = panel.mCells[static_cast<size_t>(i)];
      if (pItem->GetIsSeparator())
      {
        const float sy = std::round(cell.MH()) - 0.5f;
        g.DrawLine(mBorderColor, cell.L + 8.f, sy, cell.R - 8.f, sy, &blend);
        continue;
      }
      const bool chosen = mState == kIdling && level == mClickedLevel && i == mClickedCell;
      const bool highlighted = (i == panel.mHighlighted && mState == kExpanded) || chosen;
      IColor textColor = pItem->GetEnabled() ? mItemColor : mDisabledColor;
      if (pItem->GetIsTitle())
        textColor = mTitleColor;
      if (highlighted)
      {
        g.FillRoundRect(mHighlightColor, cell.GetPadded(4.f, 0.f, -4.f, 0.f), 3.f, &blend);
        textColor = mHighlightTextColor;
      }
      if (pItem->GetChecked())
      {
        const float cx = cell.L + 14.f, cy = cell.MH();
        const IColor& c = highlighted ? mHighlightTextColor : mCheckColor;
        g.DrawLine(c, cx - 4.f, cy, cx - 1.f, cy + 3.f, &blend, 1.75f);
        g.DrawLine(c, cx - 1.f, cy + 3.f, cx + 4.5f, cy - 3.5f, &blend, 1.75f);
      }
      if (pItem->GetSubmenu())
      {
        const float ax = cell.R - 12.f, ay = cell.MH();
        g.FillTriangle(textColor, ax, ay - 4.f, ax, ay + 4.f, ax + 4.f, ay, &blend);
      }
      ItemLabel(panel.mMenu, i, label);
      g.DrawText(itemText.WithFGColor(textColor), label.Get(),
                 cell.GetPadded(kTextLeft, 0.f, -(kTextRight + (pItem->GetSubmenu() ? kArrowRoom : 0.f)), 0.f), &blend);
    }
  }
}

} // namespace iplug::igraphics
