// Settling the header question from what the window holds.
#include "header_question.h"

#include <algorithm>

#include "bad_block_inference.h"
#include "image_verdict.h"
#include "record_view.h"

file_tail tail_of(record_window& window, const window_reader& reader)
{
    if (reader.partial == 0)
        return file_tail::nothing_more;
    const uint8_t* bytes = window.at(reader.loaded).bytes;
    const auto all = [&](uint8_t value) {
        return std::all_of(bytes, bytes + reader.partial, [=](uint8_t b) { return b == value; });
    };
    return all(0) || all(0xFF) ? file_tail::nothing_more : file_tail::data;
}

look_ahead next_of(record_window& window, uint64_t seq)
{
    look_ahead next;
    if (seq + 1 < window.read) {
        next.present = true;
        next.tag = record_at(window.at(seq + 1).bytes).tag();
    }
    if (seq + 2 < window.read) {
        next.second_present = true;
        next.second_tag =
            record_at(window.at(seq + 2).bytes).tag();
    }
    return next;
}

namespace {

// Findings the records still in the window would give with the header
// question settled as `reading`; at the end of the image, with those about
// its end.
uint64_t findings_with(header_pages reading, record_window& window, const walk_state& walk,
                       image_end end)
{
    layout_inference trial = walk.inference;
    decide_header(trial, reading);
    if (end == image_end::reached)
        settle_blocks(trial);
    checker_state trial_checker = walk.checker;
    uint64_t count = 0;
    for (uint64_t seq = window.checked; seq < window.placed; ++seq) {
        decoded_record& record = window.at(seq);
        if (record.origin != record_origin::image)
            continue;
        page_findings found;
        check_record(trial_checker, context_of(trial, record.index), view_of(record),
                     record.decoding, next_of(window, seq), found);
        for (int i = 0; i < found.count; ++i)
            count += class_of(found.items[i].what) != finding_class::corrected;
    }
    if (end == image_end::reached)
        count += end_findings(trial_checker, reading);
    return count;
}

// True when a data page follows the page that looks like a header page: a
// record with the page tag of a data page at its place (not 0).
bool data_follows_header(record_window& window, const walk_state& walk)
{
    const uint64_t header_at = walk.inference.header_block * PAGES_PER_BLOCK;
    if (!walk.inference.pending_holds_size)
        return false;
    for (uint64_t seq = window.checked; seq < window.placed; ++seq) {
        const decoded_record& r = window.at(seq);
        const uint32_t tag = record_at(r.bytes).tag();
        if (r.origin == record_origin::image && r.index > header_at &&
            r.look == record_look::page && tag != 0 &&
            tag == tag_of(page_kind::data, r.index / PAGES_PER_BLOCK,
                          static_cast<int64_t>(r.index % PAGES_PER_BLOCK)))
            return true;
    }
    return false;
}

}  // namespace

void settle_header(record_window& window, walk_state& walk, const layout_claim& claim,
                   image_end end, file_tail tail, found_layout& layout)
{
    if (walk.inference.header != header_reading::pending)
        return;
    header_pages chosen;
    if (claim.header) {
        chosen = *claim.header;
    } else if (data_follows_header(window, walk) || tail == file_tail::data) {
        chosen = header_pages::present;
        layout.notes.push_back({.what = note_kind::header_before_data,
                                .block = walk.inference.header_block,
                                .size = walk.inference.header_size.value_or(0)});
    } else {
        const uint64_t as_header = findings_with(header_pages::present, window, walk, end);
        const uint64_t as_data = findings_with(header_pages::absent, window, walk, end);
        chosen = as_header <= as_data ? header_pages::present : header_pages::absent;
        note_header_choice(layout, walk.inference, chosen, as_header, as_data);
    }
    decide_header(walk.inference, chosen);
}
