// The flash image writer: turns an input stream into page records.  It
// never ends the process: a failure is returned to the caller, which words
// it and decides what follows.
#ifndef PAGESMITH_IMAGE_WRITER_H
#define PAGESMITH_IMAGE_WRITER_H

#include <cstdint>

#include "command_line.h"
#include "image_layout.h"
#include "page_io.h"

// Converts all of `in` into page records on `out` as `settings` ask, with
// header pages holding header_size, and writes the trace; records may be
// left laid out and not yet written (flush_image).  Stops at the first
// failed read of the input, after writing every record laid out before it,
// or at the first failed write of the image, and returns it.  It keeps no
// state of its own: a second call converts as a second run would, but that
// bit errors (-s, -d) go on with the random sequence where the first call
// left it, so they fall elsewhere.
writer_error read_data(writer_input& in, writer_output& out, const run_settings& settings,
                       int32_t header_size);

// Writes one header page holding `size`, with its trace lines.
writer_error write_header(writer_output& out, int32_t size);

// Writes the 64 bad-block pages of block number `block`, with their trace.
writer_error write_bad_block(writer_output& out, int32_t block);

// True when `block` stands in the list (reported on `notes`, when not null).
bool is_bad(const optional_bad_blocks& bad_block, int32_t block, FILE* notes);

#endif
