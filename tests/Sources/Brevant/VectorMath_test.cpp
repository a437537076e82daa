// The vector kernels on every path this processor runs, against the scalar functions and the literal saturation:
// accuracy over the ranges the chain meets, every length (whole vectors and the padded rest, in place or not, never
// writing past the end), and non-finite values.

#include "ReferenceBlocks.h"
#include "VectorMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace
{

using brevant::simd::Kernels;
using brevant::simd::Path;

std::vector<const Kernels*> SupportedPaths()
{
  std::vector<const Kernels*> paths;
  for (int p = 0; p < static_cast<int>(Path::kNumPaths); p++)
  {
    if (brevant::simd::Force(static_cast<Path>(p)))
      paths.push_back(&brevant::simd::Active());
  }
  brevant::simd::Force(brevant::simd::Widest());
  return paths;
}

// Distance in representable doubles (same sign assumed; both NaN: 0).
double Ulps(double a, double b)
{
  if (a != a || b != b)
    return a != a && b != b ? 0.0 : INFINITY;
  if (a == b)
    return 0.0;
  int64_t ia, ib;
  std::memcpy(&ia, &a, sizeof a);
  std::memcpy(&ib, &b, sizeof b);
  if ((ia < 0) != (ib < 0))
    return INFINITY;
  return std::fabs(static_cast<double>(ia - ib));
}

uint64_t gState = 88172645463325252ull;
double Uniform()
{
  gState ^= gState << 13;
  gState ^= gState >> 7;
  gState ^= gState << 17;
  return static_cast<double>(gState >> 11) / 9007199254740992.0;
}

TEST(VectorMath, PathsAreChosenAtRunTime)
{
  EXPECT_TRUE(brevant::simd::Supported(Path::kSse2));
  EXPECT_TRUE(brevant::simd::Supported(brevant::simd::Widest()));
  EXPECT_EQ(brevant::simd::Choose("sse2"), Path::kSse2);
  EXPECT_EQ(brevant::simd::Choose(nullptr), brevant::simd::Widest());
  EXPECT_EQ(brevant::simd::Choose("altivec"), brevant::simd::Widest());
  for (const Kernels* k : SupportedPaths())
  {
    EXPECT_EQ(brevant::simd::Choose(k->name), k->path);
    EXPECT_EQ(k->width * 64, k->path == Path::kSse2 ? 128 : k->path == Path::kAvx2 ? 256 : 512) << k->name;
  }
  std::printf("[ paths    ] widest: %s\n", brevant::simd::Active().name);
}

TEST(VectorMath, EveryPathAgreesWithTheScalarFunctions)
{
  constexpr int kN = 200000;
  for (const Kernels* k : SupportedPaths())
  {
    std::vector<double> x(kN), y(kN);
    // exp over its whole finite range, log over magnitudes from subnormal-adjacent to huge.
    for (int i = 0; i < kN; i++)
      x[i] = -708.0 + 1417.0 * Uniform();
    k->exp(x.data(), y.data(), kN);
    double worstExp = 0.0, worstLog = 0.0, worstSat = 0.0;
    for (int i = 0; i < kN; i++)
      worstExp = std::max(worstExp, Ulps(y[i], std::exp(x[i])));
    for (int i = 0; i < kN; i++)
      x[i] = std::exp2(-1000.0 + 2000.0 * Uniform());
    k->log(x.data(), y.data(), kN);
    for (int i = 0; i < kN; i++)
      worstLog = std::max(worstLog, Ulps(y[i], std::log(x[i])));
    // The saturation over signal levels from far below to far above full scale. Above full scale sin(v^4) turns
    // fast: one unit in the last place of v^4 (pow() itself is only within 0.52 of one) moves the result by up to
    // that much times the depth, so the error is measured against a few units of the result plus that.
    for (int i = 0; i < kN; i++)
      x[i] = (Uniform() < 0.5 ? -1.0 : 1.0) * std::exp2(-30.0 + 36.0 * Uniform());
    k->saturate(x.data(), y.data(), kN);
    for (int i = 0; i < kN; i++)
    {
      const double r = refchain::saturate(x[i]);
      const double v4Ulp = 0x1p-52 * std::pow(x[i], 4.0);
      worstSat = std::max(worstSat, std::fabs(y[i] - r) / (0x1p-52 * std::max(1.0, std::fabs(r)) +
                                                           brevant::simd::kSaturationDepth * v4Ulp));
    }
    std::printf("[ accuracy ] %s: exp %.0f ulp, log %.0f ulp, saturation %.2f units\n", k->name, worstExp, worstLog,
                worstSat);
    EXPECT_LE(worstExp, 4.0) << k->name;
    EXPECT_LE(worstLog, 4.0) << k->name;
    EXPECT_LE(worstSat, 4.0) << k->name;
  }
}

TEST(VectorMath, EveryLengthInPlaceOrNotWithoutOverrun)
{
  constexpr double kGuard = 12345.0;
  for (const Kernels* k : SupportedPaths())
  {
    for (int n = 0; n <= 19; n++)
    {
      std::vector<double> in(static_cast<size_t>(n) + 4, kGuard), out(static_cast<size_t>(n) + 4, kGuard);
      for (int i = 0; i < n; i++)
        in[static_cast<size_t>(i)] = 0.1 * (i + 1) * (i % 2 ? -1.0 : 1.0);
      std::vector<double> inPlace = in;
      k->saturate(in.data(), out.data(), n);
      k->saturate(inPlace.data(), inPlace.data(), n);
      for (int i = 0; i < n + 4; i++)
      {
        const auto u = static_cast<size_t>(i);
        if (i < n)
        {
          EXPECT_NEAR(out[u], refchain::saturate(in[u]), 1e-15) << k->name << " n " << n << " i " << i;
          EXPECT_EQ(inPlace[u], out[u]) << k->name << " n " << n << " i " << i;
        }
        else
        {
          EXPECT_EQ(out[u], kGuard) << k->name << " n " << n << " i " << i;
          EXPECT_EQ(inPlace[u], kGuard) << k->name << " n " << n << " i " << i;
        }
      }
    }
  }
}

TEST(VectorMath, NonFiniteAndExtremeValues)
{
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  for (const Kernels* k : SupportedPaths())
  {
    // The saturation of a non-finite value, or of one whose fourth power overflows, is NaN, as the formula's is;
    // zero stays zero; a huge but finite v^4 goes through sin()'s full argument reduction.
    const double sIn[] = {nan, inf, -inf, 1e100, -1e80, 0.0, 1e50, 3e7};
    double s[std::size(sIn)];
    k->saturate(sIn, s, static_cast<int>(std::size(sIn)));
    for (int i = 0; i < 5; i++)
      EXPECT_TRUE(std::isnan(s[i])) << k->name << " " << sIn[i];
    EXPECT_EQ(s[5], 0.0) << k->name;
    for (int i = 6; i < 8; i++)
      EXPECT_NEAR(s[i], refchain::saturate(sIn[i]), 1e-15 * std::fabs(sIn[i])) << k->name << " " << sIn[i];

    const double eIn[] = {nan, inf, -inf, 710.0, -746.0, 0.0};
    double e[std::size(eIn)];
    k->exp(eIn, e, static_cast<int>(std::size(eIn)));
    EXPECT_TRUE(std::isnan(e[0])) << k->name;
    EXPECT_EQ(e[1], inf) << k->name;
    EXPECT_EQ(e[2], 0.0) << k->name;
    EXPECT_EQ(e[3], inf) << k->name;
    EXPECT_EQ(e[4], 0.0) << k->name;
    EXPECT_EQ(e[5], 1.0) << k->name;

    const double lIn[] = {nan, inf, 0.0, -1.0, 1.0};
    double l[std::size(lIn)];
    k->log(lIn, l, static_cast<int>(std::size(lIn)));
    EXPECT_TRUE(std::isnan(l[0])) << k->name;
    EXPECT_EQ(l[1], inf) << k->name;
    EXPECT_EQ(l[2], -inf) << k->name;
    EXPECT_TRUE(std::isnan(l[3])) << k->name;
    EXPECT_EQ(l[4], 0.0) << k->name;
  }
}

} // namespace
