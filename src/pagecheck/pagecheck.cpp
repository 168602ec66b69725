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
#include "svg_writer.h"
#include "report_spool.h"
#include "pagecheck_options.h"
#include "output_files.h"
#include "pagecheck_streams.h"
#include "run_end.h"
#include "repair_run.h"
#include "second_pass.h"
#include "report_words.h"
#include "text_writer.h"

namespace {

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
std::unique_ptr<report_writer> delay_report(run_state& run, report_writer& writer)
{
    std::unique_ptr<report_writer> report = make_delayed_report(writer);
    if (!report)
        stop_errno(run, ("cannot make a temporary file for the report in " +
                         spool_folder_named()).c_str());
    return report;
}

// Prints what --help or --version gives and ends with status 0 (2 when it
// cannot be written), or reports a usage error and ends with status 2.
[[noreturn]] void end_without_check(run_state& run, const parsed_command& command)
{
    if (command.action == command_action::usage_error) {
        say(PAGECHECK_ERRORS, "%s", command.text.c_str());
        std::fputs("Try 'pagecheck --help' for more information.\n", stderr);
        end_run(PAGECHECK_ERRORS.status);
    }
    if (std::fputs(command.text.c_str(), stdout) < 0 || std::fflush(stdout) != 0 ||
        std::ferror(stdout))
        stop_errno(run, "standard output");
    end_run(0);
}

}  // namespace

int main(int argc, char** argv)
{
    // An image or output opened below must never become a standard stream.
    const int closed = open_missing_standard_descriptors();
    if (closed < 0)
        return PAGECHECK_ERRORS.status;
    run_state run;
    const parsed_command command = parse_command_line(argc, argv);
    if (command.action != command_action::check)
        end_without_check(run, command);
    const check_options& options = command.options;
    run_streams streams;
    if (const refusal why = open_run_streams(options, closed, streams);
        why.where != refusal_to::nothing_refused)
        stop_refused(run, why);
    FILE* in = streams.image;
    const char* image_name = streams.image_name;
    input_recovery recovery;
    recovery.out = streams.recovered.file;
    const char* out_name = output_name(options.output);
    repair_run repair;
    repair.name = options.repair;
    repair.retire = options.retire;
    repair.output = streams.repaired;
    const std::unique_ptr<report_writer> writer = make_writer(options, streams.report, image_name);
    const std::unique_ptr<report_writer> delayed = delay_report(run, *writer);
    report_writer& report = *delayed;
    // Every refusal is behind: only now are the output files replaced or
    // emptied.
    if (const char* name = start_output_files())
        stop_errno(run, name);
    // Several readings are combined into a new file, read again from 0.
    const long again_from = options.images.size() > 1 ? 0 : read_again_from(in);
    const repair_input repair_from =
        again_from >= 0 ? repair_input::read_again : repair_input::spooled;

    check_summary summary;
    // Ends the run with status 2 when the report could not be written.
    const auto exit_unless_written = [&](bool written) {
        if (!written)
            fail_mid_check(run, "cannot write the report");
    };
    text_map map;
    map.on_run = [&](const map_run& map_run) { exit_unless_written(report.write_run(map_run)); };
    // The picture is the report's third form, beside the text or JSON.
    const std::unique_ptr<report_writer> picture =
        streams.picture.file
            ? make_svg_writer(streams.picture.file, image_name, options.health)
            : nullptr;
    const char* picture_name = output_name(options.svg);
    block_gatherer gatherer;
    gatherer.on_block = [&](uint64_t block, const std::string& cells,
                            const std::vector<uint64_t>& outside) {
        if (report.takes_map())
            map_block(map, block, cells, outside);
        if (picture && !picture->write_block(block, cells))
            fail_mid_check(run, picture_name);
    };
    check_sink sink;
    sink.on_finding = [&](const finding& f) { exit_unless_written(report.write_finding(f)); };
    sink.on_layout = [&](const found_layout& layout) {
        exit_unless_written(report.write_layout(layout));
        for (const layout_note& note : layout.notes)
            exit_unless_written(report.write_note(note));
    };
    const bool gathers = report.takes_map() || picture;
    // The recovered input is written on a thread of its own while the
    // check goes on.
    background_write recovered_write;
    if (recovery.out) {
        run.recovery = &recovery;
        run.write = &recovered_write;
        start_background_write(recovered_write, fileno(recovery.out));
        recovery.channel = &recovered_write.channel;
    }
    sink.on_page = [&](const checked_page& page) {
        if (recovery.out && !recover_page(recovery, page)) {
            run.recovery = nullptr;
            stop_errno(run, out_name);
        }
        if (options.repair && !repair_page(repair, page))
            stop_errno(run, "the temporary file of the recovered input");
        count_page_health(summary.health, page);
        count_map_health(summary.map_health, page);
        if (gathers) {
            gatherer.file_start = summary.layout.image_start;
            gather_page(gatherer, page);
        }
        if (page.place != page_place::absent)
            note_progress(run.line, (page.file_record + 1) * PAGE_RECORD_SIZE);
    };

    if (!streams.more_readings.empty()) {
        refusal why;
        in = combined_image(streams, options, sink, summary, why);
        if (!in)
            stop_refused(run, why);
    }
    if (options.repair && !start_repair(repair, repair_from, in, again_from, options.claim))
        stop_errno(run, ("cannot make a temporary file for the recovered input in " +
                         spool_folder_named()).c_str());
    if (options.detail == report_detail::findings)
        start_progress(run.line, fileno(in));
    image_checker checker;
    const int read_error = check_image(checker, in, options.claim, sink, summary);
    if (read_error != 0) {
        errno = read_error;
        fail_mid_check(run, image_name);
    }
    clear_progress(run.line);
    finish_gathering(gatherer);
    finish_map(map);
    run.recovery = nullptr;
    if (recovery.out && (!finish_recovery(recovery, summary) ||
                         !finish_background_write(recovered_write)))
        stop_errno(run, out_name);
    recovery.channel = nullptr;
    if (recovery.out && !put_holes(recovery, summary.layout.holes, summary.layout.input_size)) {
        if (errno != ESPIPE)
            stop_errno(run, out_name);
        exit_unless_written(report.write_note({.what = note_kind::holes_not_put,
                                               .count = summary.layout.holes.size()}));
    }
    if (recovery.out && !finish_named_output(streams.recovered))
        stop_errno(run, out_name);
    if (options.repair)
        if (const char* failed = finish_repair(repair, summary, in, checker, options.claim))
            stop_errno(run, failed);
    if (picture && (!picture->write_summary(summary) || !finish_named_output(streams.picture)))
        stop_errno(run, picture_name);
    exit_unless_written(report.write_summary(summary));
    return end_run_here(check_status(summary));
}
