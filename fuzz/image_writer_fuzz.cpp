// Fuzz target: the image writer on arbitrary input bytes and run settings,
// through memory streams.
//
// Input layout: byte 0 holds the flags (bits 0-1 error_bits modulo 3, bit 2
// fill, bit 3 bad_block_table, bit 4 header, bit 5 a bad-block list), byte 1
// the length of the list (modulo 17), byte 2 a count of leading pages, bytes
// 3-6 the header size (little-endian), then one byte per listed block, then
// the input bytes.  The leading pages, all alike, are filled by repeating the
// input bytes, so that short fuzz inputs still reach block boundaries.  Only
// the first MAX_TAIL_SIZE input bytes are used: with the leading pages they
// still cross two block boundaries, and the cap bounds the image, which is
// written into one buffer kept from run to run.
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
#include "image_writer.h"
#include "reference_ecc.h"

namespace {

// Leading pages are at most this many: enough to cross two block boundaries.
constexpr size_t MAX_LEADING_PAGES = 140;
// Input bytes kept after the settings and the list; the rest are ignored.
constexpr size_t MAX_TAIL_SIZE = 2 * PAGE_DATA_SIZE;
// Data pages of the longest input.
constexpr size_t MAX_DATA_PAGES =
    MAX_LEADING_PAGES + (MAX_TAIL_SIZE + PAGE_DATA_SIZE - 1) / PAGE_DATA_SIZE;
// Records in the longest image: each data page, a header page at most for
// each of them, fill up to one whole block, and every listed block bad.
constexpr size_t MAX_RECORDS =
    2 * MAX_DATA_PAGES + PAGES_PER_BLOCK + MAX_BAD_BLOCKS * PAGES_PER_BLOCK;
// The image buffer: room for one record beyond the longest image, so that an
// image a little too long is still read back and reported by the layout
// check, and for the null byte that a memory stream writes after its end.
// Anything longer fails to write, and the writer ends the run.
constexpr size_t IMAGE_BUFFER_SIZE = (MAX_RECORDS + 1) * PAGE_RECORD_SIZE + 1;

// The run settings and input decoded from one fuzz input.
struct fuzz_run {
    int32_t error_bits = 0;
    bool fill = false;
    bool bad_block_table = false;
    optional_bad_blocks bad_block;
    bool header = false;
    int32_t header_size = 0;
    std::vector<uint8_t> input;
};

// Byte `at` of the fuzz input, or 0 past its end.
uint8_t byte_at(const uint8_t* data, size_t size, size_t at)
{
    return at < size ? data[at] : 0;
}

// A listed block number from one byte: mostly small numbers that the data
// reaches, sometimes extreme values.
int32_t block_from_byte(uint8_t b)
{
    static const int32_t extremes[] = {INT32_MIN, INT32_MAX, 65536, -2, 1000, 63};
    if (b >= 250)
        return extremes[b - 250];
    return b % 4;
}

// Decodes settings and input from the fuzz input into `run`, whose input
// buffer is reused from run to run.
void decode(const uint8_t* data, size_t size, fuzz_run& run)
{
    run.bad_block.reset();
    run.input.clear();
    const uint8_t flags = byte_at(data, size, 0);
    run.error_bits = (flags & 3) % 3;
    run.fill = flags & 4;
    run.bad_block_table = flags & 8;
    run.header = flags & 16;
    const size_t listed = byte_at(data, size, 1) % (MAX_BAD_BLOCKS + 1);
    const size_t leading = byte_at(data, size, 2) % (MAX_LEADING_PAGES + 1);
    uint8_t size_bytes[4];
    for (size_t i = 0; i < 4; ++i)
        size_bytes[i] = byte_at(data, size, 3 + i);
    run.header_size = static_cast<int32_t>(get_le32(size_bytes));
    size_t at = 7;
    if (flags & 32) {
        run.bad_block.emplace().fill(-1);
        for (size_t k = 0; k < listed; ++k)
            (*run.bad_block)[k] = block_from_byte(byte_at(data, size, at++));
    } else {
        at += listed;
    }
    if (at >= size)
        return;
    const uint8_t* rest = data + at;
    const size_t rest_size = std::min(size - at, MAX_TAIL_SIZE);
    uint8_t page[PAGE_DATA_SIZE];
    for (size_t i = 0; i < PAGE_DATA_SIZE; ++i)
        page[i] = rest[i % rest_size];
    for (size_t p = 0; p < leading; ++p)
        run.input.insert(run.input.end(), page, page + PAGE_DATA_SIZE);
    run.input.insert(run.input.end(), rest, rest + rest_size);
}

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

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The trace is not checked here; keep it off the fuzzer's output.
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz_run run;
    decode(data, size, run);
    // fmemopen wants a buffer even for an empty input.
    static uint8_t empty_input[1];
    uint8_t* input_bytes = run.input.empty() ? empty_input : run.input.data();
    FILE* in = fmemopen(input_bytes, run.input.size(), "rb");
    // One image buffer for every run: each run writes it from the start, and
    // only the bytes it wrote are read back.
    static uint8_t image[IMAGE_BUFFER_SIZE];
    FILE* out = fmemopen(image, sizeof image, "wb");
    fuzz_expect(in && out, "memory streams");
    // Unbuffered: each write of the writer goes straight into the image.
    fuzz_expect(std::setvbuf(out, nullptr, _IONBF, 0) == 0, "unbuffered image stream");
    read_data(in, out, run.error_bits, run.fill, run.bad_block_table, run.bad_block,
              run.header, run.header_size);
    std::fclose(in);
    const long written = std::ftell(out);
    fuzz_expect(std::fclose(out) == 0, "closing the image stream");
    fuzz_expect(written >= 0 && static_cast<size_t>(written) < sizeof image,
                "the image's size");
    check_image(run, image, static_cast<size_t>(written));
    return 0;
}
