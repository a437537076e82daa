// Draws Brevant's editor bitmaps with the NanoVG backend, headless, and writes them as PNG files:
// BG, KNOB, BUTTON and NEEDLE, each with an @2x variant drawn at screen scale 2 (never upscaled).
//
//   brevant-artwork --out DIR                      writes the eight PNGs into DIR
//   brevant-artwork --out DIR --preview FILE [--scale 2]
//                                                  also writes the panel as the editor shows it, built from
//                                                  DIR's PNGs, with the controls at assorted values
//
// Sprites with transparency are drawn twice, over black and over white: the difference gives each pixel's alpha
// and the black pass its colour, so no offscreen read-back is needed.

#include "IControl.h"
#include "IGraphicsEditorDelegate.h"
#include "IGraphicsLinux.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#ifndef BREVANT_ROBOTO_TTF
#define BREVANT_ROBOTO_TTF "/usr/share/fonts/truetype/roboto/unhinted/RobotoTTF/Roboto-Regular.ttf"
#endif

using namespace iplug;
using namespace iplug::igraphics;

namespace
{

// --- sizes and layout ------------------------------------------------------------------------------

constexpr int kPanelW = 997;
constexpr int kPanelH = 612;

constexpr int kKnobSize = 60;
constexpr int kKnobFrames = 61;
constexpr int kButtonW = 50;
constexpr int kButtonH = 24;
constexpr int kButtonFrames = 2;
// 148 wide centres each needle on its band's knob columns; 96 high keeps the @2x strip (81 x 192 px) within
// the 16384 px texture limit common to GL drivers.
constexpr int kNeedleW = 148;
constexpr int kNeedleH = 96;
constexpr int kNeedleFrames = 81;

enum class EKind
{
  kKnob,
  kSwitch,
  kMeter
};

struct Placement
{
  EKind kind;
  float x, y;
  const char* label;      // printed under the control on the background
  float labelShift = 0.f; // moves a label that is wider than its gap off centre, away from a neighbour
};

// Every control of the editor, in the order the layout attaches them.
// clang-format off
constexpr Placement kLayout[] = {
  {EKind::kSwitch, 271, 436, "Bypass"},
  {EKind::kSwitch, 546, 436, "Bypass"},
  {EKind::kSwitch, 822, 436, "Bypass"},
  {EKind::kSwitch, 133, 436, "Sidechain"},
  {EKind::kSwitch, 408, 436, "Sidechain"},
  {EKind::kSwitch, 683, 436, "Sidechain"},
  {EKind::kSwitch, 546, 538, "Bypass"},
  {EKind::kSwitch, 408, 538, "Oversampling", -5.f}, // clear of the mix knob at x 462
  {EKind::kKnob, 134, 213, "Attack"},
  {EKind::kKnob, 240, 213, "Release"},
  {EKind::kKnob, 134, 316, "Input"},
  {EKind::kKnob, 240, 316, "Output"},
  {EKind::kKnob, 187, 420, "Mix"},
  {EKind::kKnob, 409, 213, "Attack"},
  {EKind::kKnob, 515, 213, "Release"},
  {EKind::kKnob, 409, 316, "Input"},
  {EKind::kKnob, 515, 316, "Output"},
  {EKind::kKnob, 462, 420, "Mix"},
  {EKind::kKnob, 684, 213, "Attack"},
  {EKind::kKnob, 791, 213, "Release"},
  {EKind::kKnob, 684, 316, "Input"},
  {EKind::kKnob, 791, 316, "Output"},
  {EKind::kKnob, 738, 420, "Mix"},
  {EKind::kKnob, 324, 368, "Low X-Over", 3.f},  // clear of the bypass switch to the left
  {EKind::kKnob, 599, 368, "High X-Over", 3.f},
  {EKind::kKnob, 324, 522, "Input"},
  {EKind::kKnob, 599, 522, "Output"},
  {EKind::kKnob, 462, 522, "Mix"},
  {EKind::kMeter, 143, 25, nullptr},
  {EKind::kMeter, 418, 25, nullptr},
  {EKind::kMeter, 695, 25, nullptr},
};
// clang-format on

struct Band
{
  const char* title;
  float centreX; // the axis of the band's knob pairs and its mix knob
};

constexpr Band kBands[] = {{"Low", 217.f}, {"Mid", 492.f}, {"High", 768.f}};

IRECT FrameRect(const Placement& p)
{
  switch (p.kind)
  {
  case EKind::kKnob:
    return IRECT::MakeXYWH(p.x, p.y, kKnobSize, kKnobSize);
  case EKind::kSwitch:
    return IRECT::MakeXYWH(p.x, p.y, kButtonW, kButtonH);
  case EKind::kMeter:
    break;
  }
  return IRECT::MakeXYWH(p.x, p.y, kNeedleW, kNeedleH);
}

/** The line the label is centred in, just under the control's frame. */
IRECT LabelRect(const Placement& p)
{
  const IRECT f = FrameRect(p);
  const float cx = f.MW() + p.labelShift;
  return IRECT(cx - 45.f, f.B + 1.f, cx + 45.f, f.B + 15.f);
}

// --- palette ------------------------------------------------------------------------------------------

const IColor kPanelTop(255, 44, 47, 52);
const IColor kPanelBottom(255, 34, 37, 41);
const IColor kBridgeHi(255, 27, 29, 32);
const IColor kBridgeLo(255, 33, 35, 39);
const IColor kFooterHi(255, 29, 31, 35);
const IColor kFooterLo(255, 23, 25, 28);
const IColor kEdgeDark(255, 16, 17, 19);
const IColor kEdgeLight(255, 58, 62, 68);
const IColor kRule(255, 66, 71, 78);
const IColor kLabel(255, 184, 189, 196);
const IColor kTitle(255, 226, 229, 233);
const IColor kMuted(255, 120, 126, 134);
const IColor kAccent(255, 236, 150, 58);
const IColor kTrack(255, 19, 20, 23);
const IColor kFaceLight(255, 246, 238, 214);
const IColor kFaceDark(255, 220, 206, 168);
const IColor kInk(255, 43, 38, 31);
const IColor kInkRed(255, 170, 52, 38);
const IColor kNeedle(255, 24, 22, 20);

constexpr const char* kFont = "Roboto-Regular";

IPattern Vertical(float top, float bottom, const IColor& a, const IColor& b)
{
  return IPattern::CreateLinearGradient(0.f, top, 0.f, bottom, {{a, 0.f}, {b, 1.f}});
}

void FillRoundRect(IGraphics& g, const IRECT& r, float radius, const IPattern& pattern)
{
  g.PathClear();
  g.PathRoundRect(r, radius);
  g.PathFill(pattern);
}

/** A point at radius and angle (degrees clockwise from 12 o'clock) around (cx, cy). */
void Polar(float cx, float cy, float radius, float degrees, float& x, float& y)
{
  const float a = degrees * static_cast<float>(M_PI) / 180.f;
  x = cx + radius * std::sin(a);
  y = cy - radius * std::cos(a);
}

void RadialLine(IGraphics& g, const IColor& c, float cx, float cy, float r1, float r2, float degrees, float width,
                ELineCap cap = ELineCap::kButt)
{
  float x1, y1, x2, y2;
  Polar(cx, cy, r1, degrees, x1, y1);
  Polar(cx, cy, r2, degrees, x2, y2);
  IStrokeOptions options;
  options.mCapOption = cap;
  g.PathClear();
  g.PathMoveTo(x1, y1);
  g.PathLineTo(x2, y2);
  g.PathStroke(IPattern(c), width, options);
}

// --- knob ------------------------------------------------------------------------------------------------

constexpr float kKnobMinAngle = -135.f;
constexpr float kKnobMaxAngle = 135.f;

void DrawKnob(IGraphics& g, const IRECT& r, double value)
{
  const float cx = r.MW();
  const float cy = r.MH();
  const float angle = kKnobMinAngle + (kKnobMaxAngle - kKnobMinAngle) * static_cast<float>(value);

  // Soft contact shadow under the body.
  g.PathClear();
  g.PathCircle(cx, cy + 2.f, 24.f);
  g.PathFill(
      IPattern::CreateRadialGradient(cx, cy + 2.f, 24.f, {{IColor(150, 0, 0, 0), 0.7f}, {IColor(0, 0, 0, 0), 1.f}}));

  // Value ring: a recessed track, lit from the minimum up to the value.
  g.DrawArc(kTrack, cx, cy, 26.f, kKnobMinAngle, kKnobMaxAngle, nullptr, 3.f);
  if (angle > kKnobMinAngle + 0.5f)
    g.DrawArc(kAccent, cx, cy, 26.f, kKnobMinAngle, angle, nullptr, 3.f);

  // Body with a machined rim, then a flatter cap.
  g.PathClear();
  g.PathCircle(cx, cy, 20.5f);
  g.PathFill(Vertical(cy - 20.5f, cy + 20.5f, IColor(255, 96, 102, 110), IColor(255, 30, 32, 36)));
  g.DrawCircle(kEdgeDark, cx, cy, 20.5f, nullptr, 1.f);
  g.PathClear();
  g.PathCircle(cx, cy, 16.5f);
  g.PathFill(Vertical(cy - 16.5f, cy + 16.5f, IColor(255, 66, 71, 78), IColor(255, 48, 52, 58)));

  // Pointer: bright, thick and running almost to the rim, so the position reads at a glance.
  RadialLine(g, IColor(255, 245, 245, 242), cx, cy, 6.f, 17.5f, angle, 3.f, ELineCap::kRound);
}

// --- switch -----------------------------------------------------------------------------------------------

void DrawButton(IGraphics& g, const IRECT& r, bool on)
{
  const IRECT body = r.GetPadded(-2.f, -2.f, -2.f, -3.f);
  FillRoundRect(g, body.GetTranslated(0.f, 1.5f), 4.f, IPattern(IColor(120, 0, 0, 0)));
  FillRoundRect(g, body, 4.f, Vertical(body.T, body.B, IColor(255, 78, 83, 90), IColor(255, 44, 47, 52)));
  g.DrawRoundRect(kEdgeDark, body, 4.f, nullptr, 1.f);

  // LED bar across the key: dark when off, accent with a halo when on.
  const IRECT led(body.MW() - 11.f, body.MH() - 2.5f, body.MW() + 11.f, body.MH() + 2.5f);
  if (on)
  {
    for (float pad = 4.f; pad > 0.f; pad -= 1.f)
      FillRoundRect(g, led.GetPadded(pad), 2.5f + pad, IPattern(kAccent.WithOpacity(0.09f)));
    FillRoundRect(g, led, 2.5f, Vertical(led.T, led.B, IColor(255, 255, 206, 140), kAccent));
  }
  else
  {
    FillRoundRect(g, led, 2.5f, IPattern(IColor(255, 22, 23, 26)));
    g.DrawLine(IColor(28, 255, 255, 255), led.L + 2.f, led.B + 0.75f, led.R - 2.f, led.B + 0.75f);
  }
}

// --- meter ------------------------------------------------------------------------------------------------

// The needle turns about a pivot below its frame, hidden by the face's cover plate; its angle is linear in
// the linear gain v, as the needle control picks frames.
constexpr float kPivotDrop = 112.f; // pivot below the frame's top edge
constexpr float kSweep = 42.f;      // degrees either side of vertical
constexpr float kNeedleLength = 95.f;
constexpr float kScaleRadius = 84.f;

struct MeterGeometry
{
  float px, py;

