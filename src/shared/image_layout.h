// What stands where in an image: the kinds of page record and the words
// each kind carries.  The image writer follows these rules and the checker
// expects them; neither states them again.
#ifndef PAGESMITH_IMAGE_LAYOUT_H
#define PAGESMITH_IMAGE_LAYOUT_H

#include <array>
#include <cstdint>
#include <optional>

#include "flash_geometry.h"

// The kinds of page record.
// An erased page (all bits set) is not written by the converter: it is what
// a chip holds where nothing was programmed, as read back after the image;
// a chip-bad page is an erased page 0 or 1 that carries the chip's own
// bad-block marker (spare byte 0 not 0xFF).
enum class page_kind : uint8_t { data, header, bad_block, fill, erased, chip_bad };

// Bytes at the start of a header page's data area holding the header size
// (little-endian); the rest of the data area is zero.
constexpr size_t HEADER_SIZE_BYTES = 4;

// What the data area of a kind of record holds.
enum class data_content {
    input,        // input bytes, the last page completed with zeros
    header_size,  // the header size in its first HEADER_SIZE_BYTES, zero after
    zero,         // nothing: all zero
    erased,       // nothing written: every bit set
    none,         // not a page kind (past the last one)
};

// The data area of a record of `kind`.  Every switch over page kinds
// lists them all, so a new kind does not build until each says what it is.
constexpr data_content data_content_of(page_kind kind)
{
    switch (kind) {
    case page_kind::data: return data_content::input;
    case page_kind::header: return data_content::header_size;
    case page_kind::bad_block: return data_content::zero;
    case page_kind::fill: return data_content::zero;
    case page_kind::erased: return data_content::erased;
    case page_kind::chip_bad: return data_content::erased;
    }
    return data_content::none;
}

// Number of page kinds, for tables indexed by kind: the kinds are numbered
// from 0, and data_content_of knows each of them.
constexpr int PAGE_KIND_COUNT = [] {
    int n = 0;
    while (data_content_of(static_cast<page_kind>(n)) != data_content::none)
        ++n;
    return n;
}();

// Every word of an erased page: all bits set.
constexpr uint32_t ERASED_WORD = 0xFFFFFFFFu;

// Whether the data pages at the start of each block carry the block status
// word 0xFFFFFFFF (set by the converter's -b, implied by -B).
enum class block_marking { off, on };

// Whether header pages stand at HEADER_PAGE of each block that holds data
// (set by the converter's -h).
enum class header_pages { absent, present };

// Whether a block is written as a bad block (listed by the converter's -B).
enum class block_state { good, bad };

// Page of a block that holds the header page, when header pages are written.
constexpr int32_t HEADER_PAGE = 0;

// Pages at the start of a block whose data pages carry the status word.
constexpr int32_t STATUS_WORD_PAGES = 2;


// True when a data page at `page` of its block carries the status word.
constexpr bool page_carries_status_word(int64_t page)
{
    return page >= 0 && page < STATUS_WORD_PAGES;
}

// The block status word of a record of `kind` at `page` of its block.
constexpr uint32_t status_word_of(page_kind kind, int64_t page, block_marking marking)
{
    switch (kind) {
    case page_kind::header:
        return BLOCK_STATUS_MARKED;
    case page_kind::data:
        return marking == block_marking::on && page_carries_status_word(page)
                   ? BLOCK_STATUS_MARKED
                   : 0;
    case page_kind::bad_block:
    case page_kind::fill:
        return 0;
    case page_kind::erased:
    case page_kind::chip_bad:
        return ERASED_WORD;
    }
    return 0;
}

// The page tag of a record of `kind` at `page` of block `block`: data and
// bad-block pages carry their position, header and fill pages 0.
constexpr uint32_t tag_of(page_kind kind, uint64_t block, int64_t page)
{
    switch (kind) {
    case page_kind::data:
    case page_kind::bad_block:
        return page_tag(block, page);
    case page_kind::header:
    case page_kind::fill:
        return 0;
    case page_kind::erased:
    case page_kind::chip_bad:
        return ERASED_WORD;
    }
    return 0;
}

// Offset in the data area of a record of `kind` from which it is all zero;
// PAGE_DATA_SIZE for a kind whose data area is input.
constexpr size_t zero_data_from(page_kind kind)
{
    switch (data_content_of(kind)) {
    case data_content::input: return PAGE_DATA_SIZE;
    case data_content::header_size: return HEADER_SIZE_BYTES;
    case data_content::zero: return 0;
    case data_content::erased: return PAGE_DATA_SIZE;
    case data_content::none: return PAGE_DATA_SIZE;
    }
    return PAGE_DATA_SIZE;
}

// Spare words from FIRST_ZERO_SPARE_WORD up to (not including)
// END_ZERO_SPARE_WORD are zero in every kind of record.
constexpr int FIRST_ZERO_SPARE_WORD = SPARE_TAG_WORD + 1;
constexpr int END_ZERO_SPARE_WORD = SPARE_ECC_WORD;

