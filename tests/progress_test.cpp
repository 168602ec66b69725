// pagecheck's progress line: on a terminal after the first second, cleared
// at the end, and never among the report's lines.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "tool_runner.h"

namespace {

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

// Writes all of `bytes` to fd.
void write_all(int fd, const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<size_t>(n);
    }
}

// Everything the terminal's other side has to read.
std::string drain(int fd)
{
    std::string text;
    char buffer[4096];
    fcntl(fd, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

// An image fed through a pipe, half of it after a pause longer than a
// second: the line shows while the second half is read, then is cleared.
TEST(Progress, ShowsOnATerminalAndIsClearedAtTheEnd)
{
    scratch_dir dir;
    write_file(dir.file("in.bin"), random_bytes(40 * 64 * 2048, 8));
    ASSERT_EQ(run_tool({pagesmith, dir.file("in.bin"), dir.file("image"), "-b"}).status, 0);
    const std::string image = read_file(dir.file("image"));
    int master = -1;
    int terminal = -1;
    ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    int feed[2];
    ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
    std::thread feeder([&] {
        write_all(feed[1], image.substr(0, image.size() / 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        write_all(feed[1], image.substr(image.size() / 2));
        close(feed[1]);
    });
    run_options options;
    options.stdin_fd = feed[0];
    options.stderr_fd = terminal;
    const tool_result r = run_tool({pagecheck, "-"}, options);
    feeder.join();
    close(feed[0]);
    close(terminal);
    const std::string shown = drain(master);
    close(master);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("layout: -b, input size unknown\n", 0), 0u) << r.out;
    EXPECT_NE(shown.find("\rpagecheck: "), std::string::npos) << shown;
    EXPECT_NE(shown.find(" MiB/s\x1b[K"), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() >= 4 ? shown.size() - 4 : 0), "\r\x1b[K") << shown;
}

// With -q, nothing but the summary: no progress line either.
TEST(Progress, NeverWithQuiet)
{
    scratch_dir dir;
    write_file(dir.file("in.bin"), random_bytes(5000, 8));
    ASSERT_EQ(run_tool({pagesmith, dir.file("in.bin"), dir.file("image")}).status, 0);
    int master = -1;
    int terminal = -1;
    ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    run_options options;
    options.stderr_fd = terminal;
    const tool_result r = run_tool({pagecheck, "-q", dir.file("image")}, options);
    close(terminal);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(drain(master), "");
    close(master);
}

}  // namespace
