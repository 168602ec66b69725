// How a record of the file looks before it is placed: a page record, an
// erased page, or neither.  A page record keeps spare words 2-11 zero; an
// erased page reads all ones, as a chip holds a page that was never
// written, but for one flipped bit per 512-byte sector, counted over the
// sector's data and its share of the spare area.

#include "record_look.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// Bytes of the spare area holding the words that every page record keeps
// zero.
constexpr size_t ZERO_WORDS_AT = 4 * FIRST_ZERO_SPARE_WORD;
constexpr size_t ZERO_WORDS_SIZE = 4 * (END_ZERO_SPARE_WORD - FIRST_ZERO_SPARE_WORD);
static_assert(ZERO_WORDS_SIZE % 8 == 0, "the zero words are read 8 bytes at a time");

// Bits set in the zero words of a page record that is damaged rather than no
// page record at all: any other bytes set about half of their 320 bits.  A
// damaged page record is still checked, and its data recovered.
constexpr int DAMAGED_ZERO_WORD_BITS = 16;

// Bytes of the spare area that go with each sector when an erased record
// is judged.
constexpr size_t SPARE_SHARE = PAGE_SPARE_SIZE / SECTORS_PER_PAGE;

// Bits set in the n bytes at p.
int ones_in(const uint8_t* p, size_t n)
{
    int ones = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        ones += std::popcount(word);
    }
    for (; i < n; ++i)
        ones += std::popcount(static_cast<unsigned>(p[i]));
    return ones;
}

// The first bit that reads 0 in the n bytes at p, as byte * 8 + bit.
int first_zero_bit(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0xFF)
            return static_cast<int>(i) * 8 + std::countr_one(static_cast<unsigned>(p[i]));
    return -1;
}

// Zero bits among the n bytes at p.
int zeros_in(const uint8_t* p, size_t n)
{
    return static_cast<int>(8 * n) - ones_in(p, n);
}

// The bit of the n bytes at p that reads 0, counted from bit 0 of the
// record byte `from`, when exactly one does; -1 when none does, -2 when more.
int lone_zero(const uint8_t* p, size_t n, size_t from)
{
    const int zeros = zeros_in(p, n);
    if (zeros != 1)
        return zeros == 0 ? -1 : -2;
    return static_cast<int>(8 * from) + first_zero_bit(p, n);
}

// True when the record reads as erased: at most one bit of each sector's
// data and spare bytes reads 0.  The status word, where a chip keeps its
// bad-block marker, counts as one flipped bit when only one of its bits
// reads 0 and the rest of sector 0 is clean; more are a marker.  Notes each
// flipped bit.
bool read_as_erased(decoded_record& r)
{
    const uint8_t* spare = r.bytes + PAGE_DATA_SIZE;
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        const size_t at = SECTOR_SIZE * static_cast<size_t>(s);
        const size_t share = SPARE_SHARE * static_cast<size_t>(s);
        const size_t skip = s == 0 ? 4 : 0;
        const int in_data = lone_zero(r.bytes + at, SECTOR_SIZE, at);
        const int in_spare = lone_zero(spare + share + skip, SPARE_SHARE - skip,
                                       PAGE_DATA_SIZE + share + skip);
        if (in_data == -2 || in_spare == -2 || (in_data >= 0 && in_spare >= 0))
            return false;
        r.flips[s] = static_cast<int16_t>(in_data >= 0 ? in_data : in_spare);
        if (s == 0 && r.flips[0] < 0)
            r.flips[0] = static_cast<int16_t>(std::max(-1, lone_zero(spare, 4, PAGE_DATA_SIZE)));
    }
    return true;
}

}  // namespace

bool chip_marked(const decoded_record& r)
{
    constexpr int STATUS_BITS_FROM = 8 * PAGE_DATA_SIZE;
    constexpr int STATUS_BITS_TO = 8 * (PAGE_DATA_SIZE + 4);
    const bool flip_there = r.flips[0] >= STATUS_BITS_FROM && r.flips[0] < STATUS_BITS_TO;
    const bool marker_page =
        r.file_index % PAGES_PER_BLOCK < static_cast<uint64_t>(STATUS_WORD_PAGES);
    return marker_page && r.look == record_look::erased && r.bytes[PAGE_DATA_SIZE] != 0xFF &&
           !flip_there;
}

void look_at(decoded_record& r)
{
    const uint8_t* words = r.bytes + PAGE_DATA_SIZE + ZERO_WORDS_AT;
    uint64_t any = 0;
    for (size_t i = 0; i < ZERO_WORDS_SIZE; i += 8) {
        uint64_t word;
        std::memcpy(&word, words + i, 8);
        any |= word;
    }
    r.stray_bits = 0;
    if (any == 0) {
        r.look = record_look::page;  // as nearly every record of an image
        return;
    }
    const int ones = ones_in(words, ZERO_WORDS_SIZE);
    r.stray_bits = static_cast<uint8_t>(std::min(ones, 255));
    if (ones <= DAMAGED_ZERO_WORD_BITS)
        r.look = record_look::page;
    else if (ones >= static_cast<int>(8 * ZERO_WORDS_SIZE) - SECTORS_PER_PAGE &&
             read_as_erased(r))
        r.look = record_look::erased;
    else
        r.look = record_look::junk;
}

