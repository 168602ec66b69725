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

// What a check of an image fed through a pipe shows on its terminal error
// stream: half of the image comes after a pause longer than a second, so a
// progress line is due while the second half is read.
struct slow_check {
    tool_result result;
    std::string shown;  // what the terminal received
};

slow_check check_slowly(const std::vector<std::string>& options)
{
    scratch_dir dir;
    write_file(dir.file("in.bin"), random_bytes(40 * 64 * 2048, 8));
    EXPECT_EQ(run_tool({pagesmith, dir.file("in.bin"), dir.file("image"), "-b"}).status, 0);
    const std::string image = read_file(dir.file("image"));
    int master = -1;
    int terminal = -1;
    EXPECT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    int feed[2];
    EXPECT_EQ(pipe2(feed, O_CLOEXEC), 0);
    std::thread feeder([&] {
        write_all(feed[1], image.substr(0, image.size() / 2));
        std::this_thread::sleep_for(std::chrono::milliseconds(1300));
        write_all(feed[1], image.substr(image.size() / 2));
        close(feed[1]);
    });
    run_options run;
    run.stdin_fd = feed[0];
    run.stderr_fd = terminal;
    std::vector<std::string> argv = {pagecheck};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("-");
    slow_check check;
    check.result = run_tool(argv, run);
    feeder.join();
    close(feed[0]);
    close(terminal);
    check.shown = drain(master);
    close(master);
    return check;
}

// The line shows while the check runs, and is cleared at the end.
TEST(Progress, ShowsOnATerminalAndIsClearedAtTheEnd)
{
    const slow_check c = check_slowly({});
    EXPECT_EQ(c.result.status, 0);
    EXPECT_EQ(c.result.out.rfind("layout: -b, input size unknown\n", 0), 0u) << c.result.out;
    EXPECT_NE(c.shown.find("\rpagecheck: "), std::string::npos) << c.shown;
    EXPECT_NE(c.shown.find(" MiB/s\x1b[K"), std::string::npos) << c.shown;
    EXPECT_EQ(c.shown.substr(c.shown.size() >= 4 ? c.shown.size() - 4 : 0), "\r\x1b[K")
        << c.shown;
}

// With -q, nothing but the summary: no progress line either, however long
// the check takes.
TEST(Progress, NeverWithQuiet)
{
    const slow_check c = check_slowly({"-q"});
    EXPECT_EQ(c.result.status, 0);
    EXPECT_EQ(c.shown, "");
}

}  // namespace
