// pagecheck's command line: getopt_long over the options, each usage error
// named as the user typed it.
#ifndef PAGESMITH_PAGECHECK_OPTIONS_H
#define PAGESMITH_PAGECHECK_OPTIONS_H

#include <string>
#include <vector>

#include "check_sink.h"
#include "errors.h"
#include "report_writer.h"
#include "retire_list.h"

// pagecheck's failures: every message starts "pagecheck: ", status 2.
constexpr error_style PAGECHECK_ERRORS = {"pagecheck: ", 2};

// The form of the report.
enum class report_form { text, json };

// What the command line asks for.
struct check_options {
    layout_claim claim;                              // -H, -B
    const char* output = nullptr;                    // -o, or none
    report_detail detail = report_detail::findings;  // -q
    report_form form = report_form::text;            // --json
    map_request map = map_request::absent;           // --map
    const char* svg = nullptr;                       // --svg, or none
    const char* repair = nullptr;                    // -r, --repair, or none
    retire_request retire;                           // --retire
    health_request health = health_request::absent;  // --health
    const char* image = nullptr;                     // the first operand; "-" standard input
    std::vector<const char*> images;                 // every operand: readings of one chip
};

// What the command line asks the run to do.
enum class command_action {
    check,        // check the image as `options` say
    print,        // print `text` on the standard output (--help, --version)
    usage_error,  // report `text`, a usage error, and end with status 2
};

// The command line, walked.
struct parsed_command {
    command_action action = command_action::check;
    check_options options;
    std::string text;  // print or usage_error: the text, ending in a newline
};

// Walks the command line into options, or the text that --help, --version
// or a usage error gives; ends nothing.
parsed_command parse_command_line(int argc, char** argv);

#endif
