// Input read from a pipe or a FIFO: the same image as from a regular file,
// and no header page with a made-up size.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string binary = PAGESMITH_BINARY;

// Writes bytes to fd in pieces of an odd size, so that the reader sees short
// reads, then closes it; stops early when the reader has gone or `stop` is set.
void feed(int fd, const std::string& bytes, const std::atomic<bool>& stop)
{
    for (size_t at = 0; at < bytes.size() && !stop;) {
        const ssize_t n = write(fd, bytes.data() + at, std::min<size_t>(777, bytes.size() - at));
        if (n <= 0)
            break;
        at += static_cast<size_t>(n);
    }
    close(fd);
}

// Feeds bytes into a new FIFO from a thread of its own.  A reader that
// never comes or leaves early does not block the test.
class fifo_feeder {
public:
    fifo_feeder(const std::string& fifo_path, const std::string& bytes) : path(fifo_path)
    {
        signal(SIGPIPE, SIG_IGN);
        if (mkfifo(path.c_str(), 0600) != 0)
            throw std::runtime_error("mkfifo failed");
        writer = std::thread([this, bytes] {
            const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd >= 0)
                feed(fd, bytes, stop);
        });
    }

    fifo_feeder(const fifo_feeder&) = delete;
    fifo_feeder& operator=(const fifo_feeder&) = delete;

    // The run is over.  The writer may not have reached its open yet, may
    // wait in it, or may wait in a write on a full FIFO: a read end held open
    // until it has gone lets its open succeed whenever it comes, the stop
    // flag ends its writes, and reading what is left frees a waiting write.
    ~fifo_feeder()
    {
        stop = true;
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            std::perror("fifo_feeder: opening the read end");
            std::abort();
        }
        // Blocking from here: a read ends when bytes come or no writer holds
        // the FIFO open.
        fcntl(fd, F_SETFL, 0);
        char sink[4096];
        while (read(fd, sink, sizeof sink) > 0) {
        }
        writer.join();
        close(fd);
    }

private:
    std::string path;
    std::atomic<bool> stop{false};
    std::thread writer;  // last: starts once the members it uses are made
};

// Feeds bytes into a pipe from a thread of its own; read_fd is the end to
// hand to the reader.
class pipe_feeder {
public:
    explicit pipe_feeder(const std::string& bytes)
    {
        signal(SIGPIPE, SIG_IGN);
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        read_fd = ends[0];
        writer = std::thread([this, fd = ends[1], bytes] { feed(fd, bytes, stop); });
    }

    pipe_feeder(const pipe_feeder&) = delete;
    pipe_feeder& operator=(const pipe_feeder&) = delete;

    // The run is over: the writer stops at its next write, which fails
    // anyway once the read end is closed.
    ~pipe_feeder()
    {
        stop = true;
        close(read_fd);
        writer.join();
    }

    int read_fd = -1;

private:
    std::atomic<bool> stop{false};
    std::thread writer;  // last: starts once the members it uses are made
};

// How the input reaches the tool.  (Standard input is a pipe, not a FIFO:
// "/dev/stdin" on a FIFO opens the FIFO anew, which waits for a writer.)
enum class source {
    fifo_by_name,      // a FIFO in the scratch directory, named on the command line
    stdin_from_pipe,   // "/dev/stdin", a pipe
    stdin_from_file,   // "/dev/stdin", redirected from the regular file
    null_device,       // "/dev/null" by name; the bytes are not used
};

// The input name that the tool is given for `from`.
std::string input_name(source from, const scratch_dir& dir)
{
    switch (from) {
    case source::fifo_by_name:
        return dir.file("in.fifo");
    case source::null_device:
        return "/dev/null";
    case source::stdin_from_pipe:
    case source::stdin_from_file:
        break;
    }
    return "/dev/stdin";
}

// Runs argv, whose input name is input_name(from, ...), with `bytes`
// reaching the tool as `from` says; `file` holds the same bytes.  A feeder
// is made only for a FIFO or a pipe.
tool_result run_fed(source from, const std::vector<std::string>& argv,
                    const std::string& bytes, const std::string& file)
{
    run_options options;
    switch (from) {
    case source::fifo_by_name: {
        fifo_feeder feeder(argv[1], bytes);
        return run_tool(argv, options);
    }
    case source::stdin_from_pipe: {
        pipe_feeder feeder(bytes);
        options.stdin_fd = feeder.read_fd;
        return run_tool(argv, options);
    }
    case source::stdin_from_file:
        options.stdin_path = file;
        break;
    case source::null_device:
        break;
    }
    return run_tool(argv, options);
}

