// Reading the file into the walk's window: each read fills the free slots
// that follow one another in the window's memory, so that an unbuffered
// stream reads straight into them.  A read may end inside a record; its
// bytes wait in their slot for the rest.
#ifndef PAGESMITH_WINDOW_READER_H
#define PAGESMITH_WINDOW_READER_H

#include <cstdio>

#include "readback.h"

// How far the file has been read.
enum class file_state { open, ended, failed };

// Where the reading of one file stands.
struct window_reader {
    FILE* in = nullptr;
    uint64_t loaded = 0;              // records whose bytes are all in the window
    size_t partial = 0;               // bytes of the record after them, read so far
    file_state state = file_state::open;
    int error = 0;                    // failed: the errno of the read
};

// Reads on into the free slots after the loaded records, up to the slot of
// the oldest record not yet checked or the end of the window's memory.
// Call it only while a slot is free.
void read_more(window_reader& reader, const record_window& window);

#endif
