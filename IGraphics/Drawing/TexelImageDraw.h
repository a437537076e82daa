#pragma once
// Draws an image whose texels fall one to one on device pixels as a plain textured rectangle. NanoVG draws every
// shape through one general shader (scissor mask, edge antialiasing, filtered sampling, paint types) with a
// fringe strip around it; for an axis-aligned image at whole device pixels all of that reduces to copying each
// texel, premultiplied, over its pixel. On a software renderer the general shader is most of a frame.

namespace iplug::igraphics
{

class TexelImageDraw
{
public:
  TexelImageDraw() = default;
  TexelImageDraw(const TexelImageDraw&) = delete;
  TexelImageDraw& operator=(const TexelImageDraw&) = delete;
  ~TexelImageDraw() = default; // Destroy() runs while the context is current

  /** Builds the program on the current context; false when it cannot (the caller then draws through NanoVG). */
  bool Create();
  void Destroy();
  bool IsReady() const { return mProgram != 0; }

  /** Draws the device-pixel rectangle [l, r) x [t, b) of a targetW x targetH target (rows counted from the top) with
   *  the texels of texture tex (texW x texH, straight alpha, rows from the top) whose texel (0, 0) lies on device
   *  pixel (originX, originY); texels beyond the texture's edge repeat its edge, as NanoVG's clamped sampling
   *  does. Colour is premultiplied, scaled by weight, and composited source-over. */
  void Draw(unsigned tex, int texW, int texH, int originX, int originY, int l, int t, int r, int b, int targetW,
            int targetH, float weight);

private:
  unsigned mProgram = 0;
  unsigned mVAO = 0;
  int mRectLoc = -1;
  int mTargetLoc = -1;
  int mOriginLoc = -1;
  int mTexSizeLoc = -1;
  int mWeightLoc = -1;
  int mTexLoc = -1;
};

} // namespace iplug::igraphics
