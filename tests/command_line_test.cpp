// The command line and the driver's failures, run as a user would run them.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "pagecheck_options.h"
#include "case_names.h"
#include "pagecheck_words.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string binary = PAGESMITH_BINARY;

std::string usage_text()
{
    return "usage: " + binary + " [-s|-d|-f|-b|-h] file1 file2\n"
           "\t-s    - introduce a single bit error per page\n"
           "\t-d    - introduce a double bit error per page\n"
           "\t-f    - fill out to the end of block (64 pages)\n"
           "\t-b    - introduce a bad block table\n"
           "\t-B    - add a list of bad blocks\n"
           "\t-h    - prepend a header page to the executable\n"
           "\t-i    - write output in Intel hex format\n"
           "\t-F nn - force a header size which is not the input file size\n";
}

// A rejected command line: "IN" and "OUT" in args stand for an existing
// input file and an output path in the scratch directory.
struct rejection_case {
    const char* name;
    std::vector<std::string> args;
    const char* stdout_text = "";    // with IN and OUT replaced
    std::string stderr_text = {};    // before the usage text, if any
    bool ends_with_usage = false;
};

// Replaces every `from` in text with `to`, scanning on past each
// replacement (a scratch path may itself contain "IN" or "OUT").
void replace_all(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

std::string substitute(std::string text, const std::string& in, const std::string& out)
{
    replace_all(text, "OUT", "\x01");
    replace_all(text, "IN", "\x02");
    replace_all(text, "\x01", out);
    replace_all(text, "\x02", in);
    return text;
}

class Rejection : public ::testing::TestWithParam<rejection_case> {};

// What stands at `path`: its bytes, or "(none)" when there is no file.
std::string file_state(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? read_file(path) : "(none)";
}

// Each case runs with no output file and with an existing one: a rejected
// command line creates nothing and leaves an existing image as it was.
TEST_P(Rejection, EndsWithStatusOneAndTheRightText)
{
    const rejection_case& c = GetParam();
    for (const std::string before : {"(none)", "last good image"}) {
        scratch_dir dir;
        const std::string in = dir.file("in.bin");
        const std::string out = dir.file("out.img");
        write_file(in, "some input");
        if (before != "(none)")
            write_file(out, before);
        std::vector<std::string> argv = {binary};
        for (const auto& a : c.args)
            argv.push_back(substitute(a, in, out));
        run_options options;
        options.cwd = dir.path;
        const tool_result r = run_tool(argv, options);

        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, substitute(c.stdout_text, in, out));
        EXPECT_EQ(r.err,
                  substitute(c.stderr_text, in, out) + (c.ends_with_usage ? usage_text() : ""));
        EXPECT_EQ(file_state(out), before);
        EXPECT_EQ(read_file(in), "some input");
    }
}

std::vector<std::string> seventeen_numbers()
{
    std::vector<std::string> args = {"IN", "OUT", "-B"};
    for (int k = 1; k <= 17; ++k)
        args.push_back(std::to_string(k));
    return args;
}

