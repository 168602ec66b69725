// Black-box tests of the converter: each case runs the built binary and
// compares the image, the standard output, the error stream and the status.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "image_model.h"
#include "tool_runner.h"

namespace {

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
    int error_bits;
    bool bad_block_table;
    int32_t header_size;           // used by H records
    std::vector<int32_t> bad_list; // the listed blocks, in slot order
};

void PrintTo(const layout_case& c, std::ostream* os)
{
    *os << c.name;
}

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
    {"empty", 0, {}, "", 0, false, 0, {}},
    {"empty_fill", 0, {"-f"}, "F64", 0, false, 0, {}},
    {"empty_header", 0, {"-h"}, "", 0, false, 0, {}},
    {"empty_header_fill", 0, {"-h", "-f"}, "F64", 0, false, 0, {}},
    {"one_byte", 1, {}, "D", 0, false, 0, {}},
    {"one_page", PAGE, {}, "D", 0, false, 0, {}},
    {"page_and_byte", PAGE + 1, {}, "D2", 0, false, 0, {}},
    {"page_and_byte_fill", PAGE + 1, {"-f"}, "D2 F62", 0, false, 0, {}},
    {"page_less_byte_fill", PAGE - 1, {"-f"}, "D F63", 0, false, 0, {}},
    {"block_less_byte", 64 * PAGE - 1, {"-f"}, "D64", 0, false, 0, {}},
    {"block", 64 * PAGE, {}, "D64", 0, false, 0, {}},
    {"block_fill", 64 * PAGE, {"-f"}, "D64 F64", 0, false, 0, {}},
    {"block_and_byte_fill", 64 * PAGE + 1, {"-f"}, "D65 F63", 0, false, 0, {}},
    {"header", 3, {"-h"}, "H D", 0, false, SIZE, {}},
    {"header_block", 64 * PAGE, {"-h"}, "H D63 H D", 0, false, SIZE, {}},
    {"header_block_fill", 64 * PAGE, {"-f", "-h"}, "H D63 H D F62", 0, false, SIZE, {}},
    {"header_63_pages_fill", 63 * PAGE, {"-h", "-f"}, "H D63 F64", 0, false, SIZE, {}},
    {"header_forced", 5000, {"-h", "-F", "-5"}, "H D3", 0, false, -5, {}},
    {"header_forced_zero", 5000, {"-F", "0", "-h"}, "H D3", 0, false, SIZE, {}},
    {"header_forced_huge", 10, {"-h", "-F", "99999999999"}, "H D", 0, false, 2147483647, {}},
    {"forced_without_header", 5000, {"-F", "100"}, "D3", 0, false, 0, {}},
    {"table", 130 * PAGE + 7, {"-b"}, "D131", 0, true, 0, {}},
    {"table_header", 70 * PAGE, {"-b", "-h"}, "H D63 H D7", 0, true, SIZE, {}},
    {"bad_block_0", 3, {"-B", "0"}, "B D", 0, true, 0, {0}},
    {"bad_blocks_0_1", 5000, {"-B", "1", "0"}, "B B D3", 0, true, 0, {1, 0}},
    {"bad_block_not_reached", 3, {"-B", "5"}, "D", 0, true, 0, {5}},
    {"bad_block_after_data", 65 * PAGE, {"-B", "1"}, "D64 B D", 0, true, 0, {1}},
    {"bad_block_fill_not_skipped", 64 * PAGE, {"-B", "1", "-f"}, "D64 F64", 0, true, 0, {1}},
    {"bad_block_header", 64 * PAGE, {"-h", "-B", "1"}, "H D63 B H D", 0, true, SIZE, {1}},
    {"bad_block_no_digits", 3, {"-B", "x"}, "B D", 0, true, 0, {0}},
    {"bad_block_two_lists", 200 * PAGE, {"-B", "2", "-f", "-B", "1"}, "D64 B B D136 F56",
     0, true, 0, {2, 1}},
    {"bad_block_list_empty", 3, {"-B"}, "D", 0, true, 0, {}},
    {"sixteen_bad_blocks", 3,
     {"-B", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30", "31", "32",
      "33", "34", "0"},
     "B D", 0, true, 0, {20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 0}},
    {"single_errors", 100 * PAGE + 9, {"-s", "-f"}, "D101 F27", 1, false, 0, {}},
    {"double_errors", 100 * PAGE, {"-d"}, "D100", 2, false, 0, {}},
    {"later_error_option_wins", 3 * PAGE, {"-d", "-s"}, "D3", 1, false, 0, {}},
    {"later_error_option_wins_2", 3 * PAGE, {"-s", "-d"}, "D3", 2, false, 0, {}},
    {"errors_skip_header_and_bad", 70 * PAGE, {"-d", "-h", "-B", "0", "-b"},
     "B H D63 H D7", 2, true, SIZE, {0}},
    {"everything", 200 * PAGE + 100, {"-h", "-b", "-B", "2", "-f", "-d"},
     "H D63 H D63 B H D63 H D12 F51", 2, true, SIZE, {2}},
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
