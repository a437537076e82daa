#include "IGraphicsNanoVG.h"

#include "IFontData.h"
#include "IFontFaceCheck.h"
#include "IPlugPaths.h"
#include "nanovg_image.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <nanovg.h>
#define NANOVG_GL3
#include <nanovg_gl.h>
#include <nanovg_gl_utils.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace iplug::igraphics
{

namespace
{
int CompositeOp(EBlend method)
{
  switch (method)
  {
  case EBlend::kSrcOver:
    return NVG_SOURCE_OVER;
  case EBlend::kSrcIn:
    return NVG_SOURCE_IN;
  case EBlend::kSrcOut:
    return NVG_SOURCE_OUT;
  case EBlend::kSrcAtop:
    return NVG_ATOP;
  case EBlend::kDstOver:
    return NVG_DESTINATION_OVER;
  case EBlend::kDstIn:
    return NVG_DESTINATION_IN;
  case EBlend::kDstOut:
    return NVG_DESTINATION_OUT;
  case EBlend::kDstAtop:
    return NVG_DESTINATION_ATOP;
  case EBlend::kXOR:
    return NVG_XOR;
  default:
    return NVG_SOURCE_OVER;
  }
}

NVGcolor NanoVGColor(const IColor& color, const IBlend* pBlend = nullptr)
{
  NVGcolor c;
  c.r = static_cast<float>(color.R) / 255.f;
  c.g = static_cast<float>(color.G) / 255.f;
  c.b = static_cast<float>(color.B) / 255.f;
  c.a = (BlendWeight(pBlend) * static_cast<float>(color.A)) / 255.f;
  return c;
}

/** Whether the bound draw framebuffer (\p target, 0 for the window's) stores alpha; when unsure, it does. */
bool TargetHasAlpha(GLint target)
{
  GLenum attachment = GL_COLOR_ATTACHMENT0;
  if (target == 0)
  {
    GLint buffer = GL_BACK;
    glGetIntegerv(GL_DRAW_BUFFER, &buffer);
    attachment = buffer == GL_FRONT || buffer == GL_FRONT_LEFT ? GL_FRONT_LEFT : GL_BACK_LEFT;
  }
  while (glGetError() != GL_NO_ERROR)
  {
  }
  GLint bits = 8;
  glGetFramebufferAttachmentParameteriv(GL_DRAW_FRAMEBUFFER, attachment, GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE, &bits);
  return glGetError() != GL_NO_ERROR || bits > 0;
}

/** Whether glCopyImageSubData is there (GL 4.3, or its extension). */
bool CanCopyImages()
{
  GLint major = 0, minor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  if (major > 4 || (major == 4 && minor >= 3))
    return true;
  GLint count = 0;
  glGetIntegerv(GL_NUM_EXTENSIONS, &count);
  for (GLint i = 0; i < count; i++)
    if (const char* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i))))
      if (std::strcmp(name, "GL_ARB_copy_image") == 0)
        return true;
  return false;
}

/** A texture of the w x h RGBA rows turned upside down when none is translucent, else 0. Same format as NanoVG's
 *  textures and framebuffers, so that it copies into them texel for texel. */
GLuint OpaqueCopyOf(const unsigned char* rgba, int w, int h)
{
  const size_t row = static_cast<size_t>(w) * 4;
  const size_t size = row * static_cast<size_t>(h);
  for (size_t i = 3; i < size; i += 4)
    if (rgba[i] != 255)
      return 0;
  std::vector<unsigned char> flipped(size);
  for (int y = 0; y < h; y++)
    std::memcpy(&flipped[static_cast<size_t>(h - 1 - y) * row], rgba + static_cast<size_t>(y) * row, row);
  GLint bound = 0, alignment = 4;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, flipped.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  return texture;
}

/** The text after the last '.', or "". */
const char* ExtensionOf(const char* name)
{
  const char* dot = name ? std::strrchr(name, '.') : nullptr;
  return dot ? dot + 1 : "";
}
} // namespace

// --- Bitmap -------------------------------------------------------------------------------------

IGraphicsNanoVG::Bitmap::Bitmap(NVGcontext* pVG, int image, int scale, float drawScale, bool shared)
    : mVG(pVG), mImage(image), mShared(shared), mPlain(!shared && pVG && image > 0)
{
  int w = 0;
  int h = 0;
  if (pVG && image > 0)
    nvgImageSize(pVG, image, &w, &h);
  SetBitmap(&mImage, w, h, scale, drawScale);
}

IGraphicsNanoVG::Bitmap::Bitmap(NVGcontext* pVG, std::vector<Tile>&& tiles, int width, int height, int scale,
                                float drawScale)
    : mVG(pVG), mTiles(std::move(tiles))
{
  mImage = mTiles.empty() ? -1 : mTiles.front().image;
  SetBitmap(&mImage, mTiles.empty() ? 0 : width, mTiles.empty() ? 0 : height, scale, drawScale);
}

IGraphicsNanoVG::Bitmap::Bitmap(IGraphicsNanoVG* pGraphics, NVGcontext* pVG, int width, int height, int scale,
                                float drawScale)
    : mGraphics(pGraphics), mVG(pVG)
{
  mFBO = nvgluCreateFramebuffer(pVG, width, height, 0);
  mImage = mFBO ? mFBO->image : -1;
  SetBitmap(&mImage, mFBO ? width : 0, mFBO ? height : 0, scale, drawScale);
}