const rejection_case rejection_cases[] = {
    {.name = "no_arguments", .args = {}, .ends_with_usage = true},
    {.name = "one_argument", .args = {"IN"}, .ends_with_usage = true},
    {.name = "option_first", .args = {"-s", "IN", "OUT"}, .stdout_text = "-s\n",
     .stderr_text = "open: No such file or directory\n"},
    {.name = "missing_input", .args = {"nothing-here", "OUT"}, .stdout_text = "nothing-here\n",
     .stderr_text = "open: No such file or directory\n"},
    {.name = "output_in_missing_folder", .args = {"IN", "no-such-dir/out.img"},
     .stdout_text = "IN\nno-such-dir/out.img\n",
     .stderr_text = "open: No such file or directory\n"},
    {.name = "dash_i", .args = {"IN", "OUT", "-i"}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument '-i'\n", .ends_with_usage = true},
    {.name = "unknown_word", .args = {"IN", "OUT", "-f", "fill"}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument 'fill'\n", .ends_with_usage = true},
    {.name = "empty_argument", .args = {"IN", "OUT", ""}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument ''\n", .ends_with_usage = true},
    {.name = "negative_bad_block", .args = {"IN", "OUT", "-B", "3", "-3"},
     .stdout_text = "IN\nOUT\n", .stderr_text = "Bad argument '-3'\n", .ends_with_usage = true},
    {.name = "question_mark", .args = {"IN", "OUT", "-?"}, .stdout_text = "IN\nOUT\n",
     .ends_with_usage = true},
    {.name = "question_mark_as_header_size", .args = {"IN", "OUT", "-F", "-?"},
     .stdout_text = "IN\nOUT\n", .ends_with_usage = true},
    {.name = "header_size_missing", .args = {"IN", "OUT", "-h", "-F"},
     .stdout_text = "IN\nOUT\n", .stderr_text = "Bad argument '-F'\n", .ends_with_usage = true},
    {.name = "seventeen_bad_blocks", .args = seventeen_numbers(), .stdout_text = "IN\nOUT\n",
     .stderr_text = "Too many bad blocks\nBad argument '17'\n", .ends_with_usage = true},
    {.name = "same_file", .args = {"IN", "IN"}, .stdout_text = "IN\nIN\n",
     .stderr_text = "Input and output are the same file 'IN'\n"},
    {.name = "glued_options", .args = {"IN", "OUT", "-sf"}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument '-sf'\n", .ends_with_usage = true},
    {.name = "lone_dash", .args = {"IN", "OUT", "-"}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument '-'\n", .ends_with_usage = true},
    {.name = "double_dash", .args = {"IN", "OUT", "--", "-f"}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument '--'\n", .ends_with_usage = true},
    {.name = "upper_case", .args = {"IN", "OUT", "-S"}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument '-S'\n", .ends_with_usage = true},
    {.name = "number_outside_list", .args = {"IN", "OUT", "-f", "3"},
     .stdout_text = "IN\nOUT\n", .stderr_text = "Bad argument '3'\n", .ends_with_usage = true},
    {.name = "unknown_option_ends_list", .args = {"IN", "OUT", "-B", "1", "-x"},
     .stdout_text = "IN\nOUT\n", .stderr_text = "Bad argument '-x'\n", .ends_with_usage = true},
    {.name = "header_size_missing_after_list", .args = {"IN", "OUT", "-B", "2", "-F"},
     .stdout_text = "IN\nOUT\n", .stderr_text = "Bad argument '-F'\n", .ends_with_usage = true},
    {.name = "usage_after_list", .args = {"IN", "OUT", "-B", "2", "-?", "-f"},
     .stdout_text = "IN\nOUT\n", .ends_with_usage = true},
    {.name = "long_help", .args = {"IN", "OUT", "--help"}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument '--help'\n", .ends_with_usage = true},
    {.name = "glued_header_and_fill", .args = {"IN", "OUT", "-hf"}, .stdout_text = "IN\nOUT\n",
     .stderr_text = "Bad argument '-hf'\n", .ends_with_usage = true},
    {.name = "directory_input", .args = {".", "OUT", "-f"}, .stdout_text = ".\nOUT\n",
     .stderr_text = "fread: Is a directory\n"},
    {.name = "directory_input_bad_option", .args = {".", "OUT", "-x"},
     .stdout_text = ".\nOUT\n", .stderr_text = "Bad argument '-x'\n", .ends_with_usage = true},
    {.name = "directory_input_header", .args = {".", "OUT", "-h"}, .stdout_text = ".\nOUT\n",
     .stderr_text = "'.' is not a regular file, so its size is unknown: "
                    "give the header size with -F\n"},
    {.name = "missing_input_bad_option", .args = {"nothing-here", "OUT", "-x"},
     .stdout_text = "nothing-here\n", .stderr_text = "open: No such file or directory\n"},
    {.name = "missing_folder_bad_option", .args = {"IN", "no-such-dir/out.img", "-?"},
     .stdout_text = "IN\nno-such-dir/out.img\n",
     .stderr_text = "open: No such file or directory\n"},
    {.name = "output_is_a_folder_bad_option", .args = {"IN", ".", "-x"},
     .stdout_text = "IN\n.\n", .stderr_text = "open: Is a directory\n"},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, Rejection, ::testing::ValuesIn(rejection_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Options that are accepted, walked in-process.
// A setting left out of a row is expected at its starting value.
struct accepted_case {
    const char* name;
    std::vector<std::string> options;
    int32_t error_bits = 0;
    bool fill = false;
    bool bad_block_table = false;
    bool has_list = false;
    std::vector<int32_t> listed = {};
    bool header = false;
    int32_t forced = 0;
};

class Accepted : public ::testing::TestWithParam<accepted_case> {};

TEST_P(Accepted, SetsTheRunSettings)
{
    const accepted_case& c = GetParam();
    std::vector<const char*> argv = {"pagesmith", "in", "out"};
    for (const auto& o : c.options)
        argv.push_back(o.c_str());
    run_settings s;
    const parse_result r = parse_options(static_cast<int>(argv.size()), argv.data(), s);
    ASSERT_EQ(r.status, parse_status::ok);
    EXPECT_EQ(s.error_bits, c.error_bits);
    EXPECT_EQ(s.fill, c.fill);
    EXPECT_EQ(s.bad_block_table, c.bad_block_table);
    ASSERT_EQ(s.bad_block.has_value(), c.has_list);
    if (c.has_list) {
        bad_block_list expected;
        expected.fill(-1);
        std::copy(c.listed.begin(), c.listed.end(), expected.begin());
        EXPECT_EQ(*s.bad_block, expected);
    }
    EXPECT_EQ(s.header, c.header);
    EXPECT_EQ(s.forced_header_size, c.forced);
}

const accepted_case accepted_cases[] = {
    {.name = "nothing", .options = {}},
    {.name = "list_then_fill", .options = {"-B", "3", "7", "-f"}, .fill = true,
     .bad_block_table = true, .has_list = true, .listed = {3, 7}},
    {.name = "empty_list", .options = {"-B"}, .bad_block_table = true, .has_list = true},
    {.name = "no_digits_is_zero", .options = {"-B", "x", " 12abc", "+5"},
     .bad_block_table = true, .has_list = true, .listed = {0, 12, 5}},
    {.name = "hex_is_read_as_decimal", .options = {"-B", "0x3", "-F", "0x100"},
     .bad_block_table = true, .has_list = true, .listed = {0}, .forced = 0},
    {.name = "out_of_range_clamps", .options = {"-B", "99999999999", " -99999999999"},
     .bad_block_table = true, .has_list = true, .listed = {2147483647, -2147483647 - 1}},
    {.name = "second_list_appends", .options = {"-B", "1", "-b", "-B", "2"},
     .bad_block_table = true, .has_list = true, .listed = {1, 2}},
    {.name = "later_error_bits_win", .options = {"-s", "-d", "-s"}, .error_bits = 1},
    {.name = "negative_header_size", .options = {"-h", "-F", "-5"}, .header = true,
     .forced = -5},
    {.name = "header_size_ends_list", .options = {"-B", "4", "-F", "9", "-h"},
     .bad_block_table = true, .has_list = true, .listed = {4}, .header = true, .forced = 9},
    {.name = "header_size_any_text", .options = {"-F", "-F"}},
    {.name = "table_only", .options = {"-b", "-b"}, .bad_block_table = true},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, Accepted, ::testing::ValuesIn(accepted_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

struct pagecheck_line_case {
    const char* name;
    std::vector<std::string> args;  // after the program name
    command_action action;
    std::string text;               // print or usage_error: the text
};

class PagecheckLine : public ::testing::TestWithParam<pagecheck_line_case> {};

// The checker's option walk returns what the line asks for, and ends
// nothing: the driver prints and exits.
TEST_P(PagecheckLine, ReturnsWhatItAsks)
{
    const pagecheck_line_case& c = GetParam();
    std::vector<std::string> words = {"pagecheck"};
    words.insert(words.end(), c.args.begin(), c.args.end());
    const parsed_command command = parse_words(words);
    EXPECT_EQ(command.action, c.action);
    if (c.action == command_action::check)
        EXPECT_STREQ(command.options.image, "img");
    else if (c.action == command_action::usage_error)
        EXPECT_EQ(command.text, c.text);
    else
        EXPECT_EQ(command.text.rfind(c.text, 0), 0u) << command.text;
}

const pagecheck_line_case pagecheck_line_cases[] = {
    {"image", {"-H", "-B", "3,7", "img"}, command_action::check, ""},
    {"help", {"--help", "img"}, command_action::print, "usage: pagecheck "},
    {"version", {"--version"}, command_action::print, "pagecheck "},
    {"no_image", {"-q"}, command_action::usage_error, "no image given\n"},
    {"bad_list", {"-B", "1,x", "img"}, command_action::usage_error,
     "bad block number in bad-block list '1,x'\n"},
    {"seventeen_blocks", {"-B", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16", "img"},
     command_action::usage_error, "more than 16 bad blocks\n"},
    {"seventeen_to_retire",
     {"-r", "out", "--retire", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16", "img"},
     command_action::usage_error, "more than 16 blocks to retire\n"},
};

INSTANTIATE_TEST_SUITE_P(Checker, PagecheckLine, ::testing::ValuesIn(pagecheck_line_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
