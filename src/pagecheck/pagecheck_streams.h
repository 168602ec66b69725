// Where pagecheck reads and writes: the image (or several readings,
// combined), the recovered input, the picture, the repaired image and the
// report, each opened or refused so that none harms the image or another,
// and nothing is emptied before every refusal is behind.  Nothing here ends
// the run: each refusal is returned for the driver to report.
#ifndef PAGESMITH_PAGECHECK_STREAMS_H
#define PAGESMITH_PAGECHECK_STREAMS_H

#include <cstdio>
#include <string>
#include <vector>

#include "pagecheck_options.h"

// Where a refusal's message goes.
enum class refusal_to {
    nothing_refused,  // the run goes on
    error_stream,     // the usual place
    standard_output,  // the error stream leads into the image
    nowhere,          // both standard streams lead into the image
};

// Why a run cannot go on: the message without the tool's prefix, and where
// it goes.
struct refusal {
    std::string message;                               // with its newline
    refusal_to where = refusal_to::nothing_refused;  // nothing_refused: no refusal
};

// An output named on the command line: its stream, and its number among the
// output files (-1 for the standard output).
struct named_output {
    FILE* file = nullptr;
    int number = -1;
};

// What a check reads and writes, once every refusal is behind.
struct run_streams {
    FILE* image = nullptr;             // the first image, unbuffered
    const char* image_name = nullptr;  // its name in messages
    std::vector<FILE*> more_readings;  // the images after the first
    named_output recovered;            // -o, when asked for
    named_output picture;              // --svg, when asked for
    int repaired = -1;                 // --repair's number among the output files
    FILE* report = nullptr;            // the stream the report goes to
};

// True when `name` stands for a standard stream.
bool is_dash(const char* name);

// An output's name in messages: as given, or "standard output" for "-" or
// none.
const char* output_name(const char* name);

// Opens every image and output that `options` names (`closed`: the
// standard streams that were closed when the run started, as
// open_missing_standard_descriptors gives them), or refuses the first that
// would harm the image or another output, or would read or write a closed
// standard stream.  No output is emptied or replaced yet.
refusal open_run_streams(const check_options& options, int closed, run_streams& streams);

// Combines the first image and the readings after it into one image to
// check, read from its start; the findings about the readings are counted
// into `summary` and handed to `sink`.  Returns null, with the failure in
// `why`, when a reading cannot be read or the combined image not written.
FILE* combined_image(const run_streams& streams, const check_options& options,
                     const check_sink& sink, check_summary& summary, refusal& why);

// Completes an output whose every byte was written: flushed, and a file
// renamed over its name when it replaces one, then closed.  False, with
// errno set, on a failure.
bool finish_named_output(const named_output& output);

#endif