IGraphicsNanoVG::Bitmap::~Bitmap()
{
  if (mOpaqueCopy)
    glDeleteTextures(1, &mOpaqueCopy);
  if (mShared)
    return;
  if (mFBO)
    mGraphics->DeleteFBO(mFBO);
  else if (!mTiles.empty())
  {
    for (const Tile& tile : mTiles)
      if (mVG && tile.image > 0)
        nvgDeleteImage(mVG, tile.image);
  }
  else if (mVG && mImage > 0)
    nvgDeleteImage(mVG, mImage);
}

// --- construction -------------------------------------------------------------------------------

StaticStorage<IFontData>& IGraphicsNanoVG::FontCache()
{
  static StaticStorage<IFontData> sCache;
  return sCache;
}

IGraphicsNanoVG::IGraphicsNanoVG(IGEditorDelegate& dlg, int w, int h, int fps, float scale)
    : IGraphics(dlg, w, h, fps, scale)
{
  StaticStorage<IFontData>::Accessor fontStorage(FontCache());
  fontStorage.Retain();
  StaticStorage<APIBitmap>::Accessor bitmapStorage(mBitmapCache);
  bitmapStorage.Retain();
}

IGraphicsNanoVG::~IGraphicsNanoVG()
{
  {
    StaticStorage<IFontData>::Accessor fontStorage(FontCache());
    fontStorage.Release();
    ClearFBOStack();
  }
  StaticStorage<APIBitmap>::Accessor bitmapStorage(mBitmapCache);
  bitmapStorage.Release();
}

// --- frame and surface --------------------------------------------------------------------------

void IGraphicsNanoVG::OnViewInitialized(void* pContext)
{
  (void)pContext;
  if (!mVG)
    mVG = nvgCreateGL3(NVG_ANTIALIAS | NVG_STENCIL_STROKES);
  if (mVG)
  {
    if (!mTexelDraw.IsReady())
      mTexelDraw.Create();
    mCanCopyImage = CanCopyImages();
    // Textures, render targets and the viewport each have a limit; the smallest bounds what can be drawn.
    GLint texture = 0, renderbuffer = 0, viewport[2] = {};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    mMaxTextureSize = std::min({texture, renderbuffer, viewport[0], viewport[1]});
  }
}

int IGraphicsNanoVG::GetMaxWindowPixels() const
{
  int limit = IGraphics::GetMaxWindowPixels();
  if (mMaxTextureSize > 0)
    limit = std::min(limit, mMaxTextureSize);
  if (mTextureSizeLimit > 0)
    limit = std::min(limit, mTextureSizeLimit);
  return limit;
}

void IGraphicsNanoVG::OnViewDestroyed()
{
  RemoveAllControls();
  {
    StaticStorage<APIBitmap>::Accessor bitmapStorage(mBitmapCache);
    bitmapStorage.Clear();
  }
  if (mMainFrameBuffer)
    nvgluDeleteFramebuffer(mMainFrameBuffer);
  mMainFrameBuffer = nullptr;
  mMainFBWidth = mMainFBHeight = 0;
  ClearFBOStack();
  mTexelDraw.Destroy();
  if (mVG)
    nvgDeleteGL3(mVG);
  mVG = nullptr;
}

void IGraphicsNanoVG::DrawResize()
{
  if (mMainFrameBuffer)
    nvgluDeleteFramebuffer(mMainFrameBuffer);
  mMainFrameBuffer = nullptr;
  mMainFBWidth = mMainFBHeight = 0;
  if (!mVG)
    return;
  const int w = static_cast<int>(static_cast<float>(WindowWidth()) * GetScreenScale());
  const int h = static_cast<int>(static_cast<float>(WindowHeight()) * GetScreenScale());
  if (w <= 0 || h <= 0)
    return;
  mMainFrameBuffer = nvgluCreateFramebuffer(mVG, w, h, 0);
  if (!mMainFrameBuffer)
    return;
  mMainFBWidth = w;
  mMainFBHeight = h;
  // A new framebuffer starts transparent: the first frame after a resize redraws everything into it.
  nvgluBindFramebuffer(mMainFrameBuffer);
  glViewport(0, 0, w, h);
  glClearColor(0.f, 0.f, 0.f, 0.f);
  glClearStencil(0);
  glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  nvgluBindFramebuffer(nullptr);
}

void IGraphicsNanoVG::BeginFrame()
{
  mInDraw = true;
  IGraphics::BeginFrame();
  if (!mVG)
    return;
  nvgluBindFramebuffer(mMainFrameBuffer);
  glViewport(0, 0, mMainFBWidth, mMainFBHeight);
  glClear(GL_STENCIL_BUFFER_BIT);
  nvgBeginFrame(mVG, static_cast<float>(WindowWidth()), static_cast<float>(WindowHeight()), GetScreenScale());
  mDeviceClip = DeviceClip();
}

void IGraphicsNanoVG::BindDefaultTarget(bool overwritten)
{
  (void)overwritten;
  nvgluBindFramebuffer(nullptr);
  glViewport(0, 0, static_cast<int>(static_cast<float>(WindowWidth()) * GetScreenScale()),
             static_cast<int>(static_cast<float>(WindowHeight()) * GetScreenScale()));
}

