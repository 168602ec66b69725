// pagecheck refusing to start: every refusal comes before any output file
// is emptied, so that a refused run leaves every file as it found it and
// leaves no new one behind; none of its messages lands in the image.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

// Where a standard stream of the run leads.
enum class stream_to { captured, image, closed };

struct start_case {
    const char* name;
    std::vector<std::string> args;         // run in a directory holding "img"
    std::vector<std::string> existing = {};  // files there before the run
    const char* link_to = nullptr;         // "link" there leads to this missing name
    stream_to out = stream_to::captured;   // standard output (appended to the image)
    stream_to err = stream_to::captured;   // error stream (appended to the image)
    std::vector<std::string> environment = {};  // "NAME=value"
    const char* stdin_file = nullptr;      // in the directory; none: /dev/null
    int status = 2;
    std::string out_text = "";             // found in the captured standard output
    std::string err_text = "";             // the whole captured error stream
};

// Every file in dir by name, with its contents.
std::map<std::string, std::string> snapshot(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files[entry.path().filename()] = read_file(entry.path());
    return files;
}

// Opens "img" in dir to append to, as a shell's ">>img" does.
int append_to_image(const scratch_dir& dir)
{
    return open(dir.file("img").c_str(), O_WRONLY | O_APPEND);
}

class Refused : public ::testing::TestWithParam<start_case> {};

TEST_P(Refused, LeavesEveryFileAsItWas)
{
    const start_case& c = GetParam();
    scratch_dir dir;
    write_file(dir.file("in.bin"), random_bytes(5000, 21));
    ASSERT_EQ(run_tool({pagesmith, dir.file("in.bin"), dir.file("img"), "-h", "-s"}).status, 0);
    std::filesystem::remove(dir.file("in.bin"));
    for (const std::string& name : c.existing)
        write_file(dir.file(name), "kept " + name + "\n");
    if (c.link_to) {
        ASSERT_EQ(symlink(c.link_to, dir.file("link").c_str()), 0);
    }
    const auto before = snapshot(dir.path);

    run_options options;
    options.cwd = dir.path;
    options.environment = c.environment;
    if (c.stdin_file)
        options.stdin_path = dir.file(c.stdin_file);
    const int image_fd = append_to_image(dir);
    ASSERT_GE(image_fd, 0);
    options.stdout_fd = c.out == stream_to::image ? image_fd : -1;
    options.stderr_fd = c.err == stream_to::image ? image_fd : -1;
    if (c.err == stream_to::closed)
        options.closed.push_back(2);
    std::vector<std::string> argv = {pagecheck};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const tool_result r = run_tool(argv, options);
    close(image_fd);

    EXPECT_EQ(r.status, c.status);
    if (c.out_text.empty()) {
        EXPECT_EQ(r.out, "");
    } else {
        EXPECT_NE(r.out.find(c.out_text), std::string::npos) << r.out;
    }
    EXPECT_EQ(r.err, c.err_text);
    EXPECT_TRUE(snapshot(dir.path) == before) << "a file was changed, made or removed";
}

const char no_tmpdir[] = "TMPDIR=/nonexistent";
const char no_temporary_file[] = "pagecheck: cannot make a temporary file for the report in "
                                 "TMPDIR '/nonexistent': No such file or directory\n";

