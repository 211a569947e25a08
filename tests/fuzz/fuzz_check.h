// A broken oracle is a finding: the target says what differs and aborts, so
// that the fuzzer keeps the input as a reproducer and a replay fails.
#ifndef TESTS_FUZZ_FUZZ_CHECK_H
#define TESTS_FUZZ_FUZZ_CHECK_H

#include <stdio.h>
#include <stdlib.h>

#define FUZZ_CHECK(condition, ...)                                                    \
  do {                                                                                \
    if (!(condition)) {                                                               \
      fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #condition); \
      fprintf(stderr, __VA_ARGS__);                                                   \
      fprintf(stderr, "\n");                                                          \
      abort();                                                                        \
    }                                                                                 \
  } while (0)

#endif
