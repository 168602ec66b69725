// The short way through the checks of a record: it must take a record only
// where the full checks find a data page and nothing else, leave the state
// as they do, and take the sound data pages that nearly every image is
// made of.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "case_names.h"
#include "ecc.h"
#include "record_check.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

// What is done to a sound data page, or to the state before it.
enum class change {
    none,
    tag_bit,          // one bit of the page tag flipped
    status_bit,       // one bit of the status word flipped
    zero_word,        // one bit set in a spare word kept zero
    data_bit,         // one data bit flipped: the sector is corrected
    code_bit,         // one bit of an ECC word flipped
    after_fill,       // the record before is a fill page
    after_header,     // the record before is a header page
    status_unknown,   // no data page has told the status word yet
    marked,           // data pages are marked; the page carries the mark
    marked_missing,   // data pages are marked; this one is not
    header_position,  // header pages are read: page 0 holds one
    bad_block,        // the block is a bad block of the layout
    input_complete,   // the data pages before hold all the header pages tell
};

struct sound_case {
    const char* name;
    uint64_t index;   // image record
    change what;
    bool taken;       // the short way takes it
};

// A sound data page at `index`, its data random, with the status word
// that `marking` gives.
void make_data_page(uint8_t* bytes, uint64_t index, block_marking marking)
{
    const std::string data = random_bytes(PAGE_DATA_SIZE, static_cast<unsigned>(index) + 5);
    std::memcpy(bytes, data.data(), PAGE_DATA_SIZE);
    uint8_t* spare = bytes + PAGE_DATA_SIZE;
    std::memset(spare, 0, PAGE_SPARE_SIZE);
    const int64_t page = static_cast<int64_t>(index % PAGES_PER_BLOCK);
    set_spare_word(spare, SPARE_TAG_WORD, tag_of(page_kind::data, index / PAGES_PER_BLOCK, page));
    set_spare_word(spare, SPARE_STATUS_WORD, status_word_of(page_kind::data, page, marking));
    for (int s = 0; s < SECTORS_PER_PAGE; ++s)
        set_spare_word(spare, SPARE_ECC_WORD + s, computeECC(bytes + s * SECTOR_SIZE));
}

// The state after a data page at the record before `index`.
checker_state state_before(uint64_t index)
{
    checker_state state;
    state.status = status_expectation::unmarked;
    state.have_previous = index > 0;
    state.previous_page = static_cast<int>((index + PAGES_PER_BLOCK - 1) % PAGES_PER_BLOCK);
    state.data_pages = index;
    state.end = index;
    return state;
}

// Every field of the state, for comparison.
std::string describe(const checker_state& s)
{
    return std::to_string(static_cast<int>(s.status)) + " " + std::to_string(s.have_previous) +
           " " + std::to_string(static_cast<int>(s.previous)) + " " +
           std::to_string(s.previous_page) + " " + std::to_string(s.header_size.value_or(0)) +
           " " + std::to_string(s.header_size.has_value()) + " " +
           std::to_string(s.header_pages_disagree) + " " + std::to_string(s.data_pages) + " " +
           std::to_string(s.last_data_block) + " " + std::to_string(s.records_lost) + " " +
           std::to_string(s.end);
}

class SoundData : public ::testing::TestWithParam<sound_case> {};

TEST_P(SoundData, TakenOnlyWhereTheFullChecksFindNothing)
{
    const sound_case& c = GetParam();
    checker_state state = state_before(c.index);
    record_context context;
    block_marking marking = block_marking::off;
    uint8_t bytes[PAGE_RECORD_SIZE];
    switch (c.what) {
    case change::after_fill: state.previous = page_kind::fill; break;
    case change::after_header: state.previous = page_kind::header; break;
    case change::status_unknown: state.status = status_expectation::unknown; break;
    case change::marked: state.status = status_expectation::marked; marking = block_marking::on; break;
    case change::marked_missing: state.status = status_expectation::marked; break;
    case change::header_position: context.header = header_pages::present; break;
    case change::bad_block: context.block = block_state::bad; break;
    case change::input_complete:
        context.header = header_pages::present;
        state.header_size = static_cast<uint32_t>(c.index * PAGE_DATA_SIZE);
        break;
    default: break;
    }
    make_data_page(bytes, c.index, marking);
    uint8_t* spare = bytes + PAGE_DATA_SIZE;
    if (c.what == change::tag_bit)
        spare[4 * SPARE_TAG_WORD] ^= 4;
    if (c.what == change::status_bit)
        spare[4 * SPARE_STATUS_WORD + 1] ^= 1;
    if (c.what == change::zero_word)
        spare[4 * FIRST_ZERO_SPARE_WORD + 9] ^= 0x10;
    if (c.what == change::data_bit)
        bytes[700] ^= 2;
    if (c.what == change::code_bit)
        spare[4 * (SPARE_ECC_WORD + 3)] ^= 1;
    const page_record r = {bytes, spare, c.index, c.index / PAGES_PER_BLOCK,
                           static_cast<int>(c.index % PAGES_PER_BLOCK), c.index};
    const page_decoding d = decode_page(r);

    checker_state short_way = state;
    const bool taken = check_sound_data(short_way, context, r, d);
    checker_state full_way = state;
    page_findings found;
    const page_kind kind = check_record(full_way, context, r, d, look_ahead{}, found);
    EXPECT_EQ(taken, c.taken);
    if (taken) {
        EXPECT_EQ(kind, page_kind::data);
        EXPECT_EQ(found.count, 0);
        EXPECT_EQ(describe(short_way), describe(full_way));
    } else {
        EXPECT_EQ(describe(short_way), describe(state));
    }
}

