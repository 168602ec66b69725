// Black-box tests of the converter: each case runs the built binary and
// compares the image, the standard output, the error stream and the status.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "image_model.h"
#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string binary = PAGESMITH_BINARY;

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s.push_back(static_cast<char>(b));
    return s;
}

std::string zeros(size_t n)
{
    return std::string(n, '\0');
}

// Runs pagesmith on `input` with `options` in a scratch directory.
struct conversion {
    scratch_dir dir;
    std::string in = dir.file("in.bin");
    std::string out = dir.file("out.img");
    tool_result result;
    std::string image;

    conversion(const std::string& input, const std::vector<std::string>& options)
    {
        write_file(in, input);
        std::vector<std::string> argv = {binary, in, out};
        argv.insert(argv.end(), options.begin(), options.end());
        result = run_tool(argv);
        image = read_file(out);
    }
    std::string names() const { return in + "\n" + out + "\n"; }
};

constexpr size_t PAGE = 2048;

// One conversion checked against a layout stated by hand.
struct layout_case {
    const char* name;
    size_t input_size;
    std::vector<std::string> options;
    const char* layout;
    int error_bits = 0;
    bool bad_block_table = false;
    int32_t header_size = 0;             // used by H records
    std::vector<int32_t> bad_list = {};  // the listed blocks, in slot order
};

class Layout : public ::testing::TestWithParam<layout_case> {};

TEST_P(Layout, ImageTraceAndDiagnosticsAreExact)
{
    const layout_case& c = GetParam();
    const std::string input = random_bytes(c.input_size, static_cast<unsigned>(c.input_size));
    conversion run(input, c.options);

    model_settings settings;
    settings.input = input;
    settings.error_bits = c.error_bits;
    settings.bad_block_table = c.bad_block_table;
    settings.header_size = c.header_size == -999 ? static_cast<int32_t>(c.input_size)
                                                 : c.header_size;
    settings.bad_list = c.bad_list;
    srandom(1);  // the converter's generator starts unseeded, as seed 1
    const expected_run expected = model_from_layout(c.layout, settings);

    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.err, expected.diagnostics);
    EXPECT_EQ(first_difference(run.result.out, run.names() + expected.trace), "");
    EXPECT_EQ(run.image.size(), expected.image.size());
    EXPECT_TRUE(run.image == expected.image) << "image bytes differ";
}

constexpr int32_t SIZE = -999;  // header size: the input's own size

