// The bad blocks the layout inference finds, and how a record is read there.
#include "bad_block_inference.h"

#include <algorithm>

// Settles the blocks waiting for the marking: bad when bad blocks can be
// there, data otherwise.
void settle_candidates(layout_inference& inference, candidates_are what)
{
    if (what == candidates_are::bad_blocks)
        for (uint64_t block : inference.candidates)
            take_bad_block(inference, block);
    inference.candidates.clear();
}

// A block whose pages so far match bad-block pages.
void saw_candidate(layout_inference& inference, uint64_t block)
{
    const bool marked = inference.marking == status_expectation::marked ||
                        (inference.marking == status_expectation::unknown &&
                         inference.marking_claim);
    if (inference.header == header_reading::present || marked)
        take_bad_block(inference, block);
    else if (inference.marking == status_expectation::unknown)
        inference.candidates.push_back(block);
}

void take_bad_block(layout_inference& inference, uint64_t block)
{
    inference.recent_bad.push_back(block);
    // Kept in order: a block a dump left out is told only after a padded
    // block before it.
    std::vector<uint64_t>& listed = inference.bad_blocks;
    listed.insert(std::upper_bound(listed.begin(), listed.end(), block), block);
    if (listed.size() > MAX_LISTED_BAD_BLOCKS)
        listed.pop_back();
    ++inference.bad_block_count;
}

void settle_blocks(layout_inference& inference)
{
    inference.start.reset();
    settle_candidates(inference, inference.marking_claim ? candidates_are::bad_blocks
                                                         : candidates_are::data_blocks);
}

record_context context_of(const layout_inference& inference, uint64_t index)
{
    const uint64_t block = index / PAGES_PER_BLOCK;
    record_context context;
    context.header = inference.header == header_reading::present ? header_pages::present
                                                                 : header_pages::absent;
    const bool bad = std::find(inference.recent_bad.begin(), inference.recent_bad.end(),
                               block) != inference.recent_bad.end();
    context.block = bad ? block_state::bad : block_state::good;
    return context;
}

void forget_before(layout_inference& inference, uint64_t block)
{
    auto& recent = inference.recent_bad;
    recent.erase(std::remove_if(recent.begin(), recent.end(),
                                [block](uint64_t b) { return b < block; }),
                 recent.end());
}
