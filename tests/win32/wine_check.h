#pragma once
// The verdict of a Wine-run test program: CHECK names the failed condition on standard error
// and ends the calling function with 1, which main returns as the program's exit code.
#include <cstdio>

#define CHECK(cond)                                                                 \
    do {                                                                            \
        if (!(cond)) {                                                              \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                                               \
        }                                                                           \
    } while (0)
