// Sector ECC.
//
// The code is defined over a working copy W of the sector in which every
// aligned group of four bytes is reversed, W[p] = S[p ^ 3].  Bit i of W[p]
// has the 12-bit address a = 8p + i.  For each n = 0..11, P1[n] is the parity
// of the data bits whose address has bit n set and P0[n] the parity of those
// whose address has bit n clear.
//
// The code is linear, so nothing has to be done bit by bit:
//  - P0[n] = P1[n] ^ (parity of the whole sector), for every n;
//  - column bits (n = 0..2) are parities of the XOR of all sector bytes under
//    the masks 0xAA, 0xCC and 0xF0;
//  - line bits (n = 3..11) are the parities of the XOR of the bytes whose
//    line p has bit n - 3 set.
//
// The sector is read as 64 little-endian 64-bit words.  Byte k of word j is
// sector byte q = 8j + k, whose line in the working copy is p = q ^ 3 =
// 8j + (k ^ 3).  So line bits 3..8 (n = 6..11) are the bits of the word
// index j, and line bits 0..2 (n = 3..5) depend only on the byte lane k: the
// 4-byte reversal becomes a choice of lane masks and no copy is made.

#include "ecc.h"

#include <bit>
#include <cstring>

#include "ecc_words.h"

namespace {

constexpr int SECTOR_WORDS = SECTOR_SIZE / 8;

// Loads the little-endian 64-bit word at p.
inline uint64_t load_le64(const uint8_t* p)
{
    uint64_t v;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, sizeof v);
    } else {
        v = 0;
        for (int k = 7; k >= 0; --k)
            v = v << 8 | p[k];
    }
    return v;
}

// Folds the upper half of t[0..n-1] onto the lower half; returns the XOR of
// the upper half as it was.  The two halves differ in the top bit of the
// index alone, and both are contiguous, so the loop maps onto vector XORs of
// any width without shuffles.
inline uint64_t fold_halves(uint64_t* t, int n)
{
    const int half = n / 2;
    uint64_t upper = 0;
    for (int m = 0; m < half; ++m) {
        upper ^= t[half + m];
        t[m] ^= t[half + m];
    }
    return upper;
}

}  // namespace

uint32_t computeECC_portable(const uint8_t* sector)
{
    // XOR tree over the word index.  The words whose index has bit b set are
    // gathered by folding halves: before fold k (k = 0..5), t holds 64 >> k
    // entries, entry m being the XOR of the words whose index is m in its
    // low 6 - k bits; the upper half are those with bit 5 - k set, and their
    // XOR gives line bit 11 - k.  Each fold costs one XOR per entry for the
    // fold and one for the upper half's XOR: about two per word in all.
    // The first fold is read straight from the sector.
    constexpr int HALF = SECTOR_WORDS / 2;
    uint64_t t[HALF];
    uint64_t upper = 0;
    for (int m = 0; m < HALF; ++m) {
        const uint64_t high = load_le64(sector + 8 * (HALF + m));
        upper ^= high;
        t[m] = load_le64(sector + 8 * m) ^ high;
    }
    uint32_t p1 = parity(upper) << 11;  // P1[0..11] in bits 0..11
    for (int n = HALF, bit = 10; n > 1; n /= 2, --bit)
        p1 |= parity(fold_halves(t, n)) << bit;
    const uint64_t all = t[0];  // XOR of every word of the sector
    p1 |= parity(all & COLUMN_BIT0) << 0;
    p1 |= parity(all & COLUMN_BIT1) << 1;
    p1 |= parity(all & COLUMN_BIT2) << 2;
    p1 |= parity(all & LINE_BIT0_LANES) << 3;
    p1 |= parity(all & LINE_BIT1_LANES) << 4;
    p1 |= parity(all & LINE_BIT2_LANES) << 5;
    return ecc_word(p1, parity(all));
}

uint32_t computeECC(const uint8_t* sector)
{
#if ECC_HAS_VECTOR_BUILDS
    // The answers are bits that the runtime reads once at start-up.
    if (ecc_avx512_usable())
        return computeECC_avx512(sector);
    if (ecc_avx2_usable())
        return computeECC_avx2(sector);
#endif
    return computeECC_portable(sector);
}
