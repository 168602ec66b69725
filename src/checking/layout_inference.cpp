// Inference of the layout.  The converter's choices show in the records,
// and one flipped bit in a status word, a page tag or a spare word must not
// change what they show:
//
// - A header page carries the status word 0xFFFFFFFF, page tag 0 and
//   nothing but a size in its data area.  At page 0 of a block whose page
//   tag is not 0, tag 0 settles it, and a tag nearer to 0 than to the data
//   page's leaves it open as at block 0.  At page 0 of block 0 a marked
//   data page carries the same words, and at a block whose tag has one bit
//   a header page with that bit flipped looks like a marked data page: then
//   page 1 (an unmarked data page rules out a marked page 0), the next
//   block, or at the end the reading with fewer findings decides.
// - A bad-block page is a zero page with the position's tag and status
//   word 0.  A block is taken for a bad block by its first pages together,
//   with one flipped bit in all of them.  A zero data page made without -b
//   looks the same, but bad blocks imply -b: such a block is bad when data
//   pages are marked or header pages are present, data when they are not,
//   and waits while that is unknown.
// - The marking shows on the first data page at page 0 or 1.

#include "layout_inference.h"

#include <algorithm>
#include <bit>

#include "bad_block_inference.h"
#include "record_view.h"

namespace {

// Bits in which the record's status word, page tag and zero spare words
// differ from a bad-block page's at its position; NOT_ZERO_PAGE when its
// data is not zero or cannot be decoded.  Bad blocks are told by their
// first two pages together, with one flipped bit in all: one page alone
// cannot tell, as a fill page's tag of 0 is one bit away from some
// positions' tags.
int flips_from_bad_block(const page_record& r, const page_decoding& d)
{
    if (d.uncorrectable || !data_zero_as(r, page_kind::bad_block))
        return NOT_ZERO_PAGE;
    return word_flips_from(r, page_kind::bad_block, block_marking::on) +
           words_of(r).tag_bits_from(page_kind::bad_block, r.block, r.page);
}

// Bits in which the record differs from a fill page, tag included.
int flips_from_fill_block(const page_record& r, const page_decoding& d)
{
    return std::min(flips_from_fill(r, d) + words_of(r).tag_bits_from(page_kind::fill, r.block,
                                                                        r.page),
                    NOT_ZERO_PAGE);
}

// True when the page tag of this position is 0 for every kind (block 0 and,
// with the tag's 16-bit block number, every 65536th block).
bool tag_is_zero_here(const page_record& r)
{
    return tag_of(page_kind::data, r.block, r.page) == 0;
}

// The status word of a data page at page 0 or 1 tells the marking.
void learn_marking(layout_inference& inference, uint32_t status)
{
    if (inference.marking != status_expectation::unknown)
        return;
    inference.marking = marking_of(status);
    if (inference.marking == status_expectation::unknown)
        return;
    settle_candidates(inference, inference.marking == status_expectation::marked
                                     ? candidates_are::bad_blocks
                                     : candidates_are::data_blocks);
}

// A header page at page 0 of a block whose page tag is not 0: its status
// word marked, and nothing but the size in its data area (never 0: the
// converter writes header pages only for an input that is not empty).  A data page of
// such data, with its status word marked, looks the same but for the tag.
bool looks_like_header(const page_record& r, const page_decoding& d)
{
    return looks_marked(words_of(r).status_word()) && !d.uncorrectable &&
           data_zero_as(r, page_kind::header) && header_size_of(r.data) != 0;
}

// The header question stays open at this block: a header page, or a marked
// data page, or either damaged; what follows tells.
void await_header(layout_inference& inference, const page_record& r, const page_decoding& d)
{
    inference.header = header_reading::pending;
    inference.header_block = r.block;
    inference.pending_holds_size = looks_like_header(r, d);
    inference.pending_page_marked =
        words_of(r).status_word() == BLOCK_STATUS_MARKED && inference.pending_holds_size;
    inference.header_size = header_size_of(r.data);
}

// Page 0 of a block at a position whose page tag is 0 for every kind.
void observe_zero_tag_start(layout_inference& inference, const page_record& r,
                            const page_decoding& d)
{
    const bool open = inference.header == header_reading::unknown ||
                      inference.header == header_reading::pending;
    const uint32_t tag = words_of(r).tag();
    const uint32_t status = words_of(r).status_word();
    if (tag == 0 && status == 0 && words_of(r).zero_words_clear()) {
        // An unmarked data page; a header page is marked.
        if (open)
            decide_header(inference, header_pages::absent);
        learn_marking(inference, status);
    } else if (inference.header == header_reading::unknown && std::popcount(tag) <= 1 &&
               (tag == 0 || looks_marked(status))) {
        await_header(inference, r, d);
    }
}

// Page 0 of a block.
void observe_block_start(layout_inference& inference, const page_record& r,
                         const page_decoding& d)
{
    const int flips = flips_from_bad_block(r, d);
    if (flips <= 1) {
        inference.start = r.block;
        inference.start_flips = flips;
        inference.start_fill_flips = flips_from_fill_block(r, d);
        return;
    }
    if (tag_is_zero_here(r)) {
        observe_zero_tag_start(inference, r, d);
        return;
    }
    const bool open = inference.header == header_reading::unknown ||
                      inference.header == header_reading::pending;
    const uint32_t tag = words_of(r).tag();
    const uint32_t data_tag = tag_of(page_kind::data, r.block, r.page);
    const bool header_like = looks_like_header(r, d);
    if (std::popcount(tag) < std::popcount(tag ^ data_tag)) {
        // A header page, or a fill page, or a data page that lost its tag;
        // the tag nearer to 0 than to the data page's.  Tag 0 settles it; a
        // damaged one leaves it open.
        if (open && header_like && tag == 0)
            decide_header(inference, header_pages::present);
        else if (inference.header == header_reading::unknown && header_like)
            await_header(inference, r, d);
        if (header_like)
            settle_candidates(inference, candidates_are::bad_blocks);
        if (!inference.header_size && header_like)
            inference.header_size = header_size_of(r.data);
        return;
    }
    if (tag != data_tag) {
        // A damaged tag.  Marked, it is a header page or a marked data page:
        // either way blocks like bad blocks before it are bad.
        if (looks_marked(words_of(r).status_word()))
            settle_candidates(inference, candidates_are::bad_blocks);
        return;
    }
    const bool same_size =
        !inference.header_size || *inference.header_size == header_size_of(r.data);
    if (header_like && same_size && std::popcount(tag) == 1) {
        // A header page whose tag gained one bit, or a marked data page:
        // either way blocks like bad blocks before it are bad.
        if (inference.header == header_reading::unknown)
            await_header(inference, r, d);
        settle_candidates(inference, candidates_are::bad_blocks);
        return;
    }
    if (open)
        decide_header(inference, header_pages::absent);
    if (inference.header == header_reading::absent)
        learn_marking(inference, words_of(r).status_word());
}

// A page of a block that started like a bad block.  The pages so far tell
// when they differ from bad-block pages by more than one flipped bit (not a
// bad block), or from fill pages (a bad block); at block 0 a fill page's
// tag of 0 is one bit away from the tags of pages 1 and 2, so pages up to 3
// may be needed.
void observe_start_page(layout_inference& inference, const page_record& r,
                        const page_decoding& d)
{
    const int before = inference.start_flips;
    inference.start_flips = std::min(before + flips_from_bad_block(r, d), NOT_ZERO_PAGE);
    inference.start_fill_flips =
        std::min(inference.start_fill_flips + flips_from_fill_block(r, d), NOT_ZERO_PAGE);
    if (inference.start_flips > 1) {
        inference.start.reset();
        // Page 0 was an unmarked data page of zeros.
        if (r.page == 1 && before == 0 &&
            words_of(r).tag() == tag_of(page_kind::data, r.block, r.page))
            learn_marking(inference, status_word_of(page_kind::data, 0, block_marking::off));
    } else if (inference.start_fill_flips > 1) {
        inference.start.reset();
        saw_candidate(inference, r.block);
    }
}

// Page 1 of a block.  At block 0 a fill page's tag of 0 is one bit from
// page 1's: a page 1 that holds what a fill page holds, its tag aside, may
// be either, and tells nothing.
void observe_second_page(layout_inference& inference, const page_record& r,
                         const page_decoding& d)
{
    if (words_of(r).tag_bits_from(page_kind::fill, r.block, r.page) == 1 &&
        flips_from_fill(r, d) == 0)
        return;
    const bool tagged = words_of(r).tag() ==
                        tag_of(page_kind::data, r.block, r.page);
    const bool waiting = std::find(inference.candidates.begin(), inference.candidates.end(),
                                   r.block) != inference.candidates.end();
    if (!tagged || waiting || (!inference.recent_bad.empty() && inference.recent_bad.back() == r.block))
        return;
    learn_marking(inference, words_of(r).status_word());
    // A marked data page 0 needs a marked page 1.
    if (inference.header == header_reading::pending && inference.header_block == r.block &&
        inference.pending_page_marked && inference.marking == status_expectation::unmarked)
        decide_header(inference, header_pages::present);
}

}  // namespace

void observe(layout_inference& inference, decoded_record& record)
{
    const page_record r = view_of(record);
    if (r.page == 0) {
        observe_block_start(inference, r, record.decoding);
        return;
    }
    if (inference.start == r.block) {
        observe_start_page(inference, r, record.decoding);
        return;
    }
    if (r.page == 1)
        observe_second_page(inference, r, record.decoding);
    // A block waiting to be told bad or data is data as soon as its pages
    // differ from bad-block pages by more than one flipped bit; its unmarked
    // page 0 then tells the marking.
    if (!inference.candidates.empty() && inference.candidates.back() == r.block) {
        inference.start_flips =
            std::min(inference.start_flips + flips_from_bad_block(r, record.decoding),
                     NOT_ZERO_PAGE);
        if (inference.start_flips > 1) {
            inference.candidates.pop_back();
            learn_marking(inference, status_word_of(page_kind::data, 0, block_marking::off));
        }
    }
}

uint64_t settled_until(const layout_inference& inference)
{
    uint64_t block = UINT64_MAX;
    if (inference.start)
        block = std::min(block, *inference.start);
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
        settle_candidates(inference, candidates_are::bad_blocks);
}
