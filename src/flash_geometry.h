// Geometry of the large-page NAND image and the layout of its spare area.
#ifndef PAGESMITH_FLASH_GEOMETRY_H
#define PAGESMITH_FLASH_GEOMETRY_H

#include <cstddef>
#include <cstdint>

// Bytes in the data area of a page record; also the size of one input read.
constexpr size_t PAGE_DATA_SIZE = 2048;
// Bytes in the spare area that follows the data area (16 little-endian words).
constexpr size_t PAGE_SPARE_SIZE = 64;
// Bytes in one whole page record: data area then spare area.
constexpr size_t PAGE_RECORD_SIZE = PAGE_DATA_SIZE + PAGE_SPARE_SIZE;
// Page records per block.
constexpr int32_t PAGES_PER_BLOCK = 64;
// Bytes per ECC sector; a data area holds SECTORS_PER_PAGE of them.
constexpr size_t SECTOR_SIZE = 512;
// ECC sectors per data area.
constexpr int SECTORS_PER_PAGE = static_cast<int>(PAGE_DATA_SIZE / SECTOR_SIZE);
// Slots in the bad-block list.
constexpr int MAX_BAD_BLOCKS = 16;

// 32-bit words in the spare area.
constexpr int SPARE_WORDS = static_cast<int>(PAGE_SPARE_SIZE / 4);
// Spare word holding the block status word (0xFFFFFFFF or 0).
constexpr int SPARE_STATUS_WORD = 0;
// Spare word holding the page tag, (block << 16) | page.
constexpr int SPARE_TAG_WORD = 1;
// First of the four spare words holding the ECC of sectors 0..3.
constexpr int SPARE_ECC_WORD = 12;

// Value of the block status word on a marked page and on header pages.
constexpr uint32_t BLOCK_STATUS_MARKED = 0xFFFFFFFFu;

// Page tag of a record: block number (low 16 bits) over page number.
constexpr uint32_t page_tag(uint64_t block, int64_t page)
{
    return static_cast<uint32_t>(block << 16) | static_cast<uint32_t>(page);
}

// The page number a page tag holds.
constexpr uint32_t tag_page(uint32_t tag)
{
    return tag & 0xFFFFu;
}

// The block number (its low 16 bits) a page tag holds.
constexpr uint32_t tag_block(uint32_t tag)
{
    return tag >> 16;
}

// Stores a 32-bit value little-endian at p.
inline void put_le32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Loads a little-endian 32-bit value from p.
inline uint32_t get_le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// The four bytes of x in the opposite order.
constexpr uint32_t reverse_bytes(uint32_t x)
{
    return (x >> 24) | ((x >> 8) & 0xFF00u) | ((x << 8) & 0xFF0000u) | (x << 24);
}

#endif
