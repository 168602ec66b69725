// pagecheck's command line, its findings on damaged and mismatched images,
// and the pages that only their position tells apart.

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ecc.h"
#include "tool_runner.h"

namespace {

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

constexpr size_t PAGE = 2048;
constexpr size_t RECORD = 2048 + 64;

// Makes an image of `input` with pagesmith options in `dir`; returns its path.
std::string make_image(const scratch_dir& dir, const std::string& input,
                       const std::vector<std::string>& options)
{
    write_file(dir.file("in.bin"), input);
    std::vector<std::string> argv = {pagesmith, dir.file("in.bin"), dir.file("image")};
    argv.insert(argv.end(), options.begin(), options.end());
    EXPECT_EQ(run_tool(argv).status, 0);
    return dir.file("image");
}

// Byte `at` of spare word `word` of record `index`.
size_t spare_byte(size_t index, int word, int at = 0)
{
    return index * RECORD + PAGE + static_cast<size_t>(4 * word + at);
}

// Last line of a report (the summary).
std::string last_line(const std::string& text)
{
    const size_t end = text.size() - (text.empty() || text.back() != '\n' ? 0 : 1);
    const size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
}

// ---- command line: usage errors and unreadable or unwritable files end
// with status 2 and a message starting "pagecheck: ".

struct usage_case {
    const char* name;
    std::vector<std::string> args;  // "IMAGE" stands for a valid image
    std::string message;            // first line on the error stream
};

void PrintTo(const usage_case& c, std::ostream* os)
{
    *os << c.name;
}

class Usage : public ::testing::TestWithParam<usage_case> {};

TEST_P(Usage, EndsWithStatusTwo)
{
    const usage_case& c = GetParam();
    scratch_dir dir;
    const std::string image = make_image(dir, "abc", {});
    std::vector<std::string> argv = {pagecheck};
    for (const std::string& a : c.args)
        argv.push_back(a == "IMAGE" ? image : a);
    const tool_result r = run_tool(argv);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), c.message);
}

const std::string seventeen = "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16";

