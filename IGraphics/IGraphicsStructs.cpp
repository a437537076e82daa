#include "IGraphicsStructs.h"

namespace iplug::igraphics
{

namespace
{
// A coordinate already on the grid may come back a few float ulps off it after the float round trip
// (v * s == 15.9999995 for an aligned 16). Snapping such near-integers keeps alignment idempotent:
// without it, re-aligning an aligned rectangle could grow or shrink it by a whole pixel.
double SnapToGrid(double x)
{
  const double nearest = std::round(x);
  const double tolerance = std::max(1e-7, std::fabs(x) * 4.8e-7); // about four float ulps
  return std::fabs(x - nearest) < tolerance ? nearest : x;
}

float AlignDown(float v, float scale)
{
  return static_cast<float>(std::floor(SnapToGrid(static_cast<double>(v) * scale)) / scale);
}

float AlignUp(float v, float scale)
{
  return static_cast<float>(std::ceil(SnapToGrid(static_cast<double>(v) * scale)) / scale);
}
} // namespace

void IRECT::PixelAlign(float scale)
{
  if (scale <= 0.f)
    return;
  L = AlignDown(L, scale);
  T = AlignDown(T, scale);
  R = AlignUp(R, scale);
  B = AlignUp(B, scale);
}

IRECT IRECTList::Bounds() const
{
  IRECT r;
  for (const IRECT& m : mRects)
    r = r.Union(m);
  return r;
}

void IRECTList::PixelAlign(float scale)
{
  for (IRECT& r : mRects)
    r.PixelAlign(scale);
}

void IRECTList::Shrink(int idx, const IRECT& x)
{
  const IRECT r = mRects[static_cast<size_t>(idx)];
  IRECT kept;
  IRECT rest; // the far side when X lies inside r's span rather than at one end of it
  if (r.L != x.L)
  {
    kept = IRECT(r.L, r.T, x.L, r.B);
    if (r.R != x.R)
      rest = IRECT(x.R, r.T, r.R, r.B);
  }
  else if (r.T != x.T)
  {
    kept = IRECT(r.L, r.T, r.R, x.T);
    if (r.B != x.B)
      rest = IRECT(r.L, x.B, r.R, r.B);
  }
  else if (r.R != x.R)
    kept = IRECT(x.R, r.T, r.R, r.B);
  else
    kept = IRECT(r.L, x.B, r.R, r.B);

  mRects[static_cast<size_t>(idx)] = kept;
  if (!rest.Empty())
    mRects.push_back(rest);
}

void IRECTList::Split(int idx, const IRECT& x)
{
  const IRECT r = mRects[static_cast<size_t>(idx)];
  IRECT kept;
  IRECT added;
  if (r.L != x.L && r.T != x.T)
  {
    added = IRECT(r.L, r.T, r.R, x.T);
    kept = IRECT(r.L, x.T, x.L, r.B);
  }
  else if (r.L != x.L)
  {
    added = IRECT(r.L, r.T, x.L, x.B);
    kept = IRECT(r.L, x.B, r.R, r.B);
  }
  else if (r.T != x.T)
  {
    added = IRECT(r.L, r.T, r.R, x.T);
    kept = IRECT(x.R, x.T, r.R, r.B);
  }
  else
  {
    added = IRECT(x.R, r.T, r.R, x.B);
    kept = IRECT(r.L, x.B, r.R, r.B);
  }
  mRects[static_cast<size_t>(idx)] = kept;
  mRects.push_back(added);
}

void IRECTList::Optimize()
{
  // First pass: make the rectangles disjoint without changing the area they cover.
  for (int i = 0; i < Size(); i++)
  {
    for (int j = i + 1; j < Size(); j++)
    {
      const IRECT& ri = mRects[static_cast<size_t>(i)];
      const IRECT& rj = mRects[static_cast<size_t>(j)];
      if (ri.Contains(rj))
      {
        Delete(j);
        j--;
      }
      else if (rj.Contains(ri))
      {
        Delete(i);
        j = i;
      }
      else if (ri.Intersects(rj))
      {
        const IRECT x = ri.Intersect(rj);
        if (ri.Mergeable(x))
          Shrink(i, x);
        else if (rj.Mergeable(x))
          Shrink(j, x);
        else if (rj.Area() > ri.Area())
          Split(i, x);
        else
          Split(j, x);
      }
    }
  }

  // Second pass: join neighbours that form a rectangle together.
  for (int i = 0; i < Size(); i++)
  {
    for (int j = i + 1; j < Size(); j++)
    {
      if (mRects[static_cast<size_t>(i)].Mergeable(mRects[static_cast<size_t>(j)]))
      {
        mRects[static_cast<size_t>(j)] = mRects[static_cast<size_t>(j)].Union(mRects[static_cast<size_t>(i)]);
        Delete(i);
        i = -1;
        break;
      }
    }
  }
}

IMatrix& IMatrix::Rotate(float degrees)
{
  const double rad = static_cast<double>(degrees) * 3.14159265358979323846 / 180.0;
  const double c = std::cos(rad);
  const double s = std::sin(rad);
  return Transform(IMatrix(c, s, -s, c, 0.0, 0.0));
}

IMatrix& IMatrix::Transform(const IMatrix& m)
{
  const IMatrix a = *this;
  mXX = a.mXX * m.mXX + a.mXY * m.mYX;
  mYX = a.mYX * m.mXX + a.mYY * m.mYX;
  mXY = a.mXX * m.mXY + a.mXY * m.mYY;
  mYY = a.mYX * m.mXY + a.mYY * m.mYY;
  mTX = a.mXX * m.mTX + a.mXY * m.mTY + a.mTX;
  mTY = a.mYX * m.mTX + a.mYY * m.mTY + a.mTY;
  return *this;
}

bool IMatrix::Invert()
{
  const double det = mXX * mYY - mXY * mYX;
  if (det == 0.0 || !std::isfinite(det))
    return false;
  const IMatrix a = *this;
  mXX = a.mYY / det;
  mXY = -a.mXY / det;
  mYX = -a.mYX / det;
  mYY = a.mXX / det;
  mTX = -(mXX * a.mTX + mXY * a.mTY);
  mTY = -(mYX * a.mTX + mYY * a.mTY);
  return true;
}

IPattern IPattern::CreateLinearGradient(float x1, float y1, float x2, float y2, const std::vector<IColorStop>& stops)
{
  IPattern p(EPatternType::kLinear);
  // The gradient runs along x in pattern space; map (x1, y1)-(x2, y2) onto 0..1 of it.
  const float dx = x2 - x1;
  const float dy = y2 - y1;
  const float len2 = dx * dx + dy * dy;
  if (len2 > 0.f)
    p.mTransform = IMatrix(dx / len2, -dy / len2, dy / len2, dx / len2, 0.0, 0.0);
  p.mTransform = IMatrix(p.mTransform).Transform(IMatrix(1.0, 0.0, 0.0, 1.0, -x1, -y1));
  for (const IColorStop& s : stops)
    p.AddStop(s.mColor, s.mOffset);
  return p;
}

IPattern IPattern::CreateRadialGradient(float x1, float y1, float r, const std::vector<IColorStop>& stops)
{
  IPattern p(EPatternType::kRadial);
  const double inv = r > 0.f ? 1.0 / r : 1.0;
  p.mTransform = IMatrix(inv, 0.0, 0.0, inv, -x1 * inv, -y1 * inv);
  for (const IColorStop& s : stops)
    p.AddStop(s.mColor, s.mOffset);
  return p;
}

} // namespace iplug::igraphics
