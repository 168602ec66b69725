// The checking core in-process: sound images built by the independent image
// model, damaged in one place, must give exactly the findings listed (in the
// report's own words), and the recovered input must be cut where the header
// pages say.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "report_words.h"
#include "image_verdict.h"
#include "ecc.h"
#include "image_check.h"
#include "image_model.h"
#include "input_recovery.h"
#include "memory_check.h"
#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

constexpr size_t PAGE = 2048;
constexpr size_t RECORD = 2048 + 64;

// A bad-block list of the given numbers.
optional_bad_blocks listed(std::initializer_list<int32_t> blocks)
{
    bad_block_list list;
    list.fill(-1);
    size_t k = 0;
    for (int32_t b : blocks)
        list[k++] = b;
    return list;
}

// Sets spare word `word` of record `index` to `value`.
std::function<void(std::string&)> set_word(size_t index, int word, uint32_t value)
{
    return [=](std::string& s) {
        for (int k = 0; k < 4; ++k)
            s[index * RECORD + PAGE + 4 * word + k] = static_cast<char>(value >> (8 * k));
    };
}

// Flips bit `bit` of byte `at` of record `index` (at >= PAGE: the spare area).
std::function<void(std::string&)> flip(size_t index, size_t at, int bit)
{
    return [=](std::string& s) { s[index * RECORD + at] ^= static_cast<char>(1 << bit); };
}

// Sets data bytes [from, from + n) of record `index` to `value` and stores
// the ECC words of the new data, so that only the content is wrong.
std::function<void(std::string&)> set_data(size_t index, size_t from, size_t n, char value)
{
    return [=](std::string& s) {
        s.replace(index * RECORD + from, n, n, value);
        for (int sector = 0; sector < 4; ++sector) {
            const auto* data = reinterpret_cast<const uint8_t*>(s.data() + index * RECORD);
            set_word(index, 12 + sector, computeECC(data + 512 * sector))(s);
        }
    };
}

// Keeps the first `records` records and `extra` more bytes.
std::function<void(std::string&)> keep(size_t records, size_t extra = 0)
{
    return [=](std::string& s) { s.resize(records * RECORD + extra); };
}

// Puts `n` bytes of `value` in front of the image.
std::function<void(std::string&)> prepend(size_t n, char value)
{
    return [=](std::string& s) { s.insert(0, n, value); };
}

struct damage_case {
    const char* name;
    const char* made;                       // layout of the sound image
    size_t input_size;                      // bytes of input it holds
    bool marked = false;                    // made with -b
    std::optional<int32_t> header_size = {};  // none: the input size
    std::vector<int32_t> bad_list = {};     // made with -B
    std::function<void(std::string&)> damage = nullptr;
    layout_claim claim = {};                // what the command line claims
    std::vector<std::string> findings = {};
    std::string layout = "";                // the layout line, when given
};

class Findings : public ::testing::TestWithParam<damage_case> {};

TEST_P(Findings, GivesExactlyTheFindings)
{
    const damage_case& c = GetParam();
    model_settings settings;
    settings.input = random_bytes(c.input_size, 4);
    settings.bad_block_table = c.marked || !c.bad_list.empty();
    settings.header_size = c.header_size.value_or(static_cast<int32_t>(c.input_size));
    settings.bad_list = c.bad_list;
    std::string image = model_from_layout(c.made, settings).image;
    if (c.damage)
        c.damage(image);
    const memory_check outcome = check_in_memory(image, c.claim);
    EXPECT_EQ(outcome.read_error, 0);
    EXPECT_EQ(outcome.findings, c.findings);
    const check_summary& s = outcome.summary;
    EXPECT_EQ(s.corrected + s.uncorrectable + s.problems, c.findings.size());
    EXPECT_EQ(check_status(s), s.uncorrectable + s.problems == 0 ? 0 : 1);
    if (c.layout.empty())
        return;
    EXPECT_EQ(describe_layout(s.layout), c.layout);
    // Header pages tell the size: the recovered input is exact.
    if (s.layout.header == header_pages::present && s.layout.input_size) {
        EXPECT_TRUE(outcome.recovered.substr(0, *s.layout.input_size) == settings.input &&
                    outcome.recovered.size() - *s.layout.input_size < PAGE);
    }
}