const usage_case usage_cases[] = {
    {"no_image", {}, "pagecheck: no image given\n"},
    {"unknown_short", {"-x", "IMAGE"}, "pagecheck: unknown option '-x'\n"},
    {"unknown_long", {"--frobnicate", "IMAGE"}, "pagecheck: unknown option '--frobnicate'\n"},
    {"missing_value", {"IMAGE", "-o"}, "pagecheck: option '-o' needs a value\n"},
    {"missing_value_last", {"-o"}, "pagecheck: option '-o' needs a value\n"},
    {"bad_list_letter", {"-B", "1,x", "IMAGE"}, "pagecheck: bad block number in bad-block list '1,x'\n"},
    {"bad_list_empty_item", {"-B", "1,,2", "IMAGE"},
     "pagecheck: empty block number in bad-block list '1,,2'\n"},
    {"bad_list_negative", {"--bad-blocks=-1", "IMAGE"},
     "pagecheck: bad block number in bad-block list '-1'\n"},
    {"bad_list_too_large", {"-B", "2147483648", "IMAGE"},
     "pagecheck: block number too large in bad-block list '2147483648'\n"},
    {"bad_list_too_long", {"-B", seventeen, "IMAGE"}, "pagecheck: more than 16 bad blocks\n"},
    {"missing_image", {"/nonexistent/image"}, "pagecheck: /nonexistent/image: No such file or directory\n"},
    {"directory_image", {"/tmp"}, "pagecheck: /tmp: Is a directory\n"},
    {"output_unwritable", {"-o", "/nonexistent/out", "IMAGE"},
     "pagecheck: /nonexistent/out: No such file or directory\n"},
    {"output_full", {"-o", "/dev/full", "IMAGE"}, "pagecheck: /dev/full: No space left on device\n"},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, Usage, ::testing::ValuesIn(usage_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, TwoImagesAreRefused)
{
    const tool_result r = run_tool({pagecheck, "a", "b"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("pagecheck: unexpected argument 'b'", 0), 0u) << r.err;
}

TEST(CommandLine, HelpAndVersionGoToStandardOutput)
{
    const tool_result help = run_tool({pagecheck, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: pagecheck [-H] [-B LIST] [-o FILE] [-q] IMAGE\n", 0), 0u);
    for (const char* option : {"--header", "--bad-blocks", "--output", "--quiet", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const tool_result version = run_tool({pagecheck, "--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "pagecheck 1.0.0\n");
}

// The output must never replace the image it is read from.
TEST(CommandLine, OutputOverTheImageIsRefused)
{
    scratch_dir dir;
    const std::string image = make_image(dir, random_bytes(5000, 1), {});
    const std::string before = read_file(image);
    const tool_result r = run_tool({pagecheck, "-o", image, image});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "pagecheck: output '" + image + "' is the image '" + image + "' itself\n");
    EXPECT_TRUE(read_file(image) == before);
}

// With -o -, the input goes to the standard output and the report, each
// line starting "pagecheck: ", to the error stream.
TEST(CommandLine, OutputOnStandardOutputMovesTheReport)
{
    scratch_dir dir;
    const std::string input = random_bytes(5000, 2);
    const std::string image = make_image(dir, input, {"-h", "-s"});
    const tool_result r = run_tool({pagecheck, "-H", "--output=-", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == input);
    EXPECT_EQ(r.err.rfind("pagecheck: block 0 page 1 (data) sector ", 0), 0u) << r.err;
    EXPECT_EQ(last_line(r.err).rfind("pagecheck: summary: 4 records", 0), 0u) << r.err;
}

// A report that cannot be written is not a success.
TEST(CommandLine, ReportOnAFullDeviceEndsWithStatusTwo)
{
    scratch_dir dir;
    const std::string image = make_image(dir, random_bytes(9000, 3), {});
    run_options options;
    options.stdout_path = "/dev/full";
    const tool_result r = run_tool({pagecheck, image}, options);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "pagecheck: cannot write the report: No space left on device\n");
}

TEST(CommandLine, QuietPrintsOnlyTheSummary)
{
    scratch_dir dir;
    const std::string image = make_image(dir, random_bytes(9000, 3), {"-s"});
    const tool_result r = run_tool({pagecheck, "-q", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "summary: 5 records, 1 blocks; 5 data, 0 header, 0 bad-block, 0 fill pages; "
                     "20 sectors checked, 5 corrected, 0 uncorrectable; 0 other problems\n");
}

// ---- findings on damaged images and on wrong layout options.

struct damage_case {
    const char* name;
    size_t input_size;
    std::vector<std::string> make;    // pagesmith options
    std::function<void(std::string&)> damage;
    std::vector<std::string> check;   // pagecheck options
    int status;
    std::string finding;              // a line the report must hold
};

void PrintTo(const damage_case& c, std::ostream* os)
{
    *os << c.name;
}

class Damage : public ::testing::TestWithParam<damage_case> {};

TEST_P(Damage, IsReported)
{
    const damage_case& c = GetParam();
    scratch_dir dir;
    const std::string image = make_image(dir, random_bytes(c.input_size, 4), c.make);
    std::string bytes = read_file(image);
    if (c.damage)
        c.damage(bytes);
    write_file(image, bytes);
    std::vector<std::string> argv = {pagecheck};
    argv.insert(argv.end(), c.check.begin(), c.check.end());
    argv.push_back(image);
    const tool_result r = run_tool(argv);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.out.find(c.finding + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
}

// Sets spare word `word` of record `index` to `value`.
std::function<void(std::string&)> set_word(size_t index, int word, uint32_t value)
{
    return [=](std::string& s) {
        for (int k = 0; k < 4; ++k)
            s[spare_byte(index, word, k)] = static_cast<char>(value >> (8 * k));
    };
}

// Sets the data bytes [from, from + n) of record `index` to `value` and
// stores the ECC words of the new data, so that only the content is wrong.
std::function<void(std::string&)> set_data(size_t index, size_t from, size_t n, char value)
{
    return [=](std::string& s) {
        s.replace(index * RECORD + from, n, n, value);
        for (int sector = 0; sector < 4; ++sector) {
            const auto* data = reinterpret_cast<const uint8_t*>(s.data() + index * RECORD);
            const uint32_t word = computeECC(data + 512 * sector);
            for (int k = 0; k < 4; ++k)
                s[spare_byte(index, 12 + sector, k)] = static_cast<char>(word >> (8 * k));
        }
    };
}

const damage_case damage_cases[] = {
    {"tag", 6 * PAGE, {}, set_word(5, 1, 0x00000004), {}, 1,
     "block 0 page 5 (data): page tag 0x00000004, expected 0x00000005"},
    {"status_word", 6 * PAGE, {}, set_word(3, 0, 0xffffffff), {}, 1,
     "block 0 page 3 (data): block status word 0xffffffff, expected 0x00000000"},
    {"status_word_not_allowed", 6 * PAGE, {}, set_word(0, 0, 0x12), {}, 1,
     "block 0 page 0 (data): block status word 0x00000012, expected 0x00000000 or 0xffffffff"},
    {"status_words_disagree", 66 * PAGE, {"-b"}, set_word(64, 0, 0), {}, 1,
     "block 1 page 0 (data): block status word 0x00000000, expected 0xffffffff"},
    {"spare_word_not_zero", 3 * PAGE, {}, set_word(2, 7, 1), {}, 1,
     "block 0 page 2 (data): spare[7] = 0x00000001, expected 0"},
    {"ecc_word_bit", 3 * PAGE, {}, [](std::string& s) { s[spare_byte(1, 13, 2)] ^= 0x02; }, {}, 0,
     "block 0 page 1 (data) sector 1: ECC word spare[13] bit 17 flipped, data intact"},
    {"two_bits_in_ecc_word", 3 * PAGE, {}, [](std::string& s) { s[spare_byte(1, 14, 1)] ^= 0x03; }, {},
     1, "block 0 page 1 (data) sector 2: uncorrectable, syndrome 0x00000300"},
    {"partial_record", 3 * PAGE, {}, [](std::string& s) { s.resize(s.size() - 100); }, {}, 1,
     "trailing partial record of 2012 bytes"},
    {"header_size_forced", 5000, {"-h", "-F", "5"}, nullptr, {"-H"}, 1,
     "header size 5 does not fit the 6144 bytes of data pages; nothing is cut"},
    {"header_sizes_differ", 70 * PAGE, {"-h"}, set_data(64, 0, 1, 'x'), {"-H"}, 1,
     "block 1 page 0 (header): header size 143480, the first header page holds 143360"},
    {"header_not_zero", 3 * PAGE, {"-h"}, set_data(0, 100, 512, '\xff'), {"-H"}, 1,
     "block 0 page 0 (header): bytes 4-2047 are not zero"},
    {"fill_not_zero", 3 * PAGE, {"-f"}, set_data(10, 512, 512, '\xff'), {}, 1,
     "block 0 page 10 (fill): data area is not zero"},
    {"bad_block_not_zero", 3 * PAGE, {"-B", "0"}, set_data(7, 0, 512, '\xff'), {"-B", "0"}, 1,
     "block 0 page 7 (bad-block): data area is not zero"},
    {"fill_cut_short", 3 * PAGE, {"-f"}, [](std::string& s) { s.resize(31 * RECORD); }, {}, 1,
     "image ends inside the fill pages, at page 30"},
    {"data_after_bad_block_missing", 3 * PAGE, {"-B", "0"},
     [](std::string& s) { s.resize(64 * RECORD); }, {"-B", "0"}, 1,
     "image ends after a bad-block page, before any data page that follows it"},
    {"data_after_fill", 5 * PAGE, {}, set_word(2, 1, 0), {}, 1,
     "block 0 page 3 (data): out of place after a fill page"},
    {"header_not_given", 70 * PAGE, {"-h"}, nullptr, {}, 1,
     "block 1 page 0 (fill): data area is not zero"},
    {"header_given_wrongly", 3 * PAGE, {"-b"}, nullptr, {"-H"}, 1,
     "block 0 page 0 (header): bytes 4-2047 are not zero"},
    {"bad_list_not_given", 3 * PAGE, {"-B", "0"}, nullptr, {}, 1,
     "block 1 page 0 (data): block status word 0xffffffff, expected 0x00000000"},
    {"bad_list_given_wrongly", 3 * PAGE, {"-b"}, nullptr, {"-B", "0"}, 1,
     "block 0 page 0 (bad-block): block status word 0xffffffff, expected 0x00000000"},
    {"bad_list_implies_marks", 3 * PAGE, {}, nullptr, {"-B", "7"}, 1,
     "block 0 page 0 (data): block status word 0x00000000, expected 0xffffffff"},
};

INSTANTIATE_TEST_SUITE_P(Findings, Damage, ::testing::ValuesIn(damage_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- pages that only their position and neighbours tell apart.  A data
// page of zero bytes at page 0 of block 0 carries tag 0 like a fill page.

struct position_case {
    const char* name;
    std::string input;
    std::vector<std::string> make;
    std::vector<std::string> check;
    std::string summary_start;  // the summary up to the sector counts
    std::string output;         // the recovered input
};

void PrintTo(const position_case& c, std::ostream* os)
{
    *os << c.name;
}

class Position : public ::testing::TestWithParam<position_case> {};

TEST_P(Position, DecidesTheKind)
{
    const position_case& c = GetParam();
    scratch_dir dir;
    const std::string image = make_image(dir, c.input, c.make);
    std::vector<std::string> argv = {pagecheck, "-o", dir.file("out")};
    argv.insert(argv.end(), c.check.begin(), c.check.end());
    argv.push_back(image);
    const tool_result r = run_tool(argv);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(last_line(r.out).substr(0, c.summary_start.size()), c.summary_start);
    EXPECT_TRUE(read_file(dir.file("out")) == c.output);
}

const std::string zero_page(PAGE, '\0');
const std::string ff_page(PAGE, '\xff');

const position_case position_cases[] = {
    {"empty_fill", "", {"-f"}, {}, "summary: 64 records, 1 blocks; 0 data, 0 header, 0 bad-block, 64 fill", ""},
    {"empty_fill_errors", "", {"-f", "-s"}, {}, "summary: 64 records, 1 blocks; 0 data, 0 header, 0 bad-block, 64 fill", ""},
    {"empty_fill_listed", "", {"-f", "-B", "0"}, {"-B", "0"}, "summary: 64 records, 1 blocks; 0 data, 0 header, 0 bad-block, 64 fill", ""},
    {"empty_header_fill", "", {"-f", "-h"}, {"-H"}, "summary: 64 records, 1 blocks; 0 data, 0 header, 0 bad-block, 64 fill", ""},
    // Cannot be told from an empty input with -f: taken as fill, the zero
    // bytes are lost (they are the trailing zeros of the output contract).
    {"zero_page_fill", zero_page, {"-f"}, {}, "summary: 64 records, 1 blocks; 0 data, 0 header, 0 bad-block, 64 fill", ""},
    {"zero_page", zero_page, {}, {}, "summary: 1 records, 1 blocks; 1 data, 0 header, 0 bad-block, 0 fill", zero_page},
    {"zero_page_table_fill", std::string(100, '\0'), {"-f", "-b"}, {}, "summary: 64 records, 1 blocks; 1 data, 0 header, 0 bad-block, 63 fill", zero_page},
    {"zero_pages_fill", zero_page + zero_page, {"-f"}, {}, "summary: 64 records, 1 blocks; 2 data, 0 header, 0 bad-block, 62 fill", zero_page + zero_page},
    {"ff_page_fill", ff_page, {"-f", "-s"}, {}, "summary: 64 records, 1 blocks; 1 data, 0 header, 0 bad-block, 63 fill", ff_page},
    {"bad_block_0", "abc", {"-B", "0"}, {"-B", "0"}, "summary: 65 records, 2 blocks; 1 data, 0 header, 64 bad-block, 0 fill", "abc" + std::string(PAGE - 3, '\0')},
    {"header_zero_input", std::string(10, '\0'), {"-h", "-f"}, {"-H"}, "summary: 64 records, 1 blocks; 1 data, 1 header, 0 bad-block, 62 fill", std::string(10, '\0')},
};

INSTANTIATE_TEST_SUITE_P(Kinds, Position, ::testing::ValuesIn(position_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
