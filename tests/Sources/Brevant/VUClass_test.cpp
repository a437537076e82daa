#include "VUClass.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(VUClass, BallisticsAndOvershoot)
{
  const double fs = 44100;

  // Falling step 1 -> 0.5: heads for 0.5 * 0.9875, so it crosses 0.5 and then dithers around it.
  VUClass vu(1.0);
  double prev = 1.0;
  int crossedAt = -1;
  for (int i = 0; i < 3 * 13230; i++)
  {
    const double s = vu.Process(0.5, fs);
    if (crossedAt < 0)
    {
      ASSERT_LT(s, prev) << i;
      if (s <= 0.5)
        crossedAt = i;
    }
    prev = s;
  }
  ASSERT_GT(crossedAt, 0);
  // A plain exponential over 300 ms would still be 1 % short after 13230 samples; aiming past the target
  // crosses it well before.
  EXPECT_LT(crossedAt, 13230);
  EXPECT_NEAR(vu.state, 0.5, 0.5 * 0.0005);

  // Rising step 0 -> 1: monotone until it crosses 1, then stays within a fraction of a percent.
  VUClass up(0.0);
  prev = 0;
  bool crossed = false;
  double lo = 2, hi = 0;
  for (int i = 0; i < 4 * 13230; i++)
  {
    const double s = up.Process(-1.0, fs); // magnitude is what counts
    if (!crossed)
    {
      ASSERT_GT(s, prev) << i;
      crossed = s >= 1.0;
    }
    else if (i > 2 * 13230)
    {
      lo = std::fmin(lo, s);
      hi = std::fmax(hi, s);
    }
    prev = s;
  }
  EXPECT_TRUE(crossed);
  EXPECT_GT(lo, 0.999);
  EXPECT_LT(hi, 1.001);

  // 300 ms to cover 99 % of the way to the (overshooting) target: from 1 towards 0.
  VUClass drop(1.0);
  for (int i = 0; i < 13230; i++)
    drop.Process(0.0, fs);
  EXPECT_NEAR(drop.state, 0.01, 1e-9);
}

TEST(VUClass, FaultyInputsDoNotStickTheNeedle)
{
  VUClass vu(0.8);
  vu.Process(NAN, 44100);
  vu.Process(INFINITY, 44100);
  EXPECT_EQ(vu.state, 0.8);                      // skipped
  EXPECT_EQ(vu.Process(0.5, 0.0), 0.5 * 0.9875); // no rate: moves at once
  for (double fs : {-44100.0, -0.0, double(NAN)})
  {
    VUClass v(0.8);
    EXPECT_EQ(v.Process(0.5, fs), 0.5 * 0.9875) << fs;
    EXPECT_TRUE(std::isfinite(v.Process(0.7, 44100)));
  }
}
