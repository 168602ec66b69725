// What every build of the sector ECC shares: the masks that select the
// bits of a column or a line within a 64-bit word of the sector, and the
// last step from the parities to the ECC word.  See ecc.cpp for how the
// code maps onto 64-bit words.
#ifndef PAGESMITH_ECC_WORDS_H
#define PAGESMITH_ECC_WORDS_H

#include <bit>
#include <cstdint>

#include "flash_geometry.h"

// Lane masks for line bits n = 3, 4, 5.  Lane k (bits 8k..8k+7 of a word)
// lies on a line whose low three bits are k ^ 3:
//  - n = 3, bit 0 of k ^ 3 set: k even, lanes 0, 2, 4, 6;
//  - n = 4, bit 1 of k ^ 3 set: k = 0, 1, 4, 5;
//  - n = 5, bit 2 of k ^ 3 set: k = 4..7.
constexpr uint64_t LINE_BIT0_LANES = 0x00FF00FF00FF00FFull;
constexpr uint64_t LINE_BIT1_LANES = 0x0000FFFF0000FFFFull;
constexpr uint64_t LINE_BIT2_LANES = 0xFFFFFFFF00000000ull;

// Column masks for n = 0, 1, 2, repeated in every lane: the bits i of a byte
// with bit n of i set (bits 1,3,5,7; 2,3,6,7; 4,5,6,7).
constexpr uint64_t COLUMN_BIT0 = 0xAAAAAAAAAAAAAAAAull;
constexpr uint64_t COLUMN_BIT1 = 0xCCCCCCCCCCCCCCCCull;
constexpr uint64_t COLUMN_BIT2 = 0xF0F0F0F0F0F0F0F0ull;

// Parity (XOR of all bits) of x.
inline uint32_t parity(uint64_t x)
{
    return static_cast<uint32_t>(std::popcount(x) & 1);
}

// The ECC word from P1[0..11] (bit n) and the parity of the whole sector.
inline uint32_t ecc_word(uint32_t p1, uint32_t whole_parity)
{
    // Every bit lies on exactly one side of each address bit.
    const uint32_t p0 = p1 ^ (whole_parity != 0 ? 0xFFFu : 0u);
    return reverse_bytes(p0 | (p1 << 16));
}

#endif
