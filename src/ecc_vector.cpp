// The vector builds of the sector ECC, for processors that run them; the
// code and how it maps onto 64-bit words are described in ecc.cpp.  Each
// build keeps the portable build's plan: fold the sector's words by halves to set
// apart the words of each word-index bit, then take parities.

#include "ecc.h"

#if ECC_HAS_VECTOR_BUILDS

#include <immintrin.h>

#include "ecc_words.h"

// The same code in AVX2 vectors of four words: vector i holds words 4i to
// 4i + 3, so word index bits 0 and 1 are the lane and bits 2 to 5 are the
// bits of i.  The portable build's folds run over the 16 vectors, and the
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
    // The first fold is read straight from the sector, as in the portable
    // build.
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

    const uint64_t all_word = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(all)));
    return ecc_word(p1, parity(all_word));
}

// GCC 12's AVX-512 intrinsics fill their unused merge operands with an
// "undefined" vector that -Wuninitialized then reports at every call.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The same code in AVX-512 vectors of eight words: vector i holds words 8i
// to 8i + 7, so word index bits 0 to 2 are the lane and bits 3 to 5 the
// bits of i.  Each lane's parity comes from one population count, so the
// parities of a whole vector, or of some of its lanes, are those of a mask
// of lane parities.
namespace {

// The parity of each word of v, lane k in bit k.
[[gnu::target("avx512f,avx512vpopcntdq"), gnu::always_inline]] inline uint32_t word_parities(
    __m512i v)
{
    return _mm512_test_epi64_mask(_mm512_popcnt_epi64(v), _mm512_set1_epi64(1));
}

// The XOR of the eight words of v, folded in halves within the vector.
[[gnu::target("avx512f"), gnu::always_inline]] inline uint64_t xor_of_words(__m512i v)
{
    v = _mm512_xor_si512(v, _mm512_shuffle_i64x2(v, v, 0x4E));  // 256-bit halves
    v = _mm512_xor_si512(v, _mm512_shuffle_i64x2(v, v, 0xB1));  // 128-bit quarters
    v = _mm512_xor_si512(v, _mm512_unpackhi_epi64(v, v));       // words
    return static_cast<uint64_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(v)));
}

}  // namespace

[[gnu::target("avx512f,avx512vpopcntdq")]] uint32_t computeECC_avx512(const uint8_t* sector)
{
    // The first fold is read straight from the sector; the intrinsic reads
    // unaligned bytes.
    __m512i v[4];
    __m512i bit5 = _mm512_setzero_si512();  // word index bit 5: vectors 4 to 7
    for (int m = 0; m < 4; ++m) {
        const __m512i high = _mm512_loadu_si512(sector + 64 * (4 + m));
        bit5 = _mm512_xor_si512(bit5, high);
        v[m] = _mm512_xor_si512(_mm512_loadu_si512(sector + 64 * m), high);
    }
    const __m512i bit4 = _mm512_xor_si512(v[2], v[3]);
    v[0] = _mm512_xor_si512(v[0], v[2]);
    v[1] = _mm512_xor_si512(v[1], v[3]);
    const __m512i bit3 = v[1];
    // Lane k of `lanes`: the XOR of the words whose index is k in its low
    // three bits.
    const __m512i lanes = _mm512_xor_si512(v[0], v[1]);

    const uint32_t lane_parity = word_parities(lanes);
    uint32_t p1 = parity(lane_parity & 0xAA) << 6;  // word index bit 0: lanes 1, 3, 5, 7
    p1 |= parity(lane_parity & 0xCC) << 7;          // bit 1: lanes 2, 3, 6, 7
    p1 |= parity(lane_parity & 0xF0) << 8;          // bit 2: lanes 4 to 7
    p1 |= parity(word_parities(bit3)) << 9;
    p1 |= parity(word_parities(bit4)) << 10;
    p1 |= parity(word_parities(bit5)) << 11;

    // P1[0..5], the column and lane parities of the XOR of all words, and
    // the parity of that XOR in bit 6.
    const __m512i masks = _mm512_setr_epi64(
        static_cast<int64_t>(COLUMN_BIT0), static_cast<int64_t>(COLUMN_BIT1),
        static_cast<int64_t>(COLUMN_BIT2), static_cast<int64_t>(LINE_BIT0_LANES),
        static_cast<int64_t>(LINE_BIT1_LANES), static_cast<int64_t>(LINE_BIT2_LANES), -1, 0);
    const __m512i all = _mm512_set1_epi64(static_cast<int64_t>(xor_of_words(lanes)));
    const uint32_t low_bits = word_parities(_mm512_and_si512(all, masks));
    p1 |= low_bits & 0x3F;
    return ecc_word(p1, (low_bits >> 6) & 1);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif
