// pagecheck's command line, its findings on damaged and mismatched images,
// and the pages that only their position tells apart.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

constexpr size_t PAGE = 2048;

// Makes an image of `input` with pagesmith options in `dir`; returns its path.
std::string make_image(const scratch_dir& dir, const std::string& input,
                       const std::vector<std::string>& options)
{
    EXPECT_EQ(convert_input(pagesmith, dir, "image", input, options).status, 0);
    return dir.file("image");
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
    std::string stdout_path = {};   // empty: captured (and must stay empty)
};

class Usage : public ::testing::TestWithParam<usage_case> {};

TEST_P(Usage, EndsWithStatusTwo)
{
    const usage_case& c = GetParam();
    scratch_dir dir;
    const std::string image = make_image(dir, "abc", {});
    std::vector<std::string> argv = {pagecheck};
    for (const std::string& a : c.args)
        argv.push_back(a == "IMAGE" ? image : a);
    run_options options;
    options.stdout_path = c.stdout_path;
    const tool_result r = run_tool(argv, options);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1), c.message);
}

const std::string seventeen = "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16";

const usage_case usage_cases[] = {
    {.name = "no_image", .args = {}, .message = "pagecheck: no image given\n"},
    {.name = "unknown_short", .args = {"-x", "IMAGE"},
     .message = "pagecheck: unknown option '-x'\n"},
    {.name = "unknown_in_a_cluster", .args = {"-qz", "IMAGE"},
     .message = "pagecheck: unknown option '-z'\n"},
    {.name = "unknown_long", .args = {"--frobnicate", "IMAGE"},
     .message = "pagecheck: unknown option '--frobnicate'\n"},
    {.name = "long_takes_no_value", .args = {"--quiet=1", "IMAGE"},
     .message = "pagecheck: option '--quiet=1' takes no value\n"},
    {.name = "long_prefix_takes_no_value", .args = {"IMAGE", "--head=yes"},
     .message = "pagecheck: option '--head=yes' takes no value\n"},
    {.name = "long_ambiguous", .args = {"--he", "IMAGE"},
     .message = "pagecheck: option '--he' is ambiguous: --header, --health, --help\n"},
    {.name = "missing_value", .args = {"IMAGE", "-o"},
     .message = "pagecheck: option '-o' needs a value\n"},
    {.name = "missing_long_value", .args = {"IMAGE", "--output"},
     .message = "pagecheck: option '--output' needs a value\n"},
    {.name = "nine_images", .args = {"1", "2", "3", "4", "-q", "5", "6", "7", "8", "9"},
     .message = "pagecheck: more than 8 images: give at most 8 readings of one chip\n"},
    {.name = "retire_without_repair", .args = {"--retire", "3", "IMAGE"},
     .message = "pagecheck: --retire needs --repair: it lays out the repaired image\n"},
    {.name = "retire_bad_word", .args = {"-r", "out", "--retire", "3,worm", "IMAGE"},
     .message = "pagecheck: bad item 'worm' in the list of blocks to retire '3,worm': give "
                "block numbers, 'marked' or 'worn'\n"},
    {.name = "repair_to_standard_output", .args = {"-r", "-", "IMAGE"},
     .message = "pagecheck: --repair needs a file name, not '-': the repaired image is written "
                "only when nothing is lost\n"},
    {.name = "bad_list_letter", .args = {"-B", "1,x", "IMAGE"},
     .message = "pagecheck: bad block number in bad-block list '1,x'\n"},
    {.name = "bad_list_empty_item", .args = {"-B", "1,,2", "IMAGE"},
     .message = "pagecheck: empty block number in bad-block list '1,,2'\n"},
    {.name = "bad_list_negative", .args = {"--bad-blocks=-1", "IMAGE"},
     .message = "pagecheck: bad block number in bad-block list '-1'\n"},
    {.name = "bad_list_too_large", .args = {"-B", "2147483648", "IMAGE"},
     .message = "pagecheck: block number too large in bad-block list '2147483648'\n"},
    {.name = "bad_list_too_long", .args = {"-B", seventeen, "IMAGE"},
     .message = "pagecheck: more than 16 bad blocks\n"},
    {.name = "bad_lists_too_long_together", .args = {"-B", "0,1,2,3,4,5,6,7", "IMAGE", "-B",
                                                      "8,9,10,11,12,13,14,15,16"},
     .message = "pagecheck: more than 16 bad blocks\n"},
    {.name = "missing_image", .args = {"/nonexistent/image"},
     .message = "pagecheck: /nonexistent/image: No such file or directory\n"},
    {.name = "directory_image", .args = {"/tmp"}, .message = "pagecheck: /tmp: Is a directory\n"},
    {.name = "output_unwritable", .args = {"-o", "/nonexistent/out", "IMAGE"},
     .message = "pagecheck: /nonexistent/out: No such file or directory\n"},
    {.name = "output_full", .args = {"-o", "/dev/full", "IMAGE"},
     .message = "pagecheck: /dev/full: No space left on device\n"},
    {.name = "help_unwritable", .args = {"--help"},
     .message = "pagecheck: standard output: No space left on device\n",
     .stdout_path = "/dev/full"},
    {.name = "version_unwritable", .args = {"--version"},
     .message = "pagecheck: standard output: No space left on device\n",
     .stdout_path = "/dev/full"},
    {.name = "report_unwritable", .args = {"IMAGE"},
     .message = "pagecheck: cannot write the report: No space left on device\n",
     .stdout_path = "/dev/full"},
    {.name = "recovered_input_unwritable", .args = {"-o", "-", "IMAGE"},
     .message = "pagecheck: standard output: No space left on device\n",
     .stdout_path = "/dev/full"},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, Usage, ::testing::ValuesIn(usage_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, HelpAndVersionGoToStandardOutput)
{
    const tool_result help = run_tool({pagecheck, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: pagecheck [-H|--no-header] [-B LIST] [-F N] [-o FILE] [-q] "
                             "[--json]\n                 [--map] [--svg FILE] [--health] [-r OUT [--retire LIST]] "
                             "IMAGE...\n",
                             0),
              0u);
    for (const char* option : {"--header", "--no-header", "--bad-blocks", "--forced-size",
                               "--output", "--quiet", "--json", "--map", "--svg", "--version"})
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
    EXPECT_EQ(r.err.rfind("pagecheck: layout: -h, input 5000 bytes\n"
                          "pagecheck: block 0 page 1 (data) sector ", 0),
              0u)
        << r.err;
    EXPECT_EQ(last_line(r.err).rfind("pagecheck: summary: 4 records", 0), 0u) << r.err;
}

TEST(CommandLine, QuietPrintsOnlyTheSummary)
{
    scratch_dir dir;
    const std::string image = make_image(dir, random_bytes(9000, 3), {"-s"});
    const tool_result r = run_tool({pagecheck, "-q", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "summary: 5 records, 1 block; 5 data, 0 header, 0 bad-block, 0 fill pages; "
                     "20 sectors checked, 5 corrected, 0 uncorrectable; 0 other problems\n");
}

// An image that starts with a bad block starts at byte 0, even where its
// pages repeat a short pattern that, read two bytes on, lines up as records
// that show data and carry the tags of block 0.
TEST(CommandLine, ImageThatStartsWithABadBlockStartsAtZero)
{
    scratch_dir dir;
    const std::string pattern("\0\0\0\xee\xee", 5);
    std::string page;
    while (page.size() < PAGE)
        page += pattern;
    page.resize(PAGE);
    std::string input;
    for (int n = 0; n < 5; ++n)
        input += page;
    const std::string image = make_image(dir, input + pattern, {"-B", "0"});
    const tool_result r = run_tool({pagecheck, "-q", image});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "summary: 70 records, 2 blocks; 6 data, 0 header, 64 bad-block, 0 fill pages; "
                     "280 sectors checked, 0 corrected, 0 uncorrectable; 0 other problems\n");
    // With its first page broken (two bits of a sector), the image still
    // starts at byte 0, and all its 70 records are read.
    std::string bytes = read_file(image);
    bytes[2 * 512 + 242] ^= 0x44;
    write_file(image, bytes);
    const tool_result broken = run_tool({pagecheck, image});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.out.find("the image starts at byte"), std::string::npos) << broken.out;
    EXPECT_EQ(last_line(broken.out).rfind("summary: 70 records, 2 blocks;", 0), 0u) << broken.out;
}

// A fill page 1 of block 0 whose tag gained one bit holds what a data page
// 1 of zeros holds: it leaves open whether a page 0 that looks like a header
// page is one, and the claim settles it.  Unclaimed, both readings are
// named.
TEST(CommandLine, FillPageOneBitFromDataLeavesTheHeaderOpen)
{
    scratch_dir dir;
    const std::string image = make_image(dir, std::string("\0\0\x08\0", 4), {"-b", "-f"});
    std::string bytes = read_file(image);
    bytes[(PAGE + 64) + PAGE + 4] ^= 1;  // page 1's tag, bit 0
    write_file(image, bytes);
    const tool_result claimed = run_tool({pagecheck, "--no-header", image});
    EXPECT_EQ(claimed.status, 1);
    EXPECT_EQ(claimed.out, "layout: -b -f, input size unknown\n"
                           "block 0 page 1 (fill): page tag 0x00000001, expected 0x00000000\n"
                           "summary: 64 records, 1 block; 1 data, 0 header, 0 bad-block, 63 fill "
                           "pages; 256 sectors checked, 0 corrected, 0 uncorrectable; 1 other "
                           "problem\n");
    const tool_result unclaimed = run_tool({pagecheck, image});
    EXPECT_EQ(unclaimed.status, 1);
    EXPECT_NE(unclaimed.out.find("(claim --no-header if it was)"), std::string::npos)
        << unclaimed.out;
}

// Options may follow the image, and "-" reads the image from the standard
// input; both give what the usual form gives.
TEST(CommandLine, OptionsAfterTheImageAndStandardInput)
{
    scratch_dir dir;
    const std::string input = random_bytes(70 * 2048 + 5, 5);
    const std::string image = make_image(dir, input, {"-h", "-s", "-f"});
    const tool_result usual = run_tool({pagecheck, "-H", "-o", dir.file("usual"), image});
    ASSERT_EQ(usual.status, 0);
    EXPECT_TRUE(read_file(dir.file("usual")) == input);
    run_options from_stdin;
    from_stdin.stdin_path = image;
    const tool_result r =
        run_tool({pagecheck, "-", "-o", dir.file("out"), "--header"}, from_stdin);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, usual.out);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read_file(dir.file("out")) == input);
}

// The recovered input and the report never share a stream: when -o names
// the standard output, the report moves to the error stream.
TEST(CommandLine, ReportLeavesTheStreamOfTheRecoveredInput)
{
    scratch_dir dir;
    const std::string input = random_bytes(5000, 6);
    const std::string image = make_image(dir, input, {"-h"});
    for (const char* name : {"-", "/dev/stdout", "/proc/self/fd/1"}) {
        run_options options;
        options.stdout_path = dir.file("stdout");
        const tool_result r = run_tool({pagecheck, "-H", "-o", name, image}, options);
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_TRUE(read_file(dir.file("stdout")) == input) << name;
        EXPECT_EQ(r.err, "pagecheck: layout: -h, input 5000 bytes\n"
                         "pagecheck: summary: 4 records, 1 block; 3 data, 1 header, 0 "
                         "bad-block, 0 fill pages; 16 sectors checked, 0 corrected, 0 "
                         "uncorrectable; 0 other problems\n")
            << name;
    }
}

