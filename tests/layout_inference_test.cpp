// The layout worked out from sound images that leave it open for a while:
// images built by the independent image model must read back with no
// finding, the layout line that names how they were made, a note exactly
// where the image leaves a choice, and the input recovered.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "report_words.h"
#include "header_size_verdict.h"
#include "image_check.h"
#include "image_model.h"
#include "memory_check.h"
#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

constexpr size_t PAGE = 2048;

// The input of a case: random pages, or pages of zeros, or a first page
// that holds four bytes and zeros like a header page.
enum class input_kind { random, zeros, header_like };

struct inference_case {
    const char* name;
    const char* made;                     // layout of the image, for the model
    size_t input_size;
    input_kind input = input_kind::random;
    bool marked = false;                  // made with -b
    std::vector<int32_t> bad_list = {};   // made with -B
    layout_claim claim = {};              // what the command line claims
    std::string layout;                   // the layout line expected
    int notes = 0;                        // notes expected
};

// The input bytes of a case.
std::string input_of(const inference_case& c)
{
    if (c.input == input_kind::random)
        return random_bytes(c.input_size, 21);
    std::string input(c.input_size, '\0');
    if (c.input == input_kind::header_like)
        input.replace(0, 3, "\x07\x01\x02", 3);
    return input;
}

class Inference : public ::testing::TestWithParam<inference_case> {};

TEST_P(Inference, ReadsTheLayoutFromTheImage)
{
    const inference_case& c = GetParam();
    model_settings settings;
    settings.input = input_of(c);
    settings.bad_block_table = c.marked || !c.bad_list.empty();
    settings.header_size = static_cast<int32_t>(c.input_size);
    settings.bad_list = c.bad_list;
    const std::string image = model_from_layout(c.made, settings).image;
    const memory_check outcome = check_in_memory(image, c.claim);
    EXPECT_EQ(outcome.read_error, 0);
    EXPECT_EQ(outcome.findings, std::vector<std::string>{});
    EXPECT_EQ(describe_layout(outcome.summary.layout), c.layout);
    EXPECT_EQ(outcome.summary.layout.notes.size(), static_cast<size_t>(c.notes));
    const std::string padded =
        settings.input + std::string((PAGE - c.input_size % PAGE) % PAGE, '\0');
    EXPECT_TRUE(outcome.recovered == padded) << outcome.recovered.size();
}

const inference_case inference_cases[] = {
    {.name = "empty", .made = "", .input_size = 0, .layout = "layout: no options, input 0 bytes"},
    {.name = "empty_fill", .made = "F64", .input_size = 0,
     .layout = "layout: -f, input size unknown", .notes = 1},
    // Zero pages without -b look like bad-block pages until a page that is
    // not one, or the end, tells.
    {.name = "zero_block_alone", .made = "D64", .input_size = 64 * PAGE,
     .input = input_kind::zeros, .layout = "layout: no options, input size unknown"},
    {.name = "zero_blocks_then_data", .made = "D130", .input_size = 130 * PAGE,
     .input = input_kind::zeros, .layout = "layout: no options, input size unknown"},
    {.name = "zero_blocks_past_the_window", .made = "D1200", .input_size = 1200 * PAGE,
     .input = input_kind::zeros, .layout = "layout: no options, input size unknown"},
    {.name = "bad_block_0_then_zeros", .made = "B D70", .input_size = 70 * PAGE,
     .input = input_kind::zeros, .bad_list = {0},
     .layout = "layout: -b -B 0, input size unknown"},
    {.name = "sixteen_bad_blocks", .made = "B B B B B B B B B B B B B B B B D3",
     .input_size = 3 * PAGE,
     .bad_list = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
     .layout = "layout: -b -B 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15, input size unknown"},
    {.name = "header_and_bad_block_0", .made = "B H D63 H D", .input_size = 64 * PAGE,
     .bad_list = {0}, .layout = "layout: -h -b -B 0, input 131072 bytes"},
    {.name = "header_unmarked_one_block", .made = "H D3", .input_size = 3 * PAGE,
     .layout = "layout: -h, input 6144 bytes"},
    // A marked header block alone: page 1 cannot tell, so a note says which
    // reading was taken.
    {.name = "header_marked_one_block", .made = "H D3 F60", .input_size = 3 * PAGE,
     .marked = true, .layout = "layout: -h -b -f, input 6144 bytes", .notes = 1},
    {.name = "header_marked_one_block_claimed", .made = "H D3", .input_size = 3 * PAGE,
     .marked = true, .claim = {.header = header_pages::present},
     .layout = "layout: -h -b, input 6144 bytes"},
    {.name = "header_marked_two_blocks", .made = "H D63 H D", .input_size = 64 * PAGE,
     .marked = true, .layout = "layout: -h -b, input 131072 bytes"},
    {.name = "marked_data_like_a_header", .made = "D2", .input_size = 2 * PAGE,
     .input = input_kind::header_like, .marked = true,
     .claim = {.header = header_pages::absent}, .layout = "layout: -b, input size unknown"},
    {.name = "marked_data_like_a_header_alone", .made = "D", .input_size = 4,
     .input = input_kind::header_like, .marked = true,
     .layout = "layout: -b, input size unknown", .notes = 1},
    {.name = "marked_data_like_a_header_two_blocks", .made = "D65", .input_size = 65 * PAGE,
     .input = input_kind::header_like, .marked = true,
     .layout = "layout: -b, input size unknown"},
    {.name = "header_block_then_fill_block", .made = "H D63 F64", .input_size = 63 * PAGE,
     .marked = true, .layout = "layout: -h -b -f, input 129024 bytes", .notes = 1},
};

