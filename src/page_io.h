// The converter's input and image buffers: the input read from a
// descriptor in chunks, and page records laid out in place in the chunk
// that is written next, so that the data is copied once in user space.
#ifndef PAGESMITH_PAGE_IO_H
#define PAGESMITH_PAGE_IO_H

#include <cstddef>
#include <cstdint>

#include "flash_geometry.h"
#include "trace_output.h"

// Bytes asked of each read of the input.
constexpr size_t INPUT_CHUNK_SIZE = 256 * 1024;

// Bytes of image in each write: the image is written in pieces of exactly
// this size (the last one shorter), so a failed write is met after the
// same records as with a stream buffer of this size.
constexpr size_t IMAGE_CHUNK_SIZE = 256 * 1024;

// Most records laid out and not yet written whole: a piece's worth, the
// record that the last piece cut, and the one just added.
constexpr size_t WAITING_RECORDS = IMAGE_CHUNK_SIZE / PAGE_RECORD_SIZE + 2;

// Record slots that the input is read into, used in turn: those of data
// pages still waiting to be written, and those that one read may fill, the
// first and the last of them in part.
constexpr size_t INPUT_SLOTS = WAITING_RECORDS + INPUT_CHUNK_SIZE / PAGE_DATA_SIZE + 1;

// Slots for records that hold no input (header, bad-block and fill pages):
// those waiting, and the one being laid out.
constexpr size_t OWN_SLOTS = WAITING_RECORDS + 1;

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

// The input: its descriptor, and the slots it is read into.  Input byte b
// lands in slot (b / PAGE_DATA_SIZE) % INPUT_SLOTS at b % PAGE_DATA_SIZE.
struct writer_input {
    int fd = -1;
    uint64_t handed = 0;  // input bytes handed out in pages
    uint64_t read = 0;    // input bytes read
    bool ended = false;   // a read returned end of input; none is made again
    uint8_t slots[INPUT_SLOTS][PAGE_RECORD_SIZE];
};

// Where the writer writes: the image, from the records waiting in the order
// they were added, and the trace.  After a failed trace write the trace is
// no longer written, and the image goes on.
struct writer_output {
    int image = -1;
    trace_output* trace = nullptr;
    uint8_t* waiting[WAITING_RECORDS + 1];  // ring of the records waiting
    size_t first = 0;     // place in `waiting` of the oldest record
    size_t count = 0;     // records waiting
    size_t written = 0;   // bytes of the oldest record already written
    size_t next_own = 0;  // the slot of `own` that next_record gives
    uint8_t own[OWN_SLOTS][PAGE_RECORD_SIZE];
};

// Makes `in` read from descriptor fd, from its current position.
void start_input(writer_input& in, int fd);

// Makes `out` write the image to descriptor image_fd and the trace to `trace`.
void start_output(writer_output& out, int image_fd, trace_output& trace);

// Reads the next page of input into the data area of its record slot,
// zero-completed; sets `record` to the slot and `count` to the bytes read,
// 0 at the end of the input.  The descriptor is read only when fewer bytes
// than a page are left unused, and a short read is followed by another
// until the page is complete or the input ends, as a stream read of the
// whole page would do.
writer_error read_page(writer_input& in, uint8_t*& record, size_t& count);

// A slot for a record that holds no input: PAGE_RECORD_SIZE bytes to lay
// out, then commit_record.  The same slot until it is committed.
uint8_t* next_record(writer_output& out);

// Adds `record`, a slot of read_page or next_record laid out whole, to the
// image, and writes a piece once the records waiting pass its size.
writer_error commit_record(writer_output& out, uint8_t* record);

// Writes every record waiting.
writer_error flush_image(writer_output& out);

#endif
