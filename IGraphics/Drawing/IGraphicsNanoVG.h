#pragma once
// Drawing backend on NanoVG with its GL3 renderer. Controls never draw to the window: every frame draws the
// dirty regions into one persistent framebuffer the size of the window in device pixels, then copies all of
// it to the window's target, so regions that are not dirty keep the pixels of earlier frames.

#include "IGraphics.h"
#include "TexelImageDraw.h"
#include "mutex.h"

#include <deque>
#include <vector>

struct NVGcontext;
struct NVGLUframebuffer;
struct NVGpaint;

namespace iplug::igraphics
{

class IFontData;

class IGraphicsNanoVG : public IGraphics
{
public:
  /** A NanoVG image, an image split over several (larger than one texture may be), or the image of an offscreen
   *  framebuffer. */
  class Bitmap : public APIBitmap
  {
  public:
    /** One texture of a split image: its own part of the image, and the texture holding that part with the
     *  neighbouring texels around it, so that filtering at the seams reads what one texture would. */
    struct Tile
    {
      int x, y, w, h;             // the part, in image pixels
      int texX, texY, texW, texH; // the texture, in image pixels
      int image;
    };

    /** An image decoded into pVG (owned unless shared). */
    Bitmap(NVGcontext* pVG, int image, int scale, float drawScale, bool shared = false);
    /** A width x height image split into tiles (owned). */
    Bitmap(NVGcontext* pVG, std::vector<Tile>&& tiles, int width, int height, int scale, float drawScale);
    /** An offscreen framebuffer owned through pGraphics' deletion rule. */
    Bitmap(IGraphicsNanoVG* pGraphics, NVGcontext* pVG, int width, int height, int scale, float drawScale);
    ~Bitmap() override;

    int GetImage() const { return mImage; }
    NVGLUframebuffer* GetFBO() const { return mFBO; }
    /** Empty unless the image is split. */
    const std::vector<Tile>& GetTiles() const { return mTiles; }
    /** A single texture of straight (not premultiplied) RGBA rows from the top, as decoded from a file. */
    bool IsPlainImage() const { return mPlain; }
    /** For an image without a translucent texel, a GL texture of its rows from the bottom (as a framebuffer's),
     *  to be copied straight into the frame; 0 otherwise. */
    unsigned GetOpaqueCopy() const { return mOpaqueCopy; }
    void SetOpaqueCopy(unsigned texture) { mOpaqueCopy = texture; }

  private:
    IGraphicsNanoVG* mGraphics = nullptr;
    NVGcontext* mVG = nullptr;
    NVGLUframebuffer* mFBO = nullptr;
    int mImage = -1;
    bool mShared = false;
    bool mPlain = false;
    unsigned mOpaqueCopy = 0;
    std::vector<Tile> mTiles;
  };

  IGraphicsNanoVG(IGEditorDelegate& dlg, int w, int h, int fps = kDefaultFPS, float scale = 1.f);
  ~IGraphicsNanoVG() override;

  const char* GetDrawingAPIStr() override { return "NanoVG | GL3"; }
  void* GetDrawContext() override { return mVG; }

  // --- frame and surface ---
  /** Creates the NanoVG context on the current GL context (pContext is unused: GL has one per thread). */
  void OnViewInitialized(void* pContext) override;
  void OnViewDestroyed() override;
  void DrawResize() override;
  void BeginFrame() override;
  void EndFrame() override;

  // --- drawing ---
  void DrawBitmap(const IBitmap& bitmap, const IRECT& dest, int srcX, int srcY,
                  const IBlend* pBlend = nullptr) override;
  void PathClear() override;
  void PathClose() override;
  void PathArc(float cx, float cy, float r, float a1, float a2, EWinding winding = EWinding::kCW) override;
  void PathMoveTo(float x, float y) override;
  void PathLineTo(float x, float y) override;
  void PathSetWinding(bool clockwise) override;
  void PathCubicBezierTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
  void PathQuadraticBezierTo(float cx, float cy, float x2, float y2) override;
  void PathStroke(const IPattern& pattern, float thickness, const IStrokeOptions& options = IStrokeOptions(),
                  const IBlend* pBlend = nullptr) override;
  void PathFill(const IPattern& pattern, const IFillOptions& options = IFillOptions(),
                const IBlend* pBlend = nullptr) override;
  void PathTransformSetMatrix(const IMatrix& m) override;
  void SetClipRegion(const IRECT& r) override;
  IColor GetPoint(int x, int y) override;
  /** A soft box-gradient shadow under innerBounds, dropped by xyDrop, painted within outerBounds. */
  void DrawFastDropShadow(const IRECT& innerBounds, const IRECT& outerBounds, float xyDrop = 5.f, float roundness = 0.f,
                          float blur = 10.f, const IBlend* pBlend = nullptr) override;

  // --- text ---
  float DoMeasureText(const IText& text, const char* str, IRECT& bounds) const override;
  void DoDrawText(const IText& text, const char* str, const IRECT& bounds, const IBlend* pBlend = nullptr) override;

