// Checking one record in its place: its kind, its own checks and those that
// span records (order, header sizes, status words), with the state they
// carry from one record to the next.  The state is a plain value, so a
// reading of the image can be tried on a copy and thrown away.
#ifndef PAGESMITH_RECORD_CHECK_H
#define PAGESMITH_RECORD_CHECK_H

#include <cstdint>
#include <optional>

#include "page_checks.h"

// A record read from the image, decoded and corrected.
struct decoded_record {
    uint8_t bytes[PAGE_RECORD_SIZE];  // data area (corrected), then spare area
    page_decoding decoding;
    uint64_t index = 0;               // record number in the image
};

// The view of a decoded record that the page checks take.
page_record view_of(decoded_record& r);

// What the checks carry from one record to the next.
struct checker_state {
    status_expectation status = status_expectation::unknown;
    bool have_previous = false;           // a record came before
    page_kind previous = page_kind::data;  // its kind
    int previous_page = 0;                // its page
    std::optional<uint32_t> header_size;  // held by the first header page
    bool header_pages_disagree = false;   // a later header page holds another size,
                                          // or one holds more than a size, or
                                          // cannot be decoded
    uint64_t data_pages = 0;
    uint64_t last_data_block = 0;         // block of the latest data page
};

// Checks one record, decoded as `d`, with the reading `context`, adding its
// findings to `out`; returns the kind it was taken for.
page_kind check_record(checker_state& state, const record_context& context,
                       const page_record& r, const page_decoding& d, const look_ahead& next,
                       page_findings& out);

#endif