void IGraphicsNanoVG::EndFrame()
{
  if (mVG)
  {
    nvgEndFrame(mVG);
    const float w = static_cast<float>(WindowWidth());
    const float h = static_cast<float>(WindowHeight());
    const bool blit = mMainFrameBuffer && GetXTranslation() == 0.f && GetYTranslation() == 0.f;
    BindDefaultTarget(blit);
    if (blit)
    {
      // Pixel for pixel, a blit gives what drawing the framebuffer as an image over the target's opaque black
      // gives, at a fraction of its cost on a software renderer; alpha is made opaque as that drawing leaves it.
      // The blit replaces every pixel, so the target was not cleared first.
      GLint target = 0;
      glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &target);
      glBindFramebuffer(GL_READ_FRAMEBUFFER, mMainFrameBuffer->fbo);
      glBlitFramebuffer(0, 0, mMainFBWidth, mMainFBHeight, 0, 0, mMainFBWidth, mMainFBHeight, GL_COLOR_BUFFER_BIT,
                        GL_NEAREST);
      glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(target));
      // A masked clear is a full pass of its own on a software renderer: only a target that stores alpha needs it.
      if (TargetHasAlpha(target))
      {
        glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
        glClearColor(0.f, 0.f, 0.f, 1.f);
        glClear(GL_COLOR_BUFFER_BIT);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
      }
    }
    else if (mMainFrameBuffer)
    {
      nvgBeginFrame(mVG, w, h, GetScreenScale());
      const NVGpaint img = nvgImagePattern(mVG, 0.f, 0.f, w, h, 0.f, mMainFrameBuffer->image, 1.f);
      nvgSave(mVG);
      nvgResetTransform(mVG);
      nvgTranslate(mVG, GetXTranslation(), GetYTranslation());
      nvgBeginPath(mVG);
      nvgRect(mVG, 0.f, 0.f, w, h);
      nvgFillPaint(mVG, img);
      nvgFill(mVG);
      nvgRestore(mVG);
      nvgEndFrame(mVG);
    }
  }
  mInDraw = false;
  WDL_MutexLock lock(&mFBOMutex);
  ClearFBOStack();
}

void IGraphicsNanoVG::DeleteFBO(NVGLUframebuffer* pFBO)
{
  if (!pFBO)
    return;
  if (!mInDraw)
  {
    nvgluDeleteFramebuffer(pFBO);
    return;
  }
  WDL_MutexLock lock(&mFBOMutex);
  mFBOStack.push_front(pFBO);
}

void IGraphicsNanoVG::ClearFBOStack()
{
  while (!mFBOStack.empty())
  {
    nvgluDeleteFramebuffer(mFBOStack.front());
    mFBOStack.pop_front();
  }
}

// --- drawing ------------------------------------------------------------------------------------

void IGraphicsNanoVG::SetBlendMode(const IBlend* pBlend)
{
  if (!pBlend)
  {
    nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
    return;
  }
  if (pBlend->mMethod == EBlend::kAdd)
    nvgGlobalCompositeBlendFunc(mVG, NVG_SRC_ALPHA, NVG_DST_ALPHA);
  else
    nvgGlobalCompositeOperation(mVG, CompositeOp(pBlend->mMethod));
}

void IGraphicsNanoVG::DrawBitmap(const IBitmap& bitmap, const IRECT& dest, int srcX, int srcY, const IBlend* pBlend)
{
  APIBitmap* pAPIBitmap = bitmap.GetAPIBitmap();
  if (!mVG || !pAPIBitmap)
    return;
  if (!static_cast<Bitmap*>(pAPIBitmap)->GetTiles().empty())
  {
    DrawTiledBitmap(*static_cast<Bitmap*>(pAPIBitmap), dest, srcX, srcY, pBlend);
    return;
  }
  if (DrawBitmapTexels(*static_cast<Bitmap*>(pAPIBitmap), dest, srcX, srcY, pBlend))
    return;
  const int image = static_cast<Bitmap*>(pAPIBitmap)->GetImage();
  const float scale = static_cast<float>(pAPIBitmap->GetScale());
  const float s = 1.f / (scale * pAPIBitmap->GetDrawScale());

  NVGpaint paint = nvgImagePattern(mVG, 0.f, 0.f, static_cast<float>(bitmap.W()) * scale,
                                   static_cast<float>(bitmap.H()) * scale, 0.f, image, BlendWeight(pBlend));
  nvgTransformScale(paint.xform, s, s);
  paint.xform[4] = dest.L - static_cast<float>(srcX);
  paint.xform[5] = dest.T - static_cast<float>(srcY);

  nvgBeginPath(mVG);
  nvgRect(mVG, dest.L, dest.T, dest.W(), dest.H());
  nvgFillPaint(mVG, paint);
  SetBlendMode(pBlend);
  nvgFill(mVG);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  nvgBeginPath(mVG);
}

