// What the processor offers beyond the build's baseline, asked once. The
// block loops pick their instructions by it.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

// Features from this one up are taken as missing (the tests lower it to
// reach the loops for older processors).
uint8_t firstWithheld = CpuAvx2 + 1;

}  // namespace

void cpuWithholdFrom(uint8_t feature) { firstWithheld = feature; }

#if defined(__x86_64__) || defined(__i386__)

bool cpuHas(CpuFeature feature) {
  static int8_t known[2] = {-1, -1};
  if (feature >= firstWithheld) return false;
  if (known[feature] < 0) {
    __builtin_cpu_init();  // also where no start-up code has run it
    bool present =
        feature == CpuSsse3 ? __builtin_cpu_supports("ssse3") : __builtin_cpu_supports("avx2");
    known[feature] = present ? 1 : 0;
  }
  return known[feature] == 1;
}

#else

bool cpuHas(CpuFeature) { return false; }

#endif

}  // namespace txmorph