INSTANTIATE_TEST_SUITE_P(Layout, Inference, ::testing::ValuesIn(inference_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// The input size that header pages give: the low 32 bits stored, the rest
// from the data pages, past 4 GiB too.
struct size_case {
    const char* name;
    uint32_t header_size;
    uint64_t data_pages;
    std::optional<uint64_t> fitting;  // the size when the data pages hold it
    std::optional<uint64_t> past;     // the size when data pages were lost
    const char* note = nullptr;       // the note on it when the file was cut
};

constexpr uint64_t GIB4 = uint64_t{1} << 32;

const size_case size_cases[] = {
    {"one_byte", 1, 1, 1, std::nullopt},
    {"whole_page", 2048, 1, 2048, std::nullopt},
    {"a_page_short", 2048, 2, std::nullopt, std::nullopt},
    {"lost_pages", 300000, 100, std::nullopt, 300000},
    {"past_4_gib", 105032704, 2148438, 4400000000, std::nullopt},
    {"exactly_4_gib", 0, GIB4 / 2048, GIB4, std::nullopt},
    {"past_4_gib_pages_lost", 105032704, 2148000, std::nullopt, 4400000000,
     "the header pages hold the low 32 bits of the input size: with data pages missing, "
     "4400000000 bytes is the smallest size that fits, and every 4 GiB more fits as well: "
     "read as the smallest"},
    // Under 4 GiB of data pages a size below them fits no input (or -F
    // stored it): a misfit, not 4 GiB lost.
    {"lost_across_4_gib", 105032704, 2000000, std::nullopt, std::nullopt},
    {"past_8_gib", 7, 2 * GIB4 / 2048 + 1, 2 * GIB4 + 7, std::nullopt},
    {"below_the_pages_before_4_gib", 5, 100, std::nullopt, std::nullopt},
};

class InputSize : public ::testing::TestWithParam<size_case> {};

TEST_P(InputSize, FromTheHeaderSizeAndTheDataPages)
{
    const size_case& c = GetParam();
    EXPECT_EQ(input_size_fitting(c.header_size, c.data_pages), c.fitting);
    if (!c.fitting) {
        EXPECT_EQ(input_size_past(c.header_size, c.data_pages), c.past);
    }
    if (!c.past)
        return;
    // A file cut after the data pages: the smallest size is taken, with a
    // note where another 4 GiB fits as well.
    checker_state checker;
    checker.header_size = c.header_size;
    checker.data_pages = c.data_pages;
    check_summary summary;
    settle_header_size(checker, page_loss::cut, {}, {}, summary);
    EXPECT_EQ(summary.layout.size_said, c.past);
    std::vector<std::string> notes;
    for (const layout_note& note : summary.layout.notes)
        notes.push_back(describe_note(note));
    EXPECT_EQ(notes, c.note ? std::vector<std::string>{c.note} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Layout, InputSize, ::testing::ValuesIn(size_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
