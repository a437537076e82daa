#pragma once

// 129-tap linear-phase half-band FIR used to run the output saturation at twice the host rate: one filter
// interpolates the zero-stuffed signal, another removes what the saturation produced above the host band. Each
// delays by 64 samples at the doubled rate. It carries its own anti-denormal offset, flipped on every call.

class OSAA
{
public:
  static constexpr int kTaps = 129;
  static constexpr int kCentre = 64;

  // h[0] ... h[64]; the other half mirrors it. Even taps below the centre are zero.
  // clang-format off
  static constexpr double kCoefs[kCentre + 1] = {
    0, -0.000005, 0,  0.000012, 0, -0.000025, 0,  0.000045, 0, -0.000075, 0,  0.000118, 0, -0.00018,  0,  0.000264,
    0, -0.000377, 0,  0.000524, 0, -0.000713, 0,  0.000954, 0, -0.001255, 0,  0.001627, 0, -0.002082, 0,  0.002635,
    0, -0.003301, 0,  0.004099, 0, -0.005051, 0,  0.006187, 0, -0.007542, 0,  0.009163, 0, -0.011119, 0,  0.013505,
    0, -0.01647,  0,  0.020254, 0, -0.025272, 0,  0.032309, 0, -0.043056, 0,  0.061915, 0, -0.105047, 0,  0.317956,
    0.5};
  // clang-format on

  OSAA() = default;

  // One sample in, one filtered sample out.
  double process(double x)
  {
    push(x);
    const double* w = mLine + mPos;

    // Folded symmetric sum in tap order k = 0 ... 63, then the centre tap. The zero even taps add exact zeros to
    // a sum that is then offset, so they are skipped without changing any finite result.
    double y = kCoefs[1] * (w[1] + w[kTaps - 1 - 1]);
#pragma GCC unroll 32
    for (int k = 3; k < kCentre; k += 2)
      y += kCoefs[k] * (w[k] + w[kTaps - 1 - k]);
    y += kCoefs[kCentre] * w[kCentre];

    return y - offset;
  }

  // One sample in whose output is not needed (the decimating filter's dropped sub-sample): the state moves on
  // exactly as process() moves it, without the sum.
  void push(double x)
  {
    offset = -offset;

    // The delay line is circular and written twice, kTaps apart, so the newest kTaps values always sit in one
    // contiguous window w[0] (newest) ... w[128] (oldest) without shifting anything.
    mPos = mPos == 0 ? kTaps - 1 : mPos - 1;
    const double in = x + offset;
    mLine[mPos] = in;
    mLine[mPos + kTaps] = in;
  }

  // Clears the delay line; the offset keeps its value.
  void reset();

  double offset = 1e-15;

private:
  double mLine[2 * kTaps] = {};
  int mPos = 0;
};
