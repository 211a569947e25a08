// The vector level of the code-page conversions: what the processor offers,
// read once from its feature flags.
#include "platform/posix/code_page_simd.h"

namespace {

constexpr int8_t kUnknown = -1;
int8_t level_in_use = kUnknown;

plat_simd offered() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt")) return PLAT_SIMD_AVX2;
  if (__builtin_cpu_supports("ssse3")) return PLAT_SIMD_SSSE3;
#endif
  return PLAT_SIMD_BASE;
}

}  // namespace

plat_simd plat_simd_level() {
  int8_t level = __atomic_load_n(&level_in_use, __ATOMIC_RELAXED);
  if (level == kUnknown) {
    level = static_cast<int8_t>(offered());
    __atomic_store_n(&level_in_use, level, __ATOMIC_RELAXED);
  }
  return static_cast<plat_simd>(level);
}

plat_simd plat_simd_limit(plat_simd level) {
  plat_simd best = offered();
  plat_simd used = level < best ? level : best;
  __atomic_store_n(&level_in_use, static_cast<int8_t>(used), __ATOMIC_RELAXED);
  return used;
}
