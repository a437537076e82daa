#pragma once
// Controls that draw one frame of a multi-frame bitmap chosen by their value.

#include "IControl.h"

namespace iplug::igraphics
{

/** Mix-in holding the bitmap and drawing the frame for the control's first value. */
class IBitmapBase
{
public:
  explicit IBitmapBase(const IBitmap& bitmap) : mBitmap(bitmap) {}
  virtual ~IBitmapBase() = default;

  void AttachIControl(IControl* pControl) { mControl = pControl; }
  /** Frame 1 shows value 0 and frame N value 1, centred on the control's drawing bounds. */
  void DrawBitmap(IGraphics& g);
  /** Reloads the bitmap for the current screen scale. */
  void RescaleBitmap(IGraphics& g);
  /** 1-based frame shown for value v of an N-frame bitmap. */
  static int FrameForValue(int nFrames, double v);
  /** Bounds of one frame with its top-left corner at (x, y). */
  static IRECT FrameBounds(float x, float y, const IBitmap& bitmap)
  {
    return IRECT(x, y, x + static_cast<float>(bitmap.FW()), y + static_cast<float>(bitmap.FH()));
  }
  const IBitmap& GetBitmap() const { return mBitmap; }

protected:
  IBitmap mBitmap;
  IControl* mControl = nullptr;
};

/** A knob drawn from a frame strip. */
class IBKnobControl : public IKnobControlBase, public IBitmapBase
{
public:
  IBKnobControl(float x, float y, const IBitmap& bitmap, int paramIdx, EDirection direction = EDirection::kVertical,
                double gearing = kDefaultGearing);

  void Draw(IGraphics& g) override { DrawBitmap(g); }
  void OnRescale() override;
};

/** A switch that steps through the frames of its bitmap. */
class IBSwitchControl : public ISwitchControlBase, public IBitmapBase
{
public:
  IBSwitchControl(float x, float y, const IBitmap& bitmap, int paramIdx = kNoParameter);

  void Draw(IGraphics& g) override { DrawBitmap(g); }
  void OnRescale() override;
  void OnMouseDown(float x, float y, const IMouseMod& mod) override;
};

/** Display only: a background, or a meter showing its parameter as a frame. */
class IBitmapControl : public IControl, public IBitmapBase
{
public:
  IBitmapControl(float x, float y, const IBitmap& bitmap, int paramIdx = kNoParameter, EBlend blend = EBlend::kDefault);

  void Draw(IGraphics& g) override { DrawBitmap(g); }
  void OnRescale() override;
};

} // namespace iplug::igraphics
