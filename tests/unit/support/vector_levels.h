// Runs a check once at every vector level this processor offers, from the
// plain loops up, and leaves the best level in force afterwards.
#pragma once

#include <gtest/gtest.h>

#include "platform/vector_level.h"

template <typename Check>
void at_every_level(Check check) {
  plat_vector best = plat_vector_limit(PLAT_VECTOR_BEST);
  for (int level = PLAT_VECTOR_BASE; level <= best; level++) {
    SCOPED_TRACE(testing::Message() << "vector level " << level);
    plat_vector_limit(static_cast<plat_vector>(level));
    check();
  }
  plat_vector_limit(best);
}
