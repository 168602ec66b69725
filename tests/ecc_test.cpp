#include "ecc.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "reference_ecc.h"

namespace {

using sector = std::array<uint8_t, 512>;

// Undoes the byte reversal of the returned word: the packed code K.
uint32_t packed(uint32_t returned)
{
    return (returned >> 24) | ((returned >> 8) & 0xFF00u) |
           ((returned << 8) & 0xFF0000u) | (returned << 24);
}

// The packed code of a sector holding one set bit at address a of the
// working copy: P1[n] = bit n of a, P0[n] = its complement.
uint32_t code_of_address(uint32_t a)
{
    return ((~a) & 0xFFFu) | (a << 16);
}

sector random_sector(std::mt19937& rng)
{
    sector s;
    for (auto& b : s)
        b = static_cast<uint8_t>(rng());
    return s;
}

struct worked_example {
    const char* name;
    sector data;
    uint32_t word;
    std::array<uint8_t, 4> image_bytes;
};

sector filled(uint8_t value)
{
    sector s;
    s.fill(value);
    return s;
}

sector with_byte(size_t at, uint8_t value)
{
    sector s{};
    s[at] = value;
    return s;
}

sector with_text(const char* text)
{
    sector s{};
    std::memcpy(s.data(), text, std::strlen(text));
    return s;
}

TEST(Ecc, WorkedExamples)
{
    const worked_example examples[] = {
        {.name = "zeros", .data = filled(0x00), .word = 0x00000000,
         .image_bytes = {0x00, 0x00, 0x00, 0x00}},
        {.name = "ones", .data = filled(0xFF), .word = 0x00000000,
         .image_bytes = {0x00, 0x00, 0x00, 0x00}},
        {.name = "first bit", .data = with_byte(0, 0x01), .word = 0xe70f1800,
         .image_bytes = {0x00, 0x18, 0x0f, 0xe7}},
        {.name = "last bit", .data = with_byte(511, 0x80), .word = 0x1800e70f,
         .image_bytes = {0x0f, 0xe7, 0x00, 0x18}},
        {.name = "abc", .data = with_text("abc"), .word = 0x0b000b00,
         .image_bytes = {0x00, 0x0b, 0x00, 0x0b}},
    };
    for (const auto& e : examples) {
        const uint32_t word = computeECC(e.data.data());
        EXPECT_EQ(word, e.word) << e.name;
        EXPECT_EQ(reference_ecc(e.data.data()), e.word) << e.name;
        // Stored little-endian, the word gives these image bytes.
        const std::array<uint8_t, 4> bytes = {
            static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8),
            static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 24)};
        EXPECT_EQ(bytes, e.image_bytes) << e.name;
    }
}

TEST(Ecc, SingleBitGivesTheCodeOfItsReversedAddress)
{
    for (uint32_t q = 0; q < 512; ++q) {
        for (uint32_t i = 0; i < 8; ++i) {
            const sector s = with_byte(q, static_cast<uint8_t>(1u << i));
            ASSERT_EQ(packed(computeECC(s.data())), code_of_address(8 * (q ^ 3) + i))
                << "byte " << q << " bit " << i;
        }
    }
}

// Every build of the code that this processor can run.
std::vector<std::pair<const char*, uint32_t (*)(const uint8_t*)>> builds()
{
    std::vector<std::pair<const char*, uint32_t (*)(const uint8_t*)>> list = {
        {"dispatched", computeECC}, {"portable", computeECC_portable}};
#if ECC_HAS_VECTOR_BUILDS
    if (ecc_avx2_usable())
        list.emplace_back("avx2", computeECC_avx2);
    if (ecc_avx512_usable())
        list.emplace_back("avx512", computeECC_avx512);
#endif
    return list;
}

TEST(Ecc, EveryBuildMatchesTheLiteralDefinitionOnRandomSectors)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        sector s = random_sector(rng);
        // Vary the density so sparse and dense sectors are both covered.
        if (round % 3 == 1)
            for (auto& b : s)
                b &= static_cast<uint8_t>(rng());
        if (round % 3 == 2)
            for (auto& b : s)
                b |= static_cast<uint8_t>(rng());
        const uint32_t expected = reference_ecc(s.data());
        for (const auto& [name, ecc] : builds())
            ASSERT_EQ(ecc(s.data()), expected) << name << ", round " << round;
    }
}

TEST(Ecc, ReadsInPlaceAtAnyAlignment)
{
    std::mt19937 rng(7);
    std::array<uint8_t, 512 + 8> buffer;
    for (auto& b : buffer)
        b = static_cast<uint8_t>(rng());
    const auto copy = buffer;
    for (size_t offset = 0; offset < 8; ++offset)
        EXPECT_EQ(computeECC(buffer.data() + offset), reference_ecc(buffer.data() + offset));
    EXPECT_EQ(buffer, copy);
}

TEST(Ecc, Algebra)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        const sector a = random_sector(rng);
        const sector b = random_sector(rng);
        sector sum;
        int parity = 0;
        for (size_t k = 0; k < sum.size(); ++k) {
            sum[k] = a[k] ^ b[k];
            parity ^= std::popcount(static_cast<unsigned>(a[k])) & 1;
        }
        const uint32_t ka = packed(computeECC(a.data()));
        // Linear: the code of a XOR b is the XOR of the codes.
        EXPECT_EQ(packed(computeECC(sum.data())), ka ^ packed(computeECC(b.data())));
        // P0[n] ^ P1[n] is the parity of the whole sector, for every n.
        EXPECT_EQ((ka ^ (ka >> 16)) & 0xFFFu, parity ? 0xFFFu : 0u);
        // Bits 12..15 and 28..31 of the packed code are never set.
        EXPECT_EQ(ka & 0xF000F000u, 0u);
        // Any single flip moves exactly twelve code bits, one of each pair.
        sector flipped = a;
        const uint32_t bit = rng() % 4096;
        flipped[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
        const uint32_t diff = ka ^ packed(computeECC(flipped.data()));
        EXPECT_EQ(std::popcount(diff), 12);
        EXPECT_EQ((diff ^ (diff >> 16)) & 0xFFFu, 0xFFFu);
    }
}

}  // namespace