const layout_case layout_cases[] = {
    {.name = "empty", .input_size = 0, .options = {}, .layout = ""},
    {.name = "empty_fill", .input_size = 0, .options = {"-f"}, .layout = "F64"},
    {.name = "empty_header", .input_size = 0, .options = {"-h"}, .layout = ""},
    {.name = "empty_header_fill", .input_size = 0, .options = {"-h", "-f"}, .layout = "F64"},
    {.name = "one_byte", .input_size = 1, .options = {}, .layout = "D"},
    {.name = "one_page", .input_size = PAGE, .options = {}, .layout = "D"},
    {.name = "page_and_byte", .input_size = PAGE + 1, .options = {}, .layout = "D2"},
    {.name = "page_and_byte_fill", .input_size = PAGE + 1, .options = {"-f"}, .layout = "D2 F62"},
    {.name = "page_less_byte_fill", .input_size = PAGE - 1, .options = {"-f"}, .layout = "D F63"},
    {.name = "block_less_byte", .input_size = 64 * PAGE - 1, .options = {"-f"}, .layout = "D64"},
    {.name = "block", .input_size = 64 * PAGE, .options = {}, .layout = "D64"},
    {.name = "block_fill", .input_size = 64 * PAGE, .options = {"-f"}, .layout = "D64 F64"},
    {.name = "block_and_byte_fill", .input_size = 64 * PAGE + 1, .options = {"-f"},
     .layout = "D65 F63"},
    {.name = "header", .input_size = 3, .options = {"-h"}, .layout = "H D", .header_size = SIZE},
    {.name = "header_block", .input_size = 64 * PAGE, .options = {"-h"}, .layout = "H D63 H D",
     .header_size = SIZE},
    {.name = "header_block_fill", .input_size = 64 * PAGE, .options = {"-f", "-h"},
     .layout = "H D63 H D F62", .header_size = SIZE},
    {.name = "header_63_pages_fill", .input_size = 63 * PAGE, .options = {"-h", "-f"},
     .layout = "H D63 F64", .header_size = SIZE},
    {.name = "header_forced", .input_size = 5000, .options = {"-h", "-F", "-5"}, .layout = "H D3",
     .header_size = -5},
    {.name = "header_forced_zero", .input_size = 5000, .options = {"-F", "0", "-h"},
     .layout = "H D3", .header_size = SIZE},
    {.name = "header_forced_huge", .input_size = 10, .options = {"-h", "-F", "99999999999"},
     .layout = "H D", .header_size = 2147483647},
    {.name = "forced_without_header", .input_size = 5000, .options = {"-F", "100"},
     .layout = "D3"},
    {.name = "table", .input_size = 130 * PAGE + 7, .options = {"-b"}, .layout = "D131",
     .bad_block_table = true},
    {.name = "table_header", .input_size = 70 * PAGE, .options = {"-b", "-h"},
     .layout = "H D63 H D7", .bad_block_table = true, .header_size = SIZE},
    {.name = "bad_block_0", .input_size = 3, .options = {"-B", "0"}, .layout = "B D",
     .bad_block_table = true, .bad_list = {0}},
    {.name = "bad_blocks_0_1", .input_size = 5000, .options = {"-B", "1", "0"}, .layout = "B B D3",
     .bad_block_table = true, .bad_list = {1, 0}},
    {.name = "bad_block_not_reached", .input_size = 3, .options = {"-B", "5"}, .layout = "D",
     .bad_block_table = true, .bad_list = {5}},
    {.name = "bad_block_after_data", .input_size = 65 * PAGE, .options = {"-B", "1"},
     .layout = "D64 B D", .bad_block_table = true, .bad_list = {1}},
    {.name = "bad_block_fill_not_skipped", .input_size = 64 * PAGE, .options = {"-B", "1", "-f"},
     .layout = "D64 F64", .bad_block_table = true, .bad_list = {1}},
    {.name = "bad_block_header", .input_size = 64 * PAGE, .options = {"-h", "-B", "1"},
     .layout = "H D63 B H D", .bad_block_table = true, .header_size = SIZE, .bad_list = {1}},
    {.name = "bad_block_no_digits", .input_size = 3, .options = {"-B", "x"}, .layout = "B D",
     .bad_block_table = true, .bad_list = {0}},
    {.name = "bad_block_two_lists", .input_size = 200 * PAGE,
     .options = {"-B", "2", "-f", "-B", "1"}, .layout = "D64 B B D136 F56",
     .bad_block_table = true, .bad_list = {2, 1}},
    {.name = "bad_block_list_empty", .input_size = 3, .options = {"-B"}, .layout = "D",
     .bad_block_table = true},
    {.name = "sixteen_bad_blocks", .input_size = 3,
     .options = {"-B", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30", "31",
                 "32", "33", "34", "0"},
     .layout = "B D", .bad_block_table = true,
     .bad_list = {20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 0}},
    // Block numbers of three digits and more, in the trace and the error
    // stream.
    {.name = "past_block_100", .input_size = 101 * 64 * PAGE + 3, .options = {"-B", "100"},
     .layout = "D6400 B D65", .bad_block_table = true, .bad_list = {100}},
    {.name = "single_errors", .input_size = 100 * PAGE + 9, .options = {"-s", "-f"},
     .layout = "D101 F27", .error_bits = 1},
    {.name = "double_errors", .input_size = 100 * PAGE, .options = {"-d"}, .layout = "D100",
     .error_bits = 2},
    {.name = "later_error_option_wins", .input_size = 3 * PAGE, .options = {"-d", "-s"},
     .layout = "D3", .error_bits = 1},
    {.name = "later_error_option_wins_2", .input_size = 3 * PAGE, .options = {"-s", "-d"},
     .layout = "D3", .error_bits = 2},
    {.name = "errors_skip_header_and_bad", .input_size = 70 * PAGE,
     .options = {"-d", "-h", "-B", "0", "-b"}, .layout = "B H D63 H D7", .error_bits = 2,
     .bad_block_table = true, .header_size = SIZE, .bad_list = {0}},
    {.name = "everything", .input_size = 200 * PAGE + 100,
     .options = {"-h", "-b", "-B", "2", "-f", "-d"}, .layout = "H D63 H D63 B H D63 H D12 F51",
     .error_bits = 2, .bad_block_table = true, .header_size = SIZE, .bad_list = {2}},
};