bool IGraphicsNanoVG::DrawBitmapTexels(const Bitmap& bitmap, const IRECT& dest, int srcX, int srcY,
                                       const IBlend* pBlend)
{
  if (!mTexelDraw.IsReady() || !bitmap.IsPlainImage() || !mInDraw || !mMainFrameBuffer || GetTopLayer())
    return false;
  if (pBlend && pBlend->mMethod != EBlend::kSrcOver)
    return false;
  if (mDeviceClip.set && !mDeviceClip.valid)
    return false;
  float xf[6] = {};
  nvgCurrentTransform(mVG, xf);
  if (xf[1] != 0.f || xf[2] != 0.f || xf[0] <= 0.f || xf[3] <= 0.f)
    return false;
  const double rx = static_cast<double>(mMainFBWidth) / static_cast<double>(WindowWidth());
  const double ry = static_cast<double>(mMainFBHeight) / static_cast<double>(WindowHeight());
  // Device pixels per texel: exactly one, else NanoVG's filtering has work to do.
  const double s = 1.0 / (static_cast<double>(bitmap.GetScale()) * static_cast<double>(bitmap.GetDrawScale()));
  if (std::abs(s * xf[0] * rx - 1.0) > 1e-6 || std::abs(s * xf[3] * ry - 1.0) > 1e-6)
    return false;
  // Everything on whole device pixels, else NanoVG's antialiased edges and scissor leave partial coverage.
  auto whole = [](double v, int& out)
  {
    const double rounded = std::round(v);
    if (std::abs(v - rounded) > 1e-3 || std::abs(rounded) > 1e8)
      return false;
    out = static_cast<int>(rounded);
    return true;
  };
  auto toX = [&](double x) { return (xf[0] * x + xf[4]) * rx; };
  auto toY = [&](double y) { return (xf[3] * y + xf[5]) * ry; };
  int originX = 0, originY = 0, l = 0, t = 0, r = 0, b = 0;
  if (!whole(toX(static_cast<double>(dest.L) - srcX), originX) ||
      !whole(toY(static_cast<double>(dest.T) - srcY), originY) || !whole(toX(dest.L), l) || !whole(toY(dest.T), t) ||
      !whole(toX(dest.R), r) || !whole(toY(dest.B), b))
    return false;
  if (mDeviceClip.set)
  {
    int cl = 0, ct = 0, cr = 0, cb = 0;
    if (!whole(mDeviceClip.l, cl) || !whole(mDeviceClip.t, ct) || !whole(mDeviceClip.r, cr) ||
        !whole(mDeviceClip.b, cb))
      return false;
    l = std::max(l, cl), t = std::max(t, ct), r = std::min(r, cr), b = std::min(b, cb);
  }
  l = std::max(l, 0), t = std::max(t, 0), r = std::min(r, mMainFBWidth), b = std::min(b, mMainFBHeight);

  nvgBeginPath(mVG);
  if (l >= r || t >= b)
    return true;
  int texW = 0, texH = 0;
  nvgImageSize(mVG, bitmap.GetImage(), &texW, &texH);
  // What NanoVG has queued is drawn first, to keep the order of drawing.
  NVGparams* params = nvgInternalParams(mVG);
  params->renderFlush(params->userPtr);
  const float weight = BlendWeight(pBlend);
  // Opaque texels at full weight composite to themselves: they are copied, from within the image.
  if (bitmap.GetOpaqueCopy() && weight == 1.f && l - originX >= 0 && t - originY >= 0 && r - originX <= texW &&
      b - originY <= texH)
  {
    glCopyImageSubData(bitmap.GetOpaqueCopy(), GL_TEXTURE_2D, 0, l - originX, texH - (b - originY), 0,
                       mMainFrameBuffer->texture, GL_TEXTURE_2D, 0, l, mMainFBHeight - b, 0, r - l, b - t, 1);
    return true;
  }
  mTexelDraw.Draw(nvglImageHandleGL3(mVG, bitmap.GetImage()), texW, texH, originX, originY, l, t, r, b, mMainFBWidth,
                  mMainFBHeight, weight);
  return true;
}

void IGraphicsNanoVG::DrawTiledBitmap(const Bitmap& bitmap, const IRECT& dest, int srcX, int srcY, const IBlend* pBlend)
{
  // Each tile paints its own part of the destination with the pattern the whole image would have there; a part on
  // the image's outer edge reaches on, as the single texture's edge texels would.
  const float s = 1.f / (static_cast<float>(bitmap.GetScale()) * bitmap.GetDrawScale());
  const float originX = dest.L - static_cast<float>(srcX);
  const float originY = dest.T - static_cast<float>(srcY);
  const int imageW = bitmap.GetWidth(), imageH = bitmap.GetHeight();
  SetBlendMode(pBlend);
  for (const Bitmap::Tile& tile : bitmap.GetTiles())
  {
    const float l = tile.x == 0 ? dest.L : originX + static_cast<float>(tile.x) * s;
    const float t = tile.y == 0 ? dest.T : originY + static_cast<float>(tile.y) * s;
    const float r = tile.x + tile.w >= imageW ? dest.R : originX + static_cast<float>(tile.x + tile.w) * s;
    const float b = tile.y + tile.h >= imageH ? dest.B : originY + static_cast<float>(tile.y + tile.h) * s;
    const IRECT part = IRECT(l, t, r, b).Intersect(dest);
    if (part.W() <= 0.f || part.H() <= 0.f)
      continue;
    NVGpaint paint = nvgImagePattern(mVG, 0.f, 0.f, static_cast<float>(tile.texW), static_cast<float>(tile.texH), 0.f,
                                     tile.image, BlendWeight(pBlend));
    nvgTransformScale(paint.xform, s, s);
    paint.xform[4] = originX + static_cast<float>(tile.texX) * s;
    paint.xform[5] = originY + static_cast<float>(tile.texY) * s;
    nvgBeginPath(mVG);
    nvgRect(mVG, part.L, part.T, part.W(), part.H());
    nvgFillPaint(mVG, paint);
    nvgFill(mVG);
  }
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  nvgBeginPath(mVG);
}

void IGraphicsNanoVG::PathClear() { nvgBeginPath(mVG); }
void IGraphicsNanoVG::PathClose() { nvgClosePath(mVG); }

void IGraphicsNanoVG::PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding)
{
  // Angles are degrees clockwise from 12 o'clock; NanoVG's are radians from 3 o'clock.
  const float kToRad = static_cast<float>(M_PI) / 180.f;
  nvgArc(mVG, cx, cy, r, (a1 - 90.f) * kToRad, (a2 - 90.f) * kToRad, winding == EWinding::kCW ? NVG_CW : NVG_CCW);
}