// Spare word n of the spare area at spare.
inline uint32_t spare_word(const uint8_t* spare, int n)
{
    return get_le32(spare + 4 * n);
}

// Sets spare word n of the spare area at spare.
inline void set_spare_word(uint8_t* spare, int n, uint32_t value)
{
    put_le32(spare + 4 * n, value);
}

// The page kind that the layout puts at `page` of a block, before the
// input runs out: the pages of a listed bad block, else the header page at
// HEADER_PAGE when header pages are written, else a data page.
constexpr page_kind kind_at_position(block_state block, header_pages header, int64_t page)
{
    if (block == block_state::bad)
        return page_kind::bad_block;
    if (header == header_pages::present && page == HEADER_PAGE)
        return page_kind::header;
    return page_kind::data;
}

// The input page that a data page at image record `record` holds, when
// `bad_before` bad blocks stand before its block: the layout gives every
// data page its place, so a page lost before it moves nothing after it.
constexpr uint64_t input_page_at(uint64_t record, header_pages header, uint64_t bad_before)
{
    const uint64_t block = record / PAGES_PER_BLOCK - bad_before;
    const uint64_t page = record % PAGES_PER_BLOCK;
    if (header == header_pages::absent)
        return block * PAGES_PER_BLOCK + page;
    const uint64_t after_header = page > 0 ? page - 1 : 0;
    return block * (PAGES_PER_BLOCK - 1) + after_header;
}

// The input size that header pages holding `header_size` give for
// `data_pages` data pages: the unique S with data bytes - PAGE_DATA_SIZE <
// S <= data bytes whose low 32 bits are the header size (the converter
// stores only those), so past 4 GiB too.  None when no such S exists.
constexpr std::optional<uint64_t> input_size_fitting(uint32_t header_size, uint64_t data_pages)
{
    if (data_pages == 0)
        return std::nullopt;
    const uint64_t data_bytes = data_pages * PAGE_DATA_SIZE;
    const uint32_t cut = static_cast<uint32_t>(data_bytes) - header_size;
    if (cut >= PAGE_DATA_SIZE)
        return std::nullopt;
    return data_bytes - cut;
}

// The input size that header pages holding `header_size` give when data
// pages past `data_pages` were lost: the smallest S past them whose low 32
// bits are the header size (every 4 GiB more would do as well).  Below
// 4 GiB of data pages, a size below them is none: a size that fits no
// input (or one that -F stored), not 4 GiB lost.
constexpr std::optional<uint64_t> input_size_past(uint32_t header_size, uint64_t data_pages)
{
    constexpr uint64_t FOUR_GIB = uint64_t{1} << 32;
    const uint64_t data_bytes = data_pages * PAGE_DATA_SIZE;
    const uint64_t size = (data_bytes & ~(FOUR_GIB - 1)) | header_size;
    if (size > data_bytes)
        return size;
    if (data_bytes < FOUR_GIB)
        return std::nullopt;
    return size + FOUR_GIB;
}

// True when a record of `kind` at `page` of its block may follow a record
// of `previous` in an image: bad blocks and header pages start a block,
// data pages follow a header page or each other, and fill pages follow the
// last data page to the end of its block.
constexpr bool may_follow(page_kind previous, page_kind kind, int64_t page)
{
    const bool after_data = previous == page_kind::data;
    const bool block_start = page == 0;
    switch (kind) {
    case page_kind::header:
        return after_data || previous == page_kind::bad_block;
    case page_kind::data:
        return block_start ? after_data || previous == page_kind::bad_block
                           : after_data || previous == page_kind::header;
    case page_kind::bad_block:
        return block_start ? after_data || previous == page_kind::bad_block
                           : previous == page_kind::bad_block;
    case page_kind::fill:
        return block_start ? after_data : after_data || previous == page_kind::fill;
    case page_kind::erased:
    case page_kind::chip_bad:
        return true;  // what was never programmed ends the image anywhere
    }
    return false;
}

// The header size held by a header page's data area.
inline uint32_t header_size_of(const uint8_t* data)
{
    return get_le32(data);
}

// Stores the header size into a header page's zeroed data area.
inline void set_header_size(uint8_t* data, uint32_t size)
{
    put_le32(data, size);
}

// Bad-block list: block numbers first, then free slots holding -1.
using bad_block_list = std::array<int32_t, MAX_BAD_BLOCKS>;

// No bad-block list at all (distinct from an empty list; both list no block).
using optional_bad_blocks = std::optional<bad_block_list>;

// Slot of the list that holds `block`, or -1 when no slot does.  The list
// ends at its first free slot, so -1 itself is never found.
inline int bad_block_slot(const optional_bad_blocks& list, int64_t block)
{
    if (!list)
        return -1;
    for (int k = 0; k < MAX_BAD_BLOCKS; ++k) {
        if ((*list)[k] == -1)
            return -1;
        if ((*list)[k] == block)
            return k;
    }
    return -1;
}

#endif
