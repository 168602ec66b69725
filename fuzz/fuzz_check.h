// Checks shared by the fuzz targets: a broken invariant aborts the run, so
// that libFuzzer records the input that broke it.
#ifndef PAGESMITH_FUZZ_CHECK_H
#define PAGESMITH_FUZZ_CHECK_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "findings.h"

// Aborts with `what` on the error stream unless `ok`.
inline void fuzz_expect(bool ok, const char* what)
{
    if (ok)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Checks that the summary of a file of `file_size` bytes adds up: every
// whole record from where the image starts handed on once (`pages_handed`)
// and counted once, in a kind or as not the image's, with its sectors; the
// counts by class are those of the findings handed on (`by_class`); the
// status follows from them.
inline void expect_summary_adds_up(const check_summary& summary, uint64_t file_size,
                                   uint64_t pages_handed,
                                   const uint64_t (&by_class)[FINDING_CLASS_COUNT])
{
    fuzz_expect(summary.layout.image_start <= file_size, "an image start past the file");
    const uint64_t records = (file_size - summary.layout.image_start) / PAGE_RECORD_SIZE;
    fuzz_expect(summary.records == records && pages_handed == records, "records lost or added");
    uint64_t kinds = summary.outside;
    for (uint64_t k : summary.kinds)
        kinds += k;
    fuzz_expect(kinds == records && summary.sectors == SECTORS_PER_PAGE * records,
                "kinds or sectors that do not add up");
    fuzz_expect(summary.corrected == by_class[static_cast<int>(finding_class::corrected)] &&
                    summary.uncorrectable ==
                        by_class[static_cast<int>(finding_class::uncorrectable)] &&
                    summary.problems == by_class[static_cast<int>(finding_class::problem)],
                "counts that differ from the findings");
    fuzz_expect(check_status(summary) ==
                    (summary.uncorrectable + summary.problems != 0 ? 1 : 0),
                "a status that does not follow from the counts");
}

#endif
