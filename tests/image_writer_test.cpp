// The image writer run in-process: a failed read of the input or write of
// the image comes back to the caller with its errno value, whatever kind of
// page was being written, instead of ending the process.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "image_writer.h"
#include "tool_runner.h"

namespace {

struct writer_failure_case {
    const char* name;
    std::string input;          // a file of this many bytes...
    bool input_is_directory;    // ...or a directory
    std::string image;          // where the image goes
    bool header = false;
    bool fill = false;
    optional_bad_blocks bad_blocks = {};
    writer_failure failure;
    int error;
};

void PrintTo(const writer_failure_case& c, std::ostream* os)
{
    *os << c.name;
}

optional_bad_blocks block_zero_bad()
{
    bad_block_list list;
    list.fill(-1);
    list[0] = 0;
    return list;
}

class WriterFailure : public ::testing::TestWithParam<writer_failure_case> {};

TEST_P(WriterFailure, IsReturnedToTheCaller)
{
    const writer_failure_case& c = GetParam();
    scratch_dir dir;
    std::string input_name = dir.path;
    if (!c.input_is_directory) {
        input_name = dir.file("in.bin");
        write_file(input_name, c.input);
    }
    FILE* in = std::fopen(input_name.c_str(), "rb");
    FILE* image = std::fopen(c.image.c_str(), "wb");
    FILE* trace = std::fopen("/dev/null", "w");
    ASSERT_TRUE(in && image && trace);
    // Unbuffered: the first record written meets the failure.
    std::setvbuf(image, nullptr, _IONBF, 0);
    writer_output output{.image = image, .trace = trace};
    const writer_error error = read_data(in, output, 0, c.fill, c.bad_blocks.has_value(),
                                         c.bad_blocks, c.header, 5);
    EXPECT_EQ(error.failure, c.failure);
    EXPECT_EQ(error.error, c.error);
    EXPECT_EQ(output.trace_error, 0);
    std::fclose(in);
    std::fclose(image);
    std::fclose(trace);
}

const writer_failure_case writer_failure_cases[] = {
    {.name = "read_of_a_directory", .input = "", .input_is_directory = true,
     .image = "/dev/null", .failure = writer_failure::input_read, .error = EISDIR},
    {.name = "data_page", .input = "abc", .input_is_directory = false, .image = "/dev/full",
     .failure = writer_failure::image_write, .error = ENOSPC},
    {.name = "header_page", .input = "abc", .input_is_directory = false, .image = "/dev/full",
     .header = true, .failure = writer_failure::image_write, .error = ENOSPC},
    {.name = "bad_block_page", .input = "abc", .input_is_directory = false,
     .image = "/dev/full", .bad_blocks = block_zero_bad(),
     .failure = writer_failure::image_write, .error = ENOSPC},
    {.name = "fill_page", .input = "", .input_is_directory = false, .image = "/dev/full",
     .fill = true, .failure = writer_failure::image_write, .error = ENOSPC},
    {.name = "no_failure", .input = "abc", .input_is_directory = false, .image = "/dev/null",
     .header = true, .fill = true, .failure = writer_failure::none, .error = 0},
};

INSTANTIATE_TEST_SUITE_P(Writer, WriterFailure, ::testing::ValuesIn(writer_failure_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
