#include "ICornerResizerControl.h"

#include "IGraphics.h"

namespace iplug::igraphics
{

ICornerResizerControl::ICornerResizerControl(const IRECT& graphicsBounds, float size, const IColor& color,
                                             const IColor& mouseOverColor, const IColor& dragColor)
    : IControl(graphicsBounds.GetFromBRHC(size, size)), mSize(size), mInitialGraphicsBounds(graphicsBounds),
      mColor(color), mMouseOverColor(mouseOverColor), mDragColor(dragColor)
{
}

void ICornerResizerControl::Draw(IGraphics& g)
{
  const IColor& color = g.GetResizingInProcess() ? mDragColor : (mMouseOver ? mMouseOverColor : mColor);
  g.FillTriangle(color, mRECT.L, mRECT.B, mRECT.R, mRECT.T, mRECT.R, mRECT.B);
}

void ICornerResizerControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  if (GetUI())
    GetUI()->StartDragResize();
}

void ICornerResizerControl::OnMouseDblClick(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  if (GetUI())
    GetUI()->Resize(static_cast<int>(mInitialGraphicsBounds.W()), static_cast<int>(mInitialGraphicsBounds.H()), 1.f,
                    true);
}

void ICornerResizerControl::OnMouseOver(float x, float y, const IMouseMod& mod)
{
  if (!mMouseOver && GetUI())
    mPrevCursorType = GetUI()->SetMouseCursor(ECursor::kSizeNWSE);
  mMouseOver = true;
  IControl::OnMouseOver(x, y, mod);
}

void ICornerResizerControl::OnMouseOut()
{
  if (mMouseOver && GetUI())
    GetUI()->SetMouseCursor(mPrevCursorType);
  mMouseOver = false;
  IControl::OnMouseOut();
}

void ICornerResizerControl::OnRescale()
{
  if (!GetUI())
    return;
  const float size = mSize / GetUI()->GetDrawScale();
  SetTargetAndDrawRECTs(GetUI()->GetBounds().GetFromBRHC(size, size));
}

} // namespace iplug::igraphics
