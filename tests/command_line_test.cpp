// The command line and the driver's failures, run as a user would run them.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "tool_runner.h"

namespace {

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
    const char* stdout_text;     // with IN and OUT replaced
    std::string stderr_text;     // before the usage text, if any
    bool ends_with_usage;
    bool output_created_empty;
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

void PrintTo(const rejection_case& c, std::ostream* os)
{
    *os << c.name;
}

class Rejection : public ::testing::TestWithParam<rejection_case> {};

TEST_P(Rejection, EndsWithStatusOneAndTheRightText)
{
    const rejection_case& c = GetParam();
    scratch_dir dir;
    const std::string in = dir.file("in.bin");
    const std::string out = dir.file("out.img");
    write_file(in, "some input");
    std::vector<std::string> argv = {binary};
    for (const auto& a : c.args)
        argv.push_back(substitute(a, in, out));
    run_options options;
    options.cwd = dir.path;
    const tool_result r = run_tool(argv, options);

    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, substitute(c.stdout_text, in, out));
    EXPECT_EQ(r.err, substitute(c.stderr_text, in, out) + (c.ends_with_usage ? usage_text() : ""));
    struct stat st;
    const bool exists = stat(out.c_str(), &st) == 0;
    EXPECT_EQ(exists, c.output_created_empty);
    if (exists) {
        EXPECT_EQ(st.st_size, 0);
    }
    EXPECT_EQ(read_file(in), "some input");
}

std::vector<std::string> seventeen_numbers()
{
    std::vector<std::string> args = {"IN", "OUT", "-B"};
    for (int k = 1; k <= 17; ++k)
        args.push_back(std::to_string(k));
    return args;
}

const rejection_case rejection_cases[] = {
    {"no_arguments", {}, "", "", true, false},
    {"one_argument", {"IN"}, "", "", true, false},
    {"option_first", {"-s", "IN", "OUT"}, "-s\n", "open: No such file or directory\n", false,
     false},
    {"missing_input", {"nothing-here", "OUT"}, "nothing-here\n",
     "open: No such file or directory\n", false, false},
    {"output_in_missing_folder", {"IN", "no-such-dir/out.img"}, "IN\nno-such-dir/out.img\n",
     "open: No such file or directory\n", false, false},
    {"dash_i", {"IN", "OUT", "-i"}, "IN\nOUT\n", "Bad argument '-i'\n", true, true},
    {"unknown_word", {"IN", "OUT", "-f", "fill"}, "IN\nOUT\n", "Bad argument 'fill'\n", true,
     true},
    {"empty_argument", {"IN", "OUT", ""}, "IN\nOUT\n", "Bad argument ''\n", true, true},
    {"negative_bad_block", {"IN", "OUT", "-B", "3", "-3"}, "IN\nOUT\n", "Bad argument '-3'\n",
     true, true},
    {"question_mark", {"IN", "OUT", "-?"}, "IN\nOUT\n", "", true, true},
    {"question_mark_as_header_size", {"IN", "OUT", "-F", "-?"}, "IN\nOUT\n", "", true, true},
    {"header_size_missing", {"IN", "OUT", "-h", "-F"}, "IN\nOUT\n", "Bad argument '-F'\n",
     true, true},
    {"seventeen_bad_blocks", seventeen_numbers(), "IN\nOUT\n",
     "Too many bad blocks\nBad argument '17'\n", true, true},
    {"same_file", {"IN", "IN"}, "IN\nIN\n", "Input and output are the same file 'IN'\n",
     false, false},
    {"glued_options", {"IN", "OUT", "-sf"}, "IN\nOUT\n", "Bad argument '-sf'\n", true, true},
    {"lone_dash", {"IN", "OUT", "-"}, "IN\nOUT\n", "Bad argument '-'\n", true, true},
    {"double_dash", {"IN", "OUT", "--", "-f"}, "IN\nOUT\n", "Bad argument '--'\n", true, true},
    {"upper_case", {"IN", "OUT", "-S"}, "IN\nOUT\n", "Bad argument '-S'\n", true, true},
    {"number_outside_list", {"IN", "OUT", "-f", "3"}, "IN\nOUT\n", "Bad argument '3'\n", true,
     true},
    {"unknown_option_ends_list", {"IN", "OUT", "-B", "1", "-x"}, "IN\nOUT\n",
     "Bad argument '-x'\n", true, true},
    {"header_size_missing_after_list", {"IN", "OUT", "-B", "2", "-F"}, "IN\nOUT\n",
     "Bad argument '-F'\n", true, true},
    {"usage_after_list", {"IN", "OUT", "-B", "2", "-?", "-f"}, "IN\nOUT\n", "", true, true},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, Rejection, ::testing::ValuesIn(rejection_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Options that are accepted, walked in-process.
struct accepted_case {
    const char* name;
    std::vector<std::string> options;
    int32_t error_bits;
    bool fill;
    bool bad_block_table;
    bool has_list;
    std::vector<int32_t> listed;
    bool header;
    int32_t forced;
};

void PrintTo(const accepted_case& c, std::ostream* os)
{
    *os << c.name;
}

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
    {"nothing", {}, 0, false, false, false, {}, false, 0},
    {"list_then_fill", {"-B", "3", "7", "-f"}, 0, true, true, true, {3, 7}, false, 0},
    {"empty_list", {"-B"}, 0, false, true, true, {}, false, 0},
    {"no_digits_is_zero", {"-B", "x", " 12abc", "+5"}, 0, false, true, true, {0, 12, 5}, false, 0},
    {"out_of_range_clamps", {"-B", "99999999999", " -99999999999"}, 0, false, true, true,
     {2147483647, -2147483647 - 1},
     false, 0},
    {"second_list_appends", {"-B", "1", "-b", "-B", "2"}, 0, false, true, true, {1, 2}, false, 0},
    {"later_error_bits_win", {"-s", "-d", "-s"}, 1, false, false, false, {}, false, 0},
    {"negative_header_size", {"-h", "-F", "-5"}, 0, false, false, false, {}, true, -5},
    {"header_size_ends_list", {"-B", "4", "-F", "9", "-h"}, 0, false, true, true, {4}, true, 9},
    {"header_size_any_text", {"-F", "-F"}, 0, false, false, false, {}, false, 0},
    {"table_only", {"-b", "-b"}, 0, false, true, false, {}, false, 0},
};

INSTANTIATE_TEST_SUITE_P(CommandLine, Accepted, ::testing::ValuesIn(accepted_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
