// The checking core: reads an image record by record, works out how it was
// made, and hands each finding and each checked page to a sink.  It prints
// nothing and never ends the process; memory use does not depend on the
// image size.
#ifndef PAGESMITH_IMAGE_CHECK_H
#define PAGESMITH_IMAGE_CHECK_H

#include <cstdio>
#include <functional>
#include <optional>

#include "check_findings.h"
#include "page_checks.h"

// What the command line says of the layout.  Given, it decides what the
// image leaves open, and where the image shows otherwise one finding says so.
struct layout_claim {
    std::optional<header_pages> header;  // -H: present; -B without -H: absent
    optional_bad_blocks bad_blocks = {};  // -B (implies status words)
};

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
// record come before the record itself; at the end, the layout comes
// before the findings that compare it with the claim.
struct check_sink {
    std::function<void(const finding&)> on_finding;      // may be empty
    std::function<void(const checked_page&)> on_page;    // may be empty
    std::function<void(const image_layout&)> on_layout;  // may be empty
};

// Reads and checks all of `in`, filling `summary`.  Returns 0, or the errno
// of a read error (the summary then covers what was read before it).
int check_image(FILE* in, const layout_claim& claim, const check_sink& sink,
                check_summary& summary);

#endif
