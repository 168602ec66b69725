// The image writer run in-process: a failed read of the input or write of
// the image comes back to the caller with its errno value, whatever kind of
// page was being written, instead of ending the process; the records made
// before a failed read are all there to be written.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image_writer.h"
#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

constexpr size_t PAGE = 2048;

// Where the input comes from.
enum class source {
    file,            // a file holding the input bytes
    directory,       // a directory: the first read fails
    open_pipe,       // a non-blocking pipe holding the bytes whose writer stays:
                     // the read after them fails with EAGAIN
};

struct writer_failure_case {
    const char* name;
    source from;
    size_t input_size;
    std::string image = {};     // where the image goes; "" a scratch file
    bool header = false;
    bool fill = false;
    int32_t bad_block = -1;     // a listed block, or -1 for no list
    writer_failure failure;
    int error;
};

// What one in-process conversion gave.
struct conversion {
    writer_error error;
    std::string image;
};

// Converts from descriptor `in` into the file `image` with the settings of
// `c`, writing what is laid out after the end as the driver does; gives the
// writer's failure.
conversion convert(int in, const std::string& image, const writer_failure_case& c)
{
    static writer_input input;
    static writer_output output;
    static trace_output trace;
    const int trace_fd = open("/dev/null", O_WRONLY);
    const int image_fd = open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    start_input(input, in);
    start_trace(trace, trace_fd);
    start_output(output, image_fd, trace, stderr);
    optional_bad_blocks list;
    if (c.bad_block >= 0) {
        list.emplace().fill(-1);
        (*list)[0] = c.bad_block;
    }
    conversion result;
    run_settings settings;
    settings.fill = c.fill;
    settings.bad_block_table = list.has_value();
    settings.bad_block = list;
    settings.header = c.header;
    result.error = read_data(input, output, settings, 5);
    if (result.error.failure == writer_failure::none)
        flush_image(output);
    close(image_fd);
    close(trace_fd);
    // A device named as the image (/dev/full, /dev/null) is not read back.
    if (c.image.empty())
        result.image = read_file(image);
    return result;
}

class WriterFailure : public ::testing::TestWithParam<writer_failure_case> {};

TEST_P(WriterFailure, IsReturnedToTheCaller)
{
    const writer_failure_case& c = GetParam();
    scratch_dir dir;
    const std::string bytes = random_bytes(c.input_size, 3);
    write_file(dir.file("in.bin"), bytes);
    int in = -1;
    int ends[2] = {-1, -1};
    switch (c.from) {
    case source::file:
        in = open(dir.file("in.bin").c_str(), O_RDONLY);
        break;
    case source::directory:
        in = open(dir.path.c_str(), O_RDONLY);
        break;
    case source::open_pipe:
        ASSERT_EQ(pipe2(ends, O_NONBLOCK), 0);
        ASSERT_GE(fcntl(ends[1], F_SETPIPE_SZ, 1 << 20), static_cast<int>(c.input_size));
        ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        in = ends[0];
        break;
    }
    ASSERT_GE(in, 0);
    const std::string image = c.image.empty() ? dir.file("out.img") : c.image;
    const conversion failed = convert(in, image, c);
    close(in);
    if (ends[1] >= 0)
        close(ends[1]);
    EXPECT_EQ(failed.error.failure, c.failure);
    EXPECT_EQ(failed.error.error, c.error);
    if (c.from != source::open_pipe)
        return;
    // The image of the whole pages read before the failure, without fill.
    write_file(dir.file("pages.bin"), bytes.substr(0, c.input_size / PAGE * PAGE));
    const int pages = open(dir.file("pages.bin").c_str(), O_RDONLY);
    writer_failure_case whole_pages = c;
    whole_pages.fill = false;
    const conversion expected = convert(pages, dir.file("pages.img"), whole_pages);
    close(pages);
    ASSERT_EQ(expected.error.failure, writer_failure::none);
    EXPECT_EQ(failed.image.size(), expected.image.size());
    EXPECT_TRUE(failed.image == expected.image) << "images differ";
}

// On /dev/full the first piece of image fails, at record 124: a data, a
// bad-block or a fill page as the settings make it.
const writer_failure_case writer_failure_cases[] = {
    {.name = "read_of_a_directory", .from = source::directory, .input_size = 0,
     .image = "/dev/null", .failure = writer_failure::input_read, .error = EISDIR},
    {.name = "data_page", .from = source::file, .input_size = 200 * PAGE,
     .image = "/dev/full", .failure = writer_failure::image_write, .error = ENOSPC},
    {.name = "bad_block_page", .from = source::file, .input_size = 70 * PAGE,
     .image = "/dev/full", .bad_block = 1, .failure = writer_failure::image_write,
     .error = ENOSPC},
    {.name = "fill_page", .from = source::file, .input_size = 100 * PAGE + 1,
     .image = "/dev/full", .fill = true, .failure = writer_failure::image_write,
     .error = ENOSPC},
    {.name = "no_failure", .from = source::file, .input_size = 3, .image = "/dev/null",
     .header = true, .fill = true, .failure = writer_failure::none, .error = 0},
    {.name = "read_mid_page_mid_chunk", .from = source::open_pipe,
     .input_size = 300 * PAGE + 100, .fill = true, .failure = writer_failure::input_read,
     .error = EAGAIN},
    {.name = "read_at_block_start", .from = source::open_pipe, .input_size = 128 * PAGE,
     .header = true, .bad_block = 2, .failure = writer_failure::input_read, .error = EAGAIN},
    {.name = "read_after_bad_block", .from = source::open_pipe, .input_size = 129 * PAGE + 7,
     .header = true, .bad_block = 2, .failure = writer_failure::input_read, .error = EAGAIN},
};

