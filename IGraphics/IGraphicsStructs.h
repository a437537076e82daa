#pragma once
// Value types of the graphics layer: rectangles, colours, text styles, bitmaps, pointer and key events,
// transforms and the drawing options of paths.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "IGraphicsConstants.h"
#include "wdlstring.h"

namespace iplug::igraphics
{

class IControl;
class IGraphics;
struct IColor;
struct IKeyPress;

/** Identifies one pointer: 0 for the mouse, non-zero for a touch. */
using ITouchID = uintptr_t;

using IActionFunction = std::function<void(IControl*)>;
using IAnimationFunction = std::function<void(IControl*)>;
/** Key handler of the graphics context; the bool is true for key-up. Returns whether the key was handled. */
using IKeyHandlerFunc = std::function<bool(const IKeyPress& key, bool isUp)>;
using IDisplayTickFunc = std::function<void()>;
using IUIAppearanceChangedFunc = std::function<void(EUIAppearance appearance)>;
using IColorPickerHandlerFunc = std::function<void(const IColor& color)>;
using IFileDialogCompletionHandlerFunc = std::function<void(const WDL_String& fileName, const WDL_String& path)>;
using IMsgBoxCompletionHandlerFunc = std::function<void(EMsgBoxResult result)>;

/** Colour: alpha, red, green, blue, each 0-255. */
struct IColor
{
  int A = 255;
  int R = 0;
  int G = 0;
  int B = 0;

  constexpr IColor() = default;
  constexpr IColor(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}

  constexpr bool operator==(const IColor& other) const = default;

  void Clamp()
  {
    A = std::clamp(A, 0, 255);
    R = std::clamp(R, 0, 255);
    G = std::clamp(G, 0, 255);
    B = std::clamp(B, 0, 255);
  }
  /** Alpha scaled by a blend weight, as a 0..1 float. */
  float GetAlphaWeighted(float weight) const { return static_cast<float>(A) / 255.f * weight; }
  IColor WithOpacity(float alpha) const
  {
    IColor c = *this;
    c.A = static_cast<int>(std::lround(std::clamp(alpha, 0.f, 1.f) * 255.f));
    return c;
  }
};

inline constexpr IColor COLOR_TRANSPARENT(0, 0, 0, 0);
inline constexpr IColor COLOR_TRANSLUCENT(10, 0, 0, 0);
inline constexpr IColor COLOR_BLACK(255, 0, 0, 0);
inline constexpr IColor COLOR_WHITE(255, 255, 255, 255);
inline constexpr IColor COLOR_RED(255, 255, 0, 0);
inline constexpr IColor COLOR_GREEN(255, 0, 255, 0);
inline constexpr IColor COLOR_BLUE(255, 0, 0, 255);
inline constexpr IColor COLOR_GRAY(255, 127, 127, 127);
inline constexpr IColor COLOR_LIGHT_GRAY(255, 240, 240, 240);
inline constexpr IColor COLOR_DARK_GRAY(255, 70, 70, 70);

/** Composite method and opacity of a drawing operation. */
struct IBlend
{
  EBlend mMethod = EBlend::kDefault;
  float mWeight = 1.f;

  constexpr IBlend() = default;
  constexpr explicit IBlend(EBlend method, float weight = 1.f) : mMethod(method), mWeight(weight) {}
};

/** Opacity of an optional blend: 1 without one. */
inline float BlendWeight(const IBlend* blend) { return blend ? blend->mWeight : 1.f; }

/** Text style. */
struct IText
{
  char mFont[kMaxFontIDLength] = {};
  float mSize = kDefaultTextSize;
  IColor mFGColor = COLOR_BLACK;
  IColor mTextEntryBGColor = COLOR_WHITE;
  IColor mTextEntryFGColor = COLOR_BLACK;
  float mAngle = 0.f;
  EAlign mAlign = EAlign::kCenter;
  EVAlign mVAlign = EVAlign::kMiddle;

  IText(float size = kDefaultTextSize, const IColor& color = COLOR_BLACK, const char* fontID = nullptr,
        EAlign align = EAlign::kCenter, EVAlign valign = EVAlign::kMiddle, float angle = 0.f,
        const IColor& textEntryBGColor = COLOR_WHITE, const IColor& textEntryFGColor = COLOR_BLACK)
      : mSize(size), mFGColor(color), mTextEntryBGColor(textEntryBGColor), mTextEntryFGColor(textEntryFGColor),
        mAngle(angle), mAlign(align), mVAlign(valign)
  {
    SetFont(fontID ? fontID : kDefaultFontID);
  }

