#pragma once

// Peak envelope follower and the feed-forward compressor built on it.
// Arithmetic is kept operation for operation as designed (the blocks are checked bit for bit), so expressions that
// look reducible are written out on purpose. Every process path is inline: the chain calls it per sample per band.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

class envFollower
{
public:
  envFollower() = default;

  virtual void init(int mode, double attackMs, double releaseMs, double holdMs, double rate);

  // Runs one envelope step on |x| and returns the envelope.
  virtual double process(double x)
  {
    step(std::fabs(x));
    return envelope;
  }

  // 0.01^(1/n) covers 99 % of a step in n samples. A length that is not positive (zero or negative time or rate,
  // NaN) means "instant": the plain formula would give a coefficient above 1 (a diverging envelope) or NaN.
  static double coefForSamples(double n)
  {
    if (!(n > 0.0))
      return 0.0;
    return std::pow(0.01, 1.0 / n);
  }

  // Hold lengths are truncated like a plain cast, but out-of-range or NaN lengths (undefined for a cast) clamp.
  static int32_t holdFromSamples(double n)
  {
    if (!(n > -1.0))
      return 0;
    if (n >= 2147483647.0)
      return INT32_MAX;
    return static_cast<int32_t>(n);
  }

  double attackCoef = 0.9793314582608171;  // 5 ms at 44.1 kHz
  double releaseCoef = 0.9979136668688285; // 50 ms at 44.1 kHz
  double envelope = 0.0;
  double sampleRate = 44100.0;
  int32_t holdCount = 0;
  int32_t holdSamples = 0;
  int32_t mode = 0;

protected:
  // One envelope step for a detector value d >= 0.
  void step(double d)
  {
    // A non-finite detector value would stick the envelope at NaN for good: NaN reads as silence, +inf as the
    // largest finite level.
    if (!(d <= DBL_MAX))
      d = d > 0.0 ? DBL_MAX : 0.0;

    if (d > envelope)
    {
      envelope = (envelope - d) * attackCoef + d;
      holdCount = 0;
    }
    else if (holdCount < holdSamples)
    {
      holdCount += 1;
    }
    else
    {
      envelope = (envelope - d) * releaseCoef + d;
    }
  }
};

class compressor final : public envFollower
{
public:
  compressor() = default;

  // Returns x scaled by the computed gain; the chain applies the gain itself and uses processStereo instead.
  double process(double x) override
  {
    step(std::fabs(x));
    return x * std::exp(computeGain() * 0.1151292546497);
  }

  // Gain reduction in dB for the louder of the two detector inputs.
  double processStereo(double a, double b)
  {
    step(std::fabs(std::max(a, b)));
    return computeGain();
  }

  // The chain calls the setters once per sample with mostly unchanged values: the coefficients are remembered for
  // the last time and rate given, so pow only runs when either changes (same bits as computing them every time).
  void setAttack(double ms)
  {
    if (!(ms == mAttackMs && sampleRate == mAttackRate))
    {
      mAttackMs = ms;
      mAttackRate = sampleRate;
      mAttackCoef = coefForSamples(ms * sampleRate * 0.001);
    }
    attackCoef = mAttackCoef;
  }

  void setRelease(double ms)
  {
    if (!(ms == mReleaseMs && sampleRate == mReleaseRate))
    {
      mReleaseMs = ms;
      mReleaseRate = sampleRate;
      mReleaseCoef = coefForSamples(ms * sampleRate * 0.001);
    }
    releaseCoef = mReleaseCoef;
  }

  void setHold(double ms) { holdSamples = holdFromSamples(ms * 0.001 * sampleRate); }

  void setRatio(double r)
  {
    if (r != ratio) // also true when either is NaN
    {
      ratio = r;
      recomputeKnee();
    }
  }

  void setThreshold(double t)
  {
    if (t != thresholdDb)
    {
      thresholdDb = t;
      recomputeKnee();
    }
  }

  void setKnee(double k)
  {
    if (k != kneeFactor)
    {
      kneeFactor = k;
      recomputeKnee();
    }
  }

  void recomputeKnee()
  {
    kneeWidthDb = -thresholdDb * kneeFactor;
    kneeLoDb = thresholdDb - kneeWidthDb / 2;
    kneeHiDb = thresholdDb + kneeWidthDb / 2;
    slope = limiter ? 1.0 : 1.0 - 1.0 / ratio;
  }

  double gainReductionDb = 0.0;
  double kneeFactor = 0.0;
  double ratio = 4.0;
  double thresholdDb = 0.0;
  double kneeWidthDb = -0.0;
  double kneeLoDb = 0.0;
  double kneeHiDb = 0.0;
  double slope = 0.75;
  int32_t limiter = 0;

private:
  // Static curve after the envelope step; stores and returns the gain in dB.
  double computeGain()
  {
    const double level = 8.685889638065037 * std::log(std::fabs(envelope));
    slope = limiter ? 1.0 : 1.0 - 1.0 / ratio;
    double gain;
    if (kneeWidthDb > 0.0 && kneeLoDb < level && level < kneeHiDb)
    {
      slope = slope * (level - kneeLoDb) / kneeWidthDb * 0.5;
      gain = slope * (kneeLoDb - level);
      if (gain != gain) // NaN ratio
        gain = 0.0;
    }
    else
    {
      gain = slope * (thresholdDb - level);
      // "At most 0"; NaN (a slope of 0 times an infinite level at ratio 1, or a NaN setting) means no reduction
      // instead of poisoning everything downstream.
      if (!(gain <= 0.0))
        gain = 0.0;
    }
    gainReductionDb = gain;
    return gain;
  }

  // Last coefficients computed by setAttack/setRelease, with the time and rate they belong to.
  double mAttackMs = NAN;
  double mAttackRate = NAN;
  double mAttackCoef = 0.0;
  double mReleaseMs = NAN;
  double mReleaseRate = NAN;
  double mReleaseCoef = 0.0;
};