const layout_claim with_header = {.header = header_pages::present};

// What -B with these blocks claims.
layout_claim claim_bad(std::initializer_list<int32_t> blocks)
{
    return {.header = std::nullopt, .bad_blocks = listed(blocks)};
}

const damage_case damage_cases[] = {
    {.name = "sound", .made = "D6", .input_size = 6 * PAGE},
    {.name = "sound_everything", .made = "B H D63 H D F62", .input_size = 64 * PAGE,
     .bad_list = {0}, .claim = {.header = header_pages::present, .bad_blocks = listed({0})}},
    {.name = "tag", .made = "D6", .input_size = 6 * PAGE, .damage = set_word(5, 1, 4),
     .findings = {"block 0 page 5 (data): page tag 0x00000004, expected 0x00000005"}},
    {.name = "status_word", .made = "D6", .input_size = 6 * PAGE,
     .damage = set_word(3, 0, 0xffffffff),
     .findings = {"block 0 page 3 (data): block status word 0xffffffff, expected 0x00000000"}},
    {.name = "status_word_value", .made = "D6", .input_size = 6 * PAGE,
     .damage = set_word(0, 0, 0x12),
     .findings = {"block 0 page 0 (data): block status word 0x00000012, expected 0x00000000 "
                  "or 0xffffffff"}},
    {.name = "status_words_disagree", .made = "D66", .input_size = 66 * PAGE, .marked = true,
     .damage = set_word(64, 0, 0),
     .findings = {"block 1 page 0 (data): block status word 0x00000000, expected 0xffffffff"}},
    {.name = "spare_word", .made = "D3", .input_size = 3 * PAGE, .damage = set_word(2, 7, 1),
     .findings = {"block 0 page 2 (data): spare[7] = 0x00000001, expected 0"}},
    {.name = "data_bit", .made = "D3", .input_size = 3 * PAGE, .damage = flip(1, 1234, 7),
     .findings = {"block 0 page 1 (data) sector 2: corrected byte 1234 bit 7"}},
    {.name = "ecc_word_bit", .made = "D3", .input_size = 3 * PAGE,
     .damage = flip(1, PAGE + 4 * 13 + 2, 1),
     .findings = {"block 0 page 1 (data) sector 1: ECC word spare[13] bit 17 flipped, data "
                  "intact"}},
    {.name = "two_bits_in_ecc_word", .made = "D3", .input_size = 3 * PAGE,
     .damage = [](std::string& s) { s[RECORD + PAGE + 4 * 14 + 1] ^= 0x03; },
     .findings = {"block 0 page 1 (data) sector 2: uncorrectable, syndrome 0x00000300"}},
    {.name = "partial_record", .made = "D3", .input_size = 3 * PAGE, .damage = keep(2, 2012),
     .findings = {"trailing partial record of 2012 bytes"}},
    {.name = "fill_ends_at_page_62", .made = "D3 F61", .input_size = 3 * PAGE,
     .damage = keep(63), .findings = {"image ends inside the fill pages, at page 62"}},
    {.name = "fill_block_ends_at_page_62", .made = "D64 F64", .input_size = 64 * PAGE,
     .damage = keep(127), .findings = {"image ends inside the fill pages, at page 62"}},
    {.name = "data_after_bad_block_missing", .made = "B D", .input_size = 3, .bad_list = {0},
     .damage = keep(64), .claim = claim_bad({0}),
     .findings = {"image ends after a bad-block page, before any data page that follows it"}},
    {.name = "data_tag_zeroed", .made = "D5", .input_size = 5 * PAGE,
     .damage = set_word(2, 1, 0),
     .findings = {"block 0 page 2 (data): page tag 0x00000000, expected 0x00000002"}},
    // (At page 2 the zeroed record would read as a zero data page whose tag
    // lost its one bit, as data follows.)
    {.name = "data_after_fill", .made = "D5", .input_size = 5 * PAGE,
     .damage = [](std::string& s) { s.replace(3 * RECORD, RECORD, RECORD, '\0'); },
     .findings = {"block 0 page 3 (data): all zero, page tag 0, and a data page follows: the "
                  "record was zeroed"}},
    {.name = "zero_data_page_lost_its_tag_bit", .made = "D5", .input_size = 5 * PAGE,
     .damage = [](std::string& s) {
         set_data(1, 0, PAGE, '\0')(s);
         flip(1, PAGE + 4, 0)(s);
     },
     .findings = {"block 0 page 1 (data): all zero, page tag 0: the record was zeroed, or a "
                  "page of zero bytes whose tag lost its one bit; its bytes are listed as lost"},
     .layout = "layout: no options, input size unknown"},
    // With a status word or ECC word that is not zero, the tag alone is wrong.
    {.name = "zero_data_page_lost_its_tag_bit_marked", .made = "D5", .input_size = 5 * PAGE,
     .marked = true,
     .damage = [](std::string& s) {
         set_data(1, 0, PAGE, '\0')(s);
         flip(1, PAGE + 4, 0)(s);
     },
     .findings = {"block 0 page 1 (data): page tag 0x00000000, expected 0x00000001"},
     .layout = "layout: -b, input size unknown"},
    {.name = "fill_tag_damaged", .made = "D3 F61", .input_size = 3 * PAGE,
     .damage = set_word(20, 1, 0x40),
     .findings = {"block 0 page 20 (fill): page tag 0x00000040, expected 0x00000000"}},
    {.name = "header_sizes_differ", .made = "H D63 H D6", .input_size = 69 * PAGE,
     .damage = set_data(64, 0, 1, 'x'), .claim = with_header,
     .findings = {"block 1 page 0 (header): header size 141432, the first header page "
                  "holds 141312"}},
    {.name = "header_not_zero", .made = "H D2", .input_size = 2 * PAGE,
     .damage = set_data(0, 100, 512, '\xff'), .claim = with_header,
     .findings = {"block 0 page 0 (header): bytes 4-2047 are not zero"}},
    // One page short of the data pages: not the input size (the last page
    // would be cut whole), so header pages that agree on it were made with
    // -F, or data pages were appended: only a claim tells.
    {.name = "header_size_a_page_short", .made = "H D4", .input_size = 4 * PAGE,
     .header_size = 3 * PAGE, .claim = with_header,
     .findings = {"header size 6144 does not fit the 8192 bytes of data pages: data lost, or "
                  "made with -F 6144; claim -F 6144 if it was"},
     .layout = "layout: -h, input size unknown"},
    {.name = "header_size_a_page_short_claimed", .made = "H D4", .input_size = 4 * PAGE,
     .header_size = 3 * PAGE, .claim = {.header = header_pages::present, .forced_size = 6144},
     .layout = "layout: -h -F 6144, input size unknown"},
    {.name = "header_size_misfit", .made = "H D3", .input_size = 5000, .header_size = 0,
     .claim = with_header,
     .findings = {"header size 0 does not fit the 6144 bytes of data pages; nothing is cut"}},
    // Header pages that agree on a size the data pages do not fit were made
    // with -F, or lost data pages: a claim of -F settles it.
    {.name = "forced_header_size", .made = "H D63 H D3", .input_size = 66 * PAGE,
     .header_size = 5,
     .findings = {"header size 5 does not fit the 135168 bytes of data pages: data lost, or "
                  "made with -F 5; claim -F 5 if it was"},
     .layout = "layout: -h, input size unknown"},
    {.name = "forced_header_size_claimed", .made = "H D63 H D3", .input_size = 66 * PAGE,
     .header_size = 5, .claim = {.forced_size = 5}, .layout = "layout: -h -F 5, input size unknown"},
    {.name = "forced_negative_header_size", .made = "H D3 F60", .input_size = 5000,
     .header_size = -12345, .claim = {.forced_size = -12345},
     .layout = "layout: -h -F -12345 -f, input size unknown"},
    // A claimed forced size tells nothing of where the data ends: a last
    // data page of zeros past it is data, not a fill page with a wrong tag.
    {.name = "forced_size_claimed_zero_page_past_it", .made = "H D2 F61", .input_size = PAGE + 3,
     .header_size = 58, .damage = set_data(2, 0, PAGE, '\0'), .claim = {.forced_size = 58},
     .layout = "layout: -h -F 58 -f, input size unknown"},
    // Cut inside block 0: its page 0 reads as a header page, data pages
    // follow, and the size does not fit them.
    {.name = "cut_in_block_0", .made = "H D63 H D6", .input_size = 69 * PAGE, .marked = true,
     .damage = keep(10),
     .findings = {"header size 141312 does not fit the 18432 bytes of data pages: data lost, or "
                  "made with -F 141312, or made without -h (claim --no-header if it was)"},
     .layout = "layout: -h -b, input size unknown"},
    {.name = "cut_in_block_0_claimed_without_header", .made = "H D63 H D6",
     .input_size = 69 * PAGE, .marked = true, .damage = keep(10),
     .claim = {.header = header_pages::absent}, .layout = "layout: -b, input size unknown"},
    {.name = "forced_size_claim_differs", .made = "H D3 F60", .input_size = 5000,
     .claim = {.forced_size = -12345},
     .findings = {"the header pages hold 5000, not the -12345 that -F claims"},
     .layout = "layout: -h -f, input 5000 bytes"},
    // A size beyond the data pages in an image that does not end with its
    // fill pages may be a cut: a finding.
    {.name = "cut_image_header_size", .made = "H D63 H D6", .input_size = 69 * PAGE,
     .damage = keep(68),
     .findings = {"header size 141312 does not fit the 135168 bytes of data pages; nothing is "
                  "cut"},
     .layout = "layout: -h, input size unknown"},
    {.name = "header_sizes_differ_and_misfit", .made = "H D63 H D6", .input_size = 69 * PAGE,
     .header_size = 5, .damage = set_data(64, 0, 1, 'x'),
     .findings = {"block 1 page 0 (header): header size 120, the first header page holds 5",
                  "header size 5 does not fit the 141312 bytes of data pages; nothing is cut"}},
    // Bytes before the image: read from where its records line up, and
    // named; a whole block of them is a block the dump padded.
    {.name = "bytes_before_image", .made = "H D5 F58", .input_size = 5 * PAGE - 100,
     .damage = prepend(100, 'j'),
     .findings = {"the image starts at byte 100 of the file: the bytes before it are not the "
                  "image's, and records of the file are counted from there"},
     .layout = "layout: -h -f, input 10140 bytes"},
    {.name = "erased_records_before_image", .made = "H D5 F58", .input_size = 5 * PAGE - 100,
     .damage = prepend(2 * RECORD, '\xff'),
     .findings = {"the image starts at byte 4224 of the file: the bytes before it are not the "
                  "image's, and records of the file are counted from there"},
     .layout = "layout: -h -f, input 10140 bytes"},
    // A page record before the image's first is the image's, held twice:
    // the image does not start after it, and the copy takes no place.
    {.name = "first_record_twice", .made = "H D5 F58", .input_size = 5 * PAGE - 100,
     .damage = [](std::string& s) { s.insert(0, s.substr(0, RECORD)); },
     .findings = {"1 record(s) at block 0 page 0 stand in the file twice: read once"},
     .layout = "layout: -h -f, input 10140 bytes"},
    {.name = "erased_block_before_image", .made = "H D5 F58", .input_size = 5 * PAGE - 100,
     .damage = prepend(64 * RECORD, '\xff'),
     .findings = {"block 0 of the file is not the image's, and the blocks after it stand one "
                  "block after their page tags: it was skipped when the image was written (a "
                  "bad block of the chip?), and a boot loader that checks page tags rejects "
                  "what follows; make the image with -B 0"},
     .layout = "layout: -h -f, input 10140 bytes"},
    {.name = "fill_not_zero", .made = "D3 F61", .input_size = 3 * PAGE,
     .damage = set_data(10, 512, 512, '\xff'),
     .findings = {"block 0 page 10 (data): page tag 0x00000000, expected 0x0000000a",
                  "block 0 page 10 (data): out of place after a fill page"}},
    {.name = "bad_block_not_zero", .made = "B D3", .input_size = 3 * PAGE, .bad_list = {0},
     .damage = set_data(7, 0, 512, '\xff'), .claim = claim_bad({0}),
     .findings = {"block 0 page 7 (bad-block): data area is not zero"}},
    {.name = "header_inferred", .made = "H D63 H D6", .input_size = 69 * PAGE},
    // One flipped bit where the layout is read from must not change the
    // reading: it is one finding, no more.
    {.name = "first_header_spare_bit", .made = "H D63 H D6", .input_size = 69 * PAGE,
     .damage = set_word(0, 2, 2),
     .findings = {"block 0 page 0 (header): spare[2] = 0x00000002, expected 0"}},
    {.name = "first_header_status_bit", .made = "H D63 H D6", .input_size = 69 * PAGE,
     .damage = set_word(0, 0, 0xfffffffd),
     .findings = {"block 0 page 0 (header): block status word 0xfffffffd, expected "
                  "0xffffffff"}},
    {.name = "bad_block_spare_bit", .made = "H D63 B H D2", .input_size = 65 * PAGE,
     .bad_list = {1}, .damage = set_word(64, 2, 2),
     .findings = {"block 1 page 0 (bad-block): spare[2] = 0x00000002, expected 0"}},
    {.name = "bad_block_0_status_bit", .made = "B D70", .input_size = 70 * PAGE,
     .bad_list = {0}, .damage = set_word(0, 0, 2),
     .findings = {"block 0 page 0 (bad-block): block status word 0x00000002, expected "
                  "0x00000000"}},
    {.name = "data_tag_zeroed_after_header", .made = "H D3 F60", .input_size = 3 * PAGE,
     .marked = true, .damage = set_word(1, 1, 0),
     .findings = {"block 0 page 1 (data): page tag 0x00000000, expected 0x00000001"}},
    {.name = "fill_status_bit", .made = "H D3 F60", .input_size = 5000,
     .damage = flip(10, PAGE, 0),
     .findings = {"block 0 page 10 (fill): block status word 0x00000001, expected 0x00000000"},
     .layout = "layout: -h -f, input 5000 bytes"},
    {.name = "fill_spare_bit", .made = "D3 F61", .input_size = 3 * PAGE,
     .damage = flip(20, PAGE + 4 * 11 + 3, 7),
     .findings = {"block 0 page 20 (fill): spare[11] = 0x80000000, expected 0"},
     .layout = "layout: -f, input size unknown"},
    {.name = "first_fill_tag_bit_with_header", .made = "H D3 F60", .input_size = 5000,
     .damage = flip(4, PAGE + 4, 2),
     .findings = {"block 0 page 4 (fill): page tag 0x00000004, expected 0x00000000"},
     .layout = "layout: -h -f, input 5000 bytes"},
    {.name = "bad_block_0_page_0_tag_bit", .made = "B D3 F61", .input_size = 3 * PAGE,
     .bad_list = {0}, .damage = flip(0, PAGE + 4, 3),
     .findings = {"block 0 page 0 (bad-block): page tag 0x00000008, expected 0x00000000"},
     .layout = "layout: -b -B 0 -f, input size unknown"},
    {.name = "bad_block_0_page_1_tag_bit", .made = "B D3 F61", .input_size = 3 * PAGE,
     .bad_list = {0}, .damage = flip(1, PAGE + 4, 0),
     .findings = {"block 0 page 1 (bad-block): page tag 0x00000000, expected 0x00000001"},
     .layout = "layout: -b -B 0 -f, input size unknown"},
    {.name = "bad_block_1_page_0_tag_bit_16", .made = "H D63 B H D2", .input_size = 65 * PAGE,
     .bad_list = {1}, .damage = flip(64, PAGE + 6, 0),
     .findings = {"block 1 page 0 (bad-block): page tag 0x00000000, expected 0x00010000"},
     .layout = "layout: -h -b -B 1, input 133120 bytes"},
    {.name = "fill_tag_bit_after_marked_page_0", .made = "D65 F63", .input_size = 65 * PAGE,
     .marked = true, .damage = flip(65, PAGE + 4, 0),
     .findings = {"block 1 page 1 (fill): page tag 0x00000001, expected 0x00000000"},
     .layout = "layout: -b -f, input size unknown"},
    {.name = "first_header_tag_bit", .made = "H D63 H D6", .input_size = 69 * PAGE,
     .damage = flip(0, PAGE + 4, 0),
     .findings = {"block 0 page 0 (header): page tag 0x00000001, expected 0x00000000"},
     .layout = "layout: -h, input 141312 bytes"},
    {.name = "header_after_bad_block_0_tag_bit", .made = "B H D3", .input_size = 5000,
     .bad_list = {0}, .damage = flip(64, PAGE + 4, 0),
     .findings = {"block 1 page 0 (header): page tag 0x00000001, expected 0x00000000"},
     .layout = "layout: -h -b -B 0, input 5000 bytes"},
    {.name = "marked_data_tag_bit_16", .made = "D66", .input_size = 66 * PAGE, .marked = true,
     .damage = flip(64, PAGE + 6, 0),
     .findings = {"block 1 page 0 (data): page tag 0x00000000, expected 0x00010000"},
     .layout = "layout: -b, input size unknown"},
    {.name = "fill_block_tag_bit_16_after_header_block", .made = "H D63 F64",
     .input_size = 63 * PAGE, .damage = flip(64, PAGE + 6, 0),
     .findings = {"block 1 page 0 (fill): page tag 0x00010000, expected 0x00000000"},
     .layout = "layout: -h -f, input 129024 bytes"},
    {.name = "one_marked_block_page_1_tag_bit", .made = "D3 F61", .input_size = 3 * PAGE,
     .marked = true, .damage = flip(1, PAGE + 4, 1),
     .findings = {"block 0 page 1 (data): page tag 0x00000003, expected 0x00000001"},
     .layout = "layout: -b -f, input size unknown"},
    {.name = "one_marked_block_page_1_status_bit", .made = "D3 F61", .input_size = 3 * PAGE,
     .marked = true, .damage = flip(1, PAGE, 0),
     .findings = {"block 0 page 1 (data): block status word 0xfffffffe, expected 0xffffffff"},
     .layout = "layout: -b -f, input size unknown"},
    {.name = "one_marked_block_page_1_spare_bit", .made = "D3 F61", .input_size = 3 * PAGE,
     .marked = true, .damage = flip(1, PAGE + 8, 0),
     .findings = {"block 0 page 1 (data): spare[2] = 0x00000001, expected 0"},
     .layout = "layout: -b -f, input size unknown"},
    {.name = "header_claimed_absent", .made = "H D63 H D6", .input_size = 69 * PAGE,
     .claim = {.header = header_pages::absent},
     .findings = {"page 0 of every block is a header page: made with -h?"}},
    {.name = "header_claimed_present", .made = "D66", .input_size = 66 * PAGE,
     .claim = with_header,
     .findings = {"no block starts with a header page: made without -h?"}},
    {.name = "bad_list_given_wrongly", .made = "D3", .input_size = 3 * PAGE, .marked = true,
     .claim = claim_bad({0}),
     .findings = {"block 0 is not a bad block, though -B lists it: made without -B?"}},
    {.name = "bad_list_not_given", .made = "B D64 B D", .input_size = 65 * PAGE,
     .bad_list = {0, 2}, .claim = claim_bad({0}),
     .findings = {"block 2 is a bad block, which -B does not list: made with -B 0 2?"}},
    {.name = "more_bad_blocks_than_can_be_listed",
     .made = "B B B B B B B B B B B B B B B B B D", .input_size = 5,
     .bad_list = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
     .findings = {"17 bad blocks, more than the 16 that pagesmith can list"}},
    // Each claim constrains only what it names.
    {.name = "bad_list_claims_no_header", .made = "B H D3", .input_size = 5000,
     .bad_list = {0}, .claim = claim_bad({0}), .layout = "layout: -h -b -B 0, input 5000 bytes"},
    {.name = "header_claims_no_bad_blocks", .made = "B H D3", .input_size = 5000,
     .bad_list = {0}, .claim = with_header, .layout = "layout: -h -b -B 0, input 5000 bytes"},
    {.name = "bad_list_of_unmarked_image", .made = "D70", .input_size = 70 * PAGE,
     .claim = claim_bad({}),
     .findings = {"data pages 0 and 1 carry no block status word, which -B implies: made "
                  "without -B?"}},
};

