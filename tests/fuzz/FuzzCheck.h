// The fuzzers' invariant check: a broken invariant aborts, so libFuzzer
// keeps the input that broke it.
#ifndef QUARVEL_TESTS_FUZZ_FUZZCHECK_H
#define QUARVEL_TESTS_FUZZ_FUZZCHECK_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#define CHECK(cond)                                                          \
  do {                                                                       \
    if (!(cond)) {                                                           \
      std::fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__); \
      std::abort();                                                          \
    }                                                                        \
  } while (0)

// Every element of buf from index `from` up to `to` still holds value.
#define CHECK_ALL(buf, from, to, value) \
  for (std::size_t i_ = (from); i_ < (to); ++i_) CHECK((buf)[i_] == (value))

// A heap copy of exactly len elements, nothing behind it, so that the
// sanitizer reports any read past them.
template <typename T>
std::unique_ptr<T[]> ExactCopy(const T* from, std::size_t len) {
  std::unique_ptr<T[]> copy(new T[len == 0 ? 1 : len]);
  if (len > 0) std::memcpy(copy.get(), from, len * sizeof(T));
  return copy;
}

#endif
