// Failures that must never pass for success or destroy the user's data.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tool_runner.h"

namespace {

const std::string binary = PAGESMITH_BINARY;

TEST(SameFile, RefusedThroughAnyNameAndTheInputIsKept)
{
    scratch_dir dir;
    const std::string in = dir.file("in.bin");
    write_file(in, "precious");
    ASSERT_EQ(symlink(in.c_str(), dir.file("soft").c_str()), 0);
    ASSERT_EQ(link(in.c_str(), dir.file("hard").c_str()), 0);
    for (const std::string& out : {in, dir.file("soft"), dir.file("hard"),
                                   dir.path + "/./in.bin"}) {
        const tool_result r = run_tool({binary, in, out, "-f"});
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_EQ(r.out, in + "\n" + out + "\n");
        EXPECT_EQ(r.err, "Input and output are the same file '" + out + "'\n");
        EXPECT_EQ(read_file(in), "precious");
    }
}

TEST(SameFile, RefusedWhenTheInputIsALinkOrStandardInput)
{
    scratch_dir dir;
    const std::string out = dir.file("out.img");
    write_file(out, "precious");
    ASSERT_EQ(symlink(out.c_str(), dir.file("soft").c_str()), 0);
    struct source {
        std::string name;
        std::string stdin_path;
    };
    for (const source& in : {source{.name = dir.file("soft"), .stdin_path = "/dev/null"},
                             source{.name = "/dev/stdin", .stdin_path = out}}) {
        run_options options;
        options.stdin_path = in.stdin_path;
        const tool_result r = run_tool({binary, in.name, out}, options);
        EXPECT_EQ(r.status, 1) << in.name;
        EXPECT_EQ(r.err, "Input and output are the same file '" + out + "'\n");
        EXPECT_EQ(read_file(out), "precious");
    }
}

// An input that cannot be read: refused by its permissions, or failing on
// the first read.  Root reads any file whatever its mode, so as root the
// permission case runs the tool as the user "nobody".
TEST(UnreadableInput, PermissionDenied)
{
    scratch_dir dir;
    const std::string in = dir.file("in.bin");
    write_file(in, "secret");
    ASSERT_EQ(chmod(in.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    run_options options;
    if (geteuid() == 0) {
        options.user = 65534;
        const tool_result probe = run_tool({binary}, options);
        if (probe.status != 1)
            GTEST_SKIP() << "the binary cannot be run as user nobody";
    }
    const tool_result r = run_tool({binary, in, "/dev/null"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, in + "\n");
    EXPECT_EQ(r.err, "open: Permission denied\n");
}

TEST(UnreadableInput, ReadErrorAfterOpening)
{
    // The tool's own memory image, read from address 0, which is unmapped.
    const tool_result r = run_tool({binary, "/proc/self/mem", "/dev/null", "-f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "/proc/self/mem\n/dev/null\n");
    EXPECT_EQ(r.err, "fread: Input/output error\n");
}

TEST(SameFile, DevicesAreNotRefused)
{
    const tool_result r = run_tool({binary, "/dev/null", "/dev/null", "-f"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
}

// A run whose image or trace cannot be written or whose input cannot be
// read ends with status 1 and a report.
struct failure_case {
    const char* name;
    size_t input_pages = 0;             // size of the input, in pages, plus 5 bytes
    bool input_is_directory = false;
    std::string output = {};            // "" for a fresh file
    std::string trace = {};             // where the standard output goes; "" captured
    std::vector<std::string> options = {};
    std::string message;                // expected in the error stream
};

void PrintTo(const failure_case& c, std::ostream* os)
{
    *os << c.name;
}

class Failure : public ::testing::TestWithParam<failure_case> {};

TEST_P(Failure, EndsWithStatusOne)
{
    const failure_case& c = GetParam();
    scratch_dir dir;
    std::string in = dir.file("in.bin");
    if (c.input_is_directory)
        in = dir.path;
    else
        write_file(in, std::string(c.input_pages * 2048 + 5, 'x'));
    const std::string out = c.output.empty() ? dir.file("out.img") : c.output;
    std::vector<std::string> argv = {binary, in, out};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    run_options options;
    options.stdout_path = c.trace;
    const tool_result r = run_tool(argv, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
}

const failure_case failure_cases[] = {
    {.name = "directory_input", .input_is_directory = true, .message = "fread: Is a directory\n"},
    {.name = "full_device_at_close", .output = "/dev/full",
     .message = "fwrite: No space left on device\n"},
    {.name = "full_device_data_pages", .input_pages = 300, .output = "/dev/full",
     .message = "fwrite: No space left on device\n"},
    {.name = "full_device_fill_pages", .output = "/dev/full", .options = {"-f", "-s"},
     .message = "fwrite: No space left on device\n"},
    {.name = "full_device_headers", .input_pages = 300, .output = "/dev/full",
     .options = {"-h"}, .message = "fwrite: No space left on device\n"},
    {.name = "full_device_bad_blocks", .output = "/dev/full", .options = {"-B", "0", "1", "2"},
     .message = "fwrite: No space left on device\n"},
    {.name = "directory_output", .input_pages = 1, .output = "/tmp",
     .message = "open: Is a directory\n"},
    {.name = "trace_on_full_device", .input_pages = 1, .trace = "/dev/full",
     .message = "stdout: No space left on device\n"},
    {.name = "long_trace_on_full_device", .input_pages = 300, .trace = "/dev/full",
     .options = {"-f"}, .message = "stdout: No space left on device\n"},
};

INSTANTIATE_TEST_SUITE_P(Faults, Failure, ::testing::ValuesIn(failure_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
