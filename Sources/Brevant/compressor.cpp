#include "compressor.h"

void envFollower::init(int newMode, double attackMs, double releaseMs, double holdMs, double rate)
{
  mode = newMode;
  // A rate that is not a positive finite number keeps the previous one instead of producing NaN coefficients.
  if (rate > 0.0 && rate <= DBL_MAX)
    sampleRate = rate;
  attackCoef = coefForSamples(sampleRate * attackMs * 0.001);
  releaseCoef = coefForSamples(sampleRate * releaseMs * 0.001);
  holdSamples = holdFromSamples(holdMs / 1000 * sampleRate);
  envelope = 0.0;
  holdCount = 0;
}