const sound_case sound_cases[] = {
    {.name = "inside_a_block", .index = 70, .what = change::none, .taken = true},
    {.name = "block_start", .index = 128, .what = change::none, .taken = true},
    {.name = "first_record", .index = 1, .what = change::none, .taken = true},
    {.name = "tag_zero_at_record_0", .index = 0, .what = change::none, .taken = false},
    {.name = "tag_bit", .index = 70, .what = change::tag_bit, .taken = false},
    {.name = "status_bit", .index = 70, .what = change::status_bit, .taken = false},
    {.name = "zero_word", .index = 70, .what = change::zero_word, .taken = false},
    {.name = "data_bit", .index = 70, .what = change::data_bit, .taken = false},
    {.name = "code_bit", .index = 70, .what = change::code_bit, .taken = false},
    {.name = "after_fill", .index = 70, .what = change::after_fill, .taken = false},
    {.name = "after_header_inside", .index = 65, .what = change::after_header, .taken = true},
    {.name = "after_header_block_start", .index = 128, .what = change::after_header,
     .taken = false},
    {.name = "status_unknown_page_1", .index = 65, .what = change::status_unknown,
     .taken = false},
    {.name = "status_unknown_page_2", .index = 66, .what = change::status_unknown,
     .taken = true},
    {.name = "marked_page_0", .index = 128, .what = change::marked, .taken = true},
    {.name = "marked_page_1_missing", .index = 129, .what = change::marked_missing,
     .taken = false},
    {.name = "marked_page_2", .index = 130, .what = change::marked_missing, .taken = true},
    {.name = "header_position", .index = 128, .what = change::header_position, .taken = false},
    {.name = "after_header_position", .index = 129, .what = change::header_position,
     .taken = true},
    {.name = "bad_block", .index = 70, .what = change::bad_block, .taken = false},
    {.name = "input_complete", .index = 70, .what = change::input_complete, .taken = false},
};

INSTANTIATE_TEST_SUITE_P(Check, SoundData, ::testing::ValuesIn(sound_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// One flipped bit of a data page's spare area, and the distances the
// record's view then gives from a data page at its place: each word counts
// in its own distance, the first and the last zero words included.
struct distance_case {
    const char* name;
    int word;         // the spare word with the flipped bit; -1: none
    int tag_bits;     // tag_bits_from a data page
    int status_bits;  // status_bits_from a data page
    int zero_bits;    // zero_word_bits
};

const distance_case distance_cases[] = {
    {"none", -1, 0, 0, 0},
    {"tag", SPARE_TAG_WORD, 1, 0, 0},
    {"status_word", SPARE_STATUS_WORD, 0, 1, 0},
    {"first_zero_word", FIRST_ZERO_SPARE_WORD, 0, 0, 1},
    {"last_zero_word", END_ZERO_SPARE_WORD - 1, 0, 0, 1},
    {"ecc_word", SPARE_ECC_WORD + 2, 0, 0, 0},
};

class Distance : public ::testing::TestWithParam<distance_case> {};

TEST_P(Distance, EachWordCountsInItsOwnDistance)
{
    const distance_case& c = GetParam();
    uint8_t bytes[PAGE_RECORD_SIZE];
    make_data_page(bytes, 70, block_marking::on);
    if (c.word >= 0)
        bytes[PAGE_DATA_SIZE + 4 * c.word + 1] ^= 8;
    const record_view view = record_at(bytes);
    const int got[] = {view.tag_bits_from(page_kind::data, 1, 6),
                       view.status_bits_from(page_kind::data, 6, block_marking::on),
                       view.zero_word_bits()};
    const int want[] = {c.tag_bits, c.status_bits, c.zero_bits};
    EXPECT_TRUE(std::equal(got, got + 3, want)) << got[0] << " " << got[1] << " " << got[2];
}

INSTANTIATE_TEST_SUITE_P(View, Distance, ::testing::ValuesIn(distance_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
