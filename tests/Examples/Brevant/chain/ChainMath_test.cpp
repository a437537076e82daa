// The saturation's exact powers return what pow() returns, bit for bit, over the range the chain meets and at
// its edges, including the values where rounding the exact power and pow() could part ways.

#include "BrevantMath.h"
#include "ChainHarness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace
{

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

TEST(ChainMath, PowersAreWhatPowReturns)
{
  chaintest::Rng rng(17);
  long nearMidpoint = 0;
  for (int i = 0; i < 2000000; i++)
  {
    // Signal-like magnitudes from far below to well above full scale, both signs.
    const double v = rng.Bipolar() * std::pow(2.0, rng.Uniform() * 40.0 - 30.0);
    double v3, v4;
    brevant::Powers34(v, v3, v4);
    ASSERT_TRUE(SameBits(v3, std::pow(v, 3.0))) << v;
    ASSERT_TRUE(SameBits(v4, std::pow(v, 4.0))) << v;
    double r;
    double p, e, q, f;
    brevant::TwoProduct(v, v, p, e);
    brevant::TwoProduct(p, p, q, f);
    nearMidpoint += !brevant::RoundLikePow(q, f + 2.0 * p * e + e * e, r);
  }
  // The hand-over to pow() happened (a few percent of the values), so both paths were checked.
  EXPECT_GT(nearMidpoint, 1000);

  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {0.0, -0.0, 5e-324, -2.2e-308, 0x1p-200, -0x1p-200, 0x1.fffffffffffffp-201, 0x1p200, -0x1p200,
                   0x1.0000000000001p200, 1e-100, 1e100, 1e300, -1e300, 1.0, -1.0, inf, -inf,
                   std::numeric_limits<double>::quiet_NaN()})
  {
    double v3, v4;
    brevant::Powers34(v, v3, v4);
    EXPECT_TRUE(SameBits(v3, std::pow(v, 3.0))) << v;
    EXPECT_TRUE(SameBits(v4, std::pow(v, 4.0))) << v;
  }
}

TEST(ChainMath, SaturationIsTheFormula)
{
  chaintest::Rng rng(23);
  for (int i = 0; i < 200000; i++)
  {
    const double v = rng.Bipolar() * 3.0;
    const double literal = v + 0.005623413251903491 * (std::sin(std::pow(v, 4.0)) -
                                                       (std::tanh(std::pow(v, 3.0)) - std::tanh(std::pow(v, 4.0))));
    ASSERT_TRUE(SameBits(brevant::Saturate(v), literal)) << v;
  }
}

} // namespace
