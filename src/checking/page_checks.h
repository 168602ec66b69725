// Checks on one page record: decoding its sectors, and comparing its words
// and data with what its kind carries.  Each check
// adds findings to a list and prints nothing.
#ifndef PAGESMITH_PAGE_CHECKS_H
#define PAGESMITH_PAGE_CHECKS_H

#include <cstdint>

#include "findings.h"
#include "record_view.h"
#include "ecc.h"
#include "image_layout.h"

// One page record and where it stands in the image.
struct page_record {
    uint8_t* data;         // PAGE_DATA_SIZE bytes, corrected in place
    const uint8_t* spare;  // PAGE_SPARE_SIZE bytes
    uint64_t index;        // record number in the image
    uint64_t block;        // index / PAGES_PER_BLOCK
    int page;              // index % PAGES_PER_BLOCK
    uint64_t file_index = 0;  // record number in the file
};

// The view of the record's spare words.
inline record_view words_of(const page_record& r)
{
    return {r.spare};
}

// What the data pages at the start of a block carry as status word: not
// yet known (decided by the first such page), or known.
enum class status_expectation { unknown, marked, unmarked };

// Decoding of the four sectors of one record.
struct page_decoding {
    ecc_decoding sector[SECTORS_PER_PAGE];
    uint32_t syndrome[SECTORS_PER_PAGE];  // stored XOR recomputed word
    bool uncorrectable = false;           // some sector could not be decoded
};

// The findings about one record, in the order they are reported.
struct page_findings {
    static constexpr int CAPACITY = 32;  // more than all checks can add
    finding items[CAPACITY];
    int count = 0;
};

// Decodes the four sectors and corrects single data-bit errors in place.
page_decoding decode_page(const page_record& r);

// True when the n bytes at p are all zero.
bool all_zero(const uint8_t* p, size_t n);

// True when the data area of the record is zero wherever a record of
// `kind` holds zero bytes.
bool data_zero_as(const page_record& r, page_kind kind);

// The marking a data page's status word shows: marked or unmarked for the
// two values the converter writes, unknown for any other.
status_expectation marking_of(uint32_t status);

// True when a status word is nearer to the marked value than to 0, so that
// one flipped bit does not change how a page reads.
bool looks_marked(uint32_t status);

// Bits set in the status word and the zero spare words of a record whose
// every sector decodes to zero bytes or not at all; NOT_ZERO_PAGE when some
// sector holds other bytes.  A fill page gives 0, one flip in its words 1.
int flips_from_fill(const page_record& r, const page_decoding& d);

// Bits in which the record's status word and zero spare words differ from
// those of a record of `kind` at its page, its tag aside.
int word_flips_from(const page_record& r, page_kind kind, block_marking marking);

// What flips_from_fill gives for a page that holds data.
constexpr int NOT_ZERO_PAGE = 64;

// True when the record is, as far as can be told, a fill page: its page tag
// is 0, and its status word and spare words up to the ECC words are zero
// but for one flipped bit, and every sector decodes to zero bytes or not at
// all.
bool looks_like_fill(const page_record& r, const page_decoding& d);

// Adds the findings about the sectors: corrections and uncorrectable ones.
void check_sectors(const page_record& r, page_kind kind, const page_decoding& d,
                   page_findings& out);

// Adds the findings about the tag, the status word and the zero spare words.
void check_spare(const page_record& r, page_kind kind, status_expectation status,
                 page_findings& out);

// Adds a finding when a header, bad-block or fill page holds data it must
// not.  Uncorrectable data is not judged again.
void check_content(const page_record& r, page_kind kind, const page_decoding& d,
                   page_findings& out);

// Adds a finding about record r to the list.
finding& add_finding(page_findings& out, const page_record& r, page_kind kind,
                     finding_kind what);

#endif
