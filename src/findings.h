// What checking an image finds: one finding per fault, the table that says
// everything about each kind of finding, and the counts that sum them up.
// Shared by the checking core and the report writers.
#ifndef PAGESMITH_FINDINGS_H
#define PAGESMITH_FINDINGS_H

#include <cstdint>
#include <optional>
#include <vector>

#include "image_layout.h"

// The kinds of finding; finding_traits_of says everything else about each.
enum class finding_kind : uint8_t {
    corrected_data,       // one data bit flipped: byte, bit
    corrected_code,       // one bit of the stored ECC word flipped: word, bit
    uncorrectable,        // found: the syndrome (stored XOR recomputed word)
    page_tag,             // found, expected: the page tag
    status_word,          // found, expected: the block status word
    status_word_value,    // found: a status word that is neither allowed value
    spare_word,           // word, found: a spare word that must be zero
    header_not_zero,      // a header page holds more than its size
    data_not_zero,        // a bad-block or fill page holds data
    header_size_differs,  // found: this header's size, expected: the first one's
    out_of_place,         // other: the kind of the record before
    ends_inside_fill,     // page: the last fill page
    ends_after,           // other: the kind of the last record
    partial_record,       // found: bytes after the last whole record
    header_size_misfit,   // found: the header size, expected: bytes of data pages
    too_many_bad_blocks,  // found: more bad blocks than the converter can list
    layout_header,        // found: 1 when the image has header pages, against the claim
    layout_bad_blocks,    // found: a block where the image and -B differ;
                          // expected: 1 when the image has it bad
    layout_marking,       // -B given, and data pages carry no status word
    erased_bit,           // byte, bit: a bit that reads 0 in an erased page
    records_missing,      // found: records of the image that the file leaves out
    records_repeated,     // found: records the file holds twice
    erased_inside,        // found: erased records where the image goes on
    foreign_block,        // found: a block of the file that is not the image's
    not_records,          // found: records of the file that do not read as records
    data_pages_missing,   // found: data pages missing; expected: the input size
    image_cut,            // record: where the file ends; found, expected: as above
    not_an_image,         // found: records in the file
    size_unproven,        // found: the header size, expected: bytes of data pages;
                          // a size -F may have stored, or data pages lost
    layout_forced_size,   // found: the header size, expected: the size -F claims
    padded_or_lost,       // found: an erased block inside the image that nothing
                          // confirms for a bad block
    chip_bad_inside,      // found: a block the chip marks bad, erased inside the
                          // image, that nothing confirms for a bad block
    zeroed_record,        // a record all zero, tag included, among data pages
    records_swapped,      // a record and the next stand in the file in each
                          // other's place
    stray_records,        // found: file records whose tags break the run of the
                          // image's; expected: the first of them
    size_or_no_header,    // found: the size of a page read as a header page
                          // that no later block confirms; expected: bytes of
                          // data pages, which the size does not fit
};

// How a finding counts in the summary.
enum class finding_class { corrected, uncorrectable, problem };

// Number of finding classes, for tables indexed by class.
constexpr int FINDING_CLASS_COUNT = 3;

// Fields of a finding, as bits of finding_traits::fields: those that apply
// to a kind are the ones its reports show.
enum finding_field : unsigned {
    FIELD_RECORD = 1u << 0,    // record, block, the record's offset and its kind
    FIELD_PAGE = 1u << 1,      // page
    FIELD_SECTOR = 1u << 2,    // sector
    FIELD_BYTE = 1u << 3,      // byte of the data area
    FIELD_BIT = 1u << 4,       // bit
    FIELD_WORD = 1u << 5,      // spare word number
    FIELD_FOUND = 1u << 6,     // the value found
    FIELD_EXPECTED = 1u << 7,  // the value expected
    FIELD_AFTER = 1u << 8,     // the kind of a neighbouring record
    FIELD_PLACE = 1u << 9,     // record and block without the record's kind
};

// Everything about one kind of finding.
struct finding_traits {
    const char* name;          // name in the JSON report; null past the last kind
    finding_class counts_as;   // how the summary counts it
    unsigned fields;           // the finding_field bits that apply
    const char* text;          // its text, as report_words fills it in
};

