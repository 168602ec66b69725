// The checks of one record, in the reading its place gives.
#include "record_check.h"

#include <bit>

namespace {

// Adds a finding when a header page holds another size than the first one.
void check_header_size(checker_state& state, const page_record& r, page_kind kind,
                       const page_decoding& d, page_findings& out)
{
    if (kind != page_kind::header)
        return;
    if (d.uncorrectable) {
        state.header_pages_disagree = true;  // its size cannot be trusted
        return;
    }
    const uint32_t size = header_size_of(r.data);
    if (!data_zero_as(r, kind))
        state.header_pages_disagree = true;
    if (!state.header_size) {
        state.header_size = size;
    } else if (size != *state.header_size) {
        state.header_pages_disagree = true;
        finding& f = add_finding(out, r, kind, finding_kind::header_size_differs);
        f.found = size;
        f.expected = *state.header_size;
    }
}

// Adds a finding when the record may not follow the one before it.
void check_order(const checker_state& state, const page_record& r, page_kind kind,
                 page_findings& out)
{
    if (state.have_previous && !may_follow(state.previous, kind, r.page))
        add_finding(out, r, kind, finding_kind::out_of_place).other = state.previous;
}

// True when header pages are read and the data pages checked so far end
// with the last page of the input size they tell (below 4 GiB, where the
// size is whole), unless that size is claimed forced.
bool input_complete(const checker_state& state, const record_context& context)
{
    const uint64_t data_bytes = state.data_pages * PAGE_DATA_SIZE;
    return context.header == header_pages::present && state.header_size &&
           state.forced_size != state.header_size &&
           data_bytes <= UINT32_MAX && data_bytes >= *state.header_size &&
           data_bytes - *state.header_size < PAGE_DATA_SIZE;
}

// Notes `r`, taken for `kind`, as the record checked last.
void note_checked(checker_state& state, const page_record& r, page_kind kind)
{
    state.have_previous = true;
    state.previous = kind;
    state.previous_page = r.page;
    state.end = r.index + 1;
    if (kind == page_kind::data) {
        ++state.data_pages;
        state.last_data_block = r.block;
    }
}

// True when every byte of the record, data and spare area, is zero.
bool every_byte_zero(const page_record& r)
{
    return all_zero(r.data, PAGE_DATA_SIZE) && all_zero(r.spare, PAGE_SPARE_SIZE);
}

}  // namespace

bool check_sound_data(checker_state& state, const record_context& context,
                      const page_record& r, const page_decoding& d)
{
    if (kind_at_position(context.block, context.header, r.page) != page_kind::data ||
        (state.status == status_expectation::unknown && page_carries_status_word(r.page)))
        return false;
    // No data page follows a fill page.
    if (state.have_previous && !may_follow(state.previous, page_kind::data, r.page))
        return false;
    const block_marking marking =
        state.status == status_expectation::marked ? block_marking::on : block_marking::off;
    const uint32_t tag = words_of(r).tag();
    if (tag == 0 || tag != tag_of(page_kind::data, r.block, r.page) ||
        words_of(r).status_word() != status_word_of(page_kind::data, r.page, marking))
        return false;
    for (const ecc_decoding& sector : d.sector)
        if (sector.outcome != ecc_outcome::clean)
            return false;
    if (!words_of(r).zero_words_clear() || input_complete(state, context))
        return false;
    note_checked(state, r, page_kind::data);
    return true;
}

page_kind check_record(checker_state& state, const record_context& context,
                       const page_record& r, const page_decoding& d, const look_ahead& next,
                       page_findings& out)
{
    record_context here = context;
    here.follows_fill = state.have_previous && state.previous == page_kind::fill;
    here.input_complete = input_complete(state, context);
    here.marking = state.status;
    const page_kind kind = classify(here, r, d, next);
    const int tag_bits = std::popcount(tag_of(page_kind::data, r.block, r.page));
    if (kind == page_kind::data && looks_like_fill(r, d) && tag_bits > 1) {
        // A fill page never comes before a data page, and the data page's
        // tag is more than one flipped bit from 0: its words tell nothing
        // more.
        add_finding(out, r, kind, finding_kind::zeroed_record);
        note_checked(state, r, kind);
        return kind;
    }
    if (kind == page_kind::data && tag_bits == 1 && every_byte_zero(r)) {
        // A zero data page whose tag lost its one bit looks the same.
        add_finding(out, r, kind, finding_kind::zeroed_or_tag_flip);
        note_checked(state, r, kind);
        return kind;
    }
    state.status = learn_status(state.status, r, kind);
    check_sectors(r, kind, d, out);
    check_spare(r, kind, state.status, out);
    check_content(r, kind, d, out);
    check_header_size(state, r, kind, d, out);
    check_order(state, r, kind, out);
    note_checked(state, r, kind);
    return kind;
}
