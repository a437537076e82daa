#include "Biquad.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace
{
constexpr int kWindow = 32768; // frequencies are m / kWindow, so the window holds whole periods

// Steady-state gain in dB of a sine at normalized frequency m / kWindow, measured by RMS after settling.
double gainDb(Biquad f, int m)
{
  const double w = 2 * M_PI * m / kWindow;
  double in2 = 0, out2 = 0;
  for (int i = 0; i < 2 * kWindow; i++)
  {
    const float x = static_cast<float>(0.5 * std::sin(w * i));
    const float y = f.process(x);
    if (i >= kWindow)
    {
      in2 += double(x) * x;
      out2 += double(y) * y;
    }
  }
  return 10 * std::log10(out2 / in2);
}

std::vector<float> noise(int n, unsigned seed = 1)
{
  std::vector<float> v(n);
  for (auto& s : v)
  {
    seed = seed * 1664525u + 1013904223u;
    s = static_cast<float>((seed >> 8) / double(1 << 24) - 0.5);
  }
  return v;
}

bool sameCoefficients(const Biquad& a, const Biquad& b)
{
  return a.a0 == b.a0 && a.a1 == b.a1 && a.a2 == b.a2 && a.b1 == b.b1 && a.b2 == b.b2;
}
} // namespace

TEST(Biquad, MeasuredResponsesMatchTheirShapes)
{
  const int fc = 3277; // ~0.1 of the sample rate
  const double atQ = 20 * std::log10(0.707);

  Biquad lp(kLowpass, fc / double(kWindow), 0.707, 0);
  EXPECT_NEAR(gainDb(lp, fc), atQ, 0.01); // -3 dB point
  EXPECT_NEAR(gainDb(lp, 40), 0.0, 0.01);
  EXPECT_LT(gainDb(lp, 4 * fc), -25.0); // 12 dB per octave above the corner

  Biquad hp(kHighpass, fc / double(kWindow), 0.707, 0);
  EXPECT_NEAR(gainDb(hp, fc), atQ, 0.01);
  EXPECT_NEAR(gainDb(hp, 15000), 0.0, 0.05);
  EXPECT_LT(gainDb(hp, fc / 4), -23.0);

  Biquad bp(kBandpass, fc / double(kWindow), 2.0, 0);
  EXPECT_NEAR(gainDb(bp, fc), 0.0, 0.01);
  EXPECT_LT(gainDb(bp, fc / 4), -10.0);
  EXPECT_LT(gainDb(bp, 4 * fc), -10.0);

  Biquad notch(kNotch, fc / double(kWindow), 0.707, 0);
  EXPECT_LT(gainDb(notch, fc), -60.0);
  EXPECT_NEAR(gainDb(notch, 40), 0.0, 0.01);

  // The chain's input conditioning: a very wide band-pass that blocks DC and leaves the audio band nearly flat.
  Biquad wide(kBandpass, 500 / 44100.0, 0.007, 0);
  for (int m : {75, 750, 7400}) // ~100 Hz, 1 kHz, 10 kHz at 44.1 kHz
    EXPECT_NEAR(gainDb(wide, m), 0.0, 0.15) << m;
  float y = 0;
  for (int i = 0; i < 200000; i++)
    y = wide.process(1.0f);
  EXPECT_LT(std::fabs(y), 1e-4);
}

TEST(Biquad, GainFiltersReachTheirGainAndInvertEachOther)
{
  const int fc = 1638; // ~0.05
  for (double g : {6.0, 20.0})
  {
    Biquad peak(kPeak, fc / double(kWindow), 0.707, g);
    EXPECT_NEAR(gainDb(peak, fc), g, 0.01);
    EXPECT_NEAR(gainDb(peak, 15000), 0.0, 0.4); // a wide bell still lifts the top slightly
    Biquad cut(kPeak, fc / double(kWindow), 0.707, -g);
    EXPECT_NEAR(gainDb(cut, fc), -g, 0.01);

    Biquad lowShelf(kLowshelf, fc / double(kWindow), 0.707, g);
    EXPECT_NEAR(gainDb(lowShelf, 4), g, 0.02);
    EXPECT_NEAR(gainDb(lowShelf, 16000), 0.0, 0.05);
    Biquad highShelf(kHighshelf, fc / double(kWindow), 0.707, -g);
    EXPECT_NEAR(gainDb(highShelf, 4), 0.0, 0.02);
    EXPECT_NEAR(gainDb(highShelf, 16000), -g, 0.02);
  }

  // +g followed by -g restores the signal (to float resolution) for each gain type.
  const auto x = noise(20000);
  for (int type : {kPeak, kLowshelf, kHighshelf})
  {
    Biquad boost(type, 0.03, 0.5, 15), undo(type, 0.03, 0.5, -15);
    double worst = 0;
    for (float s : x)
      worst = std::fmax(worst, std::fabs(undo.process(boost.process(s)) - s));
    EXPECT_LT(worst, 1e-5) << type;
  }

  // 0 dB passes the signal unchanged.
  for (int type : {kPeak, kLowshelf, kHighshelf})
  {
    Biquad flat(type, 0.1, 0.707, 0);
    for (float s : noise(1000))
      ASSERT_NEAR(flat.process(s), s, 1e-6);
  }
}

