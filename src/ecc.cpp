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

#if ECC_HAS_AVX2_BUILD
#include <immintrin.h>
#endif

#include "flash_geometry.h"

namespace {

constexpr int SECTOR_WORDS = SECTOR_SIZE / 8;

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

// The ECC word of a sector from `all`, the XOR of its words, and p1, its
// line bits 6 to 11 (P1[6..11] in bits 6..11).
[[gnu::always_inline]] inline uint32_t code_from(uint64_t all, uint32_t p1)
{
    p1 |= parity(all & COLUMN_BIT0) << 0;
    p1 |= parity(all & COLUMN_BIT1) << 1;
    p1 |= parity(all & COLUMN_BIT2) << 2;
    p1 |= parity(all & LINE_BIT0_LANES) << 3;
    p1 |= parity(all & LINE_BIT1_LANES) << 4;
    p1 |= parity(all & LINE_BIT2_LANES) << 5;

    // Every bit lies on exactly one side of each address bit.
    const uint32_t p0 = p1 ^ (parity(all) ? 0xFFFu : 0u);
    return reverse_bytes(p0 | (p1 << 16));
}

// The code of one sector.  Always inlined, so that each caller below gets a
// copy compiled for its own instruction set.
[[gnu::always_inline]] inline uint32_t sector_code(const uint8_t* sector)
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
    return code_from(t[0], p1);
}

}  // namespace

uint32_t computeECC_portable(const uint8_t* sector)
{
    return sector_code(sector);
}

#if ECC_HAS_AVX2_BUILD
// The same code in AVX2 vectors of four words: vector i holds words 4i to
// 4i + 3, so word index bits 0 and 1 are the lane and bits 2 to 5 are the
// bits of i.  The folds of sector_code run over the 16 vectors, and the
// parities of the four vectors they set apart are taken together, one per
// lane, so that no vector is reduced to a word on its own.
namespace {

// XOR of a and b.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i vxor(__m256i a, __m256i b)
{
    return _mm256_xor_si256(a, b);
}

// Folds the upper half of v[0..2 * half - 1] onto the lower half; returns
// the XOR of the upper half as it was.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i fold_vectors(__m256i* v, int half)
{
    __m256i upper = v[half];
    for (int m = 1; m < half; ++m)
        upper = vxor(upper, v[half + m]);
    for (int m = 0; m < half; ++m)
        v[m] = vxor(v[m], v[half + m]);
    return upper;
}

// The XOR of the four words of a, of b, of c and of d, in lanes 0 to 3.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i lane_sums(__m256i a, __m256i b,
                                                                    __m256i c, __m256i d)
{
    const __m256i ab = vxor(_mm256_unpacklo_epi64(a, b), _mm256_unpackhi_epi64(a, b));
    const __m256i cd = vxor(_mm256_unpacklo_epi64(c, d), _mm256_unpackhi_epi64(c, d));
    return vxor(_mm256_permute2x128_si256(ab, cd, 0x20), _mm256_permute2x128_si256(ab, cd, 0x31));
}

// The parities of eight words x0..x7, given as even = [x0, x2, x4, x6] and
// odd = [x1, x3, x5, x7], x_k's in bit k.  Each word is folded to 32 bits,
// the two vectors are merged into one of eight 32-bit elements in the
// order x0..x7, and each element is folded to one bit.
[[gnu::target("avx2"), gnu::always_inline]] inline uint32_t parities_of_eight(__m256i even,
                                                                             __m256i odd)
{
    even = vxor(even, _mm256_srli_epi64(even, 32));  // in the low half
    odd = vxor(odd, _mm256_slli_epi64(odd, 32));     // in the high half
    __m256i v = _mm256_blend_epi32(even, odd, 0xAA);
    for (int shift = 16; shift > 0; shift /= 2)
        v = vxor(v, _mm256_srli_epi32(v, shift));
    const __m256 low_bits = _mm256_castsi256_ps(_mm256_slli_epi32(v, 31));
    return static_cast<uint32_t>(_mm256_movemask_ps(low_bits));
}

