// pagecheck's opening of its image and outputs, in-process: every refusal's
// text and where it goes, and what is left as it was.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "case_names.h"
#include "output_files.h"
#include "pagecheck_streams.h"
#include "pagecheck_words.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

// Which standard streams were closed when the run started.
constexpr int STDIN_CLOSED = 1;
constexpr int STDOUT_CLOSED = 2;
constexpr int STDERR_CLOSED = 4;

// One command line.  In `words` and `message`, "@" stands for the scratch
// folder; the folder holds the files "img" and "old" and the folder "dir".
struct opening_case {
    const char* name;
    std::vector<std::string> words;  // the options and images
    int closed;                      // STD*_CLOSED bits
    std::string message;             // the refusal's text; "" when none
    refusal_to where;
};

const opening_case opening_cases[] = {
    {"plain_check", {"@/img"}, 0, "", refusal_to::nothing_refused},
    {"every_output", {"-o", "@/a", "--svg", "@/b", "-r", "@/c", "@/img"}, 0, "",
     refusal_to::nothing_refused},
    {"missing_image", {"@/none"}, 0, "@/none: No such file or directory\n",
     refusal_to::error_stream},
    {"image_a_folder", {"@/dir"}, 0, "@/dir: Is a directory\n", refusal_to::error_stream},
    {"output_is_the_image", {"-o", "@/img", "@/img"}, 0,
     "output '@/img' is the image '@/img' itself\n", refusal_to::error_stream},
    {"repair_is_the_image", {"-r", "@/img", "@/img"}, 0,
     "output '@/img' is the image '@/img' itself\n", refusal_to::error_stream},
    {"output_is_a_later_reading", {"-o", "@/old", "@/img", "@/old"}, 0,
     "output '@/old' is the image '@/old' itself\n", refusal_to::error_stream},
    {"picture_over_recovered", {"-o", "@/a", "--svg", "@/a", "@/img"}, 0,
     "the picture and the recovered input would go to the same file\n",
     refusal_to::error_stream},
    {"repair_over_picture", {"--svg", "@/old", "-r", "@/old", "@/img"}, 0,
     "the repaired image would go to the same file as another output\n",
     refusal_to::error_stream},
    {"output_in_a_missing_folder", {"-o", "@/none/a", "@/img"}, 0,
     "@/none/a: No such file or directory\n", refusal_to::error_stream},
    {"standard_input_closed", {"-"}, STDIN_CLOSED, "the standard input is closed\n",
     refusal_to::error_stream},
    {"report_on_closed_output", {"@/img"}, STDOUT_CLOSED,
     "cannot write the report: the standard output is closed\n", refusal_to::error_stream},
    {"picture_on_closed_output", {"--svg", "-", "@/img"}, STDOUT_CLOSED,
     "the standard output is closed\n", refusal_to::error_stream},
    {"moved_report_on_closed_error_stream", {"--svg", "-", "@/img"}, STDERR_CLOSED,
     "cannot write the report: the standard error is closed\n", refusal_to::error_stream},
    {"report_kept_when_error_stream_closed", {"@/img"}, STDERR_CLOSED, "",
     refusal_to::nothing_refused},
};

// `text` with each "@" replaced by `folder`.
std::string placed(const std::string& text, const std::string& folder)
{
    std::string out;
    for (char c : text)
        out += c == '@' ? folder : std::string(1, c);
    return out;
}

class Opening : public ::testing::TestWithParam<opening_case> {};

TEST_P(Opening, RefusesWithTheRightTextAndKeepsEveryFile)
{
    const opening_case& c = GetParam();
    scratch_dir dir;
    write_file(dir.file("img"), std::string(4096, 'i'));
    write_file(dir.file("old"), "old");
    ASSERT_EQ(mkdir(dir.file("dir").c_str(), 0755), 0);
    std::vector<std::string> words = {"pagecheck"};
    for (const std::string& w : c.words)
        words.push_back(placed(w, dir.path));
    const parsed_command command = parse_words(words);
    ASSERT_EQ(command.action, command_action::check) << command.text;

    run_streams streams;
    const refusal why = open_run_streams(command.options, c.closed, streams);
    for (FILE* f : {streams.recovered.file, streams.picture.file})
        if (f && f != stdout)
            std::fclose(f);
    for (FILE* f : streams.more_readings)
        std::fclose(f);
    if (streams.image && streams.image != stdin)
        std::fclose(streams.image);
    close_output_files();

    EXPECT_EQ(why.message, placed(c.message, dir.path));
    EXPECT_EQ(why.where, c.where);
    if (c.where == refusal_to::nothing_refused) {
        EXPECT_EQ(streams.report, c.words.front() == "--svg" ? stderr : stdout);
    }
    // Nothing is emptied before the run starts: the old files are as they
    // were, and a file made to hold a name goes when the outputs are closed.
    EXPECT_EQ(read_file(dir.file("img")), std::string(4096, 'i'));
    EXPECT_EQ(read_file(dir.file("old")), "old");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"dir", "img", "old"}));
}

INSTANTIATE_TEST_SUITE_P(Streams, Opening, ::testing::ValuesIn(opening_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