  explicit MeterGeometry(const IRECT& needleFrame) : px(needleFrame.MW()), py(needleFrame.T + kPivotDrop) {}
  static float Angle(double v) { return -kSweep + 2.f * kSweep * static_cast<float>(std::clamp(v, 0.0, 1.0)); }
  static float AngleAtDB(double dB) { return Angle(std::pow(10.0, dB / 20.0)); }
};

void DrawNeedle(IGraphics& g, const IRECT& r, double v)
{
  const MeterGeometry m(r);
  const float a = MeterGeometry::Angle(v) * static_cast<float>(M_PI) / 180.f;
  const float dx = std::sin(a), dy = -std::cos(a); // along the needle
  const float nx = -dy, ny = dx;                   // across it
  auto needle = [&](float ox, float oy, const IColor& c)
  {
    const float bx = m.px + ox, by = m.py + oy;
    const float tx = bx + dx * kNeedleLength, ty = by + dy * kNeedleLength;
    float xs[4] = {bx + nx * 1.4f, tx + nx * 0.55f, tx - nx * 0.55f, bx - nx * 1.4f};
    float ys[4] = {by + ny * 1.4f, ty + ny * 0.55f, ty - ny * 0.55f, by - ny * 1.4f};
    g.FillConvexPolygon(c, xs, ys, 4);
  };
  needle(1.2f, 1.6f, IColor(45, 0, 0, 0));
  needle(0.f, 0.f, kNeedle);
}

struct Tick
{
  double dB;
  const char* text; // null for a minor tick
};

// Where gain reduction matters most the scale is densest; -inf is the needle's left stop.
constexpr Tick kTicks[] = {{0.0, "0"},      {-1.0, "1"},      {-2.0, "2"},  {-3.0, "3"},
                           {-4.0, nullptr}, {-5.0, nullptr},  {-6.0, "6"},  {-8.0, nullptr},
                           {-10.0, "10"},   {-15.0, nullptr}, {-20.0, "20"}};

void DrawMeterFace(IGraphics& g, const IRECT& needleFrame)
{
  const MeterGeometry m(needleFrame);
  const float cx = m.px;
  const IRECT bezel(cx - 92.f, 8.f, cx + 92.f, 148.f);
  const IRECT face(cx - 86.f, 14.f, cx + 86.f, needleFrame.B);
  const IRECT plate(cx - 86.f, needleFrame.B, cx + 86.f, 142.f);

  FillRoundRect(g, bezel.GetTranslated(0.f, 1.f), 9.f, IPattern(IColor(255, 52, 56, 62)));
  FillRoundRect(g, bezel, 9.f, Vertical(bezel.T, bezel.B, IColor(255, 14, 15, 17), IColor(255, 24, 26, 29)));

  g.PathClear();
  g.PathRoundRect(face, 5.f, 5.f, 0.f, 0.f);
  g.PathFill(IPattern::CreateRadialGradient(cx, face.T + 70.f, 120.f, {{kFaceLight, 0.25f}, {kFaceDark, 1.f}}));

  // Scale: a thin arc, deep reduction marked in red, major ticks with their dB values, minor ticks between.
  const float left = MeterGeometry::Angle(0.0);
  const float right = MeterGeometry::Angle(1.0);
  g.DrawArc(kInk, m.px, m.py, kScaleRadius, left, right, nullptr, 1.f);
  g.DrawArc(kInkRed, m.px, m.py, kScaleRadius + 2.5f, left, MeterGeometry::AngleAtDB(-10.0), nullptr, 4.f);
  RadialLine(g, kInk, m.px, m.py, kScaleRadius, kScaleRadius + 8.f, left, 1.5f);
  const IText scaleText(10.5f, kInk, kFont);
  for (const Tick& t : kTicks)
  {
    const float a = MeterGeometry::AngleAtDB(t.dB);
    RadialLine(g, kInk, m.px, m.py, kScaleRadius, kScaleRadius + (t.text ? 8.f : 5.f), a, t.text ? 1.5f : 1.f);
    if (t.text)
    {
      float x, y;
      Polar(m.px, m.py, kScaleRadius + 16.f, a, x, y);
      g.DrawText(scaleText, t.text, IRECT(x - 12.f, y - 7.f, x + 12.f, y + 7.f));
    }
  }
  // Above the numbers, where the needle never reaches: a title under it would be cut by the needle at -6 dB.
  g.DrawText(IText(8.5f, IColor(200, kInk.R, kInk.G, kInk.B), kFont), "GAIN REDUCTION  dB",
             IRECT(cx - 60.f, face.T + 3.f, cx + 60.f, face.T + 13.f));

  // Cover plate over the pivot: the needle frames end where it begins.
  g.PathClear();
  g.PathRoundRect(plate, 0.f, 0.f, 5.f, 5.f);
  g.PathFill(Vertical(plate.T, plate.B, IColor(255, 40, 43, 48), IColor(255, 26, 28, 31)));
  g.DrawLine(IColor(255, 12, 13, 15), plate.L, plate.T + 0.5f, plate.R, plate.T + 0.5f);
  g.DrawLine(IColor(255, 70, 75, 82), plate.L, plate.T + 1.5f, plate.R, plate.T + 1.5f);
}

// --- background --------------------------------------------------------------------------------------------

constexpr float kBridgeBottom = 160.f; // meter bridge above, band controls below
constexpr float kFooterTop = 508.f;    // global controls, name and maker

void DrawLabel(IGraphics& g, const Placement& p) { g.DrawText(IText(11.5f, kLabel, kFont), p.label, LabelRect(p)); }

void DrawBackground(IGraphics& g)
{
  const IRECT all(0.f, 0.f, kPanelW, kPanelH);
  g.FillRect(kPanelBottom, all);
  g.PathClear();
  g.PathRect(IRECT(0.f, kBridgeBottom, kPanelW, kFooterTop));
  g.PathFill(Vertical(kBridgeBottom, kFooterTop, kPanelTop, kPanelBottom));

  // Meter bridge and footer sit a step darker, each edged by a shadow line and a highlight.
  g.PathClear();
  g.PathRect(IRECT(0.f, 0.f, kPanelW, kBridgeBottom));
  g.PathFill(Vertical(0.f, kBridgeBottom, kBridgeHi, kBridgeLo));
  g.FillRect(kEdgeDark, IRECT(0.f, kBridgeBottom - 1.f, kPanelW, kBridgeBottom));
  g.FillRect(kEdgeLight, IRECT(0.f, kBridgeBottom, kPanelW, kBridgeBottom + 1.f));

  g.PathClear();
  g.PathRect(IRECT(0.f, kFooterTop, kPanelW, kPanelH));
  g.PathFill(Vertical(kFooterTop, kPanelH, kFooterHi, kFooterLo));
  g.FillRect(kEdgeDark, IRECT(0.f, kFooterTop - 1.f, kPanelW, kFooterTop));
  g.FillRect(IColor(255, 48, 52, 57), IRECT(0.f, kFooterTop, kPanelW, kFooterTop + 1.f));

  for (const Placement& p : kLayout)
    if (p.kind == EKind::kMeter)
      DrawMeterFace(g, FrameRect(p));

  // Band titles with a rule either side, over each column.
  const IText title(15.f, kTitle, kFont);
  for (const Band& b : kBands)
  {
    const IRECT box(b.centreX - 40.f, 170.f, b.centreX + 40.f, 188.f);
    IRECT measured = box;
    g.MeasureText(title, b.title, measured);
    const float gap = measured.W() > 0.f ? measured.W() / 2.f + 10.f : 24.f;
    g.DrawText(title, b.title, box);
    g.DrawLine(kRule, b.centreX - 92.f, box.MH() + 0.5f, b.centreX - gap, box.MH() + 0.5f);
    g.DrawLine(kRule, b.centreX + gap, box.MH() + 0.5f, b.centreX + 92.f, box.MH() + 0.5f);
  }

  // The crossover knobs sit on the borders between the bands: a groove runs down each border to its knob.
  for (const Placement& p : kLayout)
    if (p.kind == EKind::kKnob && p.y == 368.f)
    {
      const float x = std::floor(FrameRect(p).MW());
      g.FillRect(kEdgeDark, IRECT(x, 176.f, x + 1.f, p.y - 4.f));
      g.FillRect(IColor(255, 56, 60, 66), IRECT(x + 1.f, 176.f, x + 2.f, p.y - 4.f));
    }

  for (const Placement& p : kLayout)
    if (p.label)
      DrawLabel(g, p);

  // Name and maker in the footer's free corners (the corner resizer keeps the bottom-right 20 px).
  g.DrawText(IText(24.f, kTitle, kFont, EAlign::kNear), "BREVANT", IRECT(36.f, 540.f, 300.f, 566.f));
  g.DrawText(IText(10.f, kMuted, kFont, EAlign::kNear), "THREE-BAND DYNAMICS", IRECT(37.f, 566.f, 300.f, 580.f));
  g.DrawText(IText(12.f, kMuted, kFont, EAlign::kFar), "QUILLMERE", IRECT(700.f, 546.f, 954.f, 562.f));
}

// --- headless rendering ------------------------------------------------------------------------------------

using DrawFunc = std::function<void(IGraphics&, const IRECT&)>;

struct Image
{
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;

