// The recovered input: the data area of each data page of the image at the
// input offset its place gives, a page the file lost as a page of zeros.
// The pages are gathered in a chunk that is written whole; the latest page
// is held back until the end, when the input length (if the header pages
// tell it) decides how much of it belongs to the input.
#ifndef PAGESMITH_INPUT_RECOVERY_H
#define PAGESMITH_INPUT_RECOVERY_H

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "byte_channel.h"
#include "check_sink.h"

// Data pages gathered before the output is written.
constexpr size_t RECOVERY_CHUNK_PAGES = 128;

// The output being written and the pages not yet written.
struct input_recovery {
    FILE* out = nullptr;              // where the input goes (best unbuffered)
    byte_channel* channel = nullptr;  // or, when not null, where it goes instead: the
                                      // pages go straight into its blocks, the held one
                                      // at the end of the block being filled
    uint64_t written = 0;             // bytes written so far
    uint64_t next_page = 0;           // the input page the next page gathered holds
    size_t pages = 0;                 // pages in the chunk; the last one is held
    uint8_t chunk[RECOVERY_CHUNK_PAGES * PAGE_DATA_SIZE];  // the pages, in order
};

// Takes the next checked page: a data page of the image goes to its input
// page, after zero pages for those lost before it; any other page is no
// input.  False on a write error, with errno set.
bool recover_page(input_recovery& recovery, const checked_page& page);

// Writes the pages gathered so far but the held one, which stays held.
// False on a write error, with errno set.
bool write_gathered(input_recovery& recovery);

// Writes the pages not yet written, the held one cut so that the output is
// `input_size` bytes long when that is known and fits, then flushes the
// output.  False on a write error, with errno set.
bool finish_recovery(input_recovery& recovery, std::optional<uint64_t> input_size);

// finish_recovery once the check that `summary` describes is over: a held
// page whose place the image leaves open is given back as a page of zeros.
bool finish_recovery(input_recovery& recovery, const check_summary& summary);

// After finish_recovery: puts the holes into a finished output that is a
// regular file, each as pages of zeros with what follows it moved up, and
// cuts the output to `input_size` when that is known.  False with errno set
// on an error, or ESPIPE when the output cannot be gone back over (a pipe):
// it then stays as written.
bool put_holes(input_recovery& recovery, const std::vector<input_hole>& holes,
               std::optional<uint64_t> input_size);

#endif
