// What checking an image finds: one finding per fault, and the counts that
// sum them up.  Shared by the checking core and whatever reports on it.
#ifndef PAGESMITH_CHECK_FINDINGS_H
#define PAGESMITH_CHECK_FINDINGS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image_layout.h"

// The kinds of finding.  Those up to uncorrectable are about one sector of
// a record, those up to out_of_place about one record, the rest about the
// image as a whole.
enum class finding_kind {
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
    layout_header,        // -H given or not, and the image shows otherwise
    layout_bad_blocks,    // found: a block where the image and -B differ
    layout_marking,       // -B given, and data pages carry no status word
};

// How a finding counts in the summary.
enum class finding_class { corrected, uncorrectable, problem };

// Number of finding classes, for tables indexed by class.
constexpr int FINDING_CLASS_COUNT = 3;

// One fault found in the image.  Plain data without initialisers, so that
// a list of them costs nothing until used: make one with finding{}.
struct finding {
    finding_kind what;  // what was found
    uint64_t record;    // index of the record in the image
    uint64_t block;     // its position: record / PAGES_PER_BLOCK
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

// True when the finding is about one record rather than the whole image.
constexpr bool is_about_record(finding_kind what)
{
    return what <= finding_kind::out_of_place;
}

// True when the finding is about one sector of a record.
constexpr bool is_about_sector(finding_kind what)
{
    return what <= finding_kind::uncorrectable;
}

// How a finding of this kind counts.
constexpr finding_class class_of(finding_kind what)
{
    if (what == finding_kind::corrected_data || what == finding_kind::corrected_code)
        return finding_class::corrected;
    if (what == finding_kind::uncorrectable)
        return finding_class::uncorrectable;
    return finding_class::problem;
}

// How the image was made, as far as it shows.
struct image_layout {
    bool header = false;                 // header pages (-h)
    bool status_words = false;           // marked data pages 0 and 1 (-b)
    bool fill = false;                   // fill pages (-f)
    std::vector<uint64_t> bad_blocks;    // bad blocks (-B), the first ones
    uint64_t bad_block_count = 0;        // all bad blocks
    std::optional<uint64_t> input_size;  // input length, when the image tells it
    std::vector<std::string> notes;      // where the image left a choice, the one made
};

// The counts of a whole check.
struct check_summary {
    uint64_t records = 0;                   // whole records read
    uint64_t kinds[PAGE_KIND_COUNT] = {};   // records of each kind
    uint64_t sectors = 0;                   // sectors decoded
    uint64_t corrected = 0;                 // corrected findings
    uint64_t uncorrectable = 0;             // uncorrectable findings
    uint64_t problems = 0;                  // every other finding
    image_layout layout;                    // what the image shows
};

// Adds one finding to the counts.
void count_finding(check_summary& summary, const finding& f);

// Exit status of a check: 0 when sound, 1 when any sector is
// uncorrectable or any other problem was found.
int check_status(const check_summary& summary);

#endif