  uint8_t* At(int x, int y) { return &rgba[(static_cast<size_t>(y) * static_cast<size_t>(w) + x) * 4]; }
};

class ArtDelegate : public IGEditorDelegate
{
public:
  ArtDelegate() : IGEditorDelegate(0) {}
  void Attach(IGraphics* g) { mGraphics = g; }
};

class FuncControl : public IControl
{
public:
  explicit FuncControl(const IRECT& bounds) : IControl(bounds) {}
  void Draw(IGraphics& g) override
  {
    if (mFunc)
      mFunc(g, GetRECT());
  }
  DrawFunc mFunc;
};

/** A headless editor of one bitmap's logical size, drawing whatever it is given. */
class Canvas
{
public:
  Canvas(int w, int h, float scale) : mGraphics(mDelegate, w, h, 60, 1.f)
  {
    mDelegate.Attach(&mGraphics);
    mOpen = mGraphics.OpenHeadless(scale);
    if (!mOpen)
    {
      std::fprintf(stderr, "brevant-artwork: no headless GL: %s\n", mGraphics.GetSurfaceError());
      return;
    }
    mFontLoaded = mGraphics.LoadFont(kFont, BREVANT_ROBOTO_TTF);
    mControl = new FuncControl(IRECT(0.f, 0.f, w, h));
    mGraphics.AttachControl(mControl);
  }
  ~Canvas()
  {
    if (mOpen)
      mGraphics.CloseHeadless();
    mDelegate.Attach(nullptr);
  }

