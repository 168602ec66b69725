// Checks shared by the fuzz targets: a broken invariant aborts the run, so
// that libFuzzer records the input that broke it.
#ifndef PAGESMITH_FUZZ_CHECK_H
#define PAGESMITH_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

// Aborts with `what` on the error stream unless `ok`.
inline void fuzz_expect(bool ok, const char* what)
{
    if (ok)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

#endif
