// pagecheck's image, outputs and report stream, opened or refused.
#include "pagecheck_streams.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "file_checks.h"
#include "image_verdict.h"
#include "reading_merge.h"
#include "report_spool.h"
#include "output_files.h"

// True when `name` stands for a standard stream.
bool is_dash(const char* name)
{
    return std::strcmp(name, "-") == 0;
}

FILE* open_image(const char* name, const char* image_name)
{
    FILE* in = is_dash(name) ? stdin : std::fopen(name, "rb");
    if (!in)
        fail_errno(PAGECHECK_ERRORS, name);
    std::setvbuf(in, nullptr, _IONBF, 0);
    uint8_t first;
    if (pread(fileno(in), &first, 1, 0) < 0 && errno != ESPIPE)
        fail_errno(PAGECHECK_ERRORS, is_dash(name) ? image_name : name);
    return in;
}

std::vector<FILE*> open_more_readings(const check_options& options)
{
    std::vector<FILE*> files;
    for (size_t k = 1; k < options.images.size(); ++k) {
        const char* name = options.images[k];
        const char* shown = is_dash(name) ? "standard input" : name;
        FILE* in = open_image(name, shown);
        for (const char* out : {options.output, options.svg, options.repair}) {
            const bool over = out && (is_dash(out) ? overwrites(fileno(in), STDOUT_FILENO)
                                                   : overwrites(fileno(in), out));
            if (over)
                fail_message(PAGECHECK_ERRORS, "output '%s' is the image '%s' itself\n", out,
                             shown);
        }
        files.push_back(in);
    }
    return files;
}

// Combines several readings into the one image to check, their findings
// counted and reported.
FILE* combined_image(FILE* first, const std::vector<FILE*>& more, const check_options& options,
                     const check_sink& sink, check_summary& summary)
{
    std::vector<FILE*> files = {first};
    files.insert(files.end(), more.begin(), more.end());
    std::vector<const char*> names;
    for (const char* name : options.images)
        names.push_back(is_dash(name) ? "standard input" : name);
    merge_failure failure;
    FILE* combined = combine_readings(
        names, files, summary.readings,
        [&](const finding& f) { report_finding(sink, summary, f); }, failure);
    if (combined)
        return combined;
    errno = failure.error;
    if (failure.name)
        fail_errno(PAGECHECK_ERRORS, failure.name);
    fail_errno(PAGECHECK_ERRORS, ("a temporary file in " + spool_folder_named()).c_str());
}

namespace {

// Opens a file to write, refusing the image itself; it is emptied or
// replaced only once every check of the start has passed.
named_output open_for_writing(const char* name, FILE* image, const char* image_name)
{
    if (overwrites(fileno(image), name))
        fail_message(PAGECHECK_ERRORS, "output '%s' is the image '%s' itself\n", name,
                     image_name);
    const int number = open_output_file(name, fifo_opening::now);
    FILE* out = number < 0 ? nullptr : fdopen(output_descriptor(number), "wb");
    if (!out)
        fail_errno(PAGECHECK_ERRORS, name);
    return {out, number};
}

// The standard output, refused when it leads into the image (`what` names
// what would go there).
named_output standard_output(FILE* image, const char* image_name, const char* what)
{
    if (overwrites(fileno(image), STDOUT_FILENO))
        fail_message(PAGECHECK_ERRORS, "%s would go into the image '%s'\n", what, image_name);
    return {stdout, -1};
}

// True when `out` writes where the standard output does.
bool is_standard_output(FILE* out)
{
    return out == stdout || same_destination(fileno(out), STDOUT_FILENO);
}

}  // namespace

named_output open_recovered(const char* name, FILE* image, const char* image_name)
{
    const named_output out = is_dash(name)
                                 ? standard_output(image, image_name, "the recovered input")
                                 : open_for_writing(name, image, image_name);
    if (isatty(fileno(out.file)) && is_standard_output(out.file))
        fail_message(PAGECHECK_ERRORS, "the recovered input would go to a terminal: "
                                       "redirect the standard output or give -o FILE\n");
    // The recovered input is written in chunks of its own.
    std::setvbuf(out.file, nullptr, _IONBF, 0);
    return out;
}