struct streamed_case {
    const char* name;
    source from;
    size_t input_size;
    std::vector<std::string> options;
};

class Streamed : public ::testing::TestWithParam<streamed_case> {};

TEST_P(Streamed, GivesTheImageOfTheRegularFile)
{
    const streamed_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(c.input_size, static_cast<unsigned>(c.input_size));
    const std::string file = dir.file("in.bin");
    write_file(file, input);

    std::vector<std::string> argv = {binary, file, dir.file("file.img")};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    const tool_result expected = run_tool(argv);
    ASSERT_EQ(expected.status, 0) << expected.err;

    argv[1] = input_name(c.from, dir);
    argv[2] = dir.file("streamed.img");
    const tool_result r = run_fed(c.from, argv, input, file);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, expected.err);
    const std::string names = argv[1] + "\n" + argv[2] + "\n";
    const std::string expected_names = file + "\n" + dir.file("file.img") + "\n";
    ASSERT_EQ(r.out.substr(0, names.size()), names);
    ASSERT_EQ(expected.out.substr(0, expected_names.size()), expected_names);
    EXPECT_EQ(first_difference(r.out.substr(names.size()),
                               expected.out.substr(expected_names.size())),
              "");
    EXPECT_TRUE(read_file(argv[2]) == read_file(dir.file("file.img"))) << "images differ";
}

constexpr size_t PAGE = 2048;

const streamed_case streamed_cases[] = {
    {.name = "fifo", .from = source::fifo_by_name, .input_size = 3 * PAGE + 100, .options = {}},
    {.name = "fifo_blocks_fill_errors",
     .from = source::fifo_by_name,
     .input_size = 130 * PAGE + 1,
     .options = {"-f", "-b", "-d"}},
    {.name = "fifo_forced_header",
     .from = source::fifo_by_name,
     .input_size = 70 * PAGE,
     .options = {"-h", "-F", "5000", "-B", "1"}},
    {.name = "fifo_empty_fill", .from = source::fifo_by_name, .input_size = 0, .options = {"-f"}},
    // Enough pages, bad blocks and short reads for every buffer to be used
    // round more than once, with pages cut between reads.
    {.name = "fifo_long_bad_blocks",
     .from = source::fifo_by_name,
     .input_size = 600 * PAGE + 5,
     .options = {"-h", "-F", "1228805", "-B", "2,3,9", "-b"}},
    {.name = "stdin_pipe",
     .from = source::stdin_from_pipe,
     .input_size = 64 * PAGE,
     .options = {"-s", "-f"}},
    {.name = "stdin_pipe_forced_header",
     .from = source::stdin_from_pipe,
     .input_size = 5000,
     .options = {"-h", "-F", "-7"}},
    {.name = "stdin_file_header",
     .from = source::stdin_from_file,
     .input_size = 100 * PAGE + 3,
     .options = {"-h", "-b"}},
};

INSTANTIATE_TEST_SUITE_P(Input, Streamed, ::testing::ValuesIn(streamed_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// "-h" without a size to force, on an input that has no size of its own.
struct sizeless_case {
    const char* name;
    source from;
    std::vector<std::string> options;
};

class Sizeless : public ::testing::TestWithParam<sizeless_case> {};

TEST_P(Sizeless, HeaderIsRefusedBeforeAnyPage)
{
    const sizeless_case& c = GetParam();
    scratch_dir dir;
    const std::string input = input_name(c.from, dir);
    const std::string out = dir.file("out.img");
    std::vector<std::string> argv = {binary, input, out};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    const tool_result r = run_fed(c.from, argv, random_bytes(10 * PAGE, 10), "");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, input + "\n" + out + "\n");
    EXPECT_EQ(r.err, "'" + input +
                         "' is not a regular file, so its size is unknown: "
                         "give the header size with -F\n");
    // Refused with the command line: no image file is created.
    struct stat st;
    EXPECT_NE(stat(out.c_str(), &st), 0);
}

const sizeless_case sizeless_cases[] = {
    {.name = "fifo", .from = source::fifo_by_name, .options = {"-h"}},
    {.name = "fifo_forced_zero", .from = source::fifo_by_name, .options = {"-F", "0", "-h", "-f"}},
    {.name = "stdin_pipe", .from = source::stdin_from_pipe, .options = {"-b", "-h"}},
    {.name = "character_device", .from = source::null_device, .options = {"-h", "-f"}},
};

INSTANTIATE_TEST_SUITE_P(Input, Sizeless, ::testing::ValuesIn(sizeless_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