const start_case start_cases[] = {
    {.name = "picture_directory_missing",
     .args = {"-o", "keep.bin", "--svg", "/nonexistent/x.svg", "img"},
     .existing = {"keep.bin"},
     .err_text = "pagecheck: /nonexistent/x.svg: No such file or directory\n"},
    {.name = "picture_and_output_one_file", .args = {"-o", "keep.out", "--svg", "keep.out", "img"},
     .existing = {"keep.out"},
     .err_text = "pagecheck: the picture and the recovered input would go to the same file\n"},
    {.name = "picture_and_output_one_new_file",
     .args = {"-o", "new.out", "--svg", "new.out", "img"},
     .err_text = "pagecheck: the picture and the recovered input would go to the same file\n"},
    {.name = "picture_and_output_one_new_file_through_a_link",
     .args = {"-o", "link", "--svg", "link", "img"}, .link_to = "new.out",
     .err_text = "pagecheck: the picture and the recovered input would go to the same file\n"},
    {.name = "picture_is_the_image", .args = {"-o", "new.out", "--svg", "img", "img"},
     .err_text = "pagecheck: output 'img' is the image 'img' itself\n"},
    {.name = "output_is_another_reading", .args = {"-o", "keep.out", "img", "keep.out"},
     .existing = {"keep.out"},
     .err_text = "pagecheck: output 'keep.out' is the image 'keep.out' itself\n"},
    {.name = "repair_is_the_image", .args = {"-r", "img", "img"},
     .err_text = "pagecheck: output 'img' is the image 'img' itself\n"},
    {.name = "repair_and_output_one_file", .args = {"-o", "keep.out", "-r", "keep.out", "img"},
     .existing = {"keep.out"},
     .err_text = "pagecheck: the repaired image would go to the same file as another output\n"},
    {.name = "json_without_temporary_file",
     .args = {"--json", "-o", "keep.out", "--svg", "keep.svg", "img"},
     .existing = {"keep.out", "keep.svg"}, .environment = {no_tmpdir},
     .err_text = no_temporary_file},
    {.name = "text_without_temporary_file", .args = {"-o", "keep.out", "img"},
     .existing = {"keep.out"}, .environment = {no_tmpdir}, .err_text = no_temporary_file},
    {.name = "json_map_without_temporary_file", .args = {"--json", "-q", "--map", "-o", "new.out", "img"},
     .environment = {no_tmpdir}, .err_text = no_temporary_file},
    {.name = "quiet_json_needs_no_temporary_file", .args = {"--json", "-q", "img"},
     .environment = {no_tmpdir}, .status = 0,
     .out_text = "\"findings\":[],\"lost\":[],\"blocks\":[{\"block\":0,\"corrected\":3,"
                 "\"erased_bits\":0,\"kind\":\"data\",\"uncorrectable\":0}],\"repair\":null,"
                 "\"summary\":{\"bad_block\":0,\"blocks\":1,"},
    {.name = "quiet_needs_no_temporary_file", .args = {"-q", "img"},
     .environment = {no_tmpdir}, .status = 0, .out_text = "summary: 4 records, 1 block;"},
    {.name = "report_into_the_image", .args = {"-o", "keep.out", "--svg", "keep.svg", "img"},
     .existing = {"keep.out", "keep.svg"}, .out = stream_to::image,
     .err_text = "pagecheck: the report would go into the image 'img'\n"},
    {.name = "report_into_the_image_new_files", .args = {"-o", "new.out", "--svg", "new.svg", "img"},
     .out = stream_to::image,
     .err_text = "pagecheck: the report would go into the image 'img'\n"},
    {.name = "error_stream_into_the_image", .args = {"-o", "/nonexistent/x", "img"},
     .err = stream_to::image,
     .out_text = "pagecheck: the error stream would go into the image 'img'\n"},
    {.name = "error_stream_into_the_image_read", .args = {"-o", "new.out", "-"},
     .err = stream_to::image, .stdin_file = "img",
     .out_text = "pagecheck: the error stream would go into the image 'standard input'\n"},
    {.name = "both_streams_into_the_image", .args = {"-o", "new.out", "img"},
     .out = stream_to::image, .err = stream_to::image},
    {.name = "report_to_closed_error_stream", .args = {"-o", "-", "img"},
     .err = stream_to::closed},
    {.name = "report_beside_picture_to_closed_error_stream",
     .args = {"-o", "keep.out", "--svg", "-", "img"}, .existing = {"keep.out"},
     .err = stream_to::closed},
};

INSTANTIATE_TEST_SUITE_P(Start, Refused, ::testing::ValuesIn(start_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Once the run starts, its outputs hold what it wrote and nothing of what
// they held before, however much longer that was.
TEST(Start, EmptiesLongerOutputsItWritesOver)
{
    scratch_dir dir;
    const std::string input = random_bytes(5000, 22);
    write_file(dir.file("in.bin"), input);
    ASSERT_EQ(run_tool({pagesmith, dir.file("in.bin"), dir.file("img"), "-h"}).status, 0);
    const std::string old = random_bytes(100000, 23);
    write_file(dir.file("out"), old);
    write_file(dir.file("svg"), old);
    const tool_result r =
        run_tool({pagecheck, "-o", dir.file("out"), "--svg", dir.file("svg"), dir.file("img")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(read_file(dir.file("out")) == input);
    const std::string svg = read_file(dir.file("svg"));
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
}

}  // namespace
