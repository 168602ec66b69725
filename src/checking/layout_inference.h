// Works out from the records themselves how an image was made: header
// pages, block status words and bad blocks.  It sees each record once, in
// image order, a little ahead of the checks; where a record cannot be read
// until later records decide, it says how far the checks may go.
#ifndef PAGESMITH_LAYOUT_INFERENCE_H
#define PAGESMITH_LAYOUT_INFERENCE_H

#include <cstdint>
#include <optional>
#include <vector>

#include "record_check.h"

// What is known of the header pages.
enum class header_reading {
    unknown,  // no block start has told yet
    pending,  // page 0 of a block at a page tag of 0 looks like a header page
    absent,
    present,
};

// Bad blocks kept for the layout; more are counted but not listed.
constexpr size_t MAX_LISTED_BAD_BLOCKS = 64;

// What the inference knows so far.
struct layout_inference {
    bool marking_claim = false;         // -B given: data pages are marked
    optional_bad_blocks claimed;        // -B: the bad blocks claimed
    header_reading header = header_reading::unknown;
    uint64_t header_block = 0;          // pending: the block that looks like a header
    bool pending_page_marked = false;   // pending: its status word is exactly marked,
                                        // and it holds what a header page holds
    bool pending_holds_size = false;    // pending: it holds what a header page holds
    std::optional<uint32_t> header_size;  // size held by the first header page seen
    status_expectation marking = status_expectation::unknown;
    std::optional<uint64_t> start;      // a block whose first pages are bad-block
                                        // pages but for one flipped bit; the next
                                        // pages decide
    int start_flips = 0;                // bits flipped in the pages of `start`, or
                                        // of the latest candidate, so far
    int start_fill_flips = 0;           // bits in which the pages of `start` differ
                                        // from fill pages
    std::vector<uint64_t> candidates;   // blocks like bad blocks, awaiting the marking
    std::vector<uint64_t> recent_bad;   // bad blocks the checks may still reach
    std::vector<uint64_t> bad_blocks;   // every bad block, up to MAX_LISTED_BAD_BLOCKS
    uint64_t bad_block_count = 0;
};

// Takes the next record of the image into account.
void observe(layout_inference& inference, decoded_record& r);

// Records before this index are read for good; the checks may take them.
uint64_t settled_until(const layout_inference& inference);

// Settles the header question one way or the other.
void decide_header(layout_inference& inference, header_pages reading);

#endif
