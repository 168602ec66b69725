// Reading the file into the walk's window: a piece of records at a time,
// with one read straight into the slots after the records already there,
// so that an unbuffered stream costs no copy.  While the records not yet
// checked are few, they are first moved back to the front of the slots:
// the slots in use, and the bytes read, stay in the processor's cache.  A
// read may end inside a record; its bytes wait in their slot for the rest.
#ifndef PAGESMITH_WINDOW_READER_H
#define PAGESMITH_WINDOW_READER_H

#include <cstdio>
#include <vector>

#include "readback.h"

// Records read at a time, at most: about 256 KiB.
constexpr uint64_t READ_RECORDS = 124;

// How far the file has been read.
enum class file_state { open, ended, failed };

// Where the reading of one file stands.
struct window_reader {
    FILE* in = nullptr;
    uint64_t loaded = 0;              // records whose bytes are all in the window
    size_t partial = 0;               // bytes of the record after them, read so far
    file_state state = file_state::open;
    int error = 0;                    // failed: the errno of the read
    std::vector<uint8_t> ahead;       // bytes read before the walk, given to it first
    size_t ahead_at = 0;              // the next of them to give
};

// Reads the first bytes of the file ahead of the walk, as far as telling
// where the image starts needs, and returns that byte: 0 unless the file
// starts with something else (a read error leaves `reader` failed).  The
// walk reads from there on.
uint64_t read_image_start(window_reader& reader);

// Reads on after the loaded records, which must all have been read into
// the walk (window.read == reader.loaded), while the window is not full.
void read_more(window_reader& reader, record_window& window);

#endif