  void SetFont(const char* fontID)
  {
    std::strncpy(mFont, fontID ? fontID : "", kMaxFontIDLength - 1);
    mFont[kMaxFontIDLength - 1] = '\0';
  }
  IText WithFGColor(const IColor& color) const
  {
    IText t = *this;
    t.mFGColor = color;
    return t;
  }
};

inline const IText DEFAULT_TEXT{};

/** Rectangle in logical pixels: left, top, right, bottom; y grows downwards. All zero is empty. */
struct IRECT
{
  float L = 0.f;
  float T = 0.f;
  float R = 0.f;
  float B = 0.f;

  constexpr IRECT() = default;
  constexpr IRECT(float l, float t, float r, float b) : L(l), T(t), R(r), B(b) {}

  static constexpr IRECT MakeXYWH(float x, float y, float w, float h) { return IRECT(x, y, x + w, y + h); }

  constexpr bool operator==(const IRECT& other) const = default;

  constexpr bool Empty() const { return L == 0.f && T == 0.f && R == 0.f && B == 0.f; }
  void Clear() { *this = IRECT(); }

  constexpr float W() const { return R - L; }
  constexpr float H() const { return B - T; }
  constexpr float MW() const { return 0.5f * (L + R); }
  constexpr float MH() const { return 0.5f * (T + B); }
  constexpr float Area() const { return W() * H(); }

  bool Contains(float x, float y) const { return !Empty() && x >= L && x < R && y >= T && y < B; }
  bool Contains(const IRECT& rhs) const
  {
    return !Empty() && !rhs.Empty() && rhs.L >= L && rhs.R <= R && rhs.T >= T && rhs.B <= B;
  }
  /** Touching edges count as intersecting. */
  bool Intersects(const IRECT& rhs) const
  {
    return !Empty() && !rhs.Empty() && R >= rhs.L && rhs.R > L && B >= rhs.T && rhs.B > T;
  }
  IRECT Intersect(const IRECT& rhs) const
  {
    if (!Intersects(rhs))
      return IRECT();
    return IRECT(std::max(L, rhs.L), std::max(T, rhs.T), std::min(R, rhs.R), std::min(B, rhs.B));
  }
  IRECT Union(const IRECT& rhs) const
  {
    if (Empty())
      return rhs;
    if (rhs.Empty())
      return *this;
    return IRECT(std::min(L, rhs.L), std::min(T, rhs.T), std::max(R, rhs.R), std::max(B, rhs.B));
  }
  /** Same horizontal span with touching or overlapping vertical ranges, or the transposed case: the union
   *  of two mergeable rectangles covers exactly their pixels. No emptiness test: the overlap of two
   *  rectangles touching at the origin is (0, 0, 0, 0), and it must still count as spanning a degenerate
   *  neighbour, or the optimiser keeps splitting that neighbour forever. */
  bool Mergeable(const IRECT& rhs) const
  {
    if (L == rhs.L && R == rhs.R && B >= rhs.T && rhs.B >= T)
      return true;
    return T == rhs.T && B == rhs.B && R >= rhs.L && rhs.R >= L;
  }

  /** Grows by p on every side; a negative p shrinks. */
  IRECT GetPadded(float p) const { return IRECT(L - p, T - p, R + p, B + p); }
  IRECT GetPadded(float l, float t, float r, float b) const { return IRECT(L + l, T + t, R + r, B + b); }
  void Pad(float p) { *this = GetPadded(p); }

  /** Left and top move down to the pixel grid of the given scale, right and bottom move up. */
  void PixelAlign(float scale);
  IRECT GetPixelAligned(float scale) const
  {
    IRECT r = *this;
    r.PixelAlign(scale);
    return r;
  }

  IRECT GetTranslated(float x, float y) const { return IRECT(L + x, T + y, R + x, B + y); }
  void Translate(float x, float y) { *this = GetTranslated(x, y); }
  IRECT GetScaled(float s) const { return IRECT(L * s, T * s, R * s, B * s); }
  void Scale(float s) { *this = GetScaled(s); }

