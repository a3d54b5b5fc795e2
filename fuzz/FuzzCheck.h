#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property in a fuzz target: says which and aborts, so that libFuzzer
// keeps the input as a crash and the sanitizer prints the stack.
#define FUZZ_CHECK(condition)                                                                          \
    do {                                                                                               \
        if (!(condition)) {                                                                            \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);      \
            std::abort();                                                                              \
        }                                                                                              \
    } while (0)
