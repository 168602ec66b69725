// What checking an image finds: one finding per fault (its kinds in
// finding_kinds.h), the notes, the layout, what was lost, and the counts
// that sum them up.  Shared by the checking core and the report writers.
#ifndef PAGESMITH_FINDINGS_H
#define PAGESMITH_FINDINGS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "finding_kinds.h"
#include "image_layout.h"
// One fault found in the image.  Plain data without initialisers, so that
// a list of them costs nothing until used: make one with finding{}.
struct finding {
    finding_kind what;  // what was found
    uint64_t record;    // index of the record in the image
    uint64_t block;     // its position: record / PAGES_PER_BLOCK
    uint64_t offset;    // byte offset of the record in the file
    int page;           // and record % PAGES_PER_BLOCK
    page_kind kind;     // the kind the record was taken for
    page_kind other;    // a neighbouring record's kind
    int sector;         // sector findings: the sector
    int byte;           // corrected_data: byte of the data area
    int bit;            // the bit in that byte or ECC word
    int word;           // spare word number
    uint64_t found;     // the value found
    uint64_t expected;  // the value expected
};

// A finding about the image as a whole, its other fields zero.
inline finding image_finding(finding_kind what)
{
    finding f{};
    f.what = what;
    return f;
}

// The kinds of note: where the image left a choice open, the one made.
enum class note_kind : uint8_t {
    zero_page_fill,      // block: an all-zero page at a page tag of 0 read as fill
    header_choice,       // block, size, more, chosen: an open header question settled
    erased_tail,         // record, count: erased records after the image
    padded_blocks,       // block, count: erased blocks that stand for bad blocks
    skipped_blocks,      // block, count: bad blocks that the file leaves out
    chip_bad,            // block: a block of the file that the chip marks bad
    holes_not_put,       // count: lost blocks that -o could not go back to make room for
    header_before_data,  // block, size: a page like a header page, data pages
                         // after it, and no later block tells: a header page
    size_past_4gib,      // size: with data pages missing, the smallest input size
                         // past 4 GiB that the header pages' low 32 bits give
};

// One note, as values; the report writers give it words.
struct layout_note {
    note_kind what;
    uint64_t block = 0;        // the block it is about
    uint64_t size = 0;         // header_choice: the size the header page holds
    uint64_t more = 0;         // header_choice: findings the other reading gives more
    header_pages chosen = header_pages::absent;  // header_choice: the reading taken
    uint64_t record = 0;       // erased_tail: the first record
    uint64_t count = 0;        // records or blocks the note is about
};

// A block of the file that the chip marks bad: an erased block whose page 0
// or 1 carries a bad-block marker.
struct chip_mark {
    uint64_t file_block;   // the block's place in the file (the chip's number)
    uint64_t image_block;  // the image block it stands for; NOT_IN_IMAGE when none
};

// chip_mark::image_block of a block that stands for no block of the image.
constexpr uint64_t NOT_IN_IMAGE = UINT64_MAX;

// Chip-marked blocks kept for the report; more are not listed.
constexpr size_t MAX_LISTED_CHIP_BAD = 64;

// Data pages that a check passed over as a bad block, which the end of the
// image shows to be lost: the recovered input was written without them, and
// needs `pages` pages of zeros from input page `written_page` of what was
// written (the holes after it not yet there).
struct input_hole {
    uint64_t written_page;
    uint64_t pages;
    bool erased;  // the file holds them erased; else it leaves them out
};

// How the image was made, as far as it shows.
struct found_layout {
    header_pages header = header_pages::absent;  // header pages (-h)
    bool status_words = false;                   // marked data pages 0 and 1 (-b)
    bool fill = false;                           // fill pages (-f)
    std::vector<uint64_t> bad_blocks;            // bad blocks (-B), the first ones
    uint64_t bad_block_count = 0;                // all bad blocks
    std::optional<uint64_t> input_size;          // input length, when the image tells it
    std::optional<int32_t> forced_header_size;   // -F: what every header page holds,
                                                 // when it does not fit the data pages
    std::optional<uint64_t> size_said;           // the input size the header pages say,
                                                 // unless -F is claimed: the input size,
                                                 // or a size past the data pages
    std::vector<layout_note> notes;              // where the image left a choice
    std::vector<chip_mark> chip_bad;             // blocks the chip marks bad, the first ones
    std::vector<input_hole> holes;               // blocks read as lost data at the end
    uint64_t image_start = 0;                    // the byte of the file where the image
                                                 // starts
};

// True when the chip marks the block that stands for image block `block`
// bad (among those listed).
inline bool chip_marks(const found_layout& layout, uint64_t block)
{
    for (const chip_mark& mark : layout.chip_bad)
        if (mark.image_block == block)
            return true;
    return false;
}

// Why input bytes were lost.
enum class loss_cause : uint8_t { missing, erased, zeroed, garbage, uncorrectable, cut };