INSTANTIATE_TEST_SUITE_P(Check, Findings, ::testing::ValuesIn(damage_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A read error ends the walk and is handed back, not taken for the end.
TEST(Check, ReadErrorIsReturned)
{
    FILE* in = std::fopen("/proc/self/mem", "rb");
    ASSERT_NE(in, nullptr);
    image_checker checker;
    check_summary summary;
    EXPECT_EQ(check_image(checker, in, {}, {}, summary), EIO);
    std::fclose(in);
}

// The recovered input: whole data pages, the last one cut to the input
// size when that is known and fits.
struct recovery_case {
    const char* name;
    size_t pages;
    std::optional<uint64_t> input_size;
    size_t expected_length;
};

class Recovery : public ::testing::TestWithParam<recovery_case> {};

TEST_P(Recovery, CutsTheLastPage)
{
    const recovery_case& c = GetParam();
    const std::string pages = random_bytes(c.pages * PAGE, 9);
    char* bytes = nullptr;
    size_t size = 0;
    static input_recovery recovery;
    recovery = input_recovery{};
    recovery.out = open_memstream(&bytes, &size);
    for (size_t i = 0; i < c.pages; ++i) {
        checked_page page;
        page.data = reinterpret_cast<const uint8_t*>(pages.data()) + i * PAGE;
        page.input_page = i;
        ASSERT_TRUE(recover_page(recovery, page));
    }
    ASSERT_TRUE(finish_recovery(recovery, c.input_size));
    std::fclose(recovery.out);
    const std::string out(bytes, size);
    std::free(bytes);
    EXPECT_TRUE(out == pages.substr(0, c.expected_length)) << out.size();
}

const recovery_case recovery_cases[] = {
    {.name = "none", .pages = 0, .input_size = 0, .expected_length = 0},
    {.name = "unknown_size", .pages = 3, .input_size = std::nullopt, .expected_length = 3 * PAGE},
    {.name = "one_byte_on_the_last_page", .pages = 3, .input_size = 2 * PAGE + 1,
     .expected_length = 2 * PAGE + 1},
    {.name = "whole_last_page", .pages = 3, .input_size = 3 * PAGE, .expected_length = 3 * PAGE},
    {.name = "one_byte_short", .pages = 3, .input_size = 3 * PAGE - 1,
     .expected_length = 3 * PAGE - 1},
    {.name = "size_before_the_last_page", .pages = 3, .input_size = 2 * PAGE,
     .expected_length = 3 * PAGE},
    {.name = "size_past_the_pages", .pages = 3, .input_size = 3 * PAGE + 1,
     .expected_length = 3 * PAGE},
};

INSTANTIATE_TEST_SUITE_P(Check, Recovery, ::testing::ValuesIn(recovery_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The note on an all-zero page read as fill: only where the page tag is 0
// for every kind (block 0, and blocks whose number wraps in the tag), and
// only while data pages are not known to be marked.
struct zero_fill_note_case {
    const char* name;
    uint64_t block;
    page_kind kind;
    status_expectation status;
    std::string note;  // "" for none
};

class ZeroFillNote : public ::testing::TestWithParam<zero_fill_note_case> {};

TEST_P(ZeroFillNote, IsWrittenWhereTheTagCannotTell)
{
    const zero_fill_note_case& c = GetParam();
    uint8_t bytes[PAGE_RECORD_SIZE] = {};
    const page_record r = {bytes, bytes + PAGE_DATA_SIZE, c.block * PAGES_PER_BLOCK, c.block, 0};
    found_layout layout;
    note_zero_page_fill(layout, r, c.kind, c.status);
    const std::string note = layout.notes.empty() ? "" : describe_note(layout.notes.front());
    EXPECT_EQ(note.substr(0, c.note.size()), c.note);
}

const zero_fill_note_case zero_fill_note_cases[] = {
    {.name = "block_0", .block = 0, .kind = page_kind::fill,
     .status = status_expectation::unknown, .note = "block 0 page 0 is all zero and fill pages"},
    {.name = "wrapped_tag", .block = 65536, .kind = page_kind::fill,
     .status = status_expectation::unmarked,
     .note = "block 65536 page 0 is all zero and fill pages follow: the page tag wraps"},
    {.name = "tagged_block", .block = 65535, .kind = page_kind::fill,
     .status = status_expectation::unknown, .note = ""},
    {.name = "marked_data_tells", .block = 0, .kind = page_kind::fill,
     .status = status_expectation::marked, .note = ""},
    {.name = "read_as_data", .block = 131072, .kind = page_kind::data,
     .status = status_expectation::unknown, .note = ""},
};

INSTANTIATE_TEST_SUITE_P(Check, ZeroFillNote, ::testing::ValuesIn(zero_fill_note_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