  /** The w x h rectangle in the bottom-right corner. */
  IRECT GetFromBRHC(float w, float h) const { return IRECT(R - w, B - h, R, B); }
  /** The w x h rectangle in the top-left corner. */
  IRECT GetFromTLHC(float w, float h) const { return IRECT(L, T, L + w, T + h); }
  /** A w x h rectangle sharing this one's centre. */
  IRECT GetCentredInside(float w, float h) const
  {
    const float x = MW() - 0.5f * w;
    const float y = MH() - 0.5f * h;
    return IRECT(x, y, x + w, y + h);
  }
  /** Moves a point onto the rectangle's closed area. */
  void Constrain(float& x, float& y) const
  {
    x = std::clamp(x, L, std::max(L, R));
    y = std::clamp(y, T, std::max(T, B));
  }
};

/** Growable list of rectangles: the dirty regions of a frame. */
class IRECTList
{
public:
  int Size() const { return static_cast<int>(mRects.size()); }
  void Add(const IRECT& r) { mRects.push_back(r); }
  void Set(int idx, const IRECT& r) { mRects.at(static_cast<size_t>(idx)) = r; }
  const IRECT& Get(int idx) const { return mRects.at(static_cast<size_t>(idx)); }
  void Delete(int idx)
  {
    if (idx >= 0 && idx < Size())
      mRects.erase(mRects.begin() + idx);
  }
  void Clear() { mRects.clear(); }
  /** Union of every member (empty for an empty list). */
  IRECT Bounds() const;
  void PixelAlign(float scale);
  /** Reduces the list so that no area is covered twice and the covered area is unchanged; runs on
   *  pixel-aligned rectangles. */
  void Optimize();

private:
  /** Leaves r without the part X covers, where X spans r in one direction. */
  void Shrink(int idx, const IRECT& x);
  /** Cuts X (a corner of r) out of r: one piece replaces r, the other is appended. */
  void Split(int idx, const IRECT& x);

  std::vector<IRECT> mRects;
};

/** 2D affine transform: x' = xx*x + xy*y + tx, y' = yx*x + yy*y + ty. */
struct IMatrix
{
  double mXX = 1.0;
  double mYX = 0.0;
  double mXY = 0.0;
  double mYY = 1.0;
  double mTX = 0.0;
  double mTY = 0.0;

  constexpr IMatrix() = default;
  constexpr IMatrix(double xx, double yx, double xy, double yy, double tx, double ty)
      : mXX(xx), mYX(yx), mXY(xy), mYY(yy), mTX(tx), mTY(ty)
  {
  }
  constexpr bool operator==(const IMatrix& other) const = default;

  IMatrix& Translate(float x, float y) { return Transform(IMatrix(1.0, 0.0, 0.0, 1.0, x, y)); }
  IMatrix& Scale(float x, float y) { return Transform(IMatrix(x, 0.0, 0.0, y, 0.0, 0.0)); }
  IMatrix& Rotate(float degrees);
  /** Applies m before this transform (this = this * m). */
  IMatrix& Transform(const IMatrix& m);
  void TransformPoint(double& x, double& y) const
  {
    const double x0 = x;
    x = mXX * x0 + mXY * y + mTX;
    y = mYX * x0 + mYY * y + mTY;
  }
  /** False (and no change) for a singular matrix. */
  bool Invert();
};

/** A backend-owned image. Deleting it releases the backend image (the backend's subclass does that). */
class APIBitmap
{
public:
  using BitmapData = void*;

  APIBitmap() = default;
  APIBitmap(BitmapData bitmap, int w, int h, int scale, float drawScale)
      : mBitmap(bitmap), mWidth(w), mHeight(h), mScale(scale), mDrawScale(drawScale)
  {
  }
  APIBitmap(const APIBitmap&) = delete;
  APIBitmap& operator=(const APIBitmap&) = delete;
  virtual ~APIBitmap() = default;

