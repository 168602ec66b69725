// The flash image writer: turns an input stream into page records.
#ifndef PAGESMITH_IMAGE_WRITER_H
#define PAGESMITH_IMAGE_WRITER_H

#include <cstdint>
#include <cstdio>

#include "image_layout.h"

// Converts all of `in` into page records on `out` and writes the trace.
// error_bits: bit errors per page (0, 1 or 2); fill: complete the last block
// with fill pages; bad_block_table: mark pages 0 and 1 of each block;
// bad_block: blocks to write as bad; header: a header page holding
// header_size at the start of each block.  Ends the process on any error.
void read_data(FILE* in, FILE* out, int32_t error_bits, bool fill,
               bool bad_block_table, const optional_bad_blocks& bad_block,
               bool header, int32_t header_size);

// Writes one header page holding `size`, with its trace lines.
void write_header(FILE* out, int32_t size);

// Writes the 64 bad-block pages of block number `block`, with their trace.
void write_bad_block(FILE* out, int32_t block);

// True when `block` stands in the list (reported on the error stream).
bool is_bad(const optional_bad_blocks& bad_block, int32_t block);

// The error (an errno value) of the first trace write that failed, or 0.
// After a failure the trace is no longer written; the image goes on.
int trace_error();

#endif