INSTANTIATE_TEST_SUITE_P(Writer, WriterFailure, ::testing::ValuesIn(writer_failure_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Converts the file `input` into `image` in-process, its trace thrown away
// and no notes written; gives the image.
std::string convert_quietly(const std::string& input, const std::string& image,
                            const run_settings& settings)
{
    static writer_input in;
    static writer_output out;
    static trace_output trace;
    const int in_fd = open(input.c_str(), O_RDONLY);
    const int image_fd = open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    start_input(in, in_fd);
    discard_trace(trace);
    start_output(out, image_fd, trace, nullptr);
    const writer_error error = read_data(in, out, settings, 70000);
    EXPECT_EQ(error.failure, writer_failure::none);
    EXPECT_EQ(flush_image(out).failure, writer_failure::none);
    close(in_fd);
    close(image_fd);
    return read_file(image);
}

// Data-area bits in which each page record of `a` differs from `b` (same
// length), page by page; the spare areas must match.
std::vector<int> flipped_bits(const std::string& a, const std::string& b)
{
    std::vector<int> bits;
    for (size_t at = 0; at + PAGE + 64 <= a.size(); at += PAGE + 64) {
        int n = 0;
        for (size_t i = at; i < at + PAGE; ++i)
            n += __builtin_popcount(static_cast<uint8_t>(a[i] ^ b[i]));
        EXPECT_EQ(a.substr(at + PAGE, 64), b.substr(at + PAGE, 64)) << "spare at " << at;
        bits.push_back(n);
    }
    return bits;
}

// The writer called twice in one process: the second call gives what a
// second run gives, but that bit errors go on with the random sequence.
struct twice_case {
    const char* name;
    std::vector<std::string> options;  // as given to pagesmith
    int32_t error_bits;
};

class WriterTwice : public ::testing::TestWithParam<twice_case> {};

TEST_P(WriterTwice, MatchesTheConverterAndGoesOnWithTheRandomSequence)
{
    const twice_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(70 * PAGE + 9, 5);
    run_settings settings;
    settings.header = true;
    settings.fill = true;
    settings.bad_block_table = true;
    settings.bad_block.emplace().fill(-1);
    (*settings.bad_block)[0] = 1;
    const tool_result run = convert_input(PAGESMITH_BINARY, dir, "tool.img", input,
                                          {"-h", "-F", "70000", "-f", "-B", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string clean = read_file(dir.file("tool.img"));
    settings.error_bits = c.error_bits;
    std::vector<std::string> options = c.options;
    const tool_result flipped = convert_input(PAGESMITH_BINARY, dir, "flipped.img", input,
                                              options);
    ASSERT_EQ(flipped.status, 0) << flipped.err;
    srandom(1);  // as a fresh process starts
    const std::string first = convert_quietly(dir.file("in.bin"), dir.file("1.img"), settings);
    const std::string second = convert_quietly(dir.file("in.bin"), dir.file("2.img"), settings);
    EXPECT_TRUE(first == read_file(dir.file("flipped.img"))) << "the first call is not a run";
    ASSERT_EQ(second.size(), clean.size());
    const std::vector<int> first_bits = flipped_bits(first, clean);
    const std::vector<int> second_bits = flipped_bits(second, clean);
    // Data pages and fill pages carry the errors; the header and bad-block
    // pages none.
    int pages_with_errors = 0;
    for (int n : second_bits) {
        EXPECT_TRUE(n == 0 || n == c.error_bits) << n;
        pages_with_errors += n != 0;
    }
    if (c.error_bits == 0) {
        EXPECT_TRUE(second == clean) << "two calls without bit errors differ";
        return;
    }
    EXPECT_GE(pages_with_errors, 120);
    EXPECT_FALSE(second == first) << "the second call started the random sequence again";
    EXPECT_EQ(first_bits, second_bits);
}

const twice_case twice_cases[] = {
    {"no_bit_errors", {"-h", "-F", "70000", "-f", "-B", "1"}, 0},
    {"single_bit_errors", {"-s", "-h", "-F", "70000", "-f", "-B", "1"}, 1},
};

INSTANTIATE_TEST_SUITE_P(Writer, WriterTwice, ::testing::ValuesIn(twice_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