  void SetBitmap(BitmapData bitmap, int w, int h, int scale, float drawScale)
  {
    mBitmap = bitmap;
    mWidth = w;
    mHeight = h;
    mScale = scale;
    mDrawScale = drawScale;
  }
  BitmapData GetBitmap() const { return mBitmap; }
  int GetWidth() const { return mWidth; }
  int GetHeight() const { return mHeight; }
  /** Resolution factor (1, 2 or 3) of the pixels held. */
  int GetScale() const { return mScale; }
  float GetDrawScale() const { return mDrawScale; }

private:
  BitmapData mBitmap = nullptr;
  int mWidth = 0;
  int mHeight = 0;
  int mScale = 1;
  float mDrawScale = 1.f;
};

/** Non-owning view on an APIBitmap holding a strip of N frames. */
class IBitmap
{
public:
  IBitmap() = default;
  IBitmap(APIBitmap* pAPIBitmap, int n, bool framesAreHorizontal, const char* name = "")
      : mAPIBitmap(pAPIBitmap), mN(std::max(n, 1)), mFramesAreHorizontal(framesAreHorizontal), mResourceName(name)
  {
    if (mAPIBitmap && mAPIBitmap->GetScale() > 0)
    {
      mW = mAPIBitmap->GetWidth() / mAPIBitmap->GetScale();
      mH = mAPIBitmap->GetHeight() / mAPIBitmap->GetScale();
    }
  }

  bool IsValid() const { return mAPIBitmap != nullptr; }
  /** Width and height in logical pixels (image pixels divided by the image's scale). */
  int W() const { return mW; }
  int H() const { return mH; }
  int N() const { return mN; }
  /** Size of one frame. */
  int FW() const { return mFramesAreHorizontal ? mW / mN : mW; }
  int FH() const { return mFramesAreHorizontal ? mH : mH / mN; }
  bool GetFramesAreHorizontal() const { return mFramesAreHorizontal; }
  APIBitmap* GetAPIBitmap() const { return mAPIBitmap; }
  int GetScale() const { return mAPIBitmap ? mAPIBitmap->GetScale() : 0; }
  float GetDrawScale() const { return mAPIBitmap ? mAPIBitmap->GetDrawScale() : 0.f; }
  const WDL_String& GetResourceName() const { return mResourceName; }
  /** Source offset of frame (1-based, clamped to 1..N); frame 1 and single-frame bitmaps start at 0. */
  void GetFrameOffset(int frame, int& srcX, int& srcY) const
  {
    srcX = srcY = 0;
    frame = std::clamp(frame, 1, mN);
    if (mN < 2 || frame == 1)
      return;
    if (mFramesAreHorizontal)
      srcX = (frame - 1) * mW / mN;
    else
      srcY = (frame - 1) * mH / mN;
  }

private:
  APIBitmap* mAPIBitmap = nullptr;
  int mW = 0;
  int mH = 0;
  int mN = 1;
  bool mFramesAreHorizontal = false;
  WDL_String mResourceName;
};

/** A parsed vector image. This editor loads none; the backend that loads them fills it. */
struct ISVG
{
  void* mImage = nullptr;
  float mWidth = 0.f;
  float mHeight = 0.f;

  bool IsValid() const { return mImage != nullptr; }
  float W() const { return mWidth; }
  float H() const { return mHeight; }
};

/** Modifier state of one pointer event. */
struct IMouseMod
{
  bool L = false;
  bool R = false;
  bool S = false;
  bool C = false;
  bool A = false;
  ITouchID touchID = 0;
  float touchRadius = 0.f;

  constexpr IMouseMod() = default;
  constexpr IMouseMod(bool l, bool r = false, bool s = false, bool c = false, bool a = false, ITouchID id = 0)
      : L(l), R(r), S(s), C(c), A(a), touchID(id)
  {
  }
  bool IsTouch() const { return touchID != 0; }
};

/** One pointer sample in logical coordinates. */
struct IMouseInfo
{
  float x = 0.f;
  float y = 0.f;
  float dX = 0.f;
  float dY = 0.f;
  IMouseMod ms;
};

/** A key event: virtual key code, its UTF-8 text (up to four bytes) and modifiers. */
struct IKeyPress
{
  int VK = 0;
  char utf8[5] = {};
  bool S = false;
  bool C = false;
  bool A = false;

  IKeyPress() = default;
  IKeyPress(const char* str, int vk, bool s = false, bool c = false, bool a = false) : VK(vk), S(s), C(c), A(a)
  {
    if (str)
    {
      std::strncpy(utf8, str, 4);
      utf8[4] = '\0';
    }
  }
};

struct IColorStop
{
  IColor mColor;
  float mOffset = 0.f;
};

/** Paint of a stroke or fill: a solid colour or a gradient with up to 16 stops. */
struct IPattern
{
  static constexpr int kMaxStops = 16;

