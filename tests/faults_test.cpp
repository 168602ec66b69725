// Failures that must never pass for success or destroy the user's data.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

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

// The image named as the file that the trace or the messages already go
// into ("> img", "2>> img", /dev/stdout): refused before anything is
// written, the refusal on the other stream, nothing of the run in the file.
enum class stream { trace, messages };

struct shared_stream_case {
    const char* name;
    std::string output;  // the image name given; "" for the image's own path
    stream into;         // the stream sent, appending, into the existing image
};

class SharedStream : public ::testing::TestWithParam<shared_stream_case> {};

TEST_P(SharedStream, IsRefusedAndTheImageKept)
{
    const shared_stream_case& c = GetParam();
    scratch_dir dir;
    const std::string in = dir.file("in.bin");
    const std::string image = dir.file("img");
    write_file(in, std::string(3 * 2048, 'x'));
    write_file(image, "last good image");
    const int fd = open(image.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    run_options options;
    (c.into == stream::trace ? options.stdout_fd : options.stderr_fd) = fd;
    const std::string output = c.output.empty() ? image : c.output;
    const tool_result r = run_tool({binary, in, output, "-f"}, options);
    close(fd);
    const std::string refusal = "Input and output are the same file '" + output + "'\n";
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_file(image), "last good image");
    if (c.into == stream::trace)
        EXPECT_EQ(r.err, refusal);
    else
        EXPECT_EQ(r.out, in + "\n" + output + "\n" + refusal);
}

const shared_stream_case shared_stream_cases[] = {
    {.name = "trace_appended_to_image", .output = "", .into = stream::trace},
    {.name = "image_named_dev_stdout", .output = "/dev/stdout", .into = stream::trace},
    {.name = "messages_appended_to_image", .output = "", .into = stream::messages},
    {.name = "image_named_dev_stderr", .output = "/dev/stderr", .into = stream::messages},
};

INSTANTIATE_TEST_SUITE_P(Faults, SharedStream, ::testing::ValuesIn(shared_stream_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A character device takes both the image and the trace.
TEST(SharedStream, CharacterDeviceIsAllowed)
{
    scratch_dir dir;
    write_file(dir.file("in.bin"), "abc");
    run_options options;
    options.stdout_path = "/dev/null";
    const tool_result r = run_tool({binary, dir.file("in.bin"), "/dev/stdout", "-f"}, options);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Found eof on input 3 read\n");
}

// A trace that cannot be written, after a long run of trace lines: the
// image is still completed, then the run ends with status 1.
struct lost_trace_case {
    const char* name;
    bool closed_pipe;        // a pipe whose reader has gone; else `device`
    std::string device = {};
    std::string message;     // the last line on the error stream
};

class LostTrace : public ::testing::TestWithParam<lost_trace_case> {};

TEST_P(LostTrace, DoesNotCutTheImage)
{
    const lost_trace_case& c = GetParam();
    scratch_dir dir;
    const std::string in = dir.file("in.bin");
    write_file(in, random_bytes(300 * 2048 + 5, 5));
    const std::vector<std::string> options = {"-f", "-h", "-B", "2"};
    std::vector<std::string> argv = {binary, in, dir.file("whole.img")};
    argv.insert(argv.end(), options.begin(), options.end());
    const tool_result whole = run_tool(argv);
    ASSERT_EQ(whole.status, 0);

    argv[2] = dir.file("lost.img");
    run_options lost;
    int ends[2] = {-1, -1};
    if (c.closed_pipe) {
        ASSERT_EQ(pipe(ends), 0);
        close(ends[0]);
        lost.stdout_fd = ends[1];
    } else {
        lost.stdout_path = c.device;
    }
    const tool_result r = run_tool(argv, lost);
    if (c.closed_pipe)
        close(ends[1]);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, whole.err + c.message);
    EXPECT_TRUE(read_file(argv[2]) == read_file(dir.file("whole.img"))) << "images differ";
}

const lost_trace_case lost_trace_cases[] = {
    {.name = "reader_gone", .closed_pipe = true, .message = "stdout: Broken pipe\n"},
    {.name = "full_device", .closed_pipe = false, .device = "/dev/full",
     .message = "stdout: No space left on device\n"},
};

INSTANTIATE_TEST_SUITE_P(Faults, LostTrace, ::testing::ValuesIn(lost_trace_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