// Recovered bytes are not poured onto a terminal.
TEST(CommandLine, RecoveredInputIsNotWrittenToATerminal)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        GTEST_SKIP() << "no pseudo-terminal here";
    scratch_dir dir;
    const std::string image = make_image(dir, random_bytes(5000, 7), {});
    for (const char* name : {"-", "/dev/stdout"}) {
        run_options options;
        options.stdout_path = ptsname(master);
        const tool_result r = run_tool({pagecheck, "-o", name, image}, options);
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.err, "pagecheck: the recovered input would go to a terminal: redirect the "
                         "standard output or give -o FILE\n")
            << name;
    }
    close(master);
}

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
    {.name = "empty_fill", .input = "", .make = {"-f"}, .check = {},
     .summary_start = "summary: 64 records, 1 block; 0 data, 0 header, 0 bad-block, 64 fill",
     .output = ""},
    {.name = "empty_fill_errors", .input = "", .make = {"-f", "-s"}, .check = {},
     .summary_start = "summary: 64 records, 1 block; 0 data, 0 header, 0 bad-block, 64 fill",
     .output = ""},
    {.name = "empty_fill_listed", .input = "", .make = {"-f", "-B", "0"}, .check = {"-B", "0"},
     .summary_start = "summary: 64 records, 1 block; 0 data, 0 header, 0 bad-block, 64 fill",
     .output = ""},
    {.name = "empty_header_fill", .input = "", .make = {"-f", "-h"}, .check = {"-H"},
     .summary_start = "summary: 64 records, 1 block; 0 data, 0 header, 0 bad-block, 64 fill",
     .output = ""},
    // Cannot be told from an empty input with -f: taken as fill, the zero
    // bytes are lost (they are the trailing zeros of the output contract).
    {.name = "zero_page_fill", .input = zero_page, .make = {"-f"}, .check = {},
     .summary_start = "summary: 64 records, 1 block; 0 data, 0 header, 0 bad-block, 64 fill",
     .output = ""},
    {.name = "zero_page", .input = zero_page, .make = {}, .check = {},
     .summary_start = "summary: 1 record, 1 block; 1 data, 0 header, 0 bad-block, 0 fill",
     .output = zero_page},
    {.name = "zero_page_table_fill", .input = std::string(100, '\0'), .make = {"-f", "-b"}, .check = {},
     .summary_start = "summary: 64 records, 1 block; 1 data, 0 header, 0 bad-block, 63 fill",
     .output = zero_page},
    {.name = "zero_pages_fill", .input = zero_page + zero_page, .make = {"-f"}, .check = {},
     .summary_start = "summary: 64 records, 1 block; 2 data, 0 header, 0 bad-block, 62 fill",
     .output = zero_page + zero_page},
    {.name = "ff_page_fill", .input = ff_page, .make = {"-f", "-s"}, .check = {},
     .summary_start = "summary: 64 records, 1 block; 1 data, 0 header, 0 bad-block, 63 fill",
     .output = ff_page},
    {.name = "bad_block_0", .input = "abc", .make = {"-B", "0"}, .check = {"-B", "0"},
     .summary_start = "summary: 65 records, 2 blocks; 1 data, 0 header, 64 bad-block, 0 fill",
     .output = "abc" + std::string(PAGE - 3, '\0')},
    {.name = "bad_list_largest_number", .input = "abc", .make = {"-b"},
     .check = {"-B", "2147483647"},
     .summary_start = "summary: 1 record, 1 block; 1 data, 0 header, 0 bad-block, 0 fill",
     .output = "abc" + std::string(PAGE - 3, '\0')},
    {.name = "header_zero_input", .input = std::string(10, '\0'), .make = {"-h", "-f"}, .check = {"-H"},
     .summary_start = "summary: 64 records, 1 block; 1 data, 1 header, 0 bad-block, 62 fill",
     .output = std::string(10, '\0')},
};

INSTANTIATE_TEST_SUITE_P(Kinds, Position, ::testing::ValuesIn(position_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
