// Failures in the middle of a run: the image or the trace reaches the
// largest file the run may write, somewhere inside a piece of output.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string binary = PAGESMITH_BINARY;

constexpr size_t PAGE = 2048;
constexpr size_t RECORD = 2048 + 64;
// The image is written in pieces of 256 KiB: a failed write is met while the
// record that holds the first byte past the failing piece is written.
constexpr size_t PIECE = 256 * 1024;

// Runs pagesmith on `input` with `options`, the image into `image` and the
// trace captured (or into `trace_path`), with an optional file size limit.
tool_result convert(const scratch_dir& dir, const std::string& input, const std::string& image,
                    const std::vector<std::string>& options, long limit = -1,
                    const std::string& trace_path = "")
{
    write_file(dir.file("in.bin"), input);
    std::vector<std::string> argv = {binary, dir.file("in.bin"), image};
    argv.insert(argv.end(), options.begin(), options.end());
    run_options run;
    run.file_size_limit = limit;
    run.stdout_path = trace_path;
    return run_tool(argv, run);
}

// The trace after the two echoed names.
std::string after_names(const std::string& trace)
{
    return trace.substr(trace.find('\n', trace.find('\n') + 1) + 1);
}

struct image_limit_case {
    const char* name;
    size_t input_pages;
    std::vector<std::string> options;  // data pages only: no -h, -B or -f
    long limit;
};

class ImageLimit : public ::testing::TestWithParam<image_limit_case> {};

// The image file stays as it was; the trace runs up to the record whose
// write met the failure, as for an input that ended there.
TEST_P(ImageLimit, StopsAtTheRecordThatMetIt)
{
    const image_limit_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(c.input_pages * PAGE, 17);
    const tool_result whole = convert(dir, input, dir.file("whole.img"), c.options);
    ASSERT_EQ(whole.status, 0);

    const size_t failing_piece = static_cast<size_t>(c.limit) / PIECE;
    const size_t last_record = (failing_piece + 1) * PIECE / RECORD;
    ASSERT_LT(last_record, c.input_pages);
    scratch_dir cut_dir;
    const tool_result cut = convert(cut_dir, input.substr(0, (last_record + 1) * PAGE),
                                    cut_dir.file("cut.img"), c.options);
    ASSERT_EQ(cut.status, 0) << cut.err;

    write_file(dir.file("out.img"), "an earlier image\n");
    const tool_result r = convert(dir, input, dir.file("out.img"), c.options, c.limit);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "fwrite: File too large\n");
    // The earlier image stays, and nothing else is left beside it.
    EXPECT_EQ(read_file(dir.file("out.img")), "an earlier image\n");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.bin", "out.img", "whole.img"}));
    EXPECT_EQ(first_difference(after_names(r.out), after_names(cut.out)), "");
}

// The limit applies to the captured trace and error stream as well: it is
// kept above what they hold.  The eighth piece ends on the first byte of
// record 992's spare area.
const image_limit_case image_limit_cases[] = {
    {.name = "first_piece", .input_pages = 300, .options = {}, .limit = 100000},
    {.name = "second_piece_middle", .input_pages = 400, .options = {"-b"}, .limit = 300000},
    {.name = "at_a_piece_boundary", .input_pages = 400, .options = {"-s"}, .limit = 524288},
    {.name = "piece_ends_in_a_spare_area", .input_pages = 1000, .options = {"-d", "-b"},
     .limit = 7 * 262144 + 5000},
};

INSTANTIATE_TEST_SUITE_P(Partial, ImageLimit, ::testing::ValuesIn(image_limit_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The trace reaches the limit inside a piece: it holds the bytes up to the
// limit, and the run goes on to its end and ends with status 1.
TEST(TraceLimit, KeepsTheTraceUpToTheLimit)
{
    // Above what the error stream holds, which the limit applies to as well.
    for (const long limit : {1000L, 65536L, 100000L}) {
        scratch_dir dir;
        const std::string input = random_bytes(500 * PAGE + 9, 19);
        const std::vector<std::string> options = {"-h", "-B", "3", "-f"};
        const tool_result whole = convert(dir, input, "/dev/null", options);
        ASSERT_EQ(whole.status, 0);
        const tool_result r =
            convert(dir, input, "/dev/null", options, limit, dir.file("out.trace"));
        EXPECT_EQ(r.status, 1) << limit;
        EXPECT_EQ(r.err, whole.err + "stdout: File too large\n") << limit;
        EXPECT_EQ(first_difference(read_file(dir.file("out.trace")),
                                   whole.out.substr(0, static_cast<size_t>(limit))),
                  "");
    }
}

}  // namespace
