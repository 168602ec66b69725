// Inference of the layout.  The converter's choices show in the records:
//
// - A header page carries the status word 0xFFFFFFFF and page tag 0.  At
//   page 0 of a block whose page tag is not 0 nothing else does, so one
//   such page settles it.  At page 0 of block 0 a marked data page carries
//   the same words: then page 1 (an unmarked data page rules out a marked
//   page 0), the next block, or at the end the reading with fewer findings
//   decides.
// - A bad-block page is a zero page with the position's tag and status
//   word 0.  So is a zero data page made without -b, but bad blocks imply
//   -b: such a block is bad when data pages are marked or header pages are
//   present, data when they are not, and waits while that is unknown.
// - The marking shows on the first data page at page 0 or 1.

#include "layout_inference.h"

#include <algorithm>
#include <bit>

namespace {

// True when the record is what a bad-block page at its position holds, but
// for bit errors: those its ECC corrects, and one flipped bit in its status
// word or the spare words after the tag.  The tag must be exact: at some
// positions a fill page's tag of 0 is one bit away.
bool matches_bad_block_page(const page_record& r, const page_decoding& d)
{
    if (d.uncorrectable ||
        spare_word(r.spare, SPARE_TAG_WORD) != tag_of(page_kind::bad_block, r.block, r.page) ||
        !data_zero_as(r, page_kind::bad_block))
        return false;
    int flipped = std::popcount(spare_word(r.spare, SPARE_STATUS_WORD) ^
                                status_word_of(page_kind::bad_block, r.page, block_marking::on));
    for (int n = FIRST_ZERO_SPARE_WORD; n < END_ZERO_SPARE_WORD; ++n)
        flipped += std::popcount(spare_word(r.spare, n));
    return flipped <= 1;
}

// True when the page tag of this position is 0 for every kind (block 0 and,
// with the tag's 16-bit block number, every 65536th block).
bool tag_is_zero_here(const page_record& r)
{
    return tag_of(page_kind::data, r.block, r.page) == 0;
}

// Records that a block is bad.
void mark_bad(layout_inference& inference, uint64_t block)
{
    inference.recent_bad.push_back(block);
    if (inference.bad_blocks.size() < MAX_LISTED_BAD_BLOCKS)
        inference.bad_blocks.push_back(block);
    ++inference.bad_block_count;
}

// Settles the blocks waiting for the marking: bad when bad blocks can be
// there, data otherwise.
void settle_candidates(layout_inference& inference, bool bad)
{
    if (bad)
        for (uint64_t block : inference.candidates)
            mark_bad(inference, block);
    inference.candidates.clear();
}

// A block whose pages so far match bad-block pages.
void saw_candidate(layout_inference& inference, uint64_t block)
{
    const bool marked = inference.marking == status_expectation::marked ||
                        (inference.marking == status_expectation::unknown &&
                         inference.marking_claim);
    if (inference.header == header_reading::present || marked)
        mark_bad(inference, block);
    else if (inference.marking == status_expectation::unknown)
        inference.candidates.push_back(block);
}

// The status word of a data page at page 0 or 1 tells the marking.
void learn_marking(layout_inference& inference, uint32_t status)
{
    if (inference.marking != status_expectation::unknown)
        return;
    inference.marking = marking_of(status);
    if (inference.marking == status_expectation::unknown)
        return;
    settle_candidates(inference, inference.marking == status_expectation::marked);
}

// Page 0 of a block.
void observe_block_start(layout_inference& inference, const page_record& r,
                         const page_decoding& d)
{
    if (matches_bad_block_page(r, d)) {
        if (tag_is_zero_here(r))
            inference.zero_start = r.block;
        else
            saw_candidate(inference, r.block);
        return;
    }
    const bool open = inference.header == header_reading::unknown ||
                      inference.header == header_reading::pending;
    const uint32_t tag = spare_word(r.spare, SPARE_TAG_WORD);
    const uint32_t status = spare_word(r.spare, SPARE_STATUS_WORD);
    if (tag_is_zero_here(r)) {
        if (tag != 0)
            return;  // damage: no news
        if (status == 0 && zero_spare_words_clear(r)) {
            // An unmarked data page; a header page is marked.
            if (open)
                decide_header(inference, header_pages::absent);
            learn_marking(inference, status);
        } else if (inference.header == header_reading::unknown) {
            // A header page, or a marked data page, or either damaged:
            // what follows tells.
            inference.header = header_reading::pending;
            inference.header_block = r.block;
            inference.pending_page_marked = status == BLOCK_STATUS_MARKED;
            inference.header_size = header_size_of(r.data);
        }
        return;
    }
    if (tag == 0) {
        // A header page (marked) or a fill page.
        if (open && looks_marked(status))
            decide_header(inference, header_pages::present);
        if (!inference.header_size && looks_marked(status))
            inference.header_size = header_size_of(r.data);
        return;
    }
    if (tag != tag_of(page_kind::data, r.block, r.page))
        return;  // damage: no news
    if (open)
        decide_header(inference, header_pages::absent);
    if (inference.header == header_reading::absent)
        learn_marking(inference, status);
}

// Page 1 of a block.
void observe_second_page(layout_inference& inference, const page_record& r)
{
    const bool tagged = spare_word(r.spare, SPARE_TAG_WORD) ==
                        tag_of(page_kind::data, r.block, r.page);
    if (inference.zero_start == r.block) {
        inference.zero_start.reset();
        if (tagged)
            saw_candidate(inference, r.block);
        return;
    }
    const bool waiting = std::find(inference.candidates.begin(), inference.candidates.end(),
                                   r.block) != inference.candidates.end();
    if (!tagged || waiting || (!inference.recent_bad.empty() && inference.recent_bad.back() == r.block))
        return;
    learn_marking(inference, spare_word(r.spare, SPARE_STATUS_WORD));
    // A marked data page 0 needs a marked page 1.
    if (inference.header == header_reading::pending && inference.header_block == r.block &&
        inference.pending_page_marked && inference.marking == status_expectation::unmarked)
        decide_header(inference, header_pages::present);
}

}  // namespace

