#pragma once
// What a fuzz target asserts: a property that does not hold stops the run with its text,
// and libFuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace kalu::fuzz {

inline void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "does not hold: %s\n", what);
  std::abort();
}

}  // namespace kalu::fuzz
