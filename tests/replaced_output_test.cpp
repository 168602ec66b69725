// Both tools' outputs are replaced whole or not at all: a run that fails,
// is refused or is killed leaves the old file byte for byte and nothing
// beside it; a run that completes keeps what the name is (a link, a mode,
// a second hard link).  Each case runs the built binaries.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

const std::string OLD = "the output of an earlier run\n";

// Writes the input and its image into `dir`: "in.bin" and "image".
std::string make_image(const scratch_dir& dir)
{
    // Whole pages: without header pages -o gives back whole pages.
    const std::string input = random_bytes(147 * 2048, 5);
    write_file(dir.file("in.bin"), input);
    run_options quiet;
    quiet.stdout_path = "/dev/null";
    const tool_result made = run_tool({pagesmith, dir.file("in.bin"), dir.file("image")}, quiet);
    EXPECT_EQ(made.status, 0);
    return input;
}

// What the name of the output is before the run.
enum class name_kind { absent, file_0600, link, two_links };

struct complete_case {
    const char* name;
    bool checker;  // pagecheck -o; else pagesmith
    name_kind kind;
};

class CompleteRun : public ::testing::TestWithParam<complete_case> {};

// A run that completes puts the whole output under the name and keeps what
// the name is; it leaves nothing else behind.
TEST_P(CompleteRun, KeepsWhatTheNameIs)
{
    const complete_case& c = GetParam();
    scratch_dir dir;
    const std::string input = make_image(dir);
    const std::string out = dir.file("out");
    const std::string target = dir.file("target");
    if (c.kind == name_kind::file_0600 || c.kind == name_kind::two_links) {
        write_file(out, OLD);
        chmod(out.c_str(), 0600);
    }
    if (c.kind == name_kind::link) {
        write_file(target, OLD);
        ASSERT_EQ(symlink("target", out.c_str()), 0);
    }
    if (c.kind == name_kind::two_links) {
        ASSERT_EQ(link(out.c_str(), target.c_str()), 0);
    }
    const std::vector<std::string> before = dir.names();
    struct stat was{};
    stat(out.c_str(), &was);

    run_options quiet;
    quiet.stdout_path = "/dev/null";
    const tool_result r =
        c.checker ? run_tool({pagecheck, "-q", "-o", out, dir.file("image")}, quiet)
                  : run_tool({pagesmith, dir.file("in.bin"), out}, quiet);
    ASSERT_EQ(r.status, 0) << r.err;

    const std::string expected = c.checker ? input : read_file(dir.file("image"));
    EXPECT_TRUE(read_file(out) == expected);
    struct stat now{};
    ASSERT_EQ(stat(out.c_str(), &now), 0);
    struct stat named{};
    ASSERT_EQ(lstat(out.c_str(), &named), 0);
    switch (c.kind) {
    case name_kind::absent:
        EXPECT_EQ(now.st_mode & 0777, 0666 & ~0022u);  // the tests run with umask 022
        break;
    case name_kind::file_0600:
        EXPECT_EQ(now.st_mode & 0777, 0600u);
        EXPECT_NE(now.st_ino, was.st_ino) << "written in place, not replaced";
        break;
    case name_kind::link:
        EXPECT_TRUE(S_ISLNK(named.st_mode));
        break;
    case name_kind::two_links:
        EXPECT_EQ(now.st_ino, was.st_ino) << "a file of two links is written in place";
        EXPECT_TRUE(read_file(target) == expected);
        break;
    }
    std::vector<std::string> after = before;
    if (c.kind == name_kind::absent) {
        after.push_back("out");
        std::sort(after.begin(), after.end());
    }
    EXPECT_EQ(dir.names(), after);
}

const complete_case complete_cases[] = {
    {"converter_new_name", false, name_kind::absent},
    {"converter_file_0600", false, name_kind::file_0600},
    {"converter_link", false, name_kind::link},
    {"converter_two_links", false, name_kind::two_links},
    {"checker_new_name", true, name_kind::absent},
    {"checker_file_0600", true, name_kind::file_0600},
    {"checker_link", true, name_kind::link},
    {"checker_two_links", true, name_kind::two_links},
};