void observe(layout_inference& inference, decoded_record& record)
{
    const page_record r = view_of(record);
    if (r.page == 0)
        observe_block_start(inference, r, record.decoding);
    else if (r.page == 1)
        observe_second_page(inference, r);
    // A block waiting to be told bad or data is data as soon as one of its
    // pages is not a bad-block page; its unmarked page 0 then tells the
    // marking.
    if (r.page > 0 && !inference.candidates.empty() && inference.candidates.back() == r.block &&
        !matches_bad_block_page(r, record.decoding)) {
        inference.candidates.pop_back();
        learn_marking(inference, status_word_of(page_kind::data, 0, block_marking::off));
    }
}

uint64_t settled_until(const layout_inference& inference)
{
    uint64_t block = UINT64_MAX;
    if (inference.zero_start)
        block = std::min(block, *inference.zero_start);
    if (!inference.candidates.empty())
        block = std::min(block, inference.candidates.front());
    if (inference.header == header_reading::pending)
        block = std::min(block, inference.header_block);
    return block == UINT64_MAX ? UINT64_MAX : block * PAGES_PER_BLOCK;
}

void decide_header(layout_inference& inference, header_pages reading)
{
    const bool present = reading == header_pages::present;
    inference.header = present ? header_reading::present : header_reading::absent;
    if (present)
        settle_candidates(inference, true);
}

void settle_blocks(layout_inference& inference)
{
    inference.zero_start.reset();
    settle_candidates(inference, inference.marking_claim);
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

void take_bad_block(layout_inference& inference, uint64_t block)
{
    mark_bad(inference, block);
}

void forget_before(layout_inference& inference, uint64_t block)
{
    auto& recent = inference.recent_bad;
    recent.erase(std::remove_if(recent.begin(), recent.end(),
                                [block](uint64_t b) { return b < block; }),
                 recent.end());
}
