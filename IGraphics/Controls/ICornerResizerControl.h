#pragma once
// The triangle in the editor's bottom-right corner that resizes the editor when dragged.

#include "IControl.h"

namespace iplug::igraphics
{

class ICornerResizerControl : public IControl
{
public:
  ICornerResizerControl(const IRECT& graphicsBounds, float size, const IColor& color = COLOR_TRANSLUCENT,
                        const IColor& mouseOverColor = COLOR_BLACK, const IColor& dragColor = COLOR_BLACK);

  void Draw(IGraphics& g) override;
  /** Starts a drag-resize; the graphics context does the resizing. */
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
  /** Back to the editor's nominal size at scale 1. */
  void OnMouseDblClick(float x, float y, const IMouseMod& mod) override;
  void OnMouseOver(float x, float y, const IMouseMod& mod) override;
  void OnMouseOut() override;
  /** Keeps the same on-screen size at every draw scale. */
  void OnRescale() override;

private:
  float mSize;
  bool mMouseOver = false;
  ECursor mPrevCursorType = ECursor::kArrow;
  IRECT mInitialGraphicsBounds;
  IColor mColor;
  IColor mMouseOverColor;
  IColor mDragColor;
};

} // namespace iplug::igraphics
