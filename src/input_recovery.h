// The recovered input: the data areas of the data pages in order.  The
// pages are gathered in a chunk that is written whole; the latest page is
// held back until the end, when the input length (if the header pages tell
// it) decides how much of it belongs to the input.
#ifndef PAGESMITH_INPUT_RECOVERY_H
#define PAGESMITH_INPUT_RECOVERY_H

#include <cstdint>
#include <cstdio>
#include <optional>

#include "flash_geometry.h"

// Data pages gathered before the output is written.
constexpr size_t RECOVERY_CHUNK_PAGES = 128;

// The output being written and the pages not yet written.
struct input_recovery {
    FILE* out = nullptr;              // where the input goes (best unbuffered)
    uint64_t written = 0;             // bytes written so far
    size_t pages = 0;                 // pages in the chunk; the last one is held
    uint8_t chunk[RECOVERY_CHUNK_PAGES * PAGE_DATA_SIZE];  // the pages, in order
};

// Takes the next data page.  False on a write error, with errno set.
bool recover_page(input_recovery& recovery, const uint8_t* data);

// Writes the pages gathered so far but the held one, which stays held.
// False on a write error, with errno set.
bool write_gathered(input_recovery& recovery);

// Writes the pages not yet written, the held one cut so that the output is
// `input_size` bytes long when that is known and fits, then flushes the
// output.  False on a write error, with errno set.
bool finish_recovery(input_recovery& recovery, std::optional<uint64_t> input_size);

#endif
