// The blocks read as bad blocks that the dump padded or left out, which
// the header size, the claim or the chip may confirm.
#ifndef PAGESMITH_UNCONFIRMED_BLOCKS_H
#define PAGESMITH_UNCONFIRMED_BLOCKS_H

#include <cstdint>

#include "check_sink.h"
#include "layout_inference.h"

// Judges each erased block inside the image that was read as a bad block
// the dump padded, and each block that the page tags step over: the header
// size (`size_confirms`) or the claim may confirm it; else it is one
// finding, which names both readings (a block the chip marks bad stays a
// padded bad block).
void judge_padded_blocks(bool size_confirms, const layout_claim& claim, const check_sink& sink,
                         check_summary& summary);

// With header pages, blocks read as bad blocks that the dump padded or left
// out, which nothing confirms, are lost data pages when the header size
// then fits the data pages, and fits them only so: the layout leaves them
// out of its bad blocks, and the holes say where the recovered input lacks
// their pages.  Returns the data pages they add.
uint64_t read_unconfirmed_as_lost(const checker_state& checker, const layout_claim& claim,
                                  found_layout& layout);

#endif