  bool IsOpen() const { return mOpen; }
  bool FontLoaded() const { return mFontLoaded; }
  IGraphics& G() { return mGraphics; }

  /** Draws func over an opaque backdrop and reads the frame back. */
  bool Draw(const DrawFunc& func, const IColor& backdrop, Image& out)
  {
    mControl->mFunc = [&](IGraphics& g, const IRECT& r)
    {
      g.FillRect(backdrop, r);
      func(g, r);
    };
    mGraphics.SetAllControlsDirty();
    mGraphics.OnFrameTick();
    mControl->mFunc = nullptr;
    return mGraphics.ReadFramePixels(out.rgba, out.w, out.h);
  }

  /** Draws func on a transparent ground: alpha from the black and white passes, colour from the black pass. */
  bool DrawTransparent(const DrawFunc& func, Image& out)
  {
    Image white;
    if (!Draw(func, COLOR_BLACK, out) || !Draw(func, COLOR_WHITE, white))
      return false;
    for (size_t i = 0; i < out.rgba.size(); i += 4)
    {
      const int spread = (3 * 255 - (white.rgba[i] - out.rgba[i]) - (white.rgba[i + 1] - out.rgba[i + 1]) -
                          (white.rgba[i + 2] - out.rgba[i + 2]) + 1) /
                         3;
      const int a = std::clamp(spread, 0, 255);
      for (int c = 0; c < 3; c++)
        out.rgba[i + c] = a ? static_cast<uint8_t>(std::min(255, (out.rgba[i + c] * 255 + a / 2) / a)) : 0;
      out.rgba[i + 3] = static_cast<uint8_t>(a);
    }
    return true;
  }

private:
  ArtDelegate mDelegate;
  IGraphicsLinux mGraphics;
  FuncControl* mControl = nullptr;
  bool mOpen = false;
  bool mFontLoaded = false;
};

bool WritePNG(const std::string& path, const Image& img)
{
  if (!stbi_write_png(path.c_str(), img.w, img.h, 4, img.rgba.data(), img.w * 4))
  {
    std::fprintf(stderr, "brevant-artwork: cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s  %d x %d\n", path.c_str(), img.w, img.h);
  return true;
}

std::string ScaledName(const char* base, int scale)
{
  return scale == 1 ? std::string(base) + ".png" : std::string(base) + "@" + std::to_string(scale) + "x.png";
}

/** A vertical strip of n transparent frames, frame k (0-based) drawn by func(g, r, k). */
bool WriteStrip(const std::string& dir, const char* base, int fw, int fh, int n, int scale,
                const std::function<void(IGraphics&, const IRECT&, int)>& func)
{
  Canvas canvas(fw, fh, static_cast<float>(scale));
  if (!canvas.IsOpen())
    return false;
  Image strip;
  strip.w = fw * scale;
  strip.h = fh * scale * n;
  strip.rgba.resize(static_cast<size_t>(strip.w) * static_cast<size_t>(strip.h) * 4);
  for (int k = 0; k < n; k++)
  {
    Image frame;
    if (!canvas.DrawTransparent([&](IGraphics& g, const IRECT& r) { func(g, r, k); }, frame) || frame.w != strip.w ||
        frame.h != fh * scale)
      return false;
    std::memcpy(strip.At(0, k * fh * scale), frame.rgba.data(), frame.rgba.size());
  }
  return WritePNG(dir + "/" + ScaledName(base, scale), strip);
}

bool WriteBackground(const std::string& dir, int scale)
{
  Canvas canvas(kPanelW, kPanelH, static_cast<float>(scale));
  if (!canvas.IsOpen())
    return false;
  if (!canvas.FontLoaded())
    std::fprintf(stderr, "brevant-artwork: warning: font %s not loaded, the background has no text\n",
                 BREVANT_ROBOTO_TTF);
  Image img;
  return canvas.Draw([](IGraphics& g, const IRECT&) { DrawBackground(g); }, COLOR_BLACK, img) &&
         WritePNG(dir + "/" + ScaledName("BG", scale), img);
}

bool Overlap(const IRECT& a, const IRECT& b) { return a.L < b.R && b.L < a.R && a.T < b.B && b.T < a.B; }

/** Checks that no two controls and no label and control overlap, and everything lies on the panel. */
bool CheckLayout()
{
  Canvas canvas(kPanelW, kPanelH, 1.f);
  if (!canvas.IsOpen())
    return false;
  const IText text(11.5f, kLabel, kFont);
  std::vector<std::pair<std::string, IRECT>> boxes;
  for (const Placement& p : kLayout)
  {
    boxes.emplace_back(std::string("control at ") + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)),
                       FrameRect(p));
    if (p.label && canvas.FontLoaded())
    {
      IRECT r = LabelRect(p);
      canvas.G().MeasureText(text, p.label, r);
      boxes.emplace_back(std::string("label '") + p.label + "'", r);
    }
  }
  bool ok = true;
  for (size_t i = 0; i < boxes.size(); i++)
  {
    const IRECT& a = boxes[i].second;
    if (a.L < 0.f || a.T < 0.f || a.R > kPanelW || a.B > kPanelH)
    {
      std::fprintf(stderr, "brevant-artwork: %s leaves the panel\n", boxes[i].first.c_str());
      ok = false;
    }
    for (size_t j = i + 1; j < boxes.size(); j++)
      if (Overlap(a, boxes[j].second))
      {
        std::fprintf(stderr, "brevant-artwork: %s (%g..%g, %g..%g) overlaps %s (%g..%g, %g..%g)\n",
                     boxes[i].first.c_str(), a.L, a.R, a.T, a.B, boxes[j].first.c_str(), boxes[j].second.L,
                     boxes[j].second.R, boxes[j].second.T, boxes[j].second.B);
        ok = false;
      }
  }
  if (!canvas.FontLoaded())
    std::fprintf(stderr, "brevant-artwork: warning: font not loaded, labels not checked\n");
  return ok;
}

