#pragma once

// Whole-array evaluation of the chain's costly functions with the C library's vector maths (libmvec), two, four or
// eight values per call. The widest instruction set the processor runs is chosen once at run time; the build
// itself targets plain x86-64 (SSE2). Every path agrees with the scalar functions to within a few units in the
// last place, not bit for bit (the FIR sums excepted: they are exact to the scalar sum).
//
// Prepare() must run before the audio thread first calls Active() (the plug-in does it on construction): it picks
// the path and calls every kernel once, so that symbol binding, which may lock, is done by then.

namespace brevant::simd
{

enum class Path
{
  kSse2 = 0,
  kAvx2,
  kAvx512,
  kNumPaths
};

struct Kernels
{
  Path path;
  const char* name;
  int width; // doubles per vector
  // out[i] = v + c (sin(v^4) - (tanh(v^3) - tanh(v^4))), v = in[i], c the saturation depth. in may equal out.
  void (*saturate)(const double* in, double* out, int n);
  void (*exp)(const double* in, double* out, int n);
  void (*log)(const double* in, double* out, int n);
  // The folded sum of a symmetric FIR with 32 pairs spanning 64 samples: out[i] = sum over m = 0 ... 31, in that
  // order from 0, of c[m] (s[i + 63 - m] + s[i + m]). Every path gives the bits of that sum written out per output.
  void (*halfband)(const double* s, const double* c, double* out, int n);
};

/** -45 dB: the saturation colours faintly and never limits. */
constexpr double kSaturationDepth = 0.005623413251903491;

/** Whether this processor (and its operating system) runs the path. */
bool Supported(Path path);

/** The widest supported path. */
Path Widest();

/** The path a request names ("sse2", "avx2", "avx512") if supported, else the widest. Null asks for the widest. */
Path Choose(const char* requested);

/** Chooses the path once, Choose(getenv("BREVANT_SIMD")), and warms its kernels up. Idempotent; not for the audio
 * thread. */
void Prepare();

/** Uses the given path from now on (tests, benchmarks). False, and no change, if the processor lacks it. */
bool Force(Path path);

/** The kernels in use. */
const Kernels& Active();

namespace detail
{
const Kernels& Sse2Kernels();
const Kernels* Avx2Kernels();   // null when not built in
const Kernels* Avx512Kernels(); // null when not built in
} // namespace detail

} // namespace brevant::simd
