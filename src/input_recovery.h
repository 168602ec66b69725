// The recovered input: the data areas of the data pages in order.  The
// latest page is held back until the end, when the input length (if the
// header pages tell it) decides how much of it belongs to the input.
#ifndef PAGESMITH_INPUT_RECOVERY_H
#define PAGESMITH_INPUT_RECOVERY_H

#include <cstdint>
#include <cstdio>
#include <optional>

#include "flash_geometry.h"

// The output being written and the page held back.
struct input_recovery {
    FILE* out = nullptr;              // where the input goes
    uint64_t written = 0;             // bytes written so far
    bool holding = false;             // held waits to be written
    uint8_t held[PAGE_DATA_SIZE];     // the latest data page
};

// Takes the next data page.  False on a write error, with errno set.
bool recover_page(input_recovery& recovery, const uint8_t* data);

// Writes the held page, cut so that the output is `input_size` bytes long
// when that is known and fits, then flushes the output.  False on a write
// error, with errno set.
bool finish_recovery(input_recovery& recovery, std::optional<uint64_t> input_size);

#endif
