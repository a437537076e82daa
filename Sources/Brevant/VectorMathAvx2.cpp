// VectorMath.h's AVX2 path (this file alone is compiled with -mavx2).

#define BREVANT_SIMD_WIDTH 4
#define BREVANT_SIMD_NAMESPACE avx2
#define BREVANT_MVEC(fn) _ZGVdN4v_##fn
#include "VectorMathKernels.inl"

namespace brevant::simd::detail
{

const Kernels* Avx2Kernels()
{
  static constexpr Kernels kKernels{
      Path::kAvx2, "avx2", avx2::W, avx2::Apply<avx2::Saturate>, avx2::Apply<avx2::Exp>, avx2::Apply<avx2::Log>, avx2::Halfband};
  return &kKernels;
}

} // namespace brevant::simd::detail
