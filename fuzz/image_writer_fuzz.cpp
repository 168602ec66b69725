// Fuzz target: the image writer on arbitrary input bytes and run settings,
// through memory streams.
//
// Input layout: the settings and input bytes as fuzz_image.h reads them; the
// image is written into one buffer kept from run to run.
//
// The image is then read back and checked record by record against the
// layout that the settings call for: a whole number of records; header,
// bad-block, data and fill pages where they belong; page tags equal to the
// record position; every ECC word equal to the bit-by-bit reference code of
// the page's clean data; and exactly the requested number of flipped bits
// between the stored data and the clean data (with two flips, none when both
// hit the same bit).

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "flash_geometry.h"
#include "fuzz_check.h"
#include "fuzz_image.h"
#include "image_writer.h"
#include "reference_ecc.h"

namespace {

// The image being checked, and the next record to check.
struct image_cursor {
    const uint8_t* bytes;
    size_t records;
    size_t next = 0;
};

// Data area and spare word n of record k.
const uint8_t* data_of(const image_cursor& image, size_t k)
{
    return image.bytes + k * PAGE_RECORD_SIZE;
}
uint32_t word_of(const image_cursor& image, size_t k, int n)
{
    return get_le32(data_of(image, k) + PAGE_DATA_SIZE + 4 * n);
}

// Takes the next record; aborts if the image has ended.
size_t take_record(image_cursor& image)
{
    fuzz_expect(image.next < image.records, "the image ends too early");
    return image.next++;
}

// Checks that spare words 2..11 of record k are zero.
void expect_reserved_zero(const image_cursor& image, size_t k)
{
    for (int n = 2; n < SPARE_ECC_WORD; ++n)
        fuzz_expect(word_of(image, k, n) == 0, "a reserved spare word is not zero");
}

// Reference ECC word of one sector.  The bit-by-bit reference is slow, and
// an image holds few distinct sectors (those of the leading page, of the last
// pages and of the header page, and zeros), so the words of the last few are
// kept.
uint32_t reference_word(const uint8_t* sector)
{
    struct known_sector {
        bool known = false;
        uint8_t data[SECTOR_SIZE];
        uint32_t word = 0;
    };
    constexpr size_t KEPT = 16;
    static known_sector kept[KEPT];
    // Looked at first: the slot after the last one used, since alike pages
    // bring their sectors back in the same order.
    static size_t hint = 0;
    static size_t next_free = 0;  // slots are replaced in turn
    for (size_t i = 0; i < KEPT; ++i) {
        const size_t at = (hint + i) % KEPT;
        if (kept[at].known && std::memcmp(kept[at].data, sector, SECTOR_SIZE) == 0) {
            hint = (at + 1) % KEPT;
            return kept[at].word;
        }
    }
    known_sector& slot = kept[next_free];
    slot.word = reference_ecc(sector);
    std::memcpy(slot.data, sector, SECTOR_SIZE);
    slot.known = true;
    next_free = (next_free + 1) % KEPT;
    hint = next_free;
    return slot.word;
}

// Reference ECC words of a data area.  Runs of pages are alike, so the last
// data area's words are kept as well.
const uint32_t* reference_words(const uint8_t* clean)
{
    static uint8_t last[PAGE_DATA_SIZE];
    static uint32_t words[SECTORS_PER_PAGE];
    static bool known = false;
    if (known && std::memcmp(last, clean, PAGE_DATA_SIZE) == 0)
        return words;
    for (int s = 0; s < SECTORS_PER_PAGE; ++s)
        words[s] = reference_word(clean + SECTOR_SIZE * s);
    std::memcpy(last, clean, PAGE_DATA_SIZE);
    known = true;
    return words;
}

// Checks the ECC words of record k against the reference code of `clean`.
void expect_ecc_of(const image_cursor& image, size_t k, const uint8_t* clean)
{
    const uint32_t* words = reference_words(clean);
    for (int s = 0; s < SECTORS_PER_PAGE; ++s)
        fuzz_expect(word_of(image, k, SPARE_ECC_WORD + s) == words[s],
                    "an ECC word does not match the clean data");
}

// Checks the bit errors in record k's data area against `clean`.
void expect_flips(const image_cursor& image, size_t k, const uint8_t* clean,
                  int32_t error_bits)
{
    const uint8_t* stored = data_of(image, k);
    int flipped = 0;
    for (size_t i = 0; i < PAGE_DATA_SIZE; i += 8) {
        uint64_t a;
        uint64_t b;
        std::memcpy(&a, stored + i, 8);
        std::memcpy(&b, clean + i, 8);
        flipped += std::popcount(a ^ b);
    }
    if (error_bits == 2)
        fuzz_expect(flipped == 0 || flipped == 2, "not two bit errors");
    else
        fuzz_expect(flipped == error_bits, "wrong number of bit errors");
}

// Page tag that record k must carry.
uint32_t tag_of(size_t k)
{
    return page_tag(static_cast<int32_t>(k / PAGES_PER_BLOCK),
                    static_cast<int32_t>(k % PAGES_PER_BLOCK));
}

void expect_header_page(image_cursor& image, int32_t header_size)
{
    const size_t k = take_record(image);
    uint8_t clean[PAGE_DATA_SIZE] = {};
    put_le32(clean, static_cast<uint32_t>(header_size));
    fuzz_expect(std::memcmp(data_of(image, k), clean, PAGE_DATA_SIZE) == 0,
                "a header page's data");
    fuzz_expect(word_of(image, k, SPARE_STATUS_WORD) == BLOCK_STATUS_MARKED,
                "a header page's status word");
    fuzz_expect(word_of(image, k, SPARE_TAG_WORD) == 0, "a header page's tag");
    expect_reserved_zero(image, k);
    expect_ecc_of(image, k, clean);
}

void expect_bad_block(image_cursor& image)
{
    static const uint8_t zero[PAGE_DATA_SIZE] = {};
    for (int p = 0; p < PAGES_PER_BLOCK; ++p) {
        const size_t k = take_record(image);
        fuzz_expect(k % PAGES_PER_BLOCK == static_cast<size_t>(p), "a bad block off its block");
        fuzz_expect(std::memcmp(data_of(image, k), zero, PAGE_DATA_SIZE) == 0,
                    "a bad-block page's data");
        fuzz_expect(word_of(image, k, SPARE_STATUS_WORD) == 0, "a bad-block page's status");
        fuzz_expect(word_of(image, k, SPARE_TAG_WORD) == tag_of(k), "a bad-block page's tag");
        for (int n = 2; n < SPARE_WORDS; ++n)
            fuzz_expect(word_of(image, k, n) == 0, "a bad-block page's spare word");
    }
}

// Checks a data page (tagged) or a fill page (untagged) holding `clean`.
void expect_page(image_cursor& image, const uint8_t* clean, bool tagged, bool marked,
                 int32_t error_bits)
{
    const size_t k = take_record(image);
    fuzz_expect(word_of(image, k, SPARE_STATUS_WORD) == (marked ? BLOCK_STATUS_MARKED : 0),
                "a page's status word");
    fuzz_expect(word_of(image, k, SPARE_TAG_WORD) == (tagged ? tag_of(k) : 0), "a page's tag");
    expect_reserved_zero(image, k);
    expect_ecc_of(image, k, clean);
    expect_flips(image, k, clean, error_bits);
}

// True when `block` stands in the list before its first free slot.
bool listed(const optional_bad_blocks& list, size_t block)
{
    if (!list)
        return false;
    for (int32_t b : *list) {
        if (b == -1)
            return false;
        if (b >= 0 && static_cast<size_t>(b) == block)
            return true;
    }
    return false;
}

// Walks the expected layout over the image.
void check_image(const fuzz_run& run, const uint8_t* bytes, size_t size)
{
    fuzz_expect(size % PAGE_RECORD_SIZE == 0, "not a whole number of records");
    image_cursor image{bytes, size / PAGE_RECORD_SIZE};
    const size_t pages = (run.input.size() + PAGE_DATA_SIZE - 1) / PAGE_DATA_SIZE;
    uint8_t clean[PAGE_DATA_SIZE];
    for (size_t d = 0; d < pages; ++d) {
        if (image.next % PAGES_PER_BLOCK == 0) {
            while (listed(run.bad_block, image.next / PAGES_PER_BLOCK))
                expect_bad_block(image);
            if (run.header)
                expect_header_page(image, run.header_size);
        }
        std::memset(clean, 0, sizeof clean);
        const size_t from = d * PAGE_DATA_SIZE;
        const size_t n = std::min(PAGE_DATA_SIZE, run.input.size() - from);
        std::memcpy(clean, run.input.data() + from, n);
        const bool marked = run.bad_block_table && image.next % PAGES_PER_BLOCK < 2;
        expect_page(image, clean, true, marked, run.error_bits);
    }
    // A short last page that completed its block ends the image at once.
    const bool short_end = run.input.size() % PAGE_DATA_SIZE != 0 &&
                           image.next % PAGES_PER_BLOCK == 0;
    if (run.fill && !short_end) {
        std::memset(clean, 0, sizeof clean);
        do
            expect_page(image, clean, false, false, run.error_bits);
        while (image.next % PAGES_PER_BLOCK != 0);
    }
    fuzz_expect(image.next == image.records, "the image has records to spare");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz_run run;
    decode(data, size, run);
    const memory_image image = convert(run, run.input);
    check_image(run, image.bytes, image.size);
    return 0;
}
