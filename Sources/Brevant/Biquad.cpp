#include "Biquad.h"

Biquad::Biquad(int type_, double Fc_, double Q_, double peakGain_)
{
  setBiquad(type_, Fc_, Q_, peakGain_);
  z1 = z2 = 0.0;
}

void Biquad::setBiquad(int type_, double Fc_, double Q_, double peakGain_)
{
  type = type_;
  Fc = Fc_;
  Q = Q_;
  peakGain = peakGain_;
  calcBiquad();
}

void Biquad::setType(int type_)
{
  type = type_;
  calcBiquad();
}

void Biquad::setQ(double Q_)
{
  Q = Q_;
  calcBiquad();
}

void Biquad::setFc(double Fc_)
{
  Fc = Fc_;
  calcBiquad();
}

void Biquad::setPeakGain(double peakGainDB)
{
  peakGain = peakGainDB;
  calcBiquad();
}

void Biquad::calcBiquad()
{
  if (type < kLowpass || type > kHighshelf)
    return; // unknown type: keep the current response

  const double fc = Fc >= 0.5 ? kMaxFc : Fc;
  const double K = std::tan(M_PI * fc);
  double norm, n0, n1, n2, d1, d2;

  switch (type)
  {
  case kLowpass:
    norm = 1 / (1 + K / Q + K * K);
    n0 = K * K * norm;
    n1 = 2 * n0;
    n2 = n0;
    d1 = 2 * (K * K - 1) * norm;
    d2 = (1 - K / Q + K * K) * norm;
    break;
  case kHighpass:
    norm = 1 / (1 + K / Q + K * K);
    n0 = norm;
    n1 = -2 * norm;
    n2 = n0;
    d1 = 2 * (K * K - 1) * norm;
    d2 = (1 - K / Q + K * K) * norm;
    break;
  case kBandpass:
    norm = 1 / (1 + K / Q + K * K);
    n0 = K / Q * norm;
    n1 = 0;
    n2 = -n0;
    d1 = 2 * (K * K - 1) * norm;
    d2 = (1 - K / Q + K * K) * norm;
    break;
  case kNotch:
    norm = 1 / (1 + K / Q + K * K);
    n0 = (1 + K * K) * norm;
    n1 = 2 * (K * K - 1) * norm;
    n2 = n0;
    d1 = n1;
    d2 = (1 - K / Q + K * K) * norm;
    break;
  case kPeak:
  {
    const double V = std::pow(10, std::fabs(peakGain) / 20);
    if (peakGain >= 0)
    {
      norm = 1 / (1 + K / Q + K * K);
      n0 = (1 + V / Q * K + K * K) * norm;
      n1 = 2 * (K * K - 1) * norm;
      n2 = (1 - V / Q * K + K * K) * norm;
      d1 = n1;
      d2 = (1 - K / Q + K * K) * norm;
    }
    else
    {
      norm = 1 / (1 + V / Q * K + K * K);
      n0 = (1 + K / Q + K * K) * norm;
      n1 = 2 * (K * K - 1) * norm;
      n2 = (1 - K / Q + K * K) * norm;
      d1 = n1;
      d2 = (1 - V / Q * K + K * K) * norm;
    }
    break;
  }
  case kLowshelf:
  {
    const double V = std::pow(10, std::fabs(peakGain) / 20);
    if (peakGain >= 0)
    {
      norm = 1 / (1 + K / Q + K * K);
      n0 = (1 + V / Q * K + V * K * K) * norm;
      n1 = 2 * (V * K * K - 1) * norm;
      n2 = (1 - V / Q * K + V * K * K) * norm;
      d1 = 2 * (K * K - 1) * norm;
      d2 = (1 - K / Q + K * K) * norm;
    }
    else
    {
      norm = 1 / (1 + V / Q * K + V * K * K);
      n0 = (1 + K / Q + K * K) * norm;
      n1 = 2 * (K * K - 1) * norm;
      n2 = (1 - K / Q + K * K) * norm;
      d1 = 2 * (V * K * K - 1) * norm;
      d2 = (1 - V / Q * K + V * K * K) * norm;
    }
    break;
  }
  default: // kHighshelf
  {
    const double V = std::pow(10, std::fabs(peakGain) / 20);
    if (peakGain >= 0)
    {
      norm = 1 / (1 + K / Q + K * K);
      n0 = (V + V / Q * K + K * K) * norm;
      n1 = 2 * (K * K - V) * norm;
      n2 = (V - V / Q * K + K * K) * norm;
      d1 = 2 * (K * K - 1) * norm;
      d2 = (1 - K / Q + K * K) * norm;
    }
    else
    {
      norm = 1 / (V + V / Q * K + K * K);
      n0 = (1 + K / Q + K * K) * norm;
      n1 = 2 * (K * K - 1) * norm;
      n2 = (1 - K / Q + K * K) * norm;
      d1 = 2 * (K * K - V) * norm;
      d2 = (V - V / Q * K + K * K) * norm;
    }
    break;
  }
  }

  // Settings that give NaN/inf coefficients or poles on or outside the unit circle (Q <= 0, Fc <= 0, NaN, absurd
  // gains) would ring or blow up the running state: the filter keeps its current response instead.
  const bool finite =
      std::isfinite(n0) && std::isfinite(n1) && std::isfinite(n2) && std::isfinite(d1) && std::isfinite(d2);
  const bool stable = std::fabs(d2) < 1 && std::fabs(d1) < 1 + d2;
  if (!finite || !stable)
    return;

  a0 = n0;
  a1 = n1;
  a2 = n2;
  b1 = d1;
  b2 = d2;
}
