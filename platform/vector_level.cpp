// The vector level: what the processor offers, read once from its feature
// flags (also where no start-up code has initialised them).
#include "platform/vector_level.h"

namespace {

constexpr int8_t kUnknown = -1;
int8_t level_in_use = kUnknown;

plat_vector offered() {
#if defined(PLAT_HAS_X86_VECTORS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2") &&
      __builtin_cpu_supports("popcnt"))
    return PLAT_VECTOR_AVX512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("ssse3")) return PLAT_VECTOR_AVX2;
  if (__builtin_cpu_supports("ssse3")) return PLAT_VECTOR_SSSE3;
#endif
  return PLAT_VECTOR_BASE;
}

}  // namespace

plat_vector plat_vector_level() {
  int8_t level = __atomic_load_n(&level_in_use, __ATOMIC_RELAXED);
  if (level == kUnknown) {
    level = static_cast<int8_t>(offered());
    __atomic_store_n(&level_in_use, level, __ATOMIC_RELAXED);
  }
  return static_cast<plat_vector>(level);
}

plat_vector plat_vector_limit(plat_vector level) {
  plat_vector best = offered();
  plat_vector used = level < best ? level : best;
  __atomic_store_n(&level_in_use, static_cast<int8_t>(used), __ATOMIC_RELAXED);
  return used;
}
