// A view over one page record's spare words, read by what each holds and
// how many bits each is away from what a kind of page holds there; it
// copies nothing.  Every reader of a record outside the layout, the writer
// and the trace goes through it.
#ifndef PAGESMITH_RECORD_VIEW_H
#define PAGESMITH_RECORD_VIEW_H

#include <bit>
#include <cstdint>
#include <cstring>

#include "image_layout.h"

// The spare words of one record.
struct record_view {
    const uint8_t* spare;  // the record's PAGE_SPARE_SIZE spare bytes

    // The page tag.
    uint32_t tag() const { return spare_word(spare, SPARE_TAG_WORD); }
    // The block status word.
    uint32_t status_word() const { return spare_word(spare, SPARE_STATUS_WORD); }
    // The stored ECC word of sector `sector`.
    uint32_t ecc_word(int sector) const { return spare_word(spare, SPARE_ECC_WORD + sector); }
    // Spare word `n` (the zero words, FIRST_ZERO_SPARE_WORD to END_ZERO_SPARE_WORD).
    uint32_t word(int n) const { return spare_word(spare, n); }
    // Bits in which the page tag differs from that of a page of `kind` at
    // page `page` of block `block`.
    int tag_bits_from(page_kind kind, uint64_t block, int64_t page) const
    {
        return std::popcount(tag() ^ tag_of(kind, block, page));
    }
    // Bits in which the status word differs from that of a page of `kind`
    // at page `page` of a block marked as `marking` says.
    int status_bits_from(page_kind kind, int64_t page, block_marking marking) const
    {
        return std::popcount(status_word() ^ status_word_of(kind, page, marking));
    }
    // Bits set in the spare words that every kind keeps zero.
    int zero_word_bits() const
    {
        int bits = 0;
        for (int n = FIRST_ZERO_SPARE_WORD; n < END_ZERO_SPARE_WORD; ++n)
            bits += std::popcount(word(n));
        return bits;
    }
    // True when the spare words that every kind keeps zero are zero.
    bool zero_words_clear() const
    {
        constexpr size_t from = 4 * FIRST_ZERO_SPARE_WORD;
        constexpr size_t end = 4 * END_ZERO_SPARE_WORD;
        static_assert((end - from) % 8 == 0, "the zero words are read 8 bytes at a time");
        uint64_t any = 0;
        for (size_t at = from; at < end; at += 8) {
            uint64_t eight;
            std::memcpy(&eight, spare + at, 8);
            any |= eight;
        }
        return any == 0;
    }
};

// The view of the record whose PAGE_RECORD_SIZE bytes start at `bytes`.
inline record_view record_at(const uint8_t* bytes)
{
    return {bytes + PAGE_DATA_SIZE};
}

#endif
