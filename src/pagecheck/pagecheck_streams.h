// Where pagecheck reads and writes: the image (or several readings,
// combined), the recovered input, the picture, the repaired image and the
// report, each opened or refused so that none harms the
// image or another, and nothing is emptied before every refusal is behind.
#ifndef PAGESMITH_PAGECHECK_STREAMS_H
#define PAGESMITH_PAGECHECK_STREAMS_H

#include <cstdio>

#include "pagecheck_options.h"

// An output named on the command line: its stream, and its number among the
// output files (-1 for the standard output).
struct named_output {
    FILE* file = nullptr;
    int number = -1;
};

// True when `name` stands for a standard stream.
bool is_dash(const char* name);

// Opens the image ("-" is the standard input), unbuffered, and reads its
// first byte where that can be done without taking it from the stream: an
// image that is a folder or cannot be read is refused before any output is
// touched.
FILE* open_image(const char* name, const char* image_name);

// Opens the images after the first, as open_image does, refusing any
// output named on the command line that would overwrite one of them.
std::vector<FILE*> open_more_readings(const check_options& options);

// Combines the first image and the readings after it into one image to
// check, read from its start; the findings about the readings are counted
// into `summary` and handed to `sink`.  A failure ends the run.
FILE* combined_image(FILE* first, const std::vector<FILE*>& more, const check_options& options,
                     const check_sink& sink, check_summary& summary);

// Opens the output named by -o ("-" is the standard output), refusing the
// image itself and a terminal.
named_output open_recovered(const char* name, FILE* image, const char* image_name);

// Opens the file named by --svg ("-" is the standard output), refusing the
// image itself and the file of the recovered input.
named_output open_picture(const char* name, FILE* image, const char* image_name,
                          FILE* recovered);

// Opens the file named by --repair to be started only when the repair is
// made, refusing the image itself and the files of the recovered input and
// the picture; returns its number among the output files.
int open_repaired(const char* name, FILE* image, const char* image_name, FILE* recovered,
                  FILE* picture);

// The stream the report goes to: the standard output unless the recovered
// input or the picture goes there, in which case the error stream.  The
// report must not go into the image.
FILE* report_stream(FILE* recovered, FILE* picture, FILE* image, const char* image_name);

// Completes an output whose every byte was written: flushed, and a file
// renamed over its name when it replaces one, then closed.  A failure ends
// the run, naming the output as given (`name`).
void finish_named_output(const named_output& output, const char* name);

// Refuses to read the image from, or write the report or an output to, a
// standard stream that was closed when the run started.
void refuse_closed_streams(const check_options& options, int closed);

// Refuses a report that would go to an error stream that was closed when
// the run started.
void refuse_closed_error_stream(int closed, FILE* recovered, FILE* picture);

// Refuses an error stream that leads into the image, as a report there
// would be.
void refuse_messages_into_image(const char* image, const char* image_name);

#endif