void IGraphicsNanoVG::PathMoveTo(float x, float y) { nvgMoveTo(mVG, x, y); }
void IGraphicsNanoVG::PathLineTo(float x, float y) { nvgLineTo(mVG, x, y); }
void IGraphicsNanoVG::PathSetWinding(bool clockwise) { nvgPathWinding(mVG, clockwise ? NVG_CW : NVG_CCW); }

void IGraphicsNanoVG::PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2)
{
  nvgBezierTo(mVG, c1x, c1y, c2x, c2y, x2, y2);
}

void IGraphicsNanoVG::PathQuadraticBezierTo(float cx, float cy, float x2, float y2) { nvgQuadTo(mVG, cx, cy, x2, y2); }

NVGpaint IGraphicsNanoVG::MakePaint(const IPattern& pattern, const IBlend* pBlend)
{
  const IColor first = pattern.NStops() > 0 ? pattern.GetStop(0).mColor : COLOR_BLACK;
  const IColor last = pattern.NStops() > 0 ? pattern.GetStop(pattern.NStops() - 1).mColor : COLOR_BLACK;
  const float o1 = pattern.NStops() > 0 ? pattern.GetStop(0).mOffset : 0.f;
  const float o2 = pattern.NStops() > 0 ? pattern.GetStop(pattern.NStops() - 1).mOffset : 1.f;

  // The pattern's matrix maps user space onto pattern space; its inverse gives the gradient's geometry.
  IMatrix inverse = pattern.mTransform;
  inverse.Invert();
  if (pattern.mType == EPatternType::kRadial)
  {
    double cx = 0.0, cy = 0.0, ex = 1.0, ey = 0.0;
    inverse.TransformPoint(cx, cy);
    inverse.TransformPoint(ex, ey);
    const float r = static_cast<float>(std::hypot(ex - cx, ey - cy));
    return nvgRadialGradient(mVG, static_cast<float>(cx), static_cast<float>(cy), r * o1, r * o2,
                             NanoVGColor(first, pBlend), NanoVGColor(last, pBlend));
  }
  double sx = 0.0, sy = 0.0, ex = 1.0, ey = 0.0;
  inverse.TransformPoint(sx, sy);
  inverse.TransformPoint(ex, ey);
  const double dx = ex - sx;
  const double dy = ey - sy;
  return nvgLinearGradient(mVG, static_cast<float>(sx + dx * o1), static_cast<float>(sy + dy * o1),
                           static_cast<float>(sx + dx * o2), static_cast<float>(sy + dy * o2),
                           NanoVGColor(first, pBlend), NanoVGColor(last, pBlend));
}

void IGraphicsNanoVG::PathStroke(const IPattern& pattern, float thickness, const IStrokeOptions& options,
                                 const IBlend* pBlend)
{
  switch (options.mCapOption)
  {
  case ELineCap::kButt:
    nvgLineCap(mVG, NVG_BUTT);
    break;
  case ELineCap::kRound:
    nvgLineCap(mVG, NVG_ROUND);
    break;
  case ELineCap::kSquare:
    nvgLineCap(mVG, NVG_SQUARE);
    break;
  }
  switch (options.mJoinOption)
  {
  case ELineJoin::kMiter:
    nvgLineJoin(mVG, NVG_MITER);
    break;
  case ELineJoin::kRound:
    nvgLineJoin(mVG, NVG_ROUND);
    break;
  case ELineJoin::kBevel:
    nvgLineJoin(mVG, NVG_BEVEL);
    break;
  }
  nvgMiterLimit(mVG, options.mMiterLimit);
  nvgStrokeWidth(mVG, thickness);

  if (pattern.mType == EPatternType::kSolid)
    nvgStrokeColor(mVG, NanoVGColor(pattern.GetStop(0).mColor, pBlend));
  else
    nvgStrokePaint(mVG, MakePaint(pattern, pBlend));

  nvgPathWinding(mVG, NVG_CCW);
  SetBlendMode(pBlend);
  nvgStroke(mVG);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  if (!options.mPreserve)
    nvgBeginPath(mVG);
}

void IGraphicsNanoVG::PathFill(const IPattern& pattern, const IFillOptions& options, const IBlend* pBlend)
{
  nvgPathWinding(mVG, options.mFillRule == EFillRule::kWinding ? NVG_CCW : NVG_CW);
  if (pattern.mType == EPatternType::kSolid)
    nvgFillColor(mVG, NanoVGColor(pattern.GetStop(0).mColor, pBlend));
  else
    nvgFillPaint(mVG, MakePaint(pattern, pBlend));

  SetBlendMode(pBlend);
  nvgFill(mVG);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  if (!options.mPreserve)
    nvgBeginPath(mVG);
}

void IGraphicsNanoVG::PathTransformSetMatrix(const IMatrix& m)
{
  if (!mVG)
    return;
  nvgResetTransform(mVG);
  nvgScale(mVG, GetDrawScale(), GetDrawScale());
  if (const ILayer* pLayer = GetTopLayer())
    nvgTranslate(mVG, -pLayer->Bounds().L, -pLayer->Bounds().T);
  nvgTransform(mVG, static_cast<float>(m.mXX), static_cast<float>(m.mYX), static_cast<float>(m.mXY),
               static_cast<float>(m.mYY), static_cast<float>(m.mTX), static_cast<float>(m.mTY));
}

