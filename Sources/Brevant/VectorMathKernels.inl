// The kernels of one path of VectorMath.h, compiled once per path with that path's instruction set enabled. The
// including file defines BREVANT_SIMD_WIDTH (doubles per vector), BREVANT_SIMD_NAMESPACE and BREVANT_MVEC(fn),
// libmvec's entry point for fn at that width.
//
// No standard header is included here: inline library code compiled with wider instructions could be picked by the
// linker for the callers of the baseline build.

#include "VectorMath.h"

namespace brevant::simd::BREVANT_SIMD_NAMESPACE
{

constexpr int W = BREVANT_SIMD_WIDTH;
typedef double VD __attribute__((vector_size(W * sizeof(double))));

extern "C"
{
  VD BREVANT_MVEC(sin)(VD);
  VD BREVANT_MVEC(tanh)(VD);
  VD BREVANT_MVEC(exp)(VD);
  VD BREVANT_MVEC(log)(VD);
}

// a b = p + e exactly (Veltkamp split, Dekker product; no FMA needed).
inline void TwoProduct(VD a, VD b, VD& p, VD& e)
{
  const VD split = VD{} + 134217729.0; // 2^27 + 1
  p = a * b;
  const VD ca = split * a, cb = split * b;
  const VD ah = ca - (ca - a), al = a - ah;
  const VD bh = cb - (cb - b), bl = b - bh;
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// The powers are rounded once from their exact value, as pow() rounds them: sin(v^4) turns the rounding error of
// a large v^4 into an error of the result, which two plain products would double. Where the exact terms overflow
// (|v| above 2^255) the result is NaN either way, as sin(inf) is.
//
// Audio mostly stays below 1 in magnitude, where v^4 is below v and the plain products' rounding (under two units
// of v^4) moves the result by a hundredth of a unit of v: vectors that lie wholly there take the plain products,
// and sin(v^4) its Taylor series to the 19th power (a remainder under 1e-19 for arguments up to 1). Below a half,
// the two tanh take theirs to the 17th power too (arguments up to an eighth: a remainder under 1e-20).
inline VD TanhUpToEighth(VD x)
{
  const VD x2 = x * x;
  VD q = VD{} + 0.000590027440945586;
  q = q * x2 - 0.0014558343870513183;
  q = q * x2 + 0.003592128036572481;
  q = q * x2 - 0.008863235529902197;
  q = q * x2 + 0.021869488536155203;
  q = q * x2 - 0.05396825396825397;
  q = q * x2 + 0.13333333333333333;
  q = q * x2 - 0.3333333333333333;
  return x + x * x2 * q;
}

inline VD SinUpToOne(VD x)
{
  const VD x2 = x * x;
  VD q = VD{} - 8.22063524662433e-18;
  q = q * x2 + 2.8114572543455206e-15;
  q = q * x2 - 7.647163731819816e-13;
  q = q * x2 + 1.6059043836821613e-10;
  q = q * x2 - 2.505210838544172e-08;
  q = q * x2 + 2.755731922398589e-06;
  q = q * x2 - 1.984126984126984e-04;
  q = q * x2 + 8.333333333333333e-03;
  q = q * x2 - 1.6666666666666666e-01;
  return x + x * x2 * q;
}

inline VD Saturate(VD v)
{
  const VD square = v * v;
  const auto small = square < 1.0, tiny = square < 0.25; // false for NaN
  bool allSmall = true, allTiny = true;
  for (int i = 0; i < W; i++)
  {
    allSmall = allSmall && small[i] != 0;
    allTiny = allTiny && tiny[i] != 0;
  }
  if (allTiny)
  {
    const VD v2 = v * v, v3 = v2 * v, v4 = v2 * v2;
    return v + kSaturationDepth * (SinUpToOne(v4) - (TanhUpToEighth(v3) - TanhUpToEighth(v4)));
  }
  if (allSmall)
  {
    const VD v2 = v * v, v3 = v2 * v, v4 = v2 * v2;
    return v + kSaturationDepth * (SinUpToOne(v4) - (BREVANT_MVEC(tanh)(v3) - BREVANT_MVEC(tanh)(v4)));
  }
  VD p, e, q, f;
  TwoProduct(v, v, p, e); // v^2 = p + e
  TwoProduct(p, v, q, f);
  const VD v3 = q + (f + e * v);
  TwoProduct(p, p, q, f);
  const VD v4 = q + (f + 2.0 * p * e + e * e);
  return v + kSaturationDepth * (BREVANT_MVEC(sin)(v4) - (BREVANT_MVEC(tanh)(v3) - BREVANT_MVEC(tanh)(v4)));
}

inline VD Exp(VD v) { return BREVANT_MVEC(exp)(v); }
inline VD Log(VD v) { return BREVANT_MVEC(log)(v); }

// Whole vectors, then the rest through a zero-padded vector.
template <VD (*Fn)(VD)> void Apply(const double* in, double* out, int n)
{
  int i = 0;
  for (; i + W <= n; i += W)
  {
    VD v;
    __builtin_memcpy(&v, in + i, sizeof v);
    v = Fn(v);
    __builtin_memcpy(out + i, &v, sizeof v);
  }
  if (i < n)
  {
    double buffer[W] = {};
    __builtin_memcpy(buffer, in + i, sizeof(double) * static_cast<unsigned>(n - i));
    VD v;
    __builtin_memcpy(&v, buffer, sizeof v);
    v = Fn(v);
    __builtin_memcpy(buffer, &v, sizeof v);
    __builtin_memcpy(out + i, buffer, sizeof(double) * static_cast<unsigned>(n - i));
  }
}

inline VD Load(const double* p)
{
  VD v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

inline void Store(double* p, VD v) { __builtin_memcpy(p, &v, sizeof v); }

// Four output vectors at a time, each with one accumulator in the order of the scalar sum, so the result has its
// bits; the four independent chains hide the additions' latency.
inline void Halfband(const double* s, const double* c, double* out, int n)
{
  constexpr int kPairs = 32, kReach = 63;
  int i = 0;
  for (; i + 4 * W <= n; i += 4 * W)
  {
    VD a0 = {}, a1 = {}, a2 = {}, a3 = {};
    const double* p = s + i;
    for (int m = 0; m < kPairs; m++)
    {
      const VD cm = VD{} + c[m];
      a0 = a0 + cm * (Load(p + kReach - m) + Load(p + m));
      a1 = a1 + cm * (Load(p + W + kReach - m) + Load(p + W + m));
      a2 = a2 + cm * (Load(p + 2 * W + kReach - m) + Load(p + 2 * W + m));
      a3 = a3 + cm * (Load(p + 3 * W + kReach - m) + Load(p + 3 * W + m));
    }
    Store(out + i, a0);
    Store(out + i + W, a1);
    Store(out + i + 2 * W, a2);
    Store(out + i + 3 * W, a3);
  }
  for (; i + W <= n; i += W)
  {
    VD a = {};
    for (int m = 0; m < kPairs; m++)
      a = a + (VD{} + c[m]) * (Load(s + i + kReach - m) + Load(s + i + m));
    Store(out + i, a);
  }
  for (; i < n; i++)
  {
    double a = 0.0;
    for (int m = 0; m < kPairs; m++)
      a += c[m] * (s[i + kReach - m] + s[i + m]);
    out[i] = a;
  }
}

} // namespace brevant::simd::BREVANT_SIMD_NAMESPACE
