#pragma once
// The chain's saturation, v + c * (sin(v^4) - (tanh(v^3) - tanh(v^4))), runs five to nine times per sample. Its two
// powers cost more than the sin and tanh together when left to pow(), so they are computed here exactly (a
// double-double product, no FMA needed) and rounded once: that is the correctly rounded power. The C library's
// pow() is within 0.52 units in the last place, so the two can only disagree when the exact power lies within
// 0.02 units of a rounding midpoint; those values (a few percent) are handed to pow() itself. The result is
// therefore the very value pow() returns, at a fraction of the cost.

#include <cmath>
#include <cstdint>
#include <cstring>

namespace brevant
{

/** a * b = p + e exactly (Veltkamp split, Dekker product); |a|, |b| well inside the double range. */
inline void TwoProduct(double a, double b, double& p, double& e)
{
  constexpr double kSplit = 134217729.0; // 2^27 + 1
  p = a * b;
  const double ca = kSplit * a, cb = kSplit * b;
  const double ah = ca - (ca - a), al = a - ah;
  const double bh = cb - (cb - b), bl = b - bh;
  e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

/** hi + lo rounded, when that is sure to be what pow() returns (not within 0.02 units of a midpoint). */
inline bool RoundLikePow(double hi, double lo, double& result)
{
  const double r = hi + lo;
  const double err = (hi - r) + lo; // exact: |lo| is far below |hi|
  uint64_t bits;
  std::memcpy(&bits, &r, sizeof bits);
  bits = (bits & 0x7ff0000000000000ull) - (52ull << 52); // the unit in the last place of r (r is normal here)
  double ulp;
  std::memcpy(&ulp, &bits, sizeof ulp);
  result = r;
  return std::fabs(err) < 0.48 * ulp;
}

/** v^3 and v^4, bit for bit what std::pow(v, 3.0) and std::pow(v, 4.0) return. */
inline void Powers34(double v, double& v3, double& v4)
{
  const double a = std::fabs(v);
  if (a >= 0x1p-200 && a <= 0x1p200)
  {
    double p, e, q, f;
    TwoProduct(v, v, p, e); // v^2 = p + e
    TwoProduct(p, v, q, f); // v^3 = q + (f + e v)
    const bool ok3 = RoundLikePow(q, f + e * v, v3);
    TwoProduct(p, p, q, f); // v^4 = q + (f + 2 p e + e^2)
    const bool ok4 = RoundLikePow(q, f + 2.0 * p * e + e * e, v4);
    if (ok3 && ok4)
      return;
  }
  // Zero, extremes, non-finite values, and the rare near-midpoint cases.
  v3 = std::pow(v, 3.0);
  v4 = std::pow(v, 4.0);
}

/** -45 dB: the saturation colours faintly and never limits. */
constexpr double kSaturationDepth = 0.005623413251903491;

inline double Saturate(double v)
{
  double v3, v4;
  Powers34(v, v3, v4);
  return v + kSaturationDepth * (std::sin(v4) - (std::tanh(v3) - std::tanh(v4)));
}

} // namespace brevant
