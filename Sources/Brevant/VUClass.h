#pragma once

// Needle ballistics for the gain-reduction meters: a 300 ms exponential that aims slightly past the input
// (1.0125 x on the way up, 0.9875 x on the way down), so steps are crossed sooner and a steady input dithers
// within a fraction of a percent around it.

#include <cfloat>
#include <cmath>

class VUClass
{
public:
  VUClass() = default;
  explicit VUClass(double initialState) : state(initialState) {}

  double Process(double in, double sampleRate)
  {
    // exp only runs when the rate changes; the remembered value has the same bits.
    if (!(sampleRate == mRate))
    {
      mRate = sampleRate;
      // A rate that is not positive moves at once instead of diverging (negative rate) or turning NaN.
      mCoef = sampleRate > 0.0 ? std::exp(-4.60517018599 / (sampleRate * 0.3)) : 0.0;
    }
    double a = std::fabs(in);
    // A non-finite reading would leave the needle at NaN for good: it is skipped.
    if (!(a <= DBL_MAX))
      return state;
    if (a > state)
      a = a * 1.0125;
    else
      a = a * 0.9875;
    state = (state - a) * mCoef + a;
    return state;
  }

  double state = 1.0; // rest position: no gain reduction

private:
  double mRate = NAN;
  double mCoef = 0.0;
};
