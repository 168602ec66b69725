// The flash image writer: turns an input stream into page records.  It
// never ends the process: a failure is returned to the caller, which words
// it and decides what follows.
#ifndef PAGESMITH_IMAGE_WRITER_H
#define PAGESMITH_IMAGE_WRITER_H

#include <cstdint>
#include <cstdio>

#include "image_layout.h"

// What stopped a conversion before its end.
enum class writer_failure {
    none,         // nothing: the conversion ran to its end
    input_read,   // a read of the input failed
    image_write,  // a write of the image failed
};

// A failure of the writer, with the errno value that the failed call left.
struct writer_error {
    writer_failure failure = writer_failure::none;
    int error = 0;
};

// Where the writer writes: the image, and the trace with the errno value of
// the first failed trace write (0 while none has failed).  After a failed
// trace write the trace is no longer written, and the image goes on.
struct writer_output {
    FILE* image;
    FILE* trace;
    int trace_error = 0;
};

// Converts all of `in` into page records on `out` and writes the trace.
// error_bits: bit errors per page (0, 1 or 2); fill: complete the last block
// with fill pages; bad_block_table: mark pages 0 and 1 of each block;
// bad_block: blocks to write as bad; header: a header page holding
// header_size at the start of each block.  Stops at the first failed read
// of the input or write of the image, and returns it.
writer_error read_data(FILE* in, writer_output& out, int32_t error_bits, bool fill,
                       bool bad_block_table, const optional_bad_blocks& bad_block,
                       bool header, int32_t header_size);

// Writes one header page holding `size`, with its trace lines.
writer_error write_header(writer_output& out, int32_t size);

// Writes the 64 bad-block pages of block number `block`, with their trace.
writer_error write_bad_block(writer_output& out, int32_t block);

// True when `block` stands in the list (reported on the error stream).
bool is_bad(const optional_bad_blocks& bad_block, int32_t block);

#endif