void IGraphicsNanoVG::SetClipRegion(const IRECT& r)
{
  if (!mVG)
    return;
  nvgScissor(mVG, r.L, r.T, r.W(), r.H());
  // NanoVG keeps the scissor in the space of the transform of this moment.
  float xf[6] = {};
  nvgCurrentTransform(mVG, xf);
  const double rx = mMainFBWidth > 0 ? static_cast<double>(mMainFBWidth) / static_cast<double>(WindowWidth()) : 1.0;
  const double ry = mMainFBHeight > 0 ? static_cast<double>(mMainFBHeight) / static_cast<double>(WindowHeight()) : 1.0;
  mDeviceClip.set = true;
  mDeviceClip.valid = xf[1] == 0.f && xf[2] == 0.f && xf[0] > 0.f && xf[3] > 0.f && r.W() >= 0.f && r.H() >= 0.f;
  mDeviceClip.l = (xf[0] * static_cast<double>(r.L) + xf[4]) * rx;
  mDeviceClip.r = (xf[0] * static_cast<double>(r.R) + xf[4]) * rx;
  mDeviceClip.t = (xf[3] * static_cast<double>(r.T) + xf[5]) * ry;
  mDeviceClip.b = (xf[3] * static_cast<double>(r.B) + xf[5]) * ry;
}

IColor IGraphicsNanoVG::GetPoint(int x, int y)
{
  (void)x, (void)y;
  return COLOR_BLACK;
}

void IGraphicsNanoVG::DrawFastDropShadow(const IRECT& innerBounds, const IRECT& outerBounds, float xyDrop,
                                         float roundness, float blur, const IBlend* pBlend)
{
  if (!mVG)
    return;
  const NVGpaint shadow =
      nvgBoxGradient(mVG, innerBounds.L + xyDrop, innerBounds.T + xyDrop, innerBounds.W(), innerBounds.H(),
                     roundness * 2.f, blur, NanoVGColor(IColor(128, 0, 0, 0), pBlend), NanoVGColor(COLOR_TRANSPARENT));
  nvgBeginPath(mVG);
  nvgRect(mVG, outerBounds.L, outerBounds.T, outerBounds.W(), outerBounds.H());
  nvgFillPaint(mVG, shadow);
  SetBlendMode(pBlend);
  nvgFill(mVG);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  nvgBeginPath(mVG);
}

// --- text ---------------------------------------------------------------------------------------

void IGraphicsNanoVG::PrepareAndMeasureText(const IText& text, const char* str, IRECT& r, double& x, double& y) const
{
  float fbounds[4] = {};
  nvgFontBlur(mVG, 0.f);
  nvgFontSize(mVG, text.mSize);
  nvgFontFace(mVG, text.mFont);

  int align = 0;
  switch (text.mAlign)
  {
  case EAlign::kNear:
    x = r.L;
    align = NVG_ALIGN_LEFT;
    break;
  case EAlign::kCenter:
    x = r.MW();
    align = NVG_ALIGN_CENTER;
    break;
  case EAlign::kFar:
    x = r.R;
    align = NVG_ALIGN_RIGHT;
    break;
  }
  switch (text.mVAlign)
  {
  case EVAlign::kTop:
    y = r.T;
    align |= NVG_ALIGN_TOP;
    break;
  case EVAlign::kMiddle:
    y = r.MH();
    align |= NVG_ALIGN_MIDDLE;
    break;
  case EVAlign::kBottom:
    y = r.B;
    align |= NVG_ALIGN_BOTTOM;
    break;
  }
  nvgTextAlign(mVG, align);
  nvgTextBounds(mVG, static_cast<float>(x), static_cast<float>(y), str, nullptr, fbounds);
  r = IRECT(fbounds[0], fbounds[1], fbounds[2], fbounds[3]);
}

float IGraphicsNanoVG::DoMeasureText(const IText& text, const char* str, IRECT& bounds) const
{
  if (!mVG)
    return 0.f;
  IRECT r = bounds;
  double x = 0.0, y = 0.0;
  PrepareAndMeasureText(text, str, r, x, y);
  if (text.mAngle != 0.f)
  {
    // The bounding box of the rectangle turned about the anchor point.
    IMatrix m;
    m.Translate(static_cast<float>(x), static_cast<float>(y)).Rotate(text.mAngle);
    m.Translate(static_cast<float>(-x), static_cast<float>(-y));
    double xs[4] = {r.L, r.R, r.R, r.L};
    double ys[4] = {r.T, r.T, r.B, r.B};
    for (int i = 0; i < 4; i++)
      m.TransformPoint(xs[i], ys[i]);
    r = IRECT(static_cast<float>(std::min({xs[0], xs[1], xs[2], xs[3]})),
              static_cast<float>(std::min({ys[0], ys[1], ys[2], ys[3]})),
              static_cast<float>(std::max({xs[0], xs[1], xs[2], xs[3]})),
              static_cast<float>(std::max({ys[0], ys[1], ys[2], ys[3]})));
  }
  bounds = r;
  return r.W();
}

void IGraphicsNanoVG::DoDrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* pBlend)
{
  if (!mVG)
    return;
  IRECT measured = bounds;
  double x = 0.0, y = 0.0;
  PrepareAndMeasureText(text, str, measured, x, y);

  PathTransformSave();
  if (text.mAngle != 0.f)
  {
    PathTransformTranslate(static_cast<float>(x), static_cast<float>(y));
    PathTransformRotate(text.mAngle);
    PathTransformTranslate(static_cast<float>(-x), static_cast<float>(-y));
  }
  nvgFillColor(mVG, NanoVGColor(text.mFGColor, pBlend));
  SetBlendMode(pBlend);
  nvgText(mVG, static_cast<float>(x), static_cast<float>(y), str, nullptr);
  nvgGlobalCompositeOperation(mVG, NVG_SOURCE_OVER);
  PathTransformRestore();
}

