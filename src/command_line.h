// The option walk of the command line, kept apart from the driver so that
// it runs in-process on any argument vector: it prints nothing and never
// ends the process.
#ifndef PAGESMITH_COMMAND_LINE_H
#define PAGESMITH_COMMAND_LINE_H

#include <cstdint>

#include "image_layout.h"

// The run settings that the options set, with their starting values.
struct run_settings {
    int32_t error_bits = 0;           // "-s" 1, "-d" 2
    bool fill = false;                // "-f"
    bool bad_block_table = false;     // "-b", "-B"
    optional_bad_blocks bad_block;    // created by the first "-B"
    bool header = false;              // "-h"
    int32_t forced_header_size = 0;   // "-F" value; 0 means none

    // Equal settings make equal images of equal inputs.
    bool operator==(const run_settings&) const = default;
};

// How the walk over the options ended.
enum class parse_status {
    ok,             // every option was recognised
    usage,          // "-?" was given (also as the value of "-F")
    bad_argument,   // argv[bad_index] was not recognised
};

// Result of parse_options.
struct parse_result {
    parse_status status = parse_status::ok;
    int bad_index = 0;            // the rejected argument, with bad_argument
    bool too_many_bad_blocks = false;  // it was a number for a full list
};

// Walks argv[3..argc-1] into `settings`; stops at the first rejection.
parse_result parse_options(int argc, const char* const* argv,
                           run_settings& settings);

// Converts text as strtol in base 10 does, clamped to the signed 32-bit
// range; no digits give 0.
int32_t to_int32(const char* text);

#endif
