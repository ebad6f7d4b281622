// The fuzzers' invariant check: a broken invariant aborts, so libFuzzer
// keeps the input that broke it.
#ifndef QUARVEL_TESTS_FUZZ_FUZZCHECK_H
#define QUARVEL_TESTS_FUZZ_FUZZCHECK_H

#include <cstdio>
#include <cstdlib>

#define CHECK(cond)                                                          \
  do {                                                                       \
    if (!(cond)) {                                                           \
      std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__); \
      std::abort();                                                          \
    }                                                                        \
  } while (0)

#endif
