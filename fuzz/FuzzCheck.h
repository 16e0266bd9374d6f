#pragma once
// The fuzzers' invariant check: a violated invariant ends the run as a crash, with what was
// violated on standard error.
#include <cstdio>
#include <cstdlib>

inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::abort();
    }
}
