// pagecheck's image, outputs and report stream, opened or refused.
#include "pagecheck_streams.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <functional>

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

const char* output_name(const char* name)
{
    return name && !is_dash(name) ? name : "standard output";
}

namespace {

// A refusal with a printf-style message, for the error stream.
refusal refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));

refusal refuse(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    va_end(args);
    return {text, refusal_to::error_stream};
}

// A refusal that reads "WORD: system error text" for the current errno.
refusal refuse_errno(const char* word)
{
    return {errno_text(word), refusal_to::error_stream};
}

// True when `why` stops the run.
bool refused(const refusal& why)
{
    return why.where != refusal_to::nothing_refused;
}

// Opens the image ("-" is the standard input), unbuffered, and reads its
// first byte where that can be done without taking it from the stream: an
// image that is a folder or cannot be read is refused before any output is
// touched.
refusal open_image(const char* name, const char* image_name, FILE*& in)
{
    in = is_dash(name) ? stdin : std::fopen(name, "rb");
    if (!in)
        return refuse_errno(name);
    std::setvbuf(in, nullptr, _IONBF, 0);
    uint8_t first;
    if (pread(fileno(in), &first, 1, 0) < 0 && errno != ESPIPE)
        return refuse_errno(is_dash(name) ? image_name : name);
    return {};
}

// Opens the images after the first, as open_image does, refusing any
// output named on the command line that would overwrite one of them.
refusal open_more_readings(const check_options& options, std::vector<FILE*>& files)
{
    for (size_t k = 1; k < options.images.size(); ++k) {
        const char* name = options.images[k];
        const char* shown = is_dash(name) ? "standard input" : name;
        FILE* in = nullptr;
        if (const refusal why = open_image(name, shown, in); refused(why))
            return why;
        for (const char* out : {options.output, options.svg, options.repair}) {
            const bool over = out && (is_dash(out) ? overwrites(fileno(in), STDOUT_FILENO)
                                                   : overwrites(fileno(in), out));
            if (over)
                return refuse("output '%s' is the image '%s' itself\n", out, shown);
        }
        files.push_back(in);
    }
    return {};
}

// Opens a file to write, refusing the image itself; it is emptied or
// replaced only once every check of the start has passed.
refusal open_for_writing(const char* name, FILE* image, const char* image_name,
                         named_output& out)
{
    if (overwrites(fileno(image), name))
        return refuse("output '%s' is the image '%s' itself\n", name, image_name);
    out.number = open_output_file(name, fifo_opening::now);
    out.file = out.number < 0 ? nullptr : fdopen(output_descriptor(out.number), "wb");
    if (!out.file)
        return refuse_errno(name);
    return {};
}

// The standard output, refused when it leads into the image (`what` names
// what would go there).
refusal standard_output(FILE* image, const char* image_name, const char* what,
                        named_output& out)
{
    if (overwrites(fileno(image), STDOUT_FILENO))
        return refuse("%s would go into the image '%s'\n", what, image_name);
    out = {stdout, -1};
    return {};
}

// Opens `name` as an output ("-" is the standard output, `what` naming what
// would go there).
refusal open_named(const char* name, const char* what, const run_streams& streams,
                   named_output& out)
{
    return is_dash(name) ? standard_output(streams.image, streams.image_name, what, out)
                         : open_for_writing(name, streams.image, streams.image_name, out);
}

// True when `out` writes where the standard output does.
bool is_standard_output(FILE* out)
{
    return out == stdout || same_destination(fileno(out), STDOUT_FILENO);
}

// Opens the output named by -o, refusing the image itself and a terminal.
refusal open_recovered(const char* name, run_streams& streams)
{
    named_output& out = streams.recovered;
    if (const refusal why = open_named(name, "the recovered input", streams, out); refused(why))
        return why;
    if (isatty(fileno(out.file)) && is_standard_output(out.file))
        return refuse("the recovered input would go to a terminal: "
                      "redirect the standard output or give -o FILE\n");
    // The recovered input is written in chunks of its own.
    std::setvbuf(out.file, nullptr, _IONBF, 0);
    return {};
}

// Opens the file named by --svg, refusing the image itself and the file of
// the recovered input.
refusal open_picture(const char* name, run_streams& streams)
{
    named_output& out = streams.picture;
    if (const refusal why = open_named(name, "the picture", streams, out); refused(why))
        return why;
    FILE* recovered = streams.recovered.file;
    if (recovered &&
        (out.file == recovered || same_destination(fileno(out.file), fileno(recovered))))
        return refuse("the picture and the recovered input would go to the same file\n");
    return {};
}

