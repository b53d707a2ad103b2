#pragma once

#include <cstdio>
#include <cstdlib>

// A failed check is a finding: abort, so that libFuzzer keeps the input as
// a crash and the replay driver exits non-zero.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)
