// Telling the kind of one page record.
#include "page_kind_choice.h"

#include <bit>

namespace {

// True when the next record carries the page tag of a data page at its
// position: no fill page comes before it, so a record that looks like one
// is a data page that lost its tag (one bit away from 0) or was zeroed.
bool data_follows(const page_record& r, const look_ahead& next)
{
    const uint64_t index = r.index + 1;
    const uint32_t tag = tag_of(page_kind::data, index / PAGES_PER_BLOCK,
                                static_cast<int64_t>(index % PAGES_PER_BLOCK));
    return next.present && tag != 0 && next.tag == tag;
}

// True when the next record's tag is nearer to a fill page's 0 than to the
// tag of a data page at its position.
bool next_nearer_fill(const page_record& r, const look_ahead& next)
{
    const uint64_t index = r.index + 1;
    const uint32_t tag = tag_of(page_kind::data, index / PAGES_PER_BLOCK,
                                static_cast<int64_t>(index % PAGES_PER_BLOCK));
    return std::popcount(next.tag) < std::popcount(next.tag ^ tag);
}

// True when the record after the next one carries the page tag of a data
// page at its position, one bit away from 0 like the next one's: the next
// record is a data page whose tag lost its bit, as no fill page comes
// before a data page.
bool data_second(const page_record& r, const look_ahead& next)
{
    const uint64_t index = r.index + 2;
    const uint32_t tag = tag_of(page_kind::data, index / PAGES_PER_BLOCK,
                                static_cast<int64_t>(index % PAGES_PER_BLOCK));
    const uint32_t next_tag = tag_of(page_kind::data, (r.index + 1) / PAGES_PER_BLOCK,
                                     static_cast<int64_t>((r.index + 1) % PAGES_PER_BLOCK));
    return next.second_present && tag != 0 && next.second_tag == tag &&
           std::popcount(next_tag) == 1;
}

}  // namespace

// Fill pages carry tag 0, which no data or bad-block page carries except at
// page 0 of block 0 (and of every 65536th block), and zero data, which only
// injected bit errors change.  So a page with tag 0 elsewhere is a fill page
// when its data decodes to zeros (one flipped bit in its other words aside)
// and no data page follows it, and a data page with a damaged tag when not.  A zero page with a wrong tag
// is a fill page too when it follows one, when its tag and status word are
// nearer to a fill page's than to a data page's (or, where both tags are 0,
// when a fill page follows),
// or when the data pages before it already hold the input size that the
// header pages tell and its tag is not its data page's.  A listed bad block holds
// bad-block pages, whatever their words.  At a header position the status
// word tells a header page (marked) from a fill page.  At page 0 of block 0
// a zero, unmarked page with tag 0 may start a whole block of fill pages, so
// the next record decides: its tag is 0 (or nearer to 0 than to its data
// page tag) only if it is a fill page.
page_kind classify(const record_context& context, const page_record& r,
                   const page_decoding& d, const look_ahead& next)
{
    const page_kind expected = kind_at_position(context.block, context.header, r.page);
    const uint32_t tag = words_of(r).tag();
    const bool marked = looks_marked(words_of(r).status_word());
    if (expected == page_kind::bad_block)
        return expected;
    if (expected == page_kind::header)
        return marked || (tag != 0 && flips_from_fill(r, d) != 0) ? page_kind::header
                                                                   : page_kind::fill;
    if (tag != 0) {
        const uint32_t data_tag = tag_of(page_kind::data, r.block, r.page);
        const block_marking marking = context.marking == status_expectation::marked
                                          ? block_marking::on
                                          : block_marking::off;
        const int to_data = words_of(r).tag_bits_from(page_kind::data, r.block, r.page) +
                            words_of(r).status_bits_from(page_kind::data, r.page, marking);
        const int to_fill = words_of(r).tag_bits_from(page_kind::fill, r.block, r.page) +
                            words_of(r).status_bits_from(page_kind::fill, r.page, marking);
        // The header size holds only the low 32 bits of the input size: a
        // page with its own data tag, followed by one with its own, is data
        // of a longer input (a fill page's tag may gain the one bit of some
        // positions' tags).
        const uint64_t after = r.index + 1;
        const uint32_t next_data_tag = tag_of(page_kind::data, after / PAGES_PER_BLOCK,
                                              static_cast<int64_t>(after % PAGES_PER_BLOCK));
        const bool data_goes_on = tag == data_tag && next.present && next.tag != 0 &&
                                  next.tag == next_data_tag;
        const bool past_size = context.input_complete && !data_goes_on;
        const bool nearer_fill = context.follows_fill || past_size ||
                                 to_fill < to_data ||
                                 (data_tag == 0 && next.present && next.tag == 0);
        const bool stray_fill = nearer_fill && flips_from_fill(r, d) == 0;
        return stray_fill ? page_kind::fill : page_kind::data;
    }
    if (tag_of(page_kind::data, r.block, r.page) != 0)
        return looks_like_fill(r, d) && !data_follows(r, next) ? page_kind::fill
                                                                : page_kind::data;
    if (marked || !looks_like_fill(r, d))
        return page_kind::data;
    if (!next.present || !next_nearer_fill(r, next) || data_second(r, next))
        return expected;
    return page_kind::fill;
}

status_expectation learn_status(status_expectation now, const page_record& r, page_kind kind)
{
    if (now != status_expectation::unknown || kind != page_kind::data ||
        !page_carries_status_word(r.page))
        return now;
    return marking_of(words_of(r).status_word());
}
