// Telling the kind of one page record: from its position in the layout read
// so far, its words and data, and the tags of the records after it.
#ifndef PAGESMITH_PAGE_KIND_CHOICE_H
#define PAGESMITH_PAGE_KIND_CHOICE_H

#include "page_checks.h"

// The record after the current one, as far as telling the kind needs it.
struct look_ahead {
    bool present = false;  // a whole record follows
    uint32_t tag = 0;      // its page tag
    bool second_present = false;  // and one after it, read already
    uint32_t second_tag = 0;      // its page tag
};

// How a record is read: what the layout puts at its position.
struct record_context {
    header_pages header = header_pages::absent;  // data blocks start with a header page
    block_state block = block_state::good;       // the record's block is a bad block or not
    bool follows_fill = false;                   // the record before is a fill page
    status_expectation marking = status_expectation::unknown;  // data pages' status word
    bool input_complete = false;                 // the data pages before end with
                                                 // the last page of the header size
};

// The kind of the record, from its position, the reading, its tag and the
// tag of the next record.
page_kind classify(const record_context& context, const page_record& r,
                   const page_decoding& d, const look_ahead& next);

// Learns the status expectation from the first data page that carries a
// status word, when it holds one of the two allowed values.
status_expectation learn_status(status_expectation now, const page_record& r, page_kind kind);

#endif