  EPatternType mType = EPatternType::kSolid;
  EPatternExtend mExtend = EPatternExtend::kPad;
  IColorStop mStops[kMaxStops];
  int mNStops = 0;
  IMatrix mTransform;

  IPattern(const IColor& color = COLOR_BLACK) : mNStops(1) { mStops[0] = {color, 0.f}; }
  explicit IPattern(EPatternType type) : mType(type) {}

  int NStops() const { return mNStops; }
  const IColorStop& GetStop(int idx) const { return mStops[std::clamp(idx, 0, kMaxStops - 1)]; }
  void AddStop(const IColor& color, float offset)
  {
    if (mNStops < kMaxStops)
      mStops[mNStops++] = {color, std::clamp(offset, 0.f, 1.f)};
  }
  static IPattern CreateLinearGradient(float x1, float y1, float x2, float y2,
                                       const std::vector<IColorStop>& stops = {});
  static IPattern CreateRadialGradient(float x1, float y1, float r, const std::vector<IColorStop>& stops = {});
};

struct IStrokeOptions
{
  ELineJoin mJoinOption = ELineJoin::kMiter;
  ELineCap mCapOption = ELineCap::kButt;
  float mMiterLimit = 10.f;
  bool mPreserve = false;
  /** Dash lengths and offset; no dashes by default. */
  std::vector<float> mDashes;
  float mDashOffset = 0.f;
};

struct IFillOptions
{
  EFillRule mFillRule = EFillRule::kWinding;
  bool mPreserve = false;

  IFillOptions() = default;
  explicit IFillOptions(bool preserve) : mPreserve(preserve) {}
};

/** Drop shadow of a layer. */
struct IShadow
{
  IPattern mPattern = IPattern(COLOR_BLACK);
  float mBlurSize = 0.f;
  float mXOffset = 0.f;
  float mYOffset = 0.f;
  float mOpacity = 1.f;
  bool mDrawForeground = true;
};

class IFontData;
using IFontDataPtr = std::unique_ptr<IFontData>;

/** A font obtained from the platform (a file, memory, or a system font by family and style). */
class PlatformFont
{
public:
  explicit PlatformFont(bool isSystem) : mIsSystem(isSystem) {}
  PlatformFont(const PlatformFont&) = delete;
  PlatformFont& operator=(const PlatformFont&) = delete;
  virtual ~PlatformFont() = default;

  /** The platform's font descriptor, for its text fields. */
  virtual void* GetDescriptor() { return nullptr; }
  /** The font bytes and the face to use; the backend registers them. */
  virtual IFontDataPtr GetFontData() = 0;
  bool IsSystem() const { return mIsSystem; }

  /** The first face of the font bytes whose style name equals styleName (any named face when styleName is
      empty or null); faces without a style name are skipped. -1 when no face matches. */
  static int GetFaceIdx(const void* data, int size, const char* styleName);

private:
  bool mIsSystem;
};

/** An offscreen layer: its own bitmap covering a rectangle of the editor. */
class ILayer
{
public:
  ILayer(APIBitmap* pBitmap, const IRECT& layerRect, IControl* pControl = nullptr, const IRECT& controlRect = IRECT())
      : mBitmap(pBitmap), mRECT(layerRect), mControl(pControl), mControlRECT(controlRect)
  {
  }
  ILayer(const ILayer&) = delete;
  ILayer& operator=(const ILayer&) = delete;

  void Invalidate() { mInvalid = true; }
  bool IsInvalid() const { return mInvalid; }
  const IRECT& Bounds() const { return mRECT; }
  APIBitmap* GetAPIBitmap() const { return mBitmap.get(); }
  IBitmap GetBitmap() const { return IBitmap(mBitmap.get(), 1, false); }

private:
  friend class IGraphics;
  std::unique_ptr<APIBitmap> mBitmap;
  IRECT mRECT;
  IControl* mControl = nullptr;
  IRECT mControlRECT;
  bool mInvalid = false;
};

using ILayerPtr = std::unique_ptr<ILayer>;

} // namespace iplug::igraphics
