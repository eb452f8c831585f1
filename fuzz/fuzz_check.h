#pragma once

#include <cstdio>
#include <cstdlib>

// An invariant that must hold for every input; a violation stops the run where the fuzzer sees it.
#define FUZZ_CHECK(cond)                                                                  \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
