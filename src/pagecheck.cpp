// pagecheck: verifies a flash image made by pagesmith, works out how it was
// made, corrects single bit errors and recovers the input.
//
//   pagecheck [-H] [-B LIST] [-o FILE] [-q] [--json] [--map] [--svg FILE] IMAGE
//
// This file opens the image and the outputs and connects the checking core
// to the report, the map and the recovered input.
//
// Exit status: 0 sound, 1 uncorrectable or malformed, 2 usage or file error.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <memory>

#include "delayed_report.h"
#include "file_checks.h"
#include "image_check.h"
#include "image_map.h"
#include "input_recovery.h"
#include "json_writer.h"
#include "map_svg.h"
#include "output_files.h"
#include "report_spool.h"
#include "pagecheck_options.h"
#include "progress.h"
#include "report_words.h"
#include "text_writer.h"

namespace {

// The recovered input being written, until it is finished or its writing
// fails.
input_recovery* recovery_under_way = nullptr;

// At an exit in the middle of the check: writes the pages recovered so
// far but the latest, which the end would have cut.
void write_recovered_so_far()
{
    if (recovery_under_way)
        write_gathered(*recovery_under_way);
}

// True when `name` stands for a standard stream.
bool is_dash(const char* name)
{
    return std::strcmp(name, "-") == 0;
}

// Opens the image ("-" is the standard input), unbuffered: the checking
// core reads it in large pieces straight into its window.
FILE* open_image(const char* name)
{
    FILE* in = is_dash(name) ? stdin : std::fopen(name, "rb");
    if (!in)
        fail_errno(PAGECHECK_ERRORS, name);
    std::setvbuf(in, nullptr, _IONBF, 0);
    return in;
}

// Opens a file to write, refusing the image itself; it is emptied only
// once every check of the start has passed.
FILE* open_for_writing(const char* name, FILE* image, const char* image_name)
{
    if (overwrites(fileno(image), name))
        fail_message(PAGECHECK_ERRORS, "output '%s' is the image '%s' itself\n", name,
                     image_name);
    FILE* out = open_unemptied(name);
    if (!out)
        fail_errno(PAGECHECK_ERRORS, name);
    return out;
}

// True when `out` writes where the standard output does.
bool is_standard_output(FILE* out)
{
    return out == stdout || same_destination(fileno(out), STDOUT_FILENO);
}

// Opens the output named by -o ("-" is the standard output), refusing the
// image itself and a terminal.
FILE* open_output(const char* name, FILE* image, const char* image_name)
{
    FILE* out = is_dash(name) ? stdout : open_for_writing(name, image, image_name);
    if (isatty(fileno(out)) && is_standard_output(out))
        fail_message(PAGECHECK_ERRORS, "the recovered input would go to a terminal: "
                                       "redirect the standard output or give -o FILE\n");
    // The recovered input is written in chunks of its own.
    std::setvbuf(out, nullptr, _IONBF, 0);
    return out;
}

// Ends the run with status 2 when the report could not be written.
void exit_unless_written(bool written)
{
    if (!written)
        fail_errno(PAGECHECK_ERRORS, "cannot write the report");
}

// True when the report goes to the error stream: the recovered input or the
// picture takes the standard output.
bool report_moved(FILE* recovered, FILE* picture)
{
    return (recovered && is_standard_output(recovered)) ||
           (picture && is_standard_output(picture));
}

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

// The writer of the report in the form the options ask for.
std::unique_ptr<report_writer> make_writer(const check_options& options, FILE* stream,
                                           const char* image_name)
{
    if (options.form == report_form::json)
        return make_json_writer(stream, image_name, options.detail, options.map);
    const char* prefix = stream == stderr ? PAGECHECK_ERRORS.prefix : "";
    return make_text_writer(stream, prefix, options.detail, options.map);
}

// The report, held back until the summary, with its spools made before
// anything is read or emptied: without them it would come out of order.
std::unique_ptr<report_writer> delay_report(report_writer& writer)
{
    std::unique_ptr<report_writer> report = make_delayed_report(writer);
    if (report)
        return report;
    fail_errno(PAGECHECK_ERRORS,
               ("cannot make a temporary file for the report in " + spool_folder_named()).c_str());
}

// Opens the file named by --svg ("-" is the standard output), refusing the
// image itself and the file of the recovered input.
FILE* open_picture(const char* name, FILE* image, const char* image_name, FILE* recovered)
{
    FILE* out = is_dash(name) ? stdout : open_for_writing(name, image, image_name);
    if (recovered && (out == recovered || same_destination(fileno(out), fileno(recovered))))
        fail_message(PAGECHECK_ERRORS, "the picture and the recovered input would go to the "
                                       "same file\n");
    return out;
}

// Draws the map into the picture's file.
void draw_svg(FILE* out, const char* name, const char* image_name, const svg_map& map,
              const check_summary& summary)
{
    const svg_texts texts = {image_name, describe_layout(summary.layout),
                             describe_summary_parts(summary)};
    const bool written = write_svg(out, map, texts);
    if (!written || (out != stdout && std::fclose(out) != 0))
        fail_errno(PAGECHECK_ERRORS, is_dash(name) ? "standard output" : name);
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

}  // namespace

int main(int argc, char** argv)
{
    // An image or output opened below must never become a standard stream.
    const int closed = open_missing_standard_descriptors();
    if (closed < 0)
        return PAGECHECK_ERRORS.status;
    const check_options options = parse_command_line(argc, argv);
    const char* image_name = is_dash(options.image) ? "standard input" : options.image;
    refuse_messages_into_image(options.image, image_name);
    refuse_closed_streams(options, closed);
    FILE* in = open_image(options.image);
    input_recovery recovery;
    recovery.out = options.output ? open_output(options.output, in, image_name) : nullptr;
    const char* out_name = options.output && !is_dash(options.output) ? options.output
                                                                       : "standard output";
    FILE* picture = options.svg ? open_picture(options.svg, in, image_name, recovery.out) : nullptr;
    refuse_closed_error_stream(closed, recovery.out, picture);
    FILE* stream = report_stream(recovery.out, picture, in, image_name);
    const std::unique_ptr<report_writer> writer = make_writer(options, stream, image_name);
    const std::unique_ptr<report_writer> delayed = delay_report(*writer);
    report_writer& report = *delayed;
    // Every refusal is behind: only now are the output files emptied.
    if (const char* name = empty_output_files())
        fail_errno(PAGECHECK_ERRORS, name);

    text_map map;
    map.on_run = [&](const map_run& run) { exit_unless_written(report.write_run(run)); };
    svg_map map_picture;
    block_gatherer gatherer;
    gatherer.on_block = [&](uint64_t block, const std::string& cells) {
        if (report.takes_map())
            map_block(map, block, cells);
        if (options.svg)
            svg_block(map_picture, block, cells);
    };
    check_sink sink;
    sink.on_finding = [&](const finding& f) { exit_unless_written(report.write_finding(f)); };
    sink.on_layout = [&](const found_layout& layout) {
        exit_unless_written(report.write_layout(layout));
        for (const layout_note& note : layout.notes)
            exit_unless_written(report.write_note(note));
    };
    const bool gathers = report.takes_map() || options.svg;
    if (recovery.out) {
        recovery_under_way = &recovery;
        std::atexit(write_recovered_so_far);
    }
    sink.on_page = [&](const checked_page& page) {
        if (recovery.out && !recover_page(recovery, page)) {
            recovery_under_way = nullptr;
            fail_errno(PAGECHECK_ERRORS, out_name);
        }
        if (gathers)
            gather_page(gatherer, page);
        if (page.place != page_place::absent)
            note_progress((page.file_record + 1) * PAGE_RECORD_SIZE);
    };

    if (options.detail == report_detail::findings)
        start_progress(fileno(in));
    image_checker checker;
    check_summary summary;
    const int read_error = check_image(checker, in, options.claim, sink, summary);
    if (read_error != 0) {
        errno = read_error;
        fail_errno(PAGECHECK_ERRORS, image_name);
    }
    clear_progress();
    finish_gathering(gatherer);
    finish_map(map);
    recovery_under_way = nullptr;
    if (recovery.out && !finish_recovery(recovery, summary.layout.input_size))
        fail_errno(PAGECHECK_ERRORS, out_name);
    if (recovery.out && !put_holes(recovery, summary.layout.holes, summary.layout.input_size)) {
        if (errno != ESPIPE)
            fail_errno(PAGECHECK_ERRORS, out_name);
        exit_unless_written(report.write_note({.what = note_kind::holes_not_put,
                                               .count = summary.layout.holes.size()}));
    }
    if (recovery.out && recovery.out != stdout && std::fclose(recovery.out) != 0)
        fail_errno(PAGECHECK_ERRORS, out_name);
    if (picture)
        draw_svg(picture, options.svg, image_name, map_picture, summary);
    exit_unless_written(report.write_summary(summary));
    return check_status(summary);
}
