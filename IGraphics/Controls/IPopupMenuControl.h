#pragma once
// In-editor popup menu, used in place of a platform menu when attached to the graphics context.
// It keeps the menu's state sequence and the completion contract with the graphics context; its look is a
// plain list of cells.

#include "IControl.h"

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

  static constexpr float kCellHeight = 20.f;
  static constexpr float kCellWidth = 150.f;

  IPopupMenuControl(int paramIdx = kNoParameter, const IText& text = DEFAULT_TEXT,
                    const IRECT& collapsedBounds = IRECT(), const IRECT& expandedBounds = IRECT());

  /** Shows menu at anchorArea unless a menu is already shown. */
  void CreatePopupMenu(IPopupMenu& menu, const IRECT& anchorArea);
  /** Reports the clicked cell (or none) to the menu, its function and the graphics context, and closes. */
  void CollapseEverything();

  bool GetExpanded() const { return mState == kExpanded; }
  EPopupState GetState() const { return mState; }
  IPopupMenu* GetMenu() const { return mMenu; }
  /** Cell rectangle of item idx while expanded. */
  IRECT GetCellBounds(int idx) const;

  void Draw(IGraphics& g) override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  void OnMouseOver(float x, float y, const IMouseMod& mod) override;
  void OnEndAnimation() override;

private:
  void Expand(const IRECT& anchorArea);
  int HitTestCells(float x, float y) const;

  IPopupMenu* mMenu = nullptr;
  EPopupState mState = kCollapsed;
  IRECT mPanelBounds;
  IRECT mExpandedBounds;
  IRECT mCollapsedBounds;
  int mClickedCell = -1;
  int mMouseCell = -1;
  IColor mPanelColor = COLOR_WHITE;
  IColor mCellOverColor = IColor(255, 200, 200, 200);
  IColor mDisabledColor = COLOR_GRAY;
};

} // namespace iplug::igraphics
