// The syndrome decoder on its own: which errors it locates, which it
// recognises in the stored word and which it refuses to correct.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <random>
#include <vector>

#include "ecc.h"
#include "reference_ecc.h"

namespace {

using sector = std::array<uint8_t, 512>;

constexpr int SECTOR_BITS = 512 * 8;

sector random_sector(unsigned seed)
{
    std::mt19937 rng(seed);
    sector s;
    for (auto& b : s)
        b = static_cast<uint8_t>(rng());
    return s;
}

// Flips bit `bit` (0..4095: byte bit / 8, bit bit % 8) of the sector.
void flip(sector& s, int bit)
{
    s[static_cast<size_t>(bit / 8)] ^= static_cast<uint8_t>(1u << (bit % 8));
}

// Recomputed ECC words of the zero sector with one data bit set, for every
// bit: by linearity, the word change a flip of that bit causes.
std::vector<uint32_t> single_flip_words()
{
    std::vector<uint32_t> words(SECTOR_BITS);
    for (int a = 0; a < SECTOR_BITS; ++a) {
        sector s{};
        flip(s, a);
        words[static_cast<size_t>(a)] = computeECC(s.data());
    }
    return words;
}

class SingleDataFlip : public ::testing::TestWithParam<unsigned> {};

// Every single flipped data bit is located exactly, and undoing it restores
// the sector; the reference ECC gives the same words.
TEST_P(SingleDataFlip, IsLocatedExactly)
{
    const sector original = GetParam() == 0 ? sector{} : random_sector(GetParam());
    const uint32_t stored = reference_ecc(original.data());
    for (int a = 0; a < SECTOR_BITS; ++a) {
        sector damaged = original;
        flip(damaged, a);
        const ecc_decoding d = decode_ecc(stored, computeECC(damaged.data()));
        ASSERT_EQ(d.outcome, ecc_outcome::data_bit) << "bit " << a;
        ASSERT_EQ(d.byte, a / 8) << "bit " << a;
        ASSERT_EQ(d.bit, a % 8) << "bit " << a;
        damaged[static_cast<size_t>(d.byte)] ^= static_cast<uint8_t>(1u << d.bit);
        ASSERT_EQ(damaged, original);
    }
}

// Seed 0 stands for the zero sector, any other for a random sector.
INSTANTIATE_TEST_SUITE_P(Sectors, SingleDataFlip, ::testing::Values(0u, 1u, 2u, 3u),
                         [](const auto& info) {
                             return info.param == 0
                                        ? std::string("zero_sector")
                                        : "random_sector_seed_" + std::to_string(info.param);
                         });

TEST(DecodeEcc, EqualWordsAreClean)
{
    for (unsigned seed : {0u, 5u, 6u}) {
        const sector s = seed == 0 ? sector{} : random_sector(seed);
        const uint32_t word = computeECC(s.data());
        EXPECT_EQ(decode_ecc(word, word).outcome, ecc_outcome::clean);
    }
}

// A single flipped bit of the stored word, wherever it lies (also in the
// bits that are always 0), leaves the data alone.
TEST(DecodeEcc, SingleFlipInStoredWordIsRecognised)
{
    const sector s = random_sector(7);
    const uint32_t computed = computeECC(s.data());
    for (int k = 0; k < 32; ++k) {
        const ecc_decoding d = decode_ecc(computed ^ (1u << k), computed);
        EXPECT_EQ(d.outcome, ecc_outcome::code_bit) << "bit " << k;
        EXPECT_EQ(d.bit, k);
    }
}

// Two flipped data bits at different addresses, over every pair: the
// syndrome has P0[n] == P1[n] for every n and at least two bits set, so it is
// never taken for one data bit nor for one bit of the stored word.
TEST(DecodeEcc, EveryDoubleDataFlipIsUncorrectable)
{
    const std::vector<uint32_t> words = single_flip_words();
    long wrong = 0;
    for (int a = 0; a < SECTOR_BITS; ++a)
        for (int b = a + 1; b < SECTOR_BITS; ++b)
            if (decode_ecc(0, words[static_cast<size_t>(a)] ^ words[static_cast<size_t>(b)])
                    .outcome != ecc_outcome::uncorrectable)
                ++wrong;
    EXPECT_EQ(wrong, 0);
}

// The same without relying on linearity: random pairs in random sectors,
// recomputed in full.
TEST(DecodeEcc, RandomDoubleDataFlipsAreUncorrectable)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 20000; ++trial) {
        const sector original = random_sector(static_cast<unsigned>(trial));
        const int a = static_cast<int>(rng() % SECTOR_BITS);
        int b = static_cast<int>(rng() % SECTOR_BITS);
        if (b == a)
            b = (a + 1) % SECTOR_BITS;
        sector damaged = original;
        flip(damaged, a);
        flip(damaged, b);
        ASSERT_EQ(decode_ecc(computeECC(original.data()), computeECC(damaged.data())).outcome,
                  ecc_outcome::uncorrectable)
            << a << " " << b;
    }
}

// One flipped data bit together with one flipped bit of the stored word,
// and two flipped bits of the stored word: uncorrectable, never corrected.
TEST(DecodeEcc, DataAndCodeFlipsTogetherAreUncorrectable)
{
    const std::vector<uint32_t> words = single_flip_words();
    for (int a = 0; a < SECTOR_BITS; ++a)
        for (int k = 0; k < 32; ++k)
            ASSERT_EQ(decode_ecc(1u << k, words[static_cast<size_t>(a)]).outcome,
                      ecc_outcome::uncorrectable)
                << a << " " << k;
    for (int k = 0; k < 32; ++k)
        for (int j = k + 1; j < 32; ++j)
            EXPECT_EQ(decode_ecc((1u << k) | (1u << j), 0).outcome, ecc_outcome::uncorrectable);
}

// The limit of the code: three flipped data bits can pass for one, at the
// address a ^ b ^ c of the working copy.  Nothing beyond two bits is
// guaranteed.
TEST(DecodeEcc, ThreeDataFlipsCanPassForOne)
{
    const std::vector<uint32_t> words = single_flip_words();
    // Working-copy addresses 1, 2 and 4 (bits 1, 2, 4 of byte 3); their XOR,
    // 7, is bit 7 of working byte 0, which is sector byte 3.
    const int a = 3 * 8 + 1, b = 3 * 8 + 2, c = 3 * 8 + 4;
    const ecc_decoding d = decode_ecc(0, words[a] ^ words[b] ^ words[c]);
    EXPECT_EQ(d.outcome, ecc_outcome::data_bit);
    EXPECT_EQ(d.byte, 3);
    EXPECT_EQ(d.bit, 7);
}

}  // namespace
