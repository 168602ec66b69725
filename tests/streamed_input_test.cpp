// Input read from a pipe or a FIFO: the same image as from a regular file,
// and no header page with a made-up size.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tool_runner.h"

namespace {

const std::string binary = PAGESMITH_BINARY;

// Writes bytes to fd in pieces of an odd size, so that the reader sees short
// reads, then closes it; stops early when the reader has gone.
void feed(int fd, const std::string& bytes)
{
    for (size_t at = 0; at < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + at, std::min<size_t>(777, bytes.size() - at));
        if (n <= 0)
            break;
        at += static_cast<size_t>(n);
    }
    close(fd);
}

// Feeds bytes into a new FIFO from a thread of its own.  A reader that
// never comes or leaves early does not block the test.
struct fifo_feeder {
    std::string path;
    std::thread writer;

    fifo_feeder(const std::string& fifo_path, const std::string& bytes) : path(fifo_path)
    {
        signal(SIGPIPE, SIG_IGN);
        if (mkfifo(path.c_str(), 0600) != 0)
            throw std::runtime_error("mkfifo failed");
        writer = std::thread([path = path, bytes] {
            const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd >= 0)
                feed(fd, bytes);
        });
    }

    ~fifo_feeder()
    {
        // Wakes a writer still waiting for a reader; its writes then fail.
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd >= 0)
            close(fd);
        writer.join();
    }
};

// Feeds bytes into a pipe from a thread of its own; read_fd is the end to
// hand to the reader.
struct pipe_feeder {
    int read_fd = -1;
    std::thread writer;

    explicit pipe_feeder(const std::string& bytes)
    {
        signal(SIGPIPE, SIG_IGN);
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        read_fd = ends[0];
        writer = std::thread([fd = ends[1], bytes] { feed(fd, bytes); });
    }

    ~pipe_feeder()
    {
        close(read_fd);
        writer.join();
    }
};

std::string random_bytes(size_t n)
{
    std::mt19937 rng(static_cast<unsigned>(n));
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(rng());
    return s;
}

// How the input reaches the tool.  (Standard input is a pipe, not a FIFO:
// "/dev/stdin" on a FIFO opens the FIFO anew, which waits for a writer.)
enum class source { fifo_by_name, stdin_from_pipe, stdin_from_file };

struct streamed_case {
    const char* name;
    source from;
    size_t input_size;
    std::vector<std::string> options;
};

void PrintTo(const streamed_case& c, std::ostream* os)
{
    *os << c.name;
}

class Streamed : public ::testing::TestWithParam<streamed_case> {};

TEST_P(Streamed, GivesTheImageOfTheRegularFile)
{
    const streamed_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(c.input_size);
    const std::string file = dir.file("in.bin");
    write_file(file, input);

    std::vector<std::string> argv = {binary, file, dir.file("file.img")};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    const tool_result expected = run_tool(argv);
    ASSERT_EQ(expected.status, 0) << expected.err;

    const std::string fifo = dir.file("in.fifo");
    argv[1] = c.from == source::fifo_by_name ? fifo : "/dev/stdin";
    argv[2] = dir.file("streamed.img");
    run_options options;
    options.stdin_path = file;
    tool_result r;
    if (c.from == source::stdin_from_pipe) {
        pipe_feeder feeder(input);
        options.stdin_fd = feeder.read_fd;
        r = run_tool(argv, options);
    } else {
        fifo_feeder feeder(fifo, input);
        r = run_tool(argv, options);
    }
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
    {"fifo", source::fifo_by_name, 3 * PAGE + 100, {}},
    {"fifo_blocks_fill_errors", source::fifo_by_name, 130 * PAGE + 1, {"-f", "-b", "-d"}},
    {"fifo_forced_header", source::fifo_by_name, 70 * PAGE, {"-h", "-F", "5000", "-B", "1"}},
    {"fifo_empty_fill", source::fifo_by_name, 0, {"-f"}},
    {"stdin_pipe", source::stdin_from_pipe, 64 * PAGE, {"-s", "-f"}},
    {"stdin_pipe_forced_header", source::stdin_from_pipe, 5000, {"-h", "-F", "-7"}},
    {"stdin_file_header", source::stdin_from_file, 100 * PAGE + 3, {"-h", "-b"}},
};

INSTANTIATE_TEST_SUITE_P(Input, Streamed, ::testing::ValuesIn(streamed_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// "-h" without a size to force, on an input that has no size of its own.
struct sizeless_case {
    const char* name;
    const char* input;          // "FIFO" for a FIFO in the scratch directory
    bool stdin_from_pipe;
    std::vector<std::string> options;
};

void PrintTo(const sizeless_case& c, std::ostream* os)
{
    *os << c.name;
}

class Sizeless : public ::testing::TestWithParam<sizeless_case> {};

TEST_P(Sizeless, HeaderIsRefusedBeforeAnyPage)
{
    const sizeless_case& c = GetParam();
    scratch_dir dir;
    const std::string fifo = dir.file("in.fifo");
    const std::string input = std::string(c.input) == "FIFO" ? fifo : c.input;
    const std::string out = dir.file("out.img");
    std::vector<std::string> argv = {binary, input, out};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    const std::string bytes = random_bytes(10 * PAGE);
    tool_result r;
    if (c.stdin_from_pipe) {
        pipe_feeder feeder(bytes);
        run_options options;
        options.stdin_fd = feeder.read_fd;
        r = run_tool(argv, options);
    } else {
        fifo_feeder feeder(fifo, bytes);
        r = run_tool(argv);
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, input + "\n" + out + "\n");
    EXPECT_EQ(r.err, "'" + input +
                         "' is not a regular file, so its size is unknown: "
                         "give the header size with -F\n");
    struct stat st;
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

const sizeless_case sizeless_cases[] = {
    {"fifo", "FIFO", false, {"-h"}},
    {"fifo_forced_zero", "FIFO", false, {"-F", "0", "-h", "-f"}},
    {"stdin_pipe", "/dev/stdin", true, {"-b", "-h"}},
    {"character_device", "/dev/null", false, {"-h", "-f"}},
};

INSTANTIATE_TEST_SUITE_P(Input, Sizeless, ::testing::ValuesIn(sizeless_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
