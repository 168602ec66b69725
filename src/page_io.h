// The converter's input and image buffers: the input read from a
// descriptor in chunks, and page records laid out in place in the chunk
// that is written next, so that the data is copied once in user space.
#ifndef PAGESMITH_PAGE_IO_H
#define PAGESMITH_PAGE_IO_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <sys/types.h>

#include "flash_geometry.h"
#include "trace_output.h"

// Bytes asked of each read of the input.
constexpr size_t INPUT_CHUNK_SIZE = 256 * 1024;

// Bytes of image in each write: the image is written in pieces of exactly
// this size (the last one shorter), so a failed write is met after the
// same records as with a stream buffer of this size.
constexpr size_t IMAGE_CHUNK_SIZE = 256 * 1024;

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

// Where the input comes from when not from a descriptor: points `*bytes`
// at the next piece of `source`, which stays as it is until the next call,
// and returns its size; 0 at the end, -1 with errno set on a failure.
using input_lender = ssize_t (*)(void* source, const uint8_t** bytes);

// The input: its descriptor (or source), and the bytes read from it but not
// yet used.
struct writer_input {
    int fd = -1;
    input_lender lend = nullptr;  // when not null, taken from instead of fd
    void* source = nullptr;       // what lend takes from
    const uint8_t* at = nullptr;  // the bytes read or lent: `bytes`, or the lent piece
    size_t begin = 0;    // first unused byte in `bytes`
    size_t end = 0;      // end of the bytes read
    bool ended = false;  // a read returned end of input; none is made again
    uint64_t total = 0;  // bytes read so far
    uint8_t bytes[INPUT_CHUNK_SIZE];
};

// Where the writer writes: the image, laid out in `chunk` and written a
// piece at a time, the trace, and the writer's notes on the error stream.
// After a failed trace write the trace is no longer written, and the image
// goes on.
struct writer_output {
    int image = -1;
    trace_output* trace = nullptr;
    FILE* notes = nullptr;  // the bad-block and end-of-input lines; none when null
    size_t used = 0;  // bytes laid out in `chunk` and not yet written
    uint8_t chunk[IMAGE_CHUNK_SIZE + PAGE_RECORD_SIZE];
};

// Makes `in` read from descriptor fd, from its current position.
void start_input(writer_input& in, int fd);

// Makes `in` take its input from `source` through `lend`, with no copy.
void start_input_from(writer_input& in, input_lender lend, void* source);

// Makes `out` write the image to descriptor image_fd, the trace to `trace`
// and the writer's notes to `notes` (null: none).
void start_output(writer_output& out, int image_fd, trace_output& trace, FILE* notes);

// Reads the next page of input into `data` (PAGE_DATA_SIZE bytes),
// zero-completed, and sets `count` to the bytes read; 0 at the end of the
// input.  The descriptor is read only when no unused byte is left, and a
// short read is followed by another until the page is complete or the input
// ends, as a stream read of the whole page would do.
writer_error read_page(writer_input& in, uint8_t* data, size_t& count);

// The place of the next record: PAGE_RECORD_SIZE bytes to lay out, then
// commit_record.
uint8_t* next_record(writer_output& out);

// Adds the record laid out at next_record to the image, and writes a piece
// once the laid-out records pass its size.
writer_error commit_record(writer_output& out);

// Writes every record laid out and not yet written.
writer_error flush_image(writer_output& out);

#endif
