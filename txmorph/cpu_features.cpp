// What the processor offers beyond the build's baseline, asked once. The
// block loops pick their instructions by it.
#include "txmorph/txmorph.h"

namespace txmorph {

namespace {

enum Known : int8_t { Unknown = -1, Absent = 0, Present = 1 };

#if defined(__x86_64__) || defined(__i386__)
Known ask(Known* feature, bool (*probe)()) {
  if (*feature == Unknown) {
    __builtin_cpu_init();  // also where no start-up code has run it
    *feature = probe() ? Present : Absent;
  }
  return *feature;
}
#endif

}  // namespace

bool cpuHasSsse3() {
#if defined(__x86_64__) || defined(__i386__)
  static Known known = Unknown;
  return ask(&known, [] { return __builtin_cpu_supports("ssse3") != 0; }) == Present;
#else
  return false;
#endif
}

bool cpuHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  static Known known = Unknown;
  return ask(&known, [] { return __builtin_cpu_supports("avx2") != 0; }) == Present;
#else
  return false;
#endif
}

}  // namespace txmorph