// Opens the file named by --repair, to be started only when the repair is
// made, refusing the image itself and the files of the recovered input and
// the picture.
refusal open_repaired(const char* name, run_streams& streams)
{
    if (overwrites(fileno(streams.image), name))
        return refuse("output '%s' is the image '%s' itself\n", name, streams.image_name);
    streams.repaired = open_output_file(name, fifo_opening::when_started,
                                        output_start::on_its_own);
    if (streams.repaired < 0)
        return refuse_errno(name);
    const int fd = output_descriptor(streams.repaired);
    for (FILE* other : {streams.recovered.file, streams.picture.file})
        if (fd >= 0 && other && same_destination(fd, fileno(other)))
            return refuse("the repaired image would go to the same file as another output\n");
    return {};
}

// True when the report goes to the error stream: the recovered input or the
// picture takes the standard output.
bool report_moved(const run_streams& streams)
{
    return (streams.recovered.file && is_standard_output(streams.recovered.file)) ||
           (streams.picture.file && is_standard_output(streams.picture.file));
}

// The stream the report goes to: the standard output unless the recovered
// input or the picture goes there, in which case the error stream, each
// line then marked "pagecheck: ".  The report must not go into the image.
refusal choose_report_stream(run_streams& streams)
{
    streams.report = report_moved(streams) ? stderr : stdout;
    if (overwrites(fileno(streams.image), fileno(streams.report)))
        return refuse("the report would go into the image '%s'\n", streams.image_name);
    return {};
}

// Refuses to read the image from, or write the report or an output to, a
// standard stream that was closed when the run started (it now leads to
// /dev/null, where nothing is read and everything written is lost).
refusal refuse_closed_streams(const check_options& options, int closed)
{
    if ((closed & 1) && is_dash(options.image))
        return refuse("the standard input is closed\n");
    if (!(closed & 2))
        return {};
    const bool output_there = options.output && is_dash(options.output);
    const bool picture_there = options.svg && is_dash(options.svg);
    if (output_there || picture_there)
        return refuse("the standard output is closed\n");
    return refuse("cannot write the report: the standard output is closed\n");
}

// Refuses a report that would go to an error stream that was closed when
// the run started.
refusal refuse_closed_error_stream(int closed, const run_streams& streams)
{
    if ((closed & 4) && report_moved(streams))
        return refuse("cannot write the report: the standard error is closed\n");
    return {};
}

// Refuses an error stream that leads into the image, as a report there would
// be.  The refusal goes to the standard output, or nowhere when that leads
// into the image too.
refusal refuse_messages_into_image(const char* image, const char* image_name)
{
    const auto into_image = [&](int fd) {
        return is_dash(image) ? overwrites(STDIN_FILENO, fd) : overwrites(fd, image);
    };
    if (!into_image(STDERR_FILENO))
        return {};
    refusal why = refuse("the error stream would go into the image '%s'\n", image_name);
    why.where = into_image(STDOUT_FILENO) ? refusal_to::nowhere : refusal_to::standard_output;
    return why;
}

}  // namespace

refusal open_run_streams(const check_options& options, int closed, run_streams& streams)
{
    streams.image_name = is_dash(options.image) ? "standard input" : options.image;
    const std::vector<std::function<refusal()>> steps = {
        [&] { return refuse_messages_into_image(options.image, streams.image_name); },
        [&] { return refuse_closed_streams(options, closed); },
        [&] { return open_image(options.image, streams.image_name, streams.image); },
        [&] { return open_more_readings(options, streams.more_readings); },
        [&] { return options.output ? open_recovered(options.output, streams) : refusal{}; },
        [&] { return options.svg ? open_picture(options.svg, streams) : refusal{}; },
        [&] { return options.repair ? open_repaired(options.repair, streams) : refusal{}; },
        [&] { return refuse_closed_error_stream(closed, streams); },
        [&] { return choose_report_stream(streams); },
    };
    for (const auto& step : steps)
        if (refusal why = step(); refused(why))
            return why;
    return {};
}

FILE* combined_image(const run_streams& streams, const check_options& options,
                     const check_sink& sink, check_summary& summary, refusal& why)
{
    std::vector<FILE*> files = {streams.image};
    files.insert(files.end(), streams.more_readings.begin(), streams.more_readings.end());
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
    why = failure.name ? refuse_errno(failure.name)
                       : refuse_errno(("a temporary file in " + spool_folder_named()).c_str());
    return nullptr;
}

bool finish_named_output(const named_output& output)
{
    return std::fflush(output.file) == 0 && !std::ferror(output.file) &&
           (output.number < 0 || finish_output_file(output.number)) &&
           (output.file == stdout || std::fclose(output.file) == 0);
}
