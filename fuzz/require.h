#pragma once

#include <cstdlib>

// A property a harness checks beyond the sanitizers: a failure aborts, so libFuzzer keeps the input.
inline void Require(bool condition) {
    if (!condition) std::abort();
}
