// Runs a built binary with its image and trace sent through pipes, for runs
// whose output is too large to keep.
#ifndef PAGESMITH_TESTS_STREAM_RUNNER_H
#define PAGESMITH_TESTS_STREAM_RUNNER_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tool_runner.h"

// Receives the bytes of one output stream, piece by piece, in order.
using stream_sink = std::function<void(const char* bytes, size_t n)>;

// The output name under which the run writes its image into the pipe.
extern const char* const streamed_image_name;

// Runs argv (argv[0] is the program path) with standard input from
// /dev/null, the image written to streamed_image_name going to `image` and
// the standard output to `trace`; the error stream is kept in the result.
tool_result run_streamed(const std::vector<std::string>& argv, const stream_sink& image,
                         const stream_sink& trace);

#endif
