// The blocks --retire adds to a repaired image's bad blocks: numbers, and
// the words for every block the chip marks bad and every worn block.
#ifndef PAGESMITH_RETIRE_LIST_H
#define PAGESMITH_RETIRE_LIST_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "findings.h"

// What --retire names, as given.
struct retire_request {
    std::vector<int32_t> blocks;  // block numbers, the chip's
    bool marked = false;          // "marked": every block the chip marks bad
    bool worn = false;            // "worn": every block with a corrected bit
};

// True when the request names any block to retire.
inline bool retires_any(const retire_request& request)
{
    return !request.blocks.empty() || request.marked || request.worn;
}

// Adds the comma-separated items of `list` (block numbers, "marked",
// "worn") to `request`; the text of the usage error when one is neither.
std::optional<std::string> add_retired(retire_request& request, const char* list);

// The blocks to retire in a check's readback, the chip's numbers, sorted,
// each once.
std::vector<uint64_t> retired_blocks(const retire_request& request,
                                     const check_summary& summary);

#endif
