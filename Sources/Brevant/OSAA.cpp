#include "OSAA.h"

#include "VectorMath.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace
{
constexpr int kReach = 2 * OSAA::kPairs - 1; // the folded sum spans 64 samples of a phase: i - 63 ... i

// The odd taps h[1], h[3], ... h[63], one per folded pair.
struct OddTaps
{
  double c[OSAA::kPairs];
  constexpr OddTaps() : c()
  {
    for (int m = 0; m < OSAA::kPairs; m++)
      c[m] = OSAA::kCoefs[2 * m + 1];
  }
};
constexpr OddTaps kOddTaps;
} // namespace

void OSAA::reset()
{
  for (double* line : mLine)
    std::fill(line, line + kCapacity, 0.0);
  mLen[0] = mLen[1] = kHistory;
  mNext = 0;
}

int OSAA::makeRoom(int phase, int n)
{
  // The history moves back to the front of the buffer only when the new samples would not fit behind it.
  double* line = mLine[phase];
  if (mLen[phase] + n > kCapacity)
  {
    std::memmove(line, line + mLen[phase] - kHistory, sizeof(double) * kHistory);
    mLen[phase] = kHistory;
  }
  const int at = mLen[phase];
  mLen[phase] += n;
  return at;
}

int OSAA::append(int phase, const double* x, int n)
{
  const int at = makeRoom(phase, n);
  std::memcpy(mLine[phase] + at, x, sizeof(double) * static_cast<size_t>(n));
  return at;
}

int OSAA::appendZeros(int phase, int n)
{
  const int at = makeRoom(phase, n);
  std::fill(mLine[phase] + at, mLine[phase] + at + n, 0.0);
  return at;
}

bool OSAA::phaseIsZero(int phase) const
{
  const double* last = mLine[phase] + mLen[phase] - kHistory;
  return std::all_of(last, last + kHistory, [](double v) { return v == 0.0; });
}

bool OSAA::isSilent() const
{
  for (int p = 0; p < 2; p++)
  {
    const double* last = mLine[p] + mLen[p] - kHistory;
    for (int i = 0; i < kHistory; i++)
    {
      uint64_t bits;
      std::memcpy(&bits, last + i, sizeof bits);
      if (bits != 0)
        return false;
    }
  }
  return true;
}

double OSAA::process(double x)
{
  const int p = mNext;
  const int at = append(p, &x, 1);
  mNext ^= 1;
  // d[64] is 32 samples back in this call's phase; the odd taps read the other phase, whose newest sample is the
  // previous call's.
  const double* other = mLine[p ^ 1] + mLen[p ^ 1] - 1;
  double y = 0.0;
  for (int m = 0; m < kPairs; m++)
    y += kOddTaps.c[m] * (other[-m] + other[-kReach + m]);
  return y + kCoefs[kCentre] * mLine[p][at - kPairs];
}

void OSAA::interpolate(const double* in, double* even, double* odd, int n)
{
  const brevant::simd::Kernels& k = brevant::simd::Active();
  while (n > 0)
  {
    const int m = std::min(n, kMaxAppend);
    const int p = mNext, q = p ^ 1;
    if (!phaseIsZero(q))
    {
      // Something other than inserted zeros in the other phase (process() used directly): the plain way.
      for (int i = 0; i < m; i++)
      {
        even[i] = process(in[i]);
        odd[i] = process(0.0);
      }
    }
    else
    {
      // The zero phase contributes nothing: even outputs are the centre tap alone, odd ones the folded pairs.
      const int at = append(p, in, m);
      appendZeros(q, m);
      const double* x = mLine[p];
      for (int i = 0; i < m; i++)
        even[i] = kCoefs[kCentre] * x[at + i - kPairs];
      k.halfband(x + at - kReach, kOddTaps.c, odd, m);
    }
    in += m;
    even += m;
    odd += m;
    n -= m;
  }
}

void OSAA::decimate(const double* even, const double* odd, double* out, int n)
{
  const brevant::simd::Kernels& k = brevant::simd::Active();
  while (n > 0)
  {
    const int m = std::min(n, kMaxAppend);
    const int p = mNext, q = p ^ 1;
    // Output i reads the other phase up to the odd sample pushed before it, so its newest is odd[i - 1].
    const int atOdd = append(q, odd, m);
    k.halfband(mLine[q] + atOdd - 1 - kReach, kOddTaps.c, out, m);
    const int atEven = append(p, even, m);
    const double* e = mLine[p];
    for (int i = 0; i < m; i++)
      out[i] += kCoefs[kCentre] * e[atEven + i - kPairs];
    even += m;
    odd += m;
    out += m;
    n -= m;
  }
}
