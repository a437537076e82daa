#pragma once

// 129-tap linear-phase half-band FIR used to run the output saturation at twice the host rate: one filter
// interpolates the zero-stuffed signal, another removes what the saturation produced above the host band. Each
// delays by 64 samples at the doubled rate.
//
// The filter keeps its history in two phases, the samples of even and of odd calls, because the tap set has a
// structure worth using: every even tap is zero except the centre (0.5), and the taps mirror around the centre. So
// an output is half the sample 64 calls back plus 32 folded pairs of the other phase's samples, and the block
// operations below never multiply the zeros that zero-stuffing inserts. Their sums run on the vector kernels of
// VectorMath.h and are ordered differently from the one-call form: the two agree to rounding, not bit for bit.
//
// There is no anti-denormal offset: the chain runs with subnormals flushed to zero, and an offset would leave a
// residue that keeps silence from ever being exact zeros.

class OSAA
{
public:
  static constexpr int kTaps = 129;
  static constexpr int kCentre = 64;
  static constexpr int kPairs = 32;   // folded pairs of odd taps
  static constexpr int kHistory = 64; // samples each phase keeps

  // h[0] ... h[64]; the other half mirrors it. Even taps below the centre are zero.
  // clang-format off
  static constexpr double kCoefs[kCentre + 1] = {
    0, -0.000005, 0,  0.000012, 0, -0.000025, 0,  0.000045, 0, -0.000075, 0,  0.000118, 0, -0.00018,  0,  0.000264,
    0, -0.000377, 0,  0.000524, 0, -0.000713, 0,  0.000954, 0, -0.001255, 0,  0.001627, 0, -0.002082, 0,  0.002635,
    0, -0.003301, 0,  0.004099, 0, -0.005051, 0,  0.006187, 0, -0.007542, 0,  0.009163, 0, -0.011119, 0,  0.013505,
    0, -0.01647,  0,  0.020254, 0, -0.025272, 0,  0.032309, 0, -0.043056, 0,  0.061915, 0, -0.105047, 0,  0.317956,
    0.5};
  // clang-format on

  OSAA() { reset(); }

  // One sample in, one filtered sample out.
  double process(double x);

  // One sample in whose output is not needed (a decimator's dropped sub-sample): the state moves on exactly as
  // process() moves it, without the sum.
  void push(double x)
  {
    append(mNext, &x, 1);
    mNext ^= 1;
  }

  // Zero-stuffed interpolation of n host-rate samples: as even[i] = process(in[i]), odd[i] = process(0).
  void interpolate(const double* in, double* even, double* odd, int n);

  // Decimation of n pairs of doubled-rate samples: as out[i] = process(even[i]), push(odd[i]).
  void decimate(const double* even, const double* odd, double* out, int n);

  // Clears the history.
  void reset();

  // Whether the whole history is exact zeros (positive), so that silence in gives exact zeros out and leaves the
  // filter as it is.
  bool isSilent() const;

private:
  static constexpr int kCapacity = kHistory + 256;
  static constexpr int kMaxAppend = kCapacity - kHistory;

  // Appends n <= kMaxAppend samples to a phase; returns where they start. Keeps kHistory samples before them.
  int makeRoom(int phase, int n);
  int append(int phase, const double* x, int n);
  int appendZeros(int phase, int n);
  bool phaseIsZero(int phase) const;

  double mLine[2][kCapacity]; // per phase, oldest first; mLen[p] valid samples, the newest last
  int mLen[2];
  int mNext = 0; // phase of the next call
};
