// Brevant's editor: the graphics context it opens in and the panel laid out on it.

#include "Brevant.h"

#include "IBitmapControls.h"
#include "IGraphicsLinux.h"

using namespace iplug;
using namespace iplug::igraphics;

namespace
{
enum class EKind
{
  kSwitch,
  kKnob,
  kNeedle
};

struct Placement
{
  EKind kind;
  float x, y;
  int paramIdx;
};

// Attach order is the panel's control order: switches, knobs, then the three needle meters.
constexpr Placement kPanel[] = {{EKind::kSwitch, 271, 436, kLowBypass},    {EKind::kSwitch, 546, 436, kMidBypass},
                                {EKind::kSwitch, 822, 436, kHighBypass},   {EKind::kSwitch, 133, 436, kLowSidechain},
                                {EKind::kSwitch, 408, 436, kMidSidechain}, {EKind::kSwitch, 683, 436, kHighSidechain},
                                {EKind::kSwitch, 546, 538, kBypass},       {EKind::kSwitch, 408, 538, kOversampling},
                                {EKind::kKnob, 134, 213, kLowAttack},      {EKind::kKnob, 240, 213, kLowRelease},
                                {EKind::kKnob, 134, 316, kLowInput},       {EKind::kKnob, 240, 316, kLowOutput},
                                {EKind::kKnob, 187, 420, kLowMix},         {EKind::kKnob, 409, 213, kMidAttack},
                                {EKind::kKnob, 515, 213, kMidRelease},     {EKind::kKnob, 409, 316, kMidInput},
                                {EKind::kKnob, 515, 316, kMidOutput},      {EKind::kKnob, 462, 420, kMidMix},
                                {EKind::kKnob, 684, 213, kHighAttack},     {EKind::kKnob, 791, 213, kHighRelease},
                                {EKind::kKnob, 684, 316, kHighInput},      {EKind::kKnob, 791, 316, kHighOutput},
                                {EKind::kKnob, 738, 420, kHighMix},        {EKind::kKnob, 324, 368, kLowXover},
                                {EKind::kKnob, 599, 368, kHighXover},      {EKind::kKnob, 324, 522, kGlobalInput},
                                {EKind::kKnob, 599, 522, kGlobalOutput},   {EKind::kKnob, 462, 522, kGlobalMix},
                                {EKind::kNeedle, 143, 25, kLowMeter},      {EKind::kNeedle, 418, 25, kMidMeter},
                                {EKind::kNeedle, 695, 25, kHighMeter}};
} // namespace

IGraphics* Brevant::MakeEditorGraphics()
{
  return MakeGraphics(*this, brevant::kEditorWidth, brevant::kEditorHeight, brevant::kEditorFPS, 1.f);
}

void Brevant::LayoutEditor(IGraphics* pGraphics)
{
  IGraphics& g = *pGraphics;
  g.AttachCornerResizer(EUIResizerMode::Scale, false, COLOR_TRANSLUCENT, COLOR_BLACK, COLOR_BLACK, 20.f);
  g.AttachBackground("BG.png");
  g.EnableMouseOver(true);
  g.EnableMultiTouch(g.PlatformSupportsMultiTouch());
  g.AttachBubbleControl(DEFAULT_TEXT);
  g.LoadFont("Roboto-Regular", "Roboto-Regular.ttf");

  for (const Placement& p : kPanel)
  {
    switch (p.kind)
    {
    case EKind::kSwitch:
    {
      const IBitmap bitmap = g.LoadBitmap("BUTTON.png", 2, false, 0);
      IControl* pSwitch = new IBSwitchControl(p.x, p.y, bitmap, p.paramIdx);
      if (p.paramIdx == kOversampling)
        pSwitch->SetActionFunction(ShowBubbleVerticalActionFuncSTD);
      g.AttachControl(pSwitch, -1, "");
      break;
    }
    case EKind::kKnob:
    {
      const IBitmap bitmap = g.LoadBitmap("KNOB.png", 61, false, 0);
      IControl* pKnob = new IBKnobControl(p.x, p.y, bitmap, p.paramIdx, EDirection::kVertical, 4.0);
      pKnob->SetActionFunction(ShowBubbleVerticalActionFuncSTD);
      g.AttachControl(pKnob, -1, "");
      break;
    }
    case EKind::kNeedle:
    {
      const IBitmap bitmap = g.LoadBitmap("NEEDLE.png", 81, false, 0);
      g.AttachControl(new IBitmapControl(p.x, p.y, bitmap, p.paramIdx, EBlend::kDefault), -1, "");
      break;
    }
    }
  }
}

void Brevant::OnUIOpen()
{
  Plugin::OnUIOpen();
  // The meter parameters hold no value of their own: the needles take the readings last shown.
  for (int band = 0; band < kNumBands; band++)
    SendParameterValueFromDelegate(kLowMeter + band, mShownMeters[band], true);
}