namespace {

// True when the report goes to the error stream: the recovered input or the
// picture takes the standard output.
bool report_moved(FILE* recovered, FILE* picture)
{
    return (recovered && is_standard_output(recovered)) ||
           (picture && is_standard_output(picture));
}

}  // namespace

// The stream the report goes to: the standard output unless the recovered
// input or the picture goes there, in which case the error stream, each
// line then marked "pagecheck: ".  The report must not go into the image.
FILE* report_stream(FILE* recovered, FILE* picture, FILE* image, const char* image_name)
{
    FILE* stream = report_moved(recovered, picture) ? stderr : stdout;
    if (overwrites(fileno(image), fileno(stream)))
        fail_message(PAGECHECK_ERRORS, "the report would go into the image '%s'\n", image_name);
    return stream;
}

named_output open_picture(const char* name, FILE* image, const char* image_name,
                          FILE* recovered)
{
    const named_output out = is_dash(name) ? standard_output(image, image_name, "the picture")
                                           : open_for_writing(name, image, image_name);
    if (recovered &&
        (out.file == recovered || same_destination(fileno(out.file), fileno(recovered))))
        fail_message(PAGECHECK_ERRORS, "the picture and the recovered input would go to the "
                                       "same file\n");
    return out;
}

int open_repaired(const char* name, FILE* image, const char* image_name, FILE* recovered,
                  FILE* picture)
{
    if (overwrites(fileno(image), name))
        fail_message(PAGECHECK_ERRORS, "output '%s' is the image '%s' itself\n", name,
                     image_name);
    const int number = open_output_file(name, fifo_opening::when_started,
                                        output_start::on_its_own);
    if (number < 0)
        fail_errno(PAGECHECK_ERRORS, name);
    const int fd = output_descriptor(number);
    for (FILE* other : {recovered, picture})
        if (fd >= 0 && other && same_destination(fd, fileno(other)))
            fail_message(PAGECHECK_ERRORS, "the repaired image would go to the same file as "
                                           "another output\n");
    return number;
}

void finish_named_output(const named_output& output, const char* name)
{
    if (std::fflush(output.file) != 0 || std::ferror(output.file) ||
        (output.number >= 0 && !finish_output_file(output.number)) ||
        (output.file != stdout && std::fclose(output.file) != 0))
        fail_errno(PAGECHECK_ERRORS, name);
}

// Refuses to read the image from, or write the report or an output to, a
// standard stream that was closed when the run started (it now leads to
// /dev/null, where nothing is read and everything written is lost).
void refuse_closed_streams(const check_options& options, int closed)
{
    if ((closed & 1) && is_dash(options.image))
        fail_message(PAGECHECK_ERRORS, "the standard input is closed\n");
    if (!(closed & 2))
        return;
    const bool output_there = options.output && is_dash(options.output);
    const bool picture_there = options.svg && is_dash(options.svg);
    if (output_there || picture_there)
        fail_message(PAGECHECK_ERRORS, "the standard output is closed\n");
    fail_message(PAGECHECK_ERRORS, "cannot write the report: the standard output is closed\n");
}

// Refuses a report that would go to an error stream that was closed when
// the run started.
void refuse_closed_error_stream(int closed, FILE* recovered, FILE* picture)
{
    if ((closed & 4) && report_moved(recovered, picture))
        fail_message(PAGECHECK_ERRORS, "cannot write the report: the standard error is closed\n");
}

// Refuses an error stream that leads into the image, as a report there would
// be.  The refusal goes to the standard output, or nowhere when that leads
// into the image too.
void refuse_messages_into_image(const char* image, const char* image_name)
{
    const auto into_image = [&](int fd) {
        return is_dash(image) ? overwrites(STDIN_FILENO, fd) : overwrites(fd, image);
    };
    if (!into_image(STDERR_FILENO))
        return;
    if (!into_image(STDOUT_FILENO))
        std::printf("%sthe error stream would go into the image '%s'\n",
                    PAGECHECK_ERRORS.prefix, image_name);
    std::exit(PAGECHECK_ERRORS.status);
}

