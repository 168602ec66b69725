// pagecheck's reading and writing in large pieces: an image that comes
// through a pipe in small pieces reads as the same file does, and a write
// of the recovered input that fails inside a piece ends the run with the
// error, the output file as it was before the run.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

constexpr size_t PAGE = 2048;
constexpr size_t RECORD = 2048 + 64;

// Converts `input` with `options`; returns the image's bytes.
std::string make_image(const scratch_dir& dir, const std::string& input,
                       const std::vector<std::string>& options)
{
    EXPECT_EQ(convert_input(pagesmith, dir, "image", input, options).status, 0);
    return read_file(dir.file("image"));
}

struct pipe_case {
    const char* name;
    size_t input_size;
    std::vector<std::string> options = {};  // pagesmith's
    size_t cut = 0;                    // bytes taken off the image's end
    size_t erased = 0;                 // erased records added at its end
};

class PipedImage : public ::testing::TestWithParam<pipe_case> {};

// Fed through a pipe 777 bytes at a time, the image gives the report, the
// status and the recovered input that the file gives.
TEST_P(PipedImage, ReadsAsTheFileDoes)
{
    const pipe_case& c = GetParam();
    scratch_dir dir;
    std::string image = make_image(dir, random_bytes(c.input_size, 31), c.options);
    image.resize(image.size() - c.cut);
    image += std::string(c.erased * RECORD, '\xff');
    write_file(dir.file("image"), image);
    const tool_result from_file =
        run_tool({pagecheck, "--map", "-o", dir.file("file.out"), dir.file("image")});
    ASSERT_EQ(from_file.err, "");
    ASSERT_NE(from_file.out.find("\nsummary: "), std::string::npos) << from_file.out;
    // A reader that stops early must not leave the feeder blocked.
    signal(SIGPIPE, SIG_IGN);
    int feed[2];
    ASSERT_EQ(pipe2(feed, O_CLOEXEC), 0);
    std::thread feeder([&] {
        for (size_t at = 0; at < image.size();) {
            const ssize_t n = write(feed[1], image.data() + at, std::min<size_t>(777, image.size() - at));
            if (n <= 0)
                break;
            at += static_cast<size_t>(n);
        }
        close(feed[1]);
    });
    run_options run;
    run.stdin_fd = feed[0];
    const tool_result from_pipe = run_tool({pagecheck, "--map", "-o", dir.file("pipe.out"), "-"}, run);
    close(feed[0]);
    feeder.join();
    EXPECT_EQ(from_pipe.status, from_file.status);
    EXPECT_EQ(from_pipe.err, from_file.err);
    EXPECT_EQ(from_pipe.out, from_file.out);
    EXPECT_TRUE(read_file(dir.file("pipe.out")) == read_file(dir.file("file.out")));
}

const pipe_case pipe_cases[] = {
    {.name = "sound", .input_size = 300 * PAGE + 11},
    {.name = "header_and_bad_blocks", .input_size = 700 * PAGE,
     .options = {"-h", "-B", "0", "2", "3", "5", "7", "11", "13"}},
    {.name = "cut_inside_a_record", .input_size = 200 * PAGE, .options = {"-b"}, .cut = 1000},
    {.name = "erased_after_the_image", .input_size = 150 * PAGE, .options = {"-f"}, .erased = 70},
};

INSTANTIATE_TEST_SUITE_P(Check, PipedImage, ::testing::ValuesIn(pipe_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct limit_case {
    const char* name;
    size_t input_pages;
    long limit;  // largest file the run may write
};

class OutputLimit : public ::testing::TestWithParam<limit_case> {};

// A write of the recovered input that fails ends the run with status 2 and
// the error, and no report; the output file is as it was, and nothing else
// is left in its folder.
TEST_P(OutputLimit, EndsTheRunWithTheError)
{
    const limit_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(c.input_pages * PAGE, 32);
    make_image(dir, input, {});
    const std::vector<std::string> before = dir.names();
    write_file(dir.file("out"), "the output of an earlier run\n");
    run_options run;
    run.file_size_limit = c.limit;
    const tool_result r = run_tool({pagecheck, "-o", dir.file("out"), dir.file("image")}, run);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pagecheck: " + dir.file("out") + ": File too large\n");
    EXPECT_EQ(read_file(dir.file("out")), "the output of an earlier run\n");
    std::filesystem::remove(dir.file("out"));
    EXPECT_EQ(dir.names(), before);
}

const limit_case limit_cases[] = {
    {.name = "inside_the_first_piece", .input_pages = 300, .limit = 100 * PAGE + 5},
    {.name = "inside_a_later_piece", .input_pages = 600, .limit = 400 * PAGE + 1000},
    {.name = "at_a_page_end", .input_pages = 300, .limit = 200 * PAGE},
    {.name = "at_the_last_page", .input_pages = 3, .limit = 2 * PAGE + 1},
};

INSTANTIATE_TEST_SUITE_P(Check, OutputLimit, ::testing::ValuesIn(limit_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
