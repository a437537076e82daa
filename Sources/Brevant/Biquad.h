#pragma once

// Second-order IIR filter (transposed direct form II). Coefficients and state are double; samples pass in and out
// in single precision, so every filtered signal carries float resolution between filters.

#include <cmath>
#include <cstdint>

enum BiquadType
{
  kLowpass = 0,
  kHighpass,
  kBandpass,
  kNotch,
  kPeak,
  kLowshelf,
  kHighshelf
};

class Biquad
{
public:
  // Passes samples unchanged until configured.
  Biquad() = default;
  Biquad(int type, double Fc, double Q, double peakGain);

  // Retunes without touching the state, so a running filter can follow its settings every block.
  void setBiquad(int type, double Fc, double Q, double peakGain);
  void setType(int type);
  void setQ(double Q);
  void setFc(double Fc);
  void setPeakGain(double peakGainDB);
  void calcBiquad();

  float process(float in)
  {
    const double x = in;
    const double out = x * a0 + z1;
    z1 = x * a1 + z2 - b1 * out;
    z2 = x * a2 - b2 * out;
    // A non-finite sample (NaN or inf from upstream) would otherwise stay in the recursion forever; it passes
    // through once and the filter starts again from rest.
    if (!std::isfinite(out))
      z1 = z2 = 0.0;
    return static_cast<float>(out);
  }

  // Highest normalized frequency the coefficients are computed for: at 0.5 and above tan() turns the filter
  // unstable, so such settings (e.g. a crossover above a low host rate's Nyquist) sit just below Nyquist.
  static constexpr double kMaxFc = 0.4999;

  int32_t type = kLowpass;
  double a0 = 1.0, a1 = 0.0, a2 = 0.0;
  double b1 = 0.0, b2 = 0.0;
  double Fc = 0.5;
  double Q = 0.707;
  double peakGain = 0.0;
  double z1 = 0.0, z2 = 0.0;
};
