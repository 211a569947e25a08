// The vector instructions that block loops may use beyond the build's
// baseline (SSE2 on x86-64, nothing elsewhere): the best the processor offers,
// asked once, for the whole program. Every loop that has vector forms picks
// its form by plat_vector_level(); the tests and benchmarks lower the level to
// reach the forms for older processors. Portable: built for every target.
#ifndef PLATFORM_VECTOR_LEVEL_H
#define PLATFORM_VECTOR_LEVEL_H

#include <stdint.h>

enum plat_vector : uint8_t {
  PLAT_VECTOR_BASE = 0,    // the baseline alone
  PLAT_VECTOR_SSSE3 = 1,   // byte shuffles of 16 bytes
  PLAT_VECTOR_AVX2 = 2,    // 32-byte registers (every such processor has SSSE3)
  PLAT_VECTOR_AVX512 = 3,  // 64-byte registers, masks, byte and word forms, compress
  PLAT_VECTOR_BEST = PLAT_VECTOR_AVX512,
};

// The level in use: what the processor offers, unless lowered.
plat_vector plat_vector_level();

// Uses at most `level`, never more than the processor offers; returns the
// level now in use. For tests and benchmarks.
plat_vector plat_vector_limit(plat_vector level);

#if defined(__x86_64__) || defined(__i386__)
#define PLAT_HAS_X86_VECTORS 1
#include <immintrin.h>

// What a function that uses the level's instructions is compiled for; call
// it only where plat_vector_level() is that level or above.
#define PLAT_SSSE3 __attribute__((target("ssse3")))
#define PLAT_AVX2 __attribute__((target("avx2")))
#define PLAT_AVX512 \
  __attribute__((target("avx2,bmi,bmi2,popcnt,avx512f,avx512bw,avx512vl,avx512vbmi2")))

// A value the compiler may not see as the constant it is, which keeps it in
// its register: given the constant, it would rather build it again on every
// pass of a loop.
PLAT_AVX2 inline __m256i plat_in_register(__m256i v) {
  __asm__("" : "+x"(v));
  return v;
}
#endif

#endif