// --- bitmaps and fonts --------------------------------------------------------------------------

bool IGraphicsNanoVG::BitmapExtSupported(const char* ext)
{
  char lower[32] = {};
  if (ext)
    for (int i = 0; i < 31 && ext[i]; i++)
      lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(ext[i])));
  return std::strstr(lower, "png") || std::strstr(lower, "jpg") || std::strstr(lower, "jpeg");
}

IBitmap IGraphicsNanoVG::LoadBitmap(const char* name, int nStates, bool framesAreHorizontal, int targetScale)
{
  if (targetScale == 0)
    targetScale = static_cast<int>(std::ceil(GetScreenScale()));

  // The file search decides which variant serves this screen; the cache then holds one decoded image per variant.
  // Looked up under the target scale instead, a screen between two variants would decode again on every load.
  const char* ext = ExtensionOf(name);
  WDL_String fullPath;
  int sourceScale = 0;
  const EResourceLocation location = SearchImageResource(name, ext, fullPath, targetScale, sourceScale);
  if (location == kNotFound || !BitmapExtSupported(ext))
    return IBitmap();
  StaticStorage<APIBitmap>::Accessor storage(mBitmapCache);
  APIBitmap* pAPIBitmap = storage.Find(name, sourceScale);
  if (!pAPIBitmap)
  {
    pAPIBitmap = LoadResourceBitmap(fullPath.Get(), sourceScale, location, ext, nStates, framesAreHorizontal);
    if (!pAPIBitmap)
      return IBitmap();
    storage.Add(pAPIBitmap, name, sourceScale);
  }
  return IBitmap(pAPIBitmap, nStates, framesAreHorizontal, name);
}

IBitmap IGraphicsNanoVG::LoadBitmap(const char* name, const void* pData, int dataSize, int nStates,
                                    bool framesAreHorizontal, int targetScale)
{
  if (!name || !pData || dataSize <= 0)
    return IBitmap();
  if (targetScale == 0)
    targetScale = static_cast<int>(std::ceil(GetScreenScale()));
  APIBitmap* pAPIBitmap = LoadAPIBitmap(name, pData, dataSize, targetScale);
  if (!pAPIBitmap || pAPIBitmap->GetWidth() <= 0)
    return IBitmap();
  return IBitmap(pAPIBitmap, nStates, framesAreHorizontal, name);
}

APIBitmap* IGraphicsNanoVG::LoadAPIBitmap(const char* fileNameOrResID, int scale, EResourceLocation location,
                                          const char* ext)
{
  if (Bitmap* pBitmap = LoadResourceBitmap(fileNameOrResID, scale, location, ext, 1, false))
    return pBitmap;
  return new Bitmap(mVG, 0, scale, 1.f, location == kPreloadedTexture);
}

IGraphicsNanoVG::Bitmap* IGraphicsNanoVG::LoadResourceBitmap(const char* fileNameOrResID, int scale,
                                                             EResourceLocation location, const char* ext, int nFrames,
                                                             bool framesAreHorizontal)
{
  if (!mVG)
    return nullptr;
  if (location == kAbsolutePath)
    return CreateImageBitmap(fileNameOrResID, nullptr, 0, scale, nFrames, framesAreHorizontal);
  // Compiled into the module (a single-file plug-in has no folder of resources).
  if (const EmbeddedResource* embedded =
          location == kWinBinary ? FindEmbeddedResource(fileNameOrResID, ext, GetBundleID()) : nullptr)
    return CreateImageBitmap(nullptr, embedded->data, static_cast<int>(embedded->size), scale, nFrames,
                             framesAreHorizontal);
  return nullptr;
}

IGraphicsNanoVG::Bitmap* IGraphicsNanoVG::CreateImageBitmap(const char* path, const void* pData, int dataSize,
                                                            int scale, int nFrames, bool framesAreHorizontal)
{
  const auto* bytes = static_cast<const unsigned char*>(pData);
  int w = 0, h = 0;
  if (!(path ? nvgimage::InfoFile(path, &w, &h) : nvgimage::InfoMemory(bytes, dataSize, &w, &h)))
    return nullptr;
  ActivateGLContext();
  int limit = mMaxTextureSize > 0 ? mMaxTextureSize : w;
  if (mTextureSizeLimit > 0)
    limit = std::min(limit, mTextureSizeLimit);
  Bitmap* pBitmap = nullptr;
  if (unsigned char* rgba = path ? nvgimage::DecodeFile(path, &w, &h) : nvgimage::DecodeMemory(bytes, dataSize, &w, &h))
  {
    if (w <= limit && h <= limit)
    {
      // Within the limit, one NanoVG image of the pixels its own loader would have decoded.
      const int image = nvgCreateImageRGBA(mVG, w, h, 0, rgba);
      if (image > 0)
      {
        pBitmap = new Bitmap(mVG, image, scale, 1.f);
        if (mCanCopyImage)
          pBitmap->SetOpaqueCopy(OpaqueCopyOf(rgba, w, h));
      }
    }
    else
      pBitmap = CreateTiledBitmap(rgba, w, h, scale, nFrames, framesAreHorizontal);
    nvgimage::Free(rgba);
  }
  DeactivateGLContext();
  return pBitmap;
}

