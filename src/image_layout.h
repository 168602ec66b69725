// What stands where in an image: the kinds of page record and the words
// each kind carries.  The image writer follows these rules and the checker
// expects them; neither states them again.
#ifndef PAGESMITH_IMAGE_LAYOUT_H
#define PAGESMITH_IMAGE_LAYOUT_H

#include <array>
#include <cstdint>
#include <optional>

#include "flash_geometry.h"

// The four kinds of page record.
enum class page_kind { data, header, bad_block, fill };

// Number of page kinds, for tables indexed by kind.
constexpr int PAGE_KIND_COUNT = 4;

// Whether the data pages at the start of each block carry the block status
// word 0xFFFFFFFF (set by the converter's -b, implied by -B).
enum class block_marking { off, on };

// Page of a block that holds the header page, when header pages are written.
constexpr int32_t HEADER_PAGE = 0;

// Pages at the start of a block whose data pages carry the status word.
constexpr int32_t STATUS_WORD_PAGES = 2;

// Bytes at the start of a header page's data area holding the header size
// (little-endian); the rest of the data area is zero.
constexpr size_t HEADER_SIZE_BYTES = 4;

// True when a data page at `page` of its block carries the status word.
constexpr bool page_carries_status_word(int64_t page)
{
    return page >= 0 && page < STATUS_WORD_PAGES;
}

// The block status word of a record of `kind` at `page` of its block.
constexpr uint32_t status_word_of(page_kind kind, int64_t page, block_marking marking)
{
    if (kind == page_kind::header)
        return BLOCK_STATUS_MARKED;
    if (kind == page_kind::data && marking == block_marking::on &&
        page_carries_status_word(page))
        return BLOCK_STATUS_MARKED;
    return 0;
}

// The page tag of a record of `kind` at `page` of block `block`: data and
// bad-block pages carry their position, header and fill pages 0.
constexpr uint32_t tag_of(page_kind kind, uint64_t block, int64_t page)
{
    if (kind == page_kind::data || kind == page_kind::bad_block)
        return page_tag(block, page);
    return 0;
}

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
