// VectorMath.h's AVX-512 path (this file alone is compiled with -mavx512f).

#define BREVANT_SIMD_WIDTH 8
#define BREVANT_SIMD_NAMESPACE avx512
#define BREVANT_MVEC(fn) _ZGVeN8v_##fn
#include "VectorMathKernels.inl"

namespace brevant::simd::detail
{

const Kernels* Avx512Kernels()
{
  static constexpr Kernels kKernels{Path::kAvx512,
                                    "avx512",
                                    avx512::W,
                                    avx512::Apply<avx512::Saturate>,
                                    avx512::Apply<avx512::Exp>,
                                    avx512::Apply<avx512::Log>, avx512::Halfband};
  return &kKernels;
}

} // namespace brevant::simd::detail
