// The bad blocks the layout inference finds: the list the layout line
// gives, the blocks the checks may still reach, and the blocks that wait for
// the marking to tell whether they are bad; and how a record is read there.
#ifndef PAGESMITH_BAD_BLOCK_INFERENCE_H
#define PAGESMITH_BAD_BLOCK_INFERENCE_H

#include "layout_inference.h"

// Settles everything still open the way an image that ends here must be
// read: blocks like bad blocks that no marked data page follows are data.
void settle_blocks(layout_inference& inference);

// How the record at `index` is read.
record_context context_of(const layout_inference& inference, uint64_t index);

// Takes `block` for a bad block of the layout: its pages are bad-block
// pages, or a readback leaves it out or holds it erased.
void take_bad_block(layout_inference& inference, uint64_t block);

// What the blocks waiting for the marking turn out to be.
enum class candidates_are { bad_blocks, data_blocks };

// Settles the blocks waiting for the marking as `what` says.
void settle_candidates(layout_inference& inference, candidates_are what);

// Takes a block whose pages so far match bad-block pages: bad when the
// layout already says bad blocks can be there, else it waits.
void saw_candidate(layout_inference& inference, uint64_t block);

// Forgets bad blocks before `block`, which the checks have passed.
void forget_before(layout_inference& inference, uint64_t block);

#endif
