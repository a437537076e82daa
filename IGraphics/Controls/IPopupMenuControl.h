#pragma once
// In-editor popup menu, used in place of a platform menu when attached to the graphics context (and as the
// platform's own menu on Linux). Each open menu level is a panel of cells; submenus open beside the cell
// that holds them.

#include "IControl.h"
#include "IPopupMenu.h"

#include <memory>
#include <vector>

namespace iplug::igraphics
{

class IPopupMenuControl : public IControl
{
public:
  /** 1 and 5 open, 2 is expanded (all pointer events go to the menu), 4, 3 and 6 close. */
  enum EPopupState : int
  {
    kCollapsed = 0,
    kExpanding = 1,
    kExpanded = 2,
    kCollapsing = 3,
    kIdling = 4,
    kFlickering = 5,
    kSubMenuAppearing = 6
  };

  /** One open menu level: the panel and its cells. */
  class MenuPanel
  {
  public:
    MenuPanel(IPopupMenu& menu, const IRECT& bounds, std::vector<IRECT> cells, float titleHeight)
        : mMenu(menu), mRECT(bounds), mCells(std::move(cells)), mTitleHeight(titleHeight)
    {
    }
    /** The cell under (x, y), or -1. */
    int HitTestCells(float x, float y) const;

    IPopupMenu& mMenu;
    IRECT mRECT;
    std::vector<IRECT> mCells;
    float mTitleHeight = 0.f;
    int mHighlighted = -1;
  };

  IPopupMenuControl(int paramIdx = kNoParameter, const IText& text = DEFAULT_TEXT,
                    const IRECT& collapsedBounds = IRECT(), const IRECT& expandedBounds = IRECT());

  /** Shows menu at anchorArea unless a menu is already shown. */
  void CreatePopupMenu(IPopupMenu& menu, const IRECT& anchorArea);
  /** Reports the clicked cell (or none) to the menu, its function and the graphics context, and closes. */
  void CollapseEverything();

  bool GetExpanded() const { return mState == kExpanded; }
  EPopupState GetState() const { return mState; }
  IPopupMenu* GetMenu() const { return mMenu; }
  int NPanels() const { return static_cast<int>(mPanels.size()); }
  const MenuPanel* GetPanel(int level) const;
  /** Cell rectangle of item idx of the root menu while shown. */
  IRECT GetCellBounds(int idx) const;

  // Look: a dark panel with light text; the highlighted cell takes the accent colour.
  void SetPanelColors(const IColor& panel, const IColor& border, const IColor& text, const IColor& disabled,
                      const IColor& highlight, const IColor& highlightText)
  {
    mPanelColor = panel;
    mBorderColor = border;
    mItemColor = text;
    mDisabledColor = disabled;
    mHighlightColor = highlight;
    mHighlightTextColor = highlightText;
  }

  void Draw(IGraphics& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseOver(float x, float y, const IMouseMod& mod) override;
  void OnMouseOut() override;
  bool OnKeyDown(float x, float y, const IKeyPress& key) override;
  void OnEndAnimation() override;

  static constexpr int kOpenMs = 90;
  static constexpr int kChosenMs = 70;
  static constexpr int kFadeMs = 110;
  static constexpr int kSettleMs = 16;

private:
  void Expand(const IRECT& anchorArea);
  /** Lays out a panel for menu beside (or below) anchor inside the permitted area. */
  std::unique_ptr<MenuPanel> MakePanel(IPopupMenu& menu, const IRECT& anchor, bool besideAnchor) const;
  /** Opens the submenu of the highlighted cell of panel level (closing deeper ones). */
  void SyncSubmenus(int level);
  void Highlight(int level, int cell);
  /** The deepest panel and cell under (x, y); false when none. */
  bool HitTest(float x, float y, int& level, int& cell) const;
  void UpdateDrawBounds();
  void FinishClosing();
  /** Text of an item with the menu's numbering prefix. */
  static void ItemLabel(const IPopupMenu& menu, int idx, WDL_String& label);

  IPopupMenu* mMenu = nullptr;
  EPopupState mState = kCollapsed;
  std::vector<std::unique_ptr<MenuPanel>> mPanels;
  IRECT mExpandedBounds;
  IRECT mCollapsedBounds;
  int mClickedLevel = -1;
  int mClickedCell = -1;
  int mFocusLevel = 0; // the panel the arrow keys move in

  IColor mPanelColor = IColor(250, 30, 32, 36);
  IColor mBorderColor = IColor(255, 66, 71, 78);
  IColor mItemColor = IColor(255, 226, 229, 233);
  IColor mTitleColor = IColor(255, 140, 146, 154);
  IColor mDisabledColor = IColor(255, 104, 110, 118);
  IColor mHighlightColor = IColor(255, 236, 150, 58);
  IColor mHighlightTextColor = IColor(255, 23, 25, 28);
  IColor mCheckColor = IColor(255, 236, 150, 58);
};

} // namespace iplug::igraphics