INSTANTIATE_TEST_SUITE_P(Output, CompleteRun, ::testing::ValuesIn(complete_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct refused_case {
    const char* name;
    std::vector<std::string> argv;  // IN, IMAGE and OUT stand for the files
    int status;
    std::string err;                // a part of the error stream
};

class RefusedRun : public ::testing::TestWithParam<refused_case> {};

// A run that is refused or fails before its output is complete leaves the
// old output byte for byte, and nothing beside it.
TEST_P(RefusedRun, LeavesTheOldOutput)
{
    const refused_case& c = GetParam();
    scratch_dir dir;
    make_image(dir);
    write_file(dir.file("out"), OLD);
    const std::vector<std::string> before = dir.names();
    std::vector<std::string> argv;
    for (const std::string& word : c.argv)
        argv.push_back(word == "IN" ? dir.file("in.bin")
                       : word == "IMAGE" ? dir.file("image")
                       : word == "OUT" ? dir.file("out")
                       : word);
    run_options quiet;
    quiet.stdout_path = "/dev/null";
    const tool_result r = run_tool(argv, quiet);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir.file("out")), OLD);
    EXPECT_EQ(dir.names(), before);
}

const refused_case refused_cases[] = {
    {"checker_image_is_a_folder", {pagecheck, "-o", "OUT", "/"}, 2,
     "pagecheck: /: Is a directory\n"},
    {"checker_image_unreadable", {pagecheck, "-o", "OUT", "/proc/self/mem"}, 2,
     "pagecheck: /proc/self/mem: Input/output error\n"},
    {"converter_bad_option", {pagesmith, "IN", "OUT", "-x"}, 1, "Bad argument '-x'\n"},
    // The file system reports size 0 for it; the header pages would hold 0.
    {"converter_size_changed", {pagesmith, "/proc/version", "OUT", "-h"}, 1,
     "but its size was 0 when the header pages were written: give the header size with -F\n"},
};

INSTANTIATE_TEST_SUITE_P(Output, RefusedRun, ::testing::ValuesIn(refused_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Starts argv with its standard streams on /dev/null; returns its process.
pid_t start_tool(const std::vector<std::string>& argv)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> args = exec_arguments(argv);
        execv(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// True once a file whose name starts with `prefix` stands in `dir`, within
// ten seconds.
bool appears(const scratch_dir& dir, const std::string& prefix)
{
    for (int tries = 0; tries < 1000; ++tries) {
        for (const std::string& name : dir.names())
            if (name.rfind(prefix, 0) == 0)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

class KilledRun : public ::testing::TestWithParam<bool> {};

// A run killed by SIGTERM half way, while its input comes through a FIFO,
// removes its temporary file and leaves the old output as it was.
TEST_P(KilledRun, LeavesTheOldOutput)
{
    const bool checker = GetParam();
    scratch_dir dir;
    const std::string input = make_image(dir);
    const std::string fed = checker ? read_file(dir.file("image")) : input;
    write_file(dir.file("out"), OLD);
    const std::string feed = dir.file("feed");
    ASSERT_EQ(mkfifo(feed.c_str(), 0600), 0);
    const std::vector<std::string> before = dir.names();
    const pid_t pid = checker ? start_tool({pagecheck, "-q", "-o", dir.file("out"), feed})
                              : start_tool({pagesmith, feed, dir.file("out")});
    const int writer = open(feed.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    const size_t half = fed.size() / 2;
    ASSERT_EQ(write(writer, fed.data(), half), static_cast<ssize_t>(half));
    EXPECT_TRUE(appears(dir, ".out."));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    close(writer);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(read_file(dir.file("out")), OLD);
    EXPECT_EQ(dir.names(), before);
}

INSTANTIATE_TEST_SUITE_P(Output, KilledRun, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "checker" : "converter"; });

// `-o -` and `--svg -` with the standard output appended to the image are
// refused, and the image stays as it was.
TEST(Output, StandardOutputIntoTheImageIsRefused)
{
    scratch_dir dir;
    make_image(dir);
    const std::string image = dir.file("image");
    const std::string made = read_file(image);
    for (const auto& [option, what] : {std::pair<std::string, std::string>{"-o", "the recovered input"},
                                       {"--svg", "the picture"}}) {
        const int appended = open(image.c_str(), O_WRONLY | O_APPEND);
        run_options run;
        run.stdout_fd = appended;
        const tool_result r = run_tool({pagecheck, option, "-", image}, run);
        close(appended);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "pagecheck: " + what + " would go into the image '" + image + "'\n");
        EXPECT_TRUE(read_file(image) == made);
    }
}

// A FIFO with no reader as the image file never holds up a command line
// that is rejected.
TEST(Output, RejectedCommandLineDoesNotWaitForAFifo)
{
    scratch_dir dir;
    write_file(dir.file("in.bin"), "abc");
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    const tool_result r =
        run_tool({"/usr/bin/timeout", "10", pagesmith, dir.file("in.bin"), dir.file("fifo"), "-x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Bad argument '-x'\n"), std::string::npos) << r.err;
}

}  // namespace
