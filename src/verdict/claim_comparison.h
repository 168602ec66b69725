// The comparison of the layout an image shows with what the command line
// claims of it (-H, --no-header, -B).
#ifndef PAGESMITH_CLAIM_COMPARISON_H
#define PAGESMITH_CLAIM_COMPARISON_H

#include <cstdint>

#include "check_sink.h"
#include "layout_inference.h"

// True when `list` holds `block` before its first free slot.
bool claim_lists(const optional_bad_blocks& list, uint64_t block);

// Compares the layout with the claim, each claim only in what it names: a
// finding for a header claimed otherwise, for the first block where the bad
// blocks differ, and for status words claimed where there are none.
void compare_with_claim(const checker_state& checker, const found_layout& layout,
                        const layout_claim& claim, const check_sink& sink,
                        check_summary& summary);

#endif