INSTANTIATE_TEST_SUITE_P(Converter, Layout, ::testing::ValuesIn(layout_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The worked example, byte for byte as written out by hand.
TEST(WorkedExample, AbcWithHeaderAndTable)
{
    conversion run("abc", {"-h", "-b"});
    std::string header = bytes({3, 0, 0, 0}) + zeros(2044);
    header += bytes({0xff, 0xff, 0xff, 0xff}) + zeros(44) + bytes({0, 1, 0, 1}) + zeros(12);
    std::string data = "abc" + zeros(2045);
    data += bytes({0xff, 0xff, 0xff, 0xff, 1, 0, 0, 0}) + zeros(40) +
            bytes({0, 0x0b, 0, 0x0b}) + zeros(12);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_TRUE(run.image == header + data);
    EXPECT_EQ(run.result.out, run.names() +
                                  "write_header: page -1 spare[12] = 0x01000100\n"
                                  "write_header: page -1 spare[13] = 0x00000000\n"
                                  "write_header: page -1 spare[14] = 0x00000000\n"
                                  "write_header: page -1 spare[15] = 0x00000000\n"
                                  "read_data: block 0 page 1 spare[12] = 0x0b000b00\n"
                                  "read_data: block 0 page 1 spare[13] = 0x00000000\n"
                                  "read_data: block 0 page 1 spare[14] = 0x00000000\n"
                                  "read_data: block 0 page 1 spare[15] = 0x00000000\n"
                                  "read_data: block 0 page 1 spare[0] = 0xffffffff\n");
    EXPECT_EQ(run.result.err, "Found eof on input 3 read\n");
}

TEST(WorkedExample, AbcWithoutOptions)
{
    conversion run("abc", {});
    const std::string expected =
        "abc" + zeros(2045) + zeros(48) + bytes({0, 0x0b, 0, 0x0b}) + zeros(12);
    EXPECT_EQ(run.result.status, 0);
    EXPECT_TRUE(run.image == expected);
    EXPECT_EQ(run.result.out, run.names() +
                                  "read_data: block 0 page 0 spare[12] = 0x0b000b00\n"
                                  "read_data: block 0 page 0 spare[13] = 0x00000000\n"
                                  "read_data: block 0 page 0 spare[14] = 0x00000000\n"
                                  "read_data: block 0 page 0 spare[15] = 0x00000000\n");
    EXPECT_EQ(run.result.err, "Found eof on input 3 read\n");
}

TEST(WorkedExample, EmptyInputWithFillIsZeroRecords)
{
    conversion run("", {"-f"});
    EXPECT_EQ(run.result.status, 0);
    EXPECT_TRUE(run.image == zeros(64 * (2048 + 64)));
    EXPECT_EQ(run.result.err, "");
    size_t lines = 0;
    for (size_t at = 0; (at = run.result.out.find(" = 0x00000000\n", at)) != std::string::npos; ++at)
        ++lines;
    EXPECT_EQ(lines, 256u);
}

TEST(WorkedExample, BadBlockZeroMovesDataToBlockOne)
{
    conversion run("abc", {"-B", "0"});
    ASSERT_EQ(run.image.size(), 65u * 2112u);
    // Tag of the first data page: page 0 of block 1, bytes 00 00 01 00.
    EXPECT_EQ(run.image.substr(64 * 2112 + 2048 + 4, 4), bytes({0, 0, 1, 0}));
}

}  // namespace
