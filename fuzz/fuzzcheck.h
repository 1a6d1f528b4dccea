#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the fuzzer with a finding when an invariant does not hold. A plain
// assert would vanish in release builds; abort() makes libFuzzer save the input.
inline void fuzz_require(bool holds, const char *what)
{
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}
