#include "vectorstate.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace {
__attribute__((target("avx"))) void zero_upper()
{
    _mm256_zeroupper();
}
} // namespace

void clear_upper_vector_state()
{
    // VZEROUPPER is an invalid instruction on a processor without AVX.
    static const bool hasAvx = (__builtin_cpu_init(), __builtin_cpu_supports("avx"));
    if (hasAvx)
        zero_upper();
}
#else
void clear_upper_vector_state()
{}
#endif
