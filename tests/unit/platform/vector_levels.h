// Runs a check once at every vector level this processor offers, from the
// plain loops up, and leaves the best level in force afterwards.
#pragma once

#include <gtest/gtest.h>

#include "platform/posix/code_page_simd.h"

template <typename Check>
void at_every_level(Check check) {
  plat_simd best = plat_simd_limit(PLAT_SIMD_AVX2);
  for (int level = PLAT_SIMD_BASE; level <= best; level++) {
    SCOPED_TRACE(testing::Message() << "vector level " << level);
    plat_simd_limit(static_cast<plat_simd>(level));
    check();
  }
  plat_simd_limit(best);
}
