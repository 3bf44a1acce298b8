#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant of a fuzz target: reports the failed condition and aborts, so
// libFuzzer keeps the input and the replay test fails. Active in every build.
#define FUZZ_CHECK(condition)                                                                   \
    do {                                                                                        \
        if (!(condition)) {                                                                     \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                       \
        }                                                                                       \
    } while (false)