/** The panel as the editor shows it, built from the PNGs in dir. */
bool WritePreview(const std::string& dir, const std::string& path, int scale)
{
  Canvas canvas(kPanelW, kPanelH, static_cast<float>(scale));
  if (!canvas.IsOpen())
    return false;
  IGraphics& g = canvas.G();
  const IBitmap bg = g.LoadBitmap((dir + "/BG.png").c_str(), 1);
  const IBitmap knob = g.LoadBitmap((dir + "/KNOB.png").c_str(), kKnobFrames);
  const IBitmap button = g.LoadBitmap((dir + "/BUTTON.png").c_str(), kButtonFrames);
  const IBitmap needle = g.LoadBitmap((dir + "/NEEDLE.png").c_str(), kNeedleFrames);
  if (!bg.IsValid() || !knob.IsValid() || !button.IsValid() || !needle.IsValid())
  {
    std::fprintf(stderr, "brevant-artwork: the PNGs in %s do not load\n", dir.c_str());
    return false;
  }
  Image img;
  const bool drawn = canvas.Draw(
      [&](IGraphics& gr, const IRECT&)
      {
        gr.DrawBitmap(bg, IRECT(0.f, 0.f, kPanelW, kPanelH), 1);
        int knobs = 0, switches = 0, meters = 0;
        for (const Placement& p : kLayout)
        {
          switch (p.kind)
          {
          case EKind::kKnob:
            // Spread over the range, the first at the minimum and one at the maximum.
            gr.DrawBitmap(knob, IRECT::MakeXYWH(p.x, p.y, knob.FW(), knob.FH()), (knobs++ * 23) % kKnobFrames + 1);
            break;
          case EKind::kSwitch:
            // Bypass switches at their default (processing), one sidechain and oversampling on.
            gr.DrawBitmap(button, IRECT::MakeXYWH(p.x, p.y, button.FW(), button.FH()),
                          (switches < 3 || switches == 4 || switches >= 6) ? 2 : 1);
            switches++;
            break;
          case EKind::kMeter:
          {
            static constexpr int kFrames[] = {81, 61, 41};
            gr.DrawBitmap(needle, IRECT::MakeXYWH(p.x, p.y, needle.FW(), needle.FH()), kFrames[meters++ % 3]);
            break;
          }
          }
        }
      },
      COLOR_BLACK, img);
  return drawn && WritePNG(path, img);
}

