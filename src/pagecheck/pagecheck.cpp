// pagecheck: verifies a flash image made by pagesmith, works out how it was
// made, corrects single bit errors and recovers the input.
//
//   pagecheck [-H] [-B LIST] [-o FILE] [-q] [--json] [--map] [--svg FILE]
//             [--health] [-r OUT [--retire LIST]] IMAGE...
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

#include "background_write.h"
#include "block_health.h"
#include "delayed_report.h"
#include "file_checks.h"
#include "image_check.h"
#include "image_map.h"
#include "input_recovery.h"
#include "json_writer.h"
#include "map_svg.h"
#include "report_spool.h"
#include "pagecheck_options.h"
#include "output_files.h"
#include "pagecheck_streams.h"
#include "progress.h"
#include "repair_run.h"
#include "second_pass.h"
#include "report_words.h"
#include "text_writer.h"

namespace {

// The recovered input while the check runs: written so far, up to a
// failure that ends the run in the middle.
struct recovery_in_progress {
    input_recovery* recovery = nullptr;  // null once finished, or when its writing failed
    background_write* write = nullptr;   // the thread that writes it, when there is one
};

// Ends the run with status 2 and the error of `word`, after writing the
// pages recovered so far but the latest (which the end would have cut):
// an output written in place keeps them.
[[noreturn]] void fail_mid_check(const recovery_in_progress& progress, const char* word)
{
    const int saved = errno;
    if (progress.recovery)
        write_gathered(*progress.recovery);
    if (progress.write)
        finish_background_write(*progress.write);
    errno = saved;
    fail_errno(PAGECHECK_ERRORS, word);
}

// The writer of the report in the form the options ask for.
std::unique_ptr<report_writer> make_writer(const check_options& options, FILE* stream,
                                           const char* image_name)
{
    if (options.form == report_form::json)
        return make_json_writer(stream, image_name, options.detail, options.map);
    const char* prefix = stream == stderr ? PAGECHECK_ERRORS.prefix : "";
    return make_text_writer(stream, prefix, options.detail, options.map, options.health);
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

// Draws the map into the picture's file, shaded by the blocks' health when
// asked, and completes it.
void draw_svg(const named_output& out, const char* name, const char* image_name,
              const svg_map& map, const check_summary& summary, health_request health)
{
    const svg_texts texts = {image_name, describe_layout(summary.layout),
                             describe_summary_parts(summary),
                             health == health_request::present ? &summary.map_health : nullptr};
    const char* shown = is_dash(name) ? "standard output" : name;
    if (!write_svg(out.file, map, texts))
        fail_errno(PAGECHECK_ERRORS, shown);
    finish_named_output(out, shown);
}

// Prints what --help or --version gives and ends with status 0 (2 when it
// cannot be written), or reports a usage error and ends with status 2.
[[noreturn]] void end_without_check(const parsed_command& command)
{
    if (command.action == command_action::usage_error) {
        say(PAGECHECK_ERRORS, "%s", command.text.c_str());
        std::fputs("Try 'pagecheck --help' for more information.\n", stderr);
        std::exit(PAGECHECK_ERRORS.status);
    }
    if (std::fputs(command.text.c_str(), stdout) < 0 || std::fflush(stdout) != 0 ||
        std::ferror(stdout))
        fail_errno(PAGECHECK_ERRORS, "standard output");
    std::exit(0);
}

}  // namespace

int main(int argc, char** argv)
{
    // An image or output opened below must never become a standard stream.
    const int closed = open_missing_standard_descriptors();
    if (closed < 0)
        return PAGECHECK_ERRORS.status;
    const parsed_command command = parse_command_line(argc, argv);
    if (command.action != command_action::check)
        end_without_check(command);
    const check_options& options = command.options;
    const char* image_name = is_dash(options.image) ? "standard input" : options.image;
    refuse_messages_into_image(options.image, image_name);
    refuse_closed_streams(options, closed);
    FILE* in = open_image(options.image, image_name);
    const std::vector<FILE*> more_readings = open_more_readings(options);
    input_recovery recovery;
    const named_output recovered =
        options.output ? open_recovered(options.output, in, image_name) : named_output{};
    recovery.out = recovered.file;
    const char* out_name = options.output && !is_dash(options.output) ? options.output
                                                                       : "standard output";
    const named_output picture =
        options.svg ? open_picture(options.svg, in, image_name, recovery.out) : named_output{};
    repair_run repair;
    if (options.repair) {
        repair.name = options.repair;
        repair.retire = options.retire;
        repair.output = open_repaired(options.repair, in, image_name, recovery.out, picture.file);
    }
    refuse_closed_error_stream(closed, recovery.out, picture.file);
    FILE* stream = report_stream(recovery.out, picture.file, in, image_name);
    const std::unique_ptr<report_writer> writer = make_writer(options, stream, image_name);
    const std::unique_ptr<report_writer> delayed = delay_report(*writer);
    report_writer& report = *delayed;
    // Every refusal is behind: only now are the output files replaced or
    // emptied.
    if (const char* name = start_output_files())
        fail_errno(PAGECHECK_ERRORS, name);
    // Several readings are combined into a new file, read again from 0.
    const long again_from = options.images.size() > 1 ? 0 : read_again_from(in);
    const repair_input repair_from =
        again_from >= 0 ? repair_input::read_again : repair_input::spooled;

    check_summary summary;
    recovery_in_progress progress;
    // Ends the run with status 2 when the report could not be written.
    const auto exit_unless_written = [&](bool written) {
        if (!written)
            fail_mid_check(progress, "cannot write the report");
    };
    text_map map;
    map.on_run = [&](const map_run& run) { exit_unless_written(report.write_run(run)); };
    svg_map map_picture;
    block_gatherer gatherer;
    gatherer.on_block = [&](uint64_t block, const std::string& cells,
                            const std::vector<uint64_t>& outside) {
        if (report.takes_map())
            map_block(map, block, cells, outside);
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
    // The recovered input is written on a thread of its own while the
    // check goes on.
    background_write recovered_write;
    if (recovery.out) {
        progress.recovery = &recovery;
        progress.write = &recovered_write;
        start_background_write(recovered_write, fileno(recovery.out));
        recovery.channel = &recovered_write.channel;
    }
    sink.on_page = [&](const checked_page& page) {
        if (recovery.out && !recover_page(recovery, page)) {
            progress.recovery = nullptr;
            fail_errno(PAGECHECK_ERRORS, out_name);
        }
        if (options.repair && !repair_page(repair, page))
            fail_errno(PAGECHECK_ERRORS, "the temporary file of the recovered input");
        count_page_health(summary.health, page);
        count_map_health(summary.map_health, page);
        if (gathers) {
            gatherer.file_start = summary.layout.image_start;
            gather_page(gatherer, page);
        }
        if (page.place != page_place::absent)
            note_progress((page.file_record + 1) * PAGE_RECORD_SIZE);
    };

    if (!more_readings.empty())
        in = combined_image(in, more_readings, options, sink, summary);
    if (options.repair && !start_repair(repair, repair_from, in, again_from, options.claim))
        fail_errno(PAGECHECK_ERRORS, ("cannot make a temporary file for the recovered input in " +
                                      spool_folder_named()).c_str());
    if (options.detail == report_detail::findings)
        start_progress(fileno(in));
    image_checker checker;
    const int read_error = check_image(checker, in, options.claim, sink, summary);
    if (read_error != 0) {
        errno = read_error;
        fail_mid_check(progress, image_name);
    }
    clear_progress();
    finish_gathering(gatherer);
    finish_map(map);
    progress.recovery = nullptr;
    if (recovery.out && (!finish_recovery(recovery, summary) ||
                         !finish_background_write(recovered_write)))
        fail_errno(PAGECHECK_ERRORS, out_name);
    recovery.channel = nullptr;
    if (recovery.out && !put_holes(recovery, summary.layout.holes, summary.layout.input_size)) {
        if (errno != ESPIPE)
            fail_errno(PAGECHECK_ERRORS, out_name);
        exit_unless_written(report.write_note({.what = note_kind::holes_not_put,
                                               .count = summary.layout.holes.size()}));
    }
    if (recovery.out)
        finish_named_output(recovered, out_name);
    if (options.repair)
        if (const char* failed = finish_repair(repair, summary, in, checker, options.claim))
            fail_errno(PAGECHECK_ERRORS, failed);
    if (picture.file)
        draw_svg(picture, options.svg, image_name, map_picture, summary, options.health);
    exit_unless_written(report.write_summary(summary));
    return check_status(summary);
}