// The traits of each kind of finding: the one table of them.  Its texts
// name fields in braces: {sector}, {byte}, {bit}, {word}, {page}, {found},
// {expected} in decimal; {found:x}, {expected:x} as 0x%08x; {found:d},
// {expected:d} as the signed 32-bit decimal that -F takes; {after}, the
// neighbour's kind; {found?A|B} and {expected?A|B}, A when the value is not
// 0, else B; and a few values of the layout (see report_words).  A finding
// about a record starts with "block B page P (kind)", which its text
// continues.
constexpr finding_traits finding_traits_of(finding_kind kind)
{
    using enum finding_kind;
    constexpr unsigned IN_SECTOR = FIELD_RECORD | FIELD_PAGE | FIELD_SECTOR;
    constexpr unsigned IN_RECORD = FIELD_RECORD | FIELD_PAGE;
    constexpr finding_class CORRECTED = finding_class::corrected;
    constexpr finding_class PROBLEM = finding_class::problem;
    switch (kind) {
    case corrected_data:
        return {"corrected_data", CORRECTED, IN_SECTOR | FIELD_BYTE | FIELD_BIT,
                " sector {sector}: corrected byte {byte} bit {bit}"};
    case corrected_code:
        return {"corrected_code", CORRECTED, IN_SECTOR | FIELD_BIT | FIELD_WORD,
                " sector {sector}: ECC word spare[{word}] bit {bit} flipped, data intact"};
    case uncorrectable:
        return {"uncorrectable", finding_class::uncorrectable, IN_SECTOR | FIELD_FOUND,
                " sector {sector}: uncorrectable, syndrome {found:x}"};
    case page_tag:
        return {"page_tag", PROBLEM, IN_RECORD | FIELD_FOUND | FIELD_EXPECTED,
                ": page tag {found:x}, expected {expected:x}"};
    case status_word:
        return {"status_word", PROBLEM,
                IN_RECORD | FIELD_WORD | FIELD_FOUND | FIELD_EXPECTED,
                ": block status word {found:x}, expected {expected:x}"};
    case status_word_value:
        return {"status_word_value", PROBLEM, IN_RECORD | FIELD_WORD | FIELD_FOUND,
                ": block status word {found:x}, expected {unmarked:x} or {marked:x}"};
    case spare_word:
        return {"spare_word", PROBLEM,
                IN_RECORD | FIELD_WORD | FIELD_FOUND | FIELD_EXPECTED,
                ": spare[{word}] = {found:x}, expected 0"};
    case header_not_zero:
        return {"header_not_zero", PROBLEM, IN_RECORD,
                ": bytes {header_size_bytes}-{last_data_byte} are not zero"};
    case data_not_zero:
        return {"data_not_zero", PROBLEM, IN_RECORD, ": data area is not zero"};
    case header_size_differs:
        return {"header_size_differs", PROBLEM, IN_RECORD | FIELD_FOUND | FIELD_EXPECTED,
                ": header size {found}, the first header page holds {expected}"};
    case out_of_place:
        return {"out_of_place", PROBLEM, IN_RECORD | FIELD_AFTER,
                ": out of place after a {after} page"};
    case ends_inside_fill:
        return {"ends_inside_fill", PROBLEM, FIELD_PAGE,
                "image ends inside the fill pages, at page {page}"};
    case ends_after:
        return {"ends_after", PROBLEM, FIELD_AFTER,
                "image ends after a {after} page, before any data page that follows it"};
    case partial_record:
        return {"partial_record", PROBLEM, FIELD_FOUND,
                "trailing partial record of {found} bytes"};
    case header_size_misfit:
        return {"header_size_misfit", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "header size {found} does not fit the {expected} bytes of data pages; "
                "nothing is cut"};
    case too_many_bad_blocks:
        return {"too_many_bad_blocks", PROBLEM, FIELD_FOUND,
                "{found} bad blocks, more than the {max_bad_blocks} that pagesmith can list"};
    case layout_header:
        return {"layout_header", PROBLEM, FIELD_FOUND,
                "{found?page 0 of every block is a header page: made with -h?"
                "|no block starts with a header page: made without -h?}"};
    case layout_bad_blocks:
        return {"layout_bad_blocks", PROBLEM, FIELD_FOUND,
                "block {found} {expected?is a bad block, which -B does not list"
                "|is not a bad block, though -B lists it}: made {bad_block_options}?"};
    case layout_marking:
        return {"layout_marking", PROBLEM, 0,
                "data pages 0 and 1 carry no block status word, which -B implies: "
                "made without -B?"};
    case erased_bit:
        return {"erased_bit", CORRECTED, IN_SECTOR | FIELD_BYTE | FIELD_BIT,
                " sector {sector}: record byte {byte} bit {bit} reads 0 in an erased page"};
    case records_missing:
        return {"records_missing", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_FOUND,
                "{found} record(s) from block {block} page {page} on are not in the file: "
                "the page tags step over them"};
    case records_repeated:
        return {"records_repeated", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_FOUND,
                "{found} record(s) at block {block} page {page} stand in the file twice: "
                "read once"};
    case erased_inside:
        return {"erased_inside", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_FOUND,
                "{found} erased record(s) from block {block} page {page} on, inside the image"};
    case foreign_block:
        return {"foreign_block", PROBLEM, FIELD_PLACE | FIELD_FOUND,
                "block {found} of the file is not the image's, and the blocks after it stand "
                "one block after their page tags: it was skipped when the image was written "
                "(a bad block of the chip?), and a boot loader that checks page tags rejects "
                "what follows; make the image with -B {found}"};
    case not_records:
        return {"not_records", PROBLEM, FIELD_PLACE | FIELD_FOUND | FIELD_EXPECTED,
                "{found} record(s) of the file from record {expected} on do not read as page "
                "records (their spare words 2-11 are not zero): left out"};
    case data_pages_missing:
        return {"data_pages_missing", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "the header pages say {expected} bytes of input; {found} data page(s) are "
                "missing"};
    case image_cut:
        return {"image_cut", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_FOUND | FIELD_EXPECTED,
                "the file ends before block {block} page {page}: the header pages say "
                "{expected} bytes of input; {found} data page(s) are missing"};
    case not_an_image:
        return {"not_an_image", PROBLEM, FIELD_FOUND,
                "not an image: none of its {found} record(s) reads as a page record"};
    case size_unproven:
        return {"size_unproven", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "header size {found} does not fit the {expected} bytes of data pages: data "
                "lost, or made with -F {found:d}; claim -F {found:d} if it was"};
    case layout_forced_size:
        return {"layout_forced_size", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "the header pages hold {found}, not the {expected:d} that -F claims"};
    case padded_or_lost:
        return {"padded_or_lost", PROBLEM, FIELD_FOUND,
                "block {found} is erased inside the image: a bad block that the dump padded, "
                "or lost data: claim -B {found} if it is listed bad"};
    case chip_bad_inside:
        return {"chip_bad_inside", PROBLEM, FIELD_FOUND,
                "block {found} is marked bad by the chip and erased inside the image: read as "
                "a bad block that the dump padded; claim -B {found} if it is listed bad"};
    case records_swapped:
        return {"records_swapped", PROBLEM, FIELD_PLACE | FIELD_PAGE,
                "the records of block {block} page {page} and the next page stand in the file "
                "in each other's place: read in tag order"};
    case stray_records:
        return {"stray_records", PROBLEM, FIELD_PLACE | FIELD_FOUND | FIELD_EXPECTED,
                "{found} record(s) of the file from record {expected} on carry the page tags "
                "of other places, and the records after them go on in sequence: not the "
                "image's, left out"};
    case zeroed_record:
        return {"zeroed_record", PROBLEM, IN_RECORD,
                ": all zero, page tag 0, and a data page follows: the record was zeroed"};
    case size_or_no_header:
        return {"size_or_no_header", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "header size {found} does not fit the {expected} bytes of data pages: data "
                "lost, or made with -F {found:d}, or made without -h (claim --no-header if it "
                "was)"};
    }
    return {nullptr, PROBLEM, 0, nullptr};
}

