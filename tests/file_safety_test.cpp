// Both tools started in hostile set-ups: closed standard descriptors must
// not let text land in an image or a recovered file, and a block device
// named as both input and output must be refused before it is written.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

constexpr size_t PAGE = 2048;

// A run with some standard descriptors closed must write the same files as
// a run with all of them open.
struct closed_case {
    const char* name;
    std::vector<int> closed;
};

class ClosedDescriptors : public ::testing::TestWithParam<closed_case> {};

TEST_P(ClosedDescriptors, LeaveTheImageAlone)
{
    const closed_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(3 * 64 * PAGE + 300, 11);
    write_file(dir.file("in.bin"), input);
    const std::vector<std::string> options = {"-h", "-B", "1", "-f"};
    std::vector<std::string> argv = {pagesmith, dir.file("in.bin"), dir.file("open.img")};
    argv.insert(argv.end(), options.begin(), options.end());
    ASSERT_EQ(run_tool(argv).status, 0);
    argv[2] = dir.file("closed.img");
    run_options closed;
    closed.closed = c.closed;
    EXPECT_EQ(run_tool(argv, closed).status, 0);
    EXPECT_TRUE(read_file(dir.file("closed.img")) == read_file(dir.file("open.img")));
}

TEST_P(ClosedDescriptors, LeaveTheRecoveredInputAlone)
{
    const closed_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(70 * PAGE + 9, 12);
    write_file(dir.file("in.bin"), input);
    ASSERT_EQ(run_tool({pagesmith, dir.file("in.bin"), dir.file("image"), "-h", "-s"}).status,
              0);
    run_options closed;
    closed.closed = c.closed;
    const tool_result r =
        run_tool({pagecheck, "-H", "-o", dir.file("out"), dir.file("image")}, closed);
    // The report would be lost on a closed standard output: the run is
    // refused before anything is written.
    const bool report_lost = std::find(c.closed.begin(), c.closed.end(), 1) != c.closed.end();
    EXPECT_EQ(r.status, report_lost ? 2 : 0);
    EXPECT_TRUE(read_file(dir.file("out")) == (report_lost ? "" : input));
}

// An image read from a closed standard input is not an empty image.
TEST(Start, ImageFromAClosedStandardInputIsRefused)
{
    run_options closed;
    closed.closed = {0};
    const tool_result r = run_tool({pagecheck, "-"}, closed);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pagecheck: the standard input is closed\n");
}

const closed_case closed_cases[] = {
    {.name = "stdin", .closed = {0}},
    {.name = "stdout", .closed = {1}},
    {.name = "stdin_and_stderr", .closed = {0, 2}},
    {.name = "all_three", .closed = {0, 1, 2}},
};

INSTANTIATE_TEST_SUITE_P(Start, ClosedDescriptors, ::testing::ValuesIn(closed_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A loop device over a scratch file, detached again when this goes away.
struct loop_device {
    std::string path;

    explicit loop_device(const std::string& backing)
    {
        const std::string command = "losetup -f --show " + backing + " 2>/dev/null";
        FILE* p = popen(command.c_str(), "r");
        if (!p)
            return;
        char line[256] = {};
        if (std::fgets(line, sizeof line, p))
            path = std::string(line, std::strcspn(line, "\n"));
        if (pclose(p) != 0)
            path.clear();
    }

    ~loop_device()
    {
        if (!path.empty())
            std::system(("losetup -d " + path).c_str());
    }
};

// The same block device as input and output, by its name or through a
// link, is refused and left as it was.
TEST(BlockDevice, AsInputAndOutputIsRefused)
{
    scratch_dir dir;
    const std::string input = random_bytes(2 * 64 * (PAGE + 64), 13);
    write_file(dir.file("backing"), input);
    loop_device loop(dir.file("backing"));
    if (loop.path.empty())
        GTEST_SKIP() << "no loop device here";
    const std::string link = dir.file("link");
    ASSERT_EQ(symlink(loop.path.c_str(), link.c_str()), 0);

    const tool_result smith = run_tool({pagesmith, loop.path, link, "-f"});
    EXPECT_EQ(smith.status, 1);
    EXPECT_EQ(smith.err, "Input and output are the same file '" + link + "'\n");
    const tool_result check = run_tool({pagecheck, "-o", link, loop.path});
    EXPECT_EQ(check.status, 2);
    EXPECT_EQ(check.err, "pagecheck: output '" + link + "' is the image '" + loop.path +
                             "' itself\n");
    EXPECT_TRUE(read_file(loop.path) == input);
}

}  // namespace