TEST(Biquad, RetuningKeepsStateAndDoesNotClick)
{
  // A low sine through a low-pass whose corner sweeps every 64 samples, and a low shelf whose gain sweeps: no
  // sample-to-sample jump larger than the sine's own slope allows (the shelf overshoots its gain a little; a
  // state reset at each retune jumps by about 5).
  const double w = 2 * M_PI * 0.006;
  const double maxStep = w * 0.5 * 10.0; // amplitude 0.5, shelf up to +20 dB (x10)
  Biquad lp(kLowpass, 0.1, 0.707, 0), shelf(kLowshelf, 0.02, 0.707, 0);
  float prev = 0;
  for (int block = 0; block < 400; block++)
  {
    const double t = std::sin(block * 0.05);
    lp.setBiquad(kLowpass, 0.1 + 0.05 * t, 0.707, 0);
    shelf.setBiquad(kLowshelf, 0.02, 0.707, 10 + 10 * t);
    for (int i = 0; i < 64; i++)
    {
      const int n = block * 64 + i;
      const float y = shelf.process(lp.process(static_cast<float>(0.5 * std::sin(w * n))));
      if (n > 2000)
      {
        ASSERT_LT(std::fabs(y - prev), maxStep * 1.3) << n;
      }
      prev = y;
    }
  }

  // Retuning to the same settings changes nothing at all.
  Biquad a(kPeak, 0.07, 0.107, 9), b(kPeak, 0.07, 0.107, 9);
  const auto x = noise(4096, 7);
  for (size_t i = 0; i < x.size(); i++)
  {
    if (i % 64 == 0)
      b.setBiquad(kPeak, 0.07, 0.107, 9);
    const float ya = a.process(x[i]), yb = b.process(x[i]);
    ASSERT_EQ(std::memcmp(&ya, &yb, sizeof ya), 0) << i;
  }
}

TEST(Biquad, DefaultAndUnknownTypesPassOrKeep)
{
  Biquad d;
  for (float s : noise(100))
    ASSERT_EQ(d.process(s), s);
  EXPECT_EQ(d.z1, 0.0);
  EXPECT_EQ(d.z2, 0.0);

  Biquad f(kLowpass, 0.25, 0.707, 0);
  const Biquad before = f;
  f.setBiquad(7, 0.1, 2, 3);
  EXPECT_TRUE(sameCoefficients(f, before));
  EXPECT_EQ(f.type, 7);
}

// Settings the formulas cannot turn into a working filter.
TEST(Biquad, FaultySettingsNeverPoisonTheFilter)
{
  // At or above Nyquist (a crossover above a low host rate's Nyquist): computed just below it, stable.
  for (double fc : {0.5, 0.6, 0.99, 1.7, double(INFINITY)})
  {
    for (int type = kLowpass; type <= kHighshelf; type++)
    {
      for (double q : {0.007, 0.107, 0.707})
      {
        Biquad f(type, fc, q, type >= kPeak ? -20 : 20);
        const Biquad atMax(type, Biquad::kMaxFc, q, type >= kPeak ? -20 : 20);
        ASSERT_TRUE(sameCoefficients(f, atMax)) << fc << " " << type;
        ASSERT_FALSE(sameCoefficients(f, Biquad())) << "rejected instead of clamped: " << type << " " << q;
        double peak = 0;
        for (float s : noise(20000))
          peak = std::fmax(peak, std::fabs(f.process(s)));
        ASSERT_LT(peak, 20.0) << fc << " " << type << " " << q;
      }
    }
  }
  EXPECT_NEAR(gainDb(Biquad(kLowpass, 0.6, 0.707, 0), 300), 0.0, 0.01);
  EXPECT_LT(gainDb(Biquad(kHighpass, 0.6, 0.707, 0), 3000), -60.0);

  // Settings without a stable filter keep the previous response: NaN, zero or negative Fc and Q, gains so large
  // their linear value overflows.
  Biquad f(kPeak, 0.1, 0.707, 6);
  const Biquad good = f;
  for (double fc : {double(NAN), 0.0, -0.1})
  {
    f.setFc(fc);
    EXPECT_TRUE(sameCoefficients(f, good)) << fc;
  }
  f.setFc(0.1);
  for (double q : {0.0, -1.0, double(NAN), double(INFINITY)})
  {
    f.setQ(q);
    EXPECT_TRUE(sameCoefficients(f, good)) << q;
  }
  f.setQ(0.707);
  for (double g : {double(NAN), 7000.0, -7000.0})
  {
    f.setPeakGain(g);
    EXPECT_TRUE(sameCoefficients(f, good)) << g;
  }
  Biquad fresh(kLowpass, 0.1, 0.0, 0);
  EXPECT_TRUE(sameCoefficients(fresh, Biquad()));
}

TEST(Biquad, NonFiniteInputPassesOnceAndTheFilterRecovers)
{
  const auto x = noise(3000, 3);
  for (float bad : {NAN, INFINITY, -INFINITY})
  {
    Biquad f(kBandpass, 500 / 44100.0, 0.007, 0), fresh = f;
    for (int i = 0; i < 1000; i++)
      f.process(x[i]);
    EXPECT_FALSE(std::isfinite(f.process(bad)));
    for (int i = 1000; i < 3000; i++)
      ASSERT_EQ(f.process(x[i]), fresh.process(x[i])) << i; // back at rest, then identical to a fresh filter
  }
}
