#include "IBitmapControls.h"

#include "IGraphics.h"

namespace iplug::igraphics
{

int IBitmapBase::FrameForValue(int nFrames, double v)
{
  if (nFrames < 2)
    return 1;
  const int c = static_cast<int>(static_cast<double>(nFrames - 1) * v + 0.5);
  return c < 0 ? 1 : std::min(nFrames, c + 1);
}

void IBitmapBase::DrawBitmap(IGraphics& g)
{
  if (!mControl || !mBitmap.IsValid())
    return;
  const int frame = FrameForValue(mBitmap.N(), mControl->GetValue());
  const IRECT dest =
      mControl->GetRECT().GetCentredInside(static_cast<float>(mBitmap.FW()), static_cast<float>(mBitmap.FH()));
  g.DrawBitmap(mBitmap, dest, frame, &mControl->GetBlend());
}

void IBitmapBase::RescaleBitmap(IGraphics& g)
{
  IBitmap scaled = g.GetScaledBitmap(mBitmap);
  if (scaled.IsValid())
    mBitmap = scaled;
}

IBKnobControl::IBKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx, EDirection direction,
                             double gearing)
    : IKnobControlBase(FrameBounds(x, y, bitmap), paramIdx, direction, gearing), IBitmapBase(bitmap)
{
  AttachIControl(this);
}

void IBKnobControl::OnRescale()
{
  if (GetUI())
    RescaleBitmap(*GetUI());
}

IBSwitchControl::IBSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx)
    : ISwitchControlBase(FrameBounds(x, y, bitmap), paramIdx), IBitmapBase(bitmap)
{
  AttachIControl(this);
}

void IBSwitchControl::OnRescale()
{
  if (GetUI())
    RescaleBitmap(*GetUI());
}

void IBSwitchControl::OnMouseDown(float x, float y, const IMouseMod& mod)
{
  (void)x, (void)y, (void)mod;
  const double step = mBitmap.N() >= 2 ? 1.0 / static_cast<double>(mBitmap.N() - 1) : 1.0;
  double v = GetValue() + step;
  if (v > 1.001)
    v = 0.0;
  SetValue(v);
  SetDirty(true);
}

IBitmapControl::IBitmapControl(float x, float y, const IBitmap& bitmap, int paramIdx, EBlend blend)
    : IControl(FrameBounds(x, y, bitmap), paramIdx), IBitmapBase(bitmap)
{
  mBlend = IBlend(blend, 1.f);
  AttachIControl(this);
}

void IBitmapControl::OnRescale()
{
  if (GetUI())
    RescaleBitmap(*GetUI());
}

} // namespace iplug::igraphics