int Usage()
{
  std::fprintf(stderr, "usage: brevant-artwork --out DIR [--preview FILE [--scale 1|2]]\n");
  return 2;
}

} // namespace

int main(int argc, char** argv)
{
  std::string out, preview;
  int previewScale = 1;
  for (int i = 1; i < argc; i++)
  {
    const std::string arg = argv[i];
    if (i + 1 >= argc)
      return Usage();
    if (arg == "--out")
      out = argv[++i];
    else if (arg == "--preview")
      preview = argv[++i];
    else if (arg == "--scale")
      previewScale = std::atoi(argv[++i]);
    else
      return Usage();
  }
  if (out.empty() || (previewScale != 1 && previewScale != 2))
    return Usage();

  bool ok = true;
  if (preview.empty())
  {
    for (int scale : {1, 2})
    {
      ok = ok && WriteBackground(out, scale);
      ok = ok && WriteStrip(out, "KNOB", kKnobSize, kKnobSize, kKnobFrames, scale,
                            [](IGraphics& g, const IRECT& r, int k) { DrawKnob(g, r, k / double(kKnobFrames - 1)); });
      ok = ok && WriteStrip(out, "BUTTON", kButtonW, kButtonH, kButtonFrames, scale,
                            [](IGraphics& g, const IRECT& r, int k) { DrawButton(g, r, k == 1); });
      // Frame k + 1 shows linear gain k / 80: the last frame rests at the right end.
      ok = ok &&
           WriteStrip(out, "NEEDLE", kNeedleW, kNeedleH, kNeedleFrames, scale,
                      [](IGraphics& g, const IRECT& r, int k) { DrawNeedle(g, r, k / double(kNeedleFrames - 1)); });
    }
    ok = CheckLayout() && ok;
  }
  else
    ok = WritePreview(out, preview, previewScale);
  return ok ? 0 : 1;
}
