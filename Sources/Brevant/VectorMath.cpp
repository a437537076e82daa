// Path selection for VectorMath.h, and the SSE2 path every x86-64 processor runs (libmvec's two-wide entry points
// use SSE4.1 inside where the processor has it).

#define BREVANT_SIMD_WIDTH 2
#define BREVANT_SIMD_NAMESPACE sse2
#define BREVANT_MVEC(fn) _ZGVbN2v_##fn
#include "VectorMathKernels.inl"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace brevant::simd
{
namespace detail
{

const Kernels& Sse2Kernels()
{
  static constexpr Kernels kKernels{
      Path::kSse2, "sse2", sse2::W, sse2::Apply<sse2::Saturate>, sse2::Apply<sse2::Exp>, sse2::Apply<sse2::Log>, sse2::Halfband};
  return kKernels;
}

} // namespace detail

namespace
{

std::atomic<const Kernels*> gActive{nullptr};

const Kernels* Table(Path path)
{
  switch (path)
  {
  case Path::kSse2:
    return &detail::Sse2Kernels();
  case Path::kAvx2:
    return detail::Avx2Kernels();
  case Path::kAvx512:
    return detail::Avx512Kernels();
  default:
    return nullptr;
  }
}

// Binds and runs every kernel once, over the tail case too.
void WarmUp(const Kernels& k)
{
  double values[9] = {0.5, -0.25, 1.0, 2.0, 0.125, 3.0, -1.5, 0.75, 1e-3};
  k.saturate(values, values, 9);
  k.log(values + 2, values + 2, 3);
  k.exp(values, values, 9);
  double line[64 + 9] = {};
  double coefs[32] = {};
  k.halfband(line, coefs, values, 9);
}

} // namespace

bool Supported(Path path)
{
  __builtin_cpu_init();
  switch (path)
  {
  case Path::kSse2:
    return true;
  case Path::kAvx2:
    return detail::Avx2Kernels() && __builtin_cpu_supports("avx2");
  case Path::kAvx512:
    return detail::Avx512Kernels() && __builtin_cpu_supports("avx512f");
  default:
    return false;
  }
}

Path Widest()
{
  for (Path p : {Path::kAvx512, Path::kAvx2})
  {
    if (Supported(p))
      return p;
  }
  return Path::kSse2;
}

bool Force(Path path)
{
  if (!Supported(path))
    return false;
  const Kernels* k = Table(path);
  WarmUp(*k);
  gActive.store(k, std::memory_order_release);
  return true;
}

Path Choose(const char* requested)
{
  for (int p = 0; requested && p < static_cast<int>(Path::kNumPaths); p++)
  {
    const Kernels* k = Table(static_cast<Path>(p));
    if (k && std::strcmp(requested, k->name) == 0 && Supported(k->path))
      return k->path;
  }
  return Widest();
}

void Prepare()
{
  if (gActive.load(std::memory_order_acquire))
    return;
  // A concurrent Force() or Prepare() wins; both leave a warmed-up, supported table.
  const Kernels* k = Table(Choose(std::getenv("BREVANT_SIMD")));
  WarmUp(*k);
  const Kernels* expected = nullptr;
  gActive.compare_exchange_strong(expected, k, std::memory_order_acq_rel);
}

const Kernels& Active()
{
  const Kernels* k = gActive.load(std::memory_order_acquire);
  if (!k) [[unlikely]]
  {
    Prepare();
    k = gActive.load(std::memory_order_acquire);
  }
  return *k;
}

} // namespace brevant::simd