// The parity of each word of v, lane k in bit k.
[[gnu::target("avx2"), gnu::always_inline]] inline uint32_t lane_parities(__m256i v)
{
    for (int shift = 32; shift > 0; shift /= 2)
        v = vxor(v, _mm256_srli_epi64(v, shift));
    const __m256d low_bits = _mm256_castsi256_pd(_mm256_slli_epi64(v, 63));
    return static_cast<uint32_t>(_mm256_movemask_pd(low_bits));
}

}  // namespace

[[gnu::target("avx2")]] uint32_t computeECC_avx2(const uint8_t* sector)
{
    // The first fold is read straight from the sector, as in sector_code.
    // The intrinsic's pointer type may alias any bytes, unaligned.
    constexpr int HALF = SECTOR_SIZE / 32 / 2;
    const auto* in = reinterpret_cast<const __m256i*>(sector);
    __m256i v[HALF];
    __m256i bit5 = _mm256_setzero_si256();  // word index bit 5: vectors 8 to 15
    for (int m = 0; m < HALF; ++m) {
        const __m256i high = _mm256_loadu_si256(in + HALF + m);
        bit5 = vxor(bit5, high);
        v[m] = vxor(_mm256_loadu_si256(in + m), high);
    }
    // Word index bits 4, 3 and 2, the upper halves of the next folds.
    const __m256i bit4 = fold_vectors(v, 4);
    const __m256i bit3 = fold_vectors(v, 2);
    const __m256i bit2 = fold_vectors(v, 1);
    uint32_t p1 = lane_parities(lane_sums(bit2, bit3, bit4, bit5)) << 8;

    // v[0] now holds, in lane k, the XOR s_k of the words whose index is k
    // in its low two bits: word index bit 0 is lanes 1 and 3, bit 1 lanes 2
    // and 3.  The XOR of all four, `all`, goes to every lane.
    const __m256i s = v[0];
    const __m256i pairs = vxor(s, _mm256_permute4x64_epi64(s, 0xB1));   // s0^s1 s0^s1 s2^s3 s2^s3
    const __m256i across = vxor(s, _mm256_permute4x64_epi64(s, 0x4E));  // s0^s2 s1^s3 s0^s2 s1^s3
    const __m256i all = vxor(pairs, _mm256_permute4x64_epi64(pairs, 0x4E));
    // P1[0..7] as x0..x7: the column and lane parities of `all`, then word
    // index bits 0 and 1 (s1^s3 and s2^s3, each in lane 3 already).
    const __m256i even_masks = _mm256_setr_epi64x(static_cast<int64_t>(COLUMN_BIT0),
                                                  static_cast<int64_t>(COLUMN_BIT2),
                                                  static_cast<int64_t>(LINE_BIT1_LANES), 0);
    const __m256i odd_masks = _mm256_setr_epi64x(static_cast<int64_t>(COLUMN_BIT1),
                                                 static_cast<int64_t>(LINE_BIT0_LANES),
                                                 static_cast<int64_t>(LINE_BIT2_LANES), 0);
    const __m256i even = _mm256_blend_epi32(_mm256_and_si256(all, even_masks), across, 0xC0);
    const __m256i odd = _mm256_blend_epi32(_mm256_and_si256(all, odd_masks), pairs, 0xC0);
    p1 |= parities_of_eight(even, odd);

    // Every bit lies on exactly one side of each address bit.
    const uint64_t all_word = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(all)));
    const uint32_t p0 = p1 ^ (parity(all_word) ? 0xFFFu : 0u);
    return reverse_bytes(p0 | (p1 << 16));
}
#endif

uint32_t computeECC(const uint8_t* sector)
{
#if ECC_HAS_AVX2_BUILD
    // The answer is a bit that the runtime reads once at start-up.
    if (ecc_avx2_usable())
        return computeECC_avx2(sector);
#endif
    return sector_code(sector);
}
