// The flash image writer: turns an input stream into page records.  It
// never ends the process: a failure is returned to the caller, which words
// it and decides what follows.
#ifndef PAGESMITH_IMAGE_WRITER_H
#define PAGESMITH_IMAGE_WRITER_H

#include <cstdint>

#include "image_layout.h"
#include "page_io.h"

// Converts all of `in` into page records on `out` and writes the trace;
// records may be left laid out and not yet written (flush_image).
// error_bits: bit errors per page (0, 1 or 2); fill: complete the last block
// with fill pages; bad_block_table: mark pages 0 and 1 of each block;
// bad_block: blocks to write as bad; header: a header page holding
// header_size at the start of each block.  Stops at the first failed read
// of the input, after writing every record laid out before it, or at the
// first failed write of the image, and returns it.
writer_error read_data(writer_input& in, writer_output& out, int32_t error_bits, bool fill,
                       bool bad_block_table, const optional_bad_blocks& bad_block,
                       bool header, int32_t header_size);

// Writes one header page holding `size`, with its trace lines.
writer_error write_header(writer_output& out, int32_t size);

// Writes the 64 bad-block pages of block number `block`, with their trace.
writer_error write_bad_block(writer_output& out, int32_t block);

// True when `block` stands in the list (reported on the error stream).
bool is_bad(const optional_bad_blocks& bad_block, int32_t block);

#endif
