// Whether a checked readback can be repaired, and how the converter remakes
// it: the layout the image shows, without bit errors, with the blocks to
// retire added to its bad blocks.
#ifndef PAGESMITH_REPAIR_PLAN_H
#define PAGESMITH_REPAIR_PLAN_H

#include <cstdint>

#include "command_line.h"
#include "findings.h"
#include "retire_list.h"

// A repair decided: the obstacle (none when it goes ahead, with what it
// counts), and the layout of the repaired image.
struct repair_plan {
    repair_obstacle obstacle = repair_obstacle::none;
    uint64_t count = 0;
    found_layout layout;  // the image's, with the blocks to retire as bad blocks
};

// Decides the repair of the image `summary` describes, once the check is
// over (its health counted).
repair_plan plan_repair(const check_summary& summary, const retire_request& retire);

// The converter's settings that make an image of `layout` without bit
// errors, as pagesmith's options would set them.
run_settings settings_of(const found_layout& layout);

// What the header pages of an image of `layout` hold.
int32_t header_size_of(const found_layout& layout);

#endif
