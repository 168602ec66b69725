// The walk's state and the header question it may leave open: whether page
// 0 of block 0, like a header page, is one, settled from what the window
// holds, the end of the file and the claim.
#ifndef PAGESMITH_HEADER_QUESTION_H
#define PAGESMITH_HEADER_QUESTION_H

#include "check_sink.h"
#include "layout_inference.h"
#include "readback.h"
#include "record_check.h"
#include "window_reader.h"

// Whether the whole image has been read when an open question is settled.
enum class image_end { not_reached, reached };

// What the file holds after its last whole record.
enum class file_tail {
    nothing_more,  // nothing, or bytes all zero or all set: what fill or
                   // erased pages begin with
    data,          // bytes of a record cut short that hold data
};

// The inference and the checks, as the walk carries them.
struct walk_state {
    layout_inference inference;
    checker_state checker;
    readback_state placing;
    uint64_t observed = 0;  // records the inference has seen
};

// The tail of the file once read to its end: the bytes of the record it
// ends inside, in the slot after the last whole record.
file_tail tail_of(record_window& window, const window_reader& reader);

// What the record after `seq` tells its checks.
look_ahead next_of(record_window& window, uint64_t seq);

// Settles a header question that the image left open: as the claim says;
// else a header page when data pages follow it, or a record cut short that
// holds data (read as a data page, it would hide an image cut before its
// data ends); else the reading with fewer findings (a header page when
// they tie).
void settle_header(record_window& window, walk_state& walk, const layout_claim& claim,
                   image_end end, file_tail tail, found_layout& layout);

#endif
