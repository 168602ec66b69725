// The checking core: reads an image record by record, with one record of
// look-ahead, and hands each finding and each checked page to a sink.  It
// prints nothing and never ends the process; memory use does not depend on
// the image size.
#ifndef PAGESMITH_IMAGE_CHECK_H
#define PAGESMITH_IMAGE_CHECK_H

#include <cstdio>
#include <functional>

#include "check_findings.h"
#include "page_checks.h"

// One record after its checks.
struct checked_page {
    uint64_t record = 0;               // index in the image
    uint64_t block = 0;                // record / PAGES_PER_BLOCK
    int page = 0;                      // record % PAGES_PER_BLOCK
    page_kind kind = page_kind::data;  // the kind it was taken for
    const uint8_t* data = nullptr;     // its data area, corrected
    int findings[FINDING_CLASS_COUNT] = {};  // its findings, by class
};

// Receives what the check finds, in image order: the findings about a
// record come before the record itself.
struct check_sink {
    std::function<void(const finding&)> on_finding;     // may be empty
    std::function<void(const checked_page&)> on_page;   // may be empty
};

// Reads and checks all of `in` against `layout`, filling `summary`.
// Returns 0, or the errno of a read error (the summary then covers what was
// read before it).
int check_image(FILE* in, const expected_layout& layout, const check_sink& sink,
                check_summary& summary);

#endif
