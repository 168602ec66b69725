// The checking core: reads an image record by record, works out how it was
// made, and hands each finding and each checked page to a sink.  It prints
// nothing and never ends the process; memory use does not depend on the
// image size.
#ifndef PAGESMITH_IMAGE_CHECK_H
#define PAGESMITH_IMAGE_CHECK_H

#include <cstdio>
#include <memory>

#include "check_sink.h"
#include "record_check.h"

// A checker: the window of records read but not yet checked.  The caller
// owns it; one checker checks one image at a time.
struct image_checker {
    std::unique_ptr<decoded_record[]> slots;  // the window's records, made on first use
    std::unique_ptr<uint8_t[]> bytes;         // their bytes, one after the other
};

// Reads and checks all of `in` with `checker`, filling `summary`.  Returns
// 0, or the errno of a read error (the summary then covers what was read
// before it).  The window is read in large pieces straight into its own
// memory: an unbuffered `in` costs no copy.
int check_image(image_checker& checker, FILE* in, const layout_claim& claim,
                const check_sink& sink, check_summary& summary);

#endif