IGraphicsNanoVG::Bitmap* IGraphicsNanoVG::CreateTiledBitmap(const unsigned char* rgba, int w, int h, int scale,
                                                            int nFrames, bool framesAreHorizontal)
{
  // Texels shared with each neighbour: enough for linear filtering at any scale the editor draws at.
  constexpr int kOverlap = 2;
  int limit = mMaxTextureSize > 0 ? mMaxTextureSize : std::max(w, h);
  if (mTextureSizeLimit > 0)
    limit = std::min(limit, mTextureSizeLimit);
  const int step = limit - 2 * kOverlap;
  if (step < 1 || w <= 0 || h <= 0)
    return nullptr;
  int stepX = step, stepY = step;
  // Whole frames per tile, so a frame draws from one texture exactly as from a single one.
  if (nFrames > 1 && framesAreHorizontal && w % nFrames == 0 && w / nFrames <= step)
    stepX = step / (w / nFrames) * (w / nFrames);
  else if (nFrames > 1 && !framesAreHorizontal && h % nFrames == 0 && h / nFrames <= step)
    stepY = step / (h / nFrames) * (h / nFrames);

  std::vector<Bitmap::Tile> tiles;
  std::vector<unsigned char> pixels;
  for (int y = 0; y < h; y += stepY)
  {
    for (int x = 0; x < w; x += stepX)
    {
      Bitmap::Tile tile{};
      tile.x = x;
      tile.y = y;
      tile.w = std::min(stepX, w - x);
      tile.h = std::min(stepY, h - y);
      tile.texX = std::max(0, x - kOverlap);
      tile.texY = std::max(0, y - kOverlap);
      tile.texW = std::min(w, x + tile.w + kOverlap) - tile.texX;
      tile.texH = std::min(h, y + tile.h + kOverlap) - tile.texY;
      pixels.resize(static_cast<size_t>(tile.texW) * static_cast<size_t>(tile.texH) * 4);
      for (int row = 0; row < tile.texH; row++)
        std::memcpy(
            pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(tile.texW) * 4,
            rgba + (static_cast<size_t>(tile.texY + row) * static_cast<size_t>(w) + static_cast<size_t>(tile.texX)) * 4,
            static_cast<size_t>(tile.texW) * 4);
      tile.image = nvgCreateImageRGBA(mVG, tile.texW, tile.texH, 0, pixels.data());
      if (tile.image <= 0)
      {
        for (const Bitmap::Tile& made : tiles)
          nvgDeleteImage(mVG, made.image);
        return nullptr;
      }
      tiles.push_back(tile);
    }
  }
  return new Bitmap(mVG, std::move(tiles), w, h, scale, 1.f);
}

APIBitmap* IGraphicsNanoVG::LoadAPIBitmap(const char* name, const void* pData, int dataSize, int scale)
{
  StaticStorage<APIBitmap>::Accessor storage(mBitmapCache);
  if (APIBitmap* pCached = storage.Find(name, scale))
    return pCached;
  if (!mVG || !pData || dataSize <= 0)
    return nullptr;
  Bitmap* pBitmap = CreateImageBitmap(nullptr, pData, dataSize, scale, 1, false);
  if (!pBitmap)
    return nullptr;
  storage.Add(pBitmap, name, scale);
  return pBitmap;
}

APIBitmap* IGraphicsNanoVG::CreateAPIBitmap(int width, int height, int scale, double drawScale, bool cacheable)
{
  (void)cacheable;
  if (!mVG)
    return new Bitmap(nullptr, 0, scale, static_cast<float>(drawScale));
  if (mInDraw)
    nvgEndFrame(mVG);

  auto* pBitmap = new Bitmap(this, mVG, std::max(width, 1), std::max(height, 1), scale, static_cast<float>(drawScale));
  if (NVGLUframebuffer* pFBO = pBitmap->GetFBO())
  {
    nvgluBindFramebuffer(pFBO);
    glViewport(0, 0, std::max(width, 1), std::max(height, 1));
    glClearColor(0.f, 0.f, 0.f, 0.f);
    glClear(GL_COLOR_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    nvgBeginFrame(mVG, static_cast<float>(width), static_cast<float>(height), 1.f);
    nvgEndFrame(mVG);
  }

  if (mInDraw)
  {
    nvgluBindFramebuffer(mMainFrameBuffer);
    glViewport(0, 0, mMainFBWidth, mMainFBHeight);
    nvgBeginFrame(mVG, static_cast<float>(WindowWidth()), static_cast<float>(WindowHeight()), GetScreenScale());
    mDeviceClip = DeviceClip();
  }
  return pBitmap;
}

bool IGraphicsNanoVG::LoadAPIFont(const char* fontID, const PlatformFontPtr& font)
{
  if (!mVG || !fontID)
    return false;
  StaticStorage<IFontData>::Accessor storage(FontCache());
  if (IFontData* pCached = storage.Find(fontID))
    return nvgCreateFontMemAtIndex(mVG, fontID, pCached->Get(), pCached->GetSize(), 0, pCached->GetFaceIdx()) != -1;

  if (!font)
    return false;
  IFontDataPtr data = font->GetFontData();
  // The rasteriser trusts the bytes: a damaged face is refused here, like a missing one.
  if (!data || !data->IsValid() || !IsFaceDrawable(data->Get(), data->GetSize(), data->GetFaceIdx()))
    return false;
  if (nvgCreateFontMemAtIndex(mVG, fontID, data->Get(), data->GetSize(), 0, data->GetFaceIdx()) == -1)
    return false;
  storage.Add(data.release(), fontID);
  return true;
}

int IGraphicsNanoVG::NCachedBitmaps()
{
  StaticStorage<APIBitmap>::Accessor storage(mBitmapCache);
  return mBitmapCache.NEntries();
}

} // namespace iplug::igraphics
