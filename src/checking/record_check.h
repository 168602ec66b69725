// Checking one record in its place: its kind, its own checks and those that
// span records (order, header sizes, status words), with the state they
// carry from one record to the next.  The state is a plain value, so a
// reading of the image can be tried on a copy and thrown away.
#ifndef PAGESMITH_RECORD_CHECK_H
#define PAGESMITH_RECORD_CHECK_H

#include <cstdint>
#include <optional>

#include "page_kind_choice.h"

// What a record of the file looks like before it is placed in the image.
enum class record_look : uint8_t {
    page,    // a page record: its spare words 2-11 are zero, but for damage
    erased,  // every bit set, but for one flipped bit per sector (and perhaps
             // a bad-block marker in the status word)
    junk,    // neither
};

// Where a record of the file stands.
enum class record_origin : uint8_t {
    image,    // a record of the image, in its place
    erased,   // an erased record where the image's record goes (or after it)
    outside,  // a record of the file that is not the image's
};

// What happened in the file just before a record placed in the image: the
// walk reports each of these once, when it reaches the record.
struct record_events {
    bool any = false;             // anything below; the rest is meaningful only then
    uint64_t missing = 0;         // image records not in the file, just before
    uint64_t junk = 0;            // file records before that read as no record
    uint64_t junk_from = 0;       // the file record the first of them is
    uint64_t repeated = 0;        // records the file held a second time
    uint64_t repeated_from = 0;   // the image record the first of them repeats
    uint64_t erased = 0;          // erased records before, inside the image
    uint64_t erased_from = 0;     // the image record the first of them stands for
    uint64_t padded_blocks = 0;   // erased blocks before that stand for bad blocks
    bool padded_as_hole = false;  // or lost data pages: nothing confirms them bad
    bool skipped_as_hole = false; // missing whole blocks are lost data pages, not
                                  // bad blocks that the dump left out
    uint64_t foreign_from = 0;    // a block of the file not the image's, plus one
    bool swapped = false;         // this record and the next stand in the file in
                                  // each other's place
    uint64_t strays = 0;          // file records before whose tags break the run
    uint64_t stray_from = 0;      // the file record the first of them is
};

// True when anything happened before the record.
inline bool has_events(const record_events& e)
{
    return e.any;
}

// Bytes of an erased record that read 0 (at most one per sector), or -1.
using erased_flips = int16_t[SECTORS_PER_PAGE];

// A record read from the image, decoded and corrected.
struct decoded_record {
    uint8_t* bytes = nullptr;         // its PAGE_RECORD_SIZE bytes in the window:
                                      // data area (corrected), then spare area
    page_decoding decoding;
    uint64_t index = 0;               // record number in the image
    uint64_t file_index = 0;          // record number in the file
    record_look look = record_look::page;
    uint8_t stray_bits = 0;           // page: bits set in the zero spare words
    record_origin origin = record_origin::image;
    erased_flips flips = {};          // erased: record bytes holding a 0 bit
    record_events events;             // image: what the file did just before it
};

// The view of a decoded record that the page checks take.
inline page_record view_of(decoded_record& r)
{
    return {r.bytes, r.bytes + PAGE_DATA_SIZE, r.index, r.index / PAGES_PER_BLOCK,
            static_cast<int>(r.index % PAGES_PER_BLOCK), r.file_index};
}

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
    bool records_lost = false;            // the file leaves out records of the image
    uint64_t input_pages = 0;             // input pages up to the last data page's
    uint64_t bad_blocks_passed = 0;       // bad blocks of the layout before the record
    uint64_t last_bad_block = UINT64_MAX; // the latest of them read as bad-block pages
    uint64_t end = 0;                     // the image record after the last one checked
    std::optional<uint32_t> forced_size;  // -F claims the header pages hold this
                                          // size, which tells nothing of the input's end
};

// Checks a record that reads as a data page where the layout puts one and
// gives nothing to find (every sector clean, every word as a data page at
// its place carries, nothing that could make it a fill page), changing
// `state` as check_record would, and returns true; returns false, changing
// nothing, for any other record.  Nearly every record of an image is one.
bool check_sound_data(checker_state& state, const record_context& context,
                      const page_record& r, const page_decoding& d);

// Checks one record, decoded as `d`, with the reading `context`, adding its
// findings to `out`; returns the kind it was taken for.
page_kind check_record(checker_state& state, const record_context& context,
                       const page_record& r, const page_decoding& d, const look_ahead& next,
                       page_findings& out);

#endif