// The word for a cause, in the text report and in JSON.
constexpr const char* loss_cause_name(loss_cause why)
{
    switch (why) {
    case loss_cause::missing: return "missing";
    case loss_cause::erased: return "erased";
    case loss_cause::zeroed: return "zeroed";
    case loss_cause::garbage: return "garbage";
    case loss_cause::uncorrectable: return "uncorrectable";
    case loss_cause::cut: return "cut";
    }
    return nullptr;
}

// Input bytes lost, and why.
struct lost_range {
    uint64_t offset;
    uint64_t length;
    loss_cause why;
};

// Ranges kept for the report; those past them are only summed up.
constexpr size_t MAX_LISTED_LOST = 1024;

// The lost ranges of a check, in input order.
struct lost_list {
    std::vector<lost_range> ranges;  // the first MAX_LISTED_LOST, adjacent ones of one
                                     // cause merged
    uint64_t unlisted = 0;           // ranges past those
    uint64_t unlisted_bytes = 0;     // and their bytes
    bool last_page_in_doubt = false; // the last data page present may belong after
                                     // a page left out: it is not given back
};


// What a block of the file holds, for its health: data wins in a mixed
// block.
enum class block_use : uint8_t { data, bad, chip_bad, fill, erased, other };

// The word for a block's use, in JSON.
constexpr const char* block_use_name(block_use use)
{
    switch (use) {
    case block_use::data: return "data";
    case block_use::bad: return "bad";
    case block_use::chip_bad: return "chip-bad";
    case block_use::fill: return "fill";
    case block_use::erased: return "erased";
    case block_use::other: return "other";
    }
    return nullptr;
}

// The health of one block of the file, numbered as the chip numbers it:
// its place in the file, counted from where the image starts.
struct block_health {
    uint64_t block = 0;
    block_use use = block_use::other;
    uint64_t corrected = 0;        // bits corrected in data, header and fill pages
    uint64_t corrected_pages = 0;  // pages with a corrected bit
    uint64_t uncorrectable = 0;    // sectors that do not correct
    uint64_t erased_bits = 0;      // bits that read 0 in erased pages
};

// What one of several readings gave, against the combined image.
struct reading_summary {
    const char* file = nullptr;  // as given
    uint64_t image_start = 0;    // the byte of the file where its image starts
    uint64_t supplied = 0;       // sectors it could not correct that another gave
    uint64_t differing = 0;      // sound sectors whose data it reads otherwise
    uint64_t stuck[2][8] = {};   // of those, by bit position: some byte reads 0
                                 // ([0]) or 1 ([1]) there where the image holds the other
};

// What stands in the way of a repair.
enum class repair_obstacle : uint8_t {
    none,                 // nothing: the image is written
    uncorrectable,        // count: sectors that do not correct
    lost,                 // count: input byte ranges lost
    open_reading,         // count: findings that leave open what the image holds
    too_many_bad_blocks,  // count: bad blocks in all, more than the converter lists
    blocks_left_out,      // count: bad blocks the readback leaves out, so that its
                          // block numbers are not the chip's (with --retire)
};

// What --repair did: asked for when `file` is not null.
struct repair_outcome {
    const char* file = nullptr;  // the repaired image's name, as given
    repair_obstacle obstacle = repair_obstacle::none;
    uint64_t count = 0;          // what the obstacle counts
    std::string options;         // written: the converter's options that made it
};

// The counts of a whole check.
struct check_summary {
    uint64_t records = 0;                   // whole records read
    uint64_t kinds[PAGE_KIND_COUNT] = {};   // records of the image (and after it) by kind
    uint64_t sectors = 0;                   // sectors decoded
    uint64_t corrected = 0;                 // corrected findings
    uint64_t uncorrectable = 0;             // uncorrectable findings
    uint64_t problems = 0;                  // every other finding
    uint64_t outside = 0;                   // records not the image's (in no kind)
    found_layout layout;                    // what the image shows
    lost_list lost;                         // input bytes the image does not give back
    uint64_t open_readings = 0;             // findings that stop a repair
    std::vector<block_health> health;       // each block of the file, in order
    std::vector<block_health> map_health;   // image blocks with a corrected bit or an
                                            // uncorrectable sector, for the map
    repair_outcome repair;                  // what --repair did
    std::vector<reading_summary> readings;  // several readings: each one's share
};

// Blocks the records of a summary span, the last one perhaps in part.
constexpr uint64_t blocks_of(const check_summary& summary)
{
    return (summary.records + PAGES_PER_BLOCK - 1) / PAGES_PER_BLOCK;
}

// Adds one finding to the counts.
void count_finding(check_summary& summary, const finding& f);

// True when a finding's page tag leaves open where the record's data
// belongs: it may as well be a record left out before a page that follows.
bool place_in_doubt(const finding& f);

// Exit status of a check: 0 when sound or repaired, 1 when any sector is
// uncorrectable or any other problem was found.
int check_status(const check_summary& summary);

#endif