  // --- bitmaps and fonts ---
  bool BitmapExtSupported(const char* ext) override;
  /** Loads through this context's own cache: NanoVG images belong to one NanoVG context. */
  IBitmap LoadBitmap(const char* name, int nStates = 1, bool framesAreHorizontal = false, int targetScale = 0) override;
  IBitmap LoadBitmap(const char* name, const void* pData, int dataSize, int nStates = 1,
                     bool framesAreHorizontal = false, int targetScale = 0) override;
  APIBitmap* LoadAPIBitmap(const char* fileNameOrResID, int scale, EResourceLocation location,
                           const char* ext) override;
  APIBitmap* LoadAPIBitmap(const char* name, const void* pData, int dataSize, int scale) override;
  APIBitmap* CreateAPIBitmap(int width, int height, int scale, double drawScale, bool cacheable = false) override;
  bool LoadAPIFont(const char* fontID, const PlatformFontPtr& font) override;
  void RetainBitmap(const IBitmap& bitmap, const char* cacheName) override { (void)bitmap, (void)cacheName; }
  void ReleaseBitmap(const IBitmap& bitmap) override { (void)bitmap; }
  int AlphaChannel() const override { return 3; }
  bool FlippedBitmap() const override { return false; }

  /** The GPU's limit on a texture's side (and a render target's), once the context exists; 0 before. */
  int GetMaxTextureSize() const { return mMaxTextureSize; }
  /** Lowers the texture limit below the GPU's, as a smaller GPU's would be (tests of large images and windows). */
  void LimitTextureSize(int size) { mTextureSizeLimit = size; }
  int GetMaxWindowPixels() const override;

  /** Entries in this context's bitmap cache (for tests and diagnostics). */
  int NCachedBitmaps();
  /** Whether the persistent framebuffer exists (it does after the first DrawResize with a context). */
  bool HasMainFramebuffer() const { return mMainFrameBuffer != nullptr; }
  /** Pixel size of the persistent framebuffer. */
  int MainFramebufferWidth() const { return mMainFBWidth; }
  int MainFramebufferHeight() const { return mMainFBHeight; }

  /** The process-wide font-data cache (every backend in the process shares it). */
  static StaticStorage<IFontData>& FontCache();

protected:
  /** Binds the target the finished frame is copied to: the window's, or a headless platform's own. Unless the copy
      replaces every pixel (\p overwritten), the target starts opaque black. */
  virtual void BindDefaultTarget(bool overwritten);
  /** Deletes a framebuffer now, or after the frame when one is being drawn. */
  void DeleteFBO(NVGLUframebuffer* pFBO);

private:
  void ClearFBOStack();
  void SetBlendMode(const IBlend* pBlend);
  NVGpaint MakePaint(const IPattern& pattern, const IBlend* pBlend);
  /** Sets font, size and alignment for the style; x and y receive the anchor point within bounds. */
  void PrepareAndMeasureText(const IText& text, const char* str, IRECT& r, double& x, double& y) const;
  /** Decodes a file (path) or encoded bytes into a bitmap, split when a side exceeds the texture limit; frames of
   *  a strip stay whole in one tile where they can. Null when the bytes hold no image. */
  Bitmap* CreateImageBitmap(const char* path, const void* pData, int dataSize, int scale, int nFrames,
                            bool framesAreHorizontal);
  /** A bitmap from a file (kAbsolutePath) or from the module's compiled-in resources (kWinBinary); null when
   *  there is no context or the resource holds no image. */
  Bitmap* LoadResourceBitmap(const char* fileNameOrResID, int scale, EResourceLocation location, const char* ext,
                             int nFrames, bool framesAreHorizontal);
  Bitmap* CreateTiledBitmap(const unsigned char* rgba, int w, int h, int scale, int nFrames, bool framesAreHorizontal);
  void DrawTiledBitmap(const Bitmap& bitmap, const IRECT& dest, int srcX, int srcY, const IBlend* pBlend);
  /** Draws a bitmap whose texels land one to one on whole device pixels of the main framebuffer without NanoVG's
   *  general shader; false (nothing drawn) for any other case. */
  bool DrawBitmapTexels(const Bitmap& bitmap, const IRECT& dest, int srcX, int srcY, const IBlend* pBlend);

  NVGcontext* mVG = nullptr;
  NVGLUframebuffer* mMainFrameBuffer = nullptr;
  int mMainFBWidth = 0;
  int mMainFBHeight = 0;
  int mMaxTextureSize = 0;
  int mTextureSizeLimit = 0;
  bool mInDraw = false;
  TexelImageDraw mTexelDraw;
  bool mCanCopyImage = false;
  /** The clip region NanoVG scissors to, in device pixels (valid unless NanoVG's transform then was turned). */
  struct DeviceClip
  {
    double l = 0.0, t = 0.0, r = 0.0, b = 0.0;
    bool set = false;
    bool valid = true;
  } mDeviceClip;
  WDL_Mutex mFBOMutex;
  std::deque<NVGLUframebuffer*> mFBOStack;
  StaticStorage<APIBitmap> mBitmapCache;
};

} // namespace iplug::igraphics