// Number of finding kinds: they are numbered from 0, and the table knows
// each of them.
constexpr int FINDING_KIND_COUNT = [] {
    int n = 0;
    while (finding_traits_of(static_cast<finding_kind>(n)).name)
        ++n;
    return n;
}();

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

// True when the finding is about one record (or one sector of it) rather
// than the whole image.
constexpr bool is_about_record(finding_kind what)
{
    return (finding_traits_of(what).fields & FIELD_RECORD) != 0;
}

// How a finding of this kind counts.
constexpr finding_class class_of(finding_kind what)
{
    return finding_traits_of(what).counts_as;
}

// The kinds of note: where the image left a choice open, the one made.
enum class note_kind : uint8_t {
    zero_page_fill,      // block: an all-zero page at a page tag of 0 read as fill
    header_choice,       // block, size, more, chosen: an open header question settled
    erased_tail,         // record, count: erased records after the image
    padded_blocks,       // block, count: erased blocks that stand for bad blocks
    skipped_blocks,      // block, count: bad blocks that the file leaves out
    chip_bad,            // block: a block of the file that the chip marks bad
    header_before_data,  // block, size: a page like a header page, data pages
                         // after it, and no later block tells: a header page
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
    std::vector<layout_note> notes;              // where the image left a choice
    std::vector<chip_mark> chip_bad;             // blocks the chip marks bad, the first ones
};

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
};

// Blocks the records of a summary span, the last one perhaps in part.
constexpr uint64_t blocks_of(const check_summary& summary)
{
    return (summary.records + PAGES_PER_BLOCK - 1) / PAGES_PER_BLOCK;
}

// Adds one finding to the counts.
void count_finding(check_summary& summary, const finding& f);

// Exit status of a check: 0 when sound, 1 when any sector is
// uncorrectable or any other problem was found.
int check_status(const check_summary& summary);

#endif
