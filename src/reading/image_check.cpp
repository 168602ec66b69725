// The checking core: the walk over the records.  Records are read into a
// window, where the layout inference sees them first; the checks follow as
// far as the inference has settled how to read them.  The window holds the
// longest stretch that can stay open: a block that looks like a header
// block at page tag 0, then up to MAX_BAD_BLOCKS bad blocks, then page 0 of
// the block that tells.

#include "image_check.h"

#include <algorithm>
#include <vector>

#include "bad_block_inference.h"
#include "header_question.h"
#include "image_verdict.h"
#include "layout_inference.h"
#include "lost_input.h"
#include "readback.h"
#include "file_end.h"
#include "readback_report.h"
#include "record_report.h"
#include "record_look.h"
#include "window_reader.h"

namespace {

// The input page a record taken for `kind` holds, if a data page; counts
// the bad blocks of the layout that its bad-block pages stand for.
uint64_t input_page_of(checker_state& checker, const page_record& r, page_kind kind,
                       const record_context& context)
{
    if (kind == page_kind::bad_block && r.block != checker.last_bad_block) {
        checker.last_bad_block = r.block;
        ++checker.bad_blocks_passed;
    }
    if (kind != page_kind::data)
        return 0;
    const uint64_t at = input_page_at(r.index, context.header, checker.bad_blocks_passed);
    // A page that stands past the one before it lost those between.
    if (at > checker.input_pages)
        checker.records_lost = true;
    checker.input_pages = std::max(checker.input_pages, at + 1);
    return at;
}

// Checks the records of the window before `limit` that stand before image
// record `settled`.
void check_up_to(record_window& window, uint64_t limit, uint64_t settled, walk_state& walk,
                 const check_sink& sink, check_summary& summary)
{
    for (; window.checked < limit; ++window.checked) {
        const uint64_t seq = window.checked;
        decoded_record& record = window.at(seq);
        if (record.index >= settled)
            return;
        if (record.origin != record_origin::image) {
            report_other(record, sink, summary);
            continue;
        }
        if (has_events(record.events))
            report_events(record, walk.checker, sink, summary);
        const page_record r = view_of(record);
        if (r.page == 0)
            forget_before(walk.inference, r.block);
        const record_context context = context_of(walk.inference, record.index);
        page_findings found;
        const page_kind kind =
            check_sound_data(walk.checker, context, r, record.decoding)
                ? page_kind::data
                : check_record(walk.checker, context, r, record.decoding, next_of(window, seq),
                               found);
        note_zero_page_fill(summary.layout, r, kind, walk.checker.status);
        report_record(sink, summary, r, kind, found, input_page_of(walk.checker, r, kind, context));
    }
}

// Lets the inference see the records placed since it last looked.
void observe_placed(record_window& window, walk_state& walk, const found_layout& layout)
{
    for (; walk.observed < window.placed; ++walk.observed) {
        decoded_record& r = window.at(walk.observed);
        if (r.origin != record_origin::image)
            continue;
        if (has_events(r.events))
            take_events(r, walk.inference, layout);
        observe(walk.inference, r);
    }
}

// Places every waiting record, and lets the inference see them.
void place_all(record_window& window, walk_state& walk, found_layout& layout)
{
    place_waiting(walk.placing, window, layout);
    observe_placed(window, walk, layout);
}

// Makes the window's slots on first use, each pointing at its bytes.
record_window window_of(image_checker& checker)
{
    if (!checker.slots) {
        checker.slots = std::make_unique<decoded_record[]>(WINDOW_SLOTS);
        checker.bytes.reset(new uint8_t[WINDOW_SLOTS * PAGE_RECORD_SIZE]);
        for (uint64_t i = 0; i < WINDOW_SLOTS; ++i)
            checker.slots[i].bytes = checker.bytes.get() + i * PAGE_RECORD_SIZE;
    }
    return {checker.slots.get(), checker.bytes.get()};
}

// Looks at a record just read, and decodes it when it is a page record.
void take_in(decoded_record& r)
{
    look_at(r);
    if (r.look == record_look::page)
        r.decoding = decode_page(view_of(r));
}

}  // namespace

int check_image(image_checker& checker, FILE* in, const layout_claim& claim,
                const check_sink& outer, check_summary& summary)
{
    // Every page and finding goes past the tracker of lost input first.
    lost_tracker tracker;
    check_sink sink = outer;
    window_reader reader;
    reader.in = in;
    uint64_t start = 0;  // the byte of the file where the image starts
    sink.on_finding = [&](const finding& about) {
        // The walk counts records from the image's start; the finding
        // names its record's offset in the file.
        finding f = about;
        f.offset += start;
        track_finding(tracker, f);
        if (outer.on_finding)
            outer.on_finding(f);
    };
    sink.on_page = [&](const checked_page& page) {
        track_page(tracker, page);
        if (outer.on_page)
            outer.on_page(page);
    };
    record_window window = window_of(checker);
    start = read_image_start(reader);
    if (start != 0) {
        finding f = image_finding(finding_kind::image_starts_later);
        f.found = start;
        report_finding(sink, summary, f);
        summary.layout.image_start = start;
    }
    walk_state walk;
    walk.inference.marking_claim = claim.bad_blocks.has_value();
    walk.inference.claimed = claim.bad_blocks;
    if (claim.forced_size)
        walk.checker.forced_size = static_cast<uint32_t>(*claim.forced_size);
    for (;;) {
        if (shows_no_image(window, walk.placing, summary)) {
            pass_over_rest(window, reader, sink, summary);
            walk.observed = window.placed;
            break;
        }
        if (window.full()) {
            // Nothing more can wait: settle what is open as it stands.
            if (window.checked == window.placed)
                place_all(window, walk, summary.layout);
            settle_header(window, walk, claim, image_end::not_reached, file_tail::nothing_more,
                          summary.layout);
            settle_blocks(walk.inference);
            check_up_to(window, window.checked + 1, UINT64_MAX, walk, sink, summary);
        }
        if (window.read == reader.loaded && reader.state == file_state::open)
            read_more(reader, window);
        if (window.read == reader.loaded)
            break;
        decoded_record& r = window.at(window.read);
        r.file_index = window.read++;
        take_in(r);
        place_records(walk.placing, window, summary.layout);
        observe_placed(window, walk, summary.layout);
        check_up_to(window, std::min(window.placed, window.read - 1),
                    settled_until(walk.inference), walk, sink, summary);
    }
    if (reader.state == file_state::failed)
        return reader.error;
    place_all(window, walk, summary.layout);
    finish_placing(walk.placing, summary.layout);
    settle_header(window, walk, claim, image_end::reached, tail_of(window, reader),
                  summary.layout);
    settle_blocks(walk.inference);
    check_up_to(window, window.read, UINT64_MAX, walk, sink, summary);
    // A file that is no image has no partial record either.
    const bool no_image = report_file_end(walk.placing, window.read, sink, summary);
    const uint64_t tail = no_image ? 0 : reader.partial;
    finish_check(walk.checker, walk.inference, claim, tail, sink, summary);
    // The file was cut: inside a record, inside the fill pages, or before
    // data pages that the header pages count and no gap inside accounts for.
    const checker_state& last = walk.checker;
    const std::optional<uint64_t> size = summary.layout.input_size;
    const bool short_of_size = size && *size > last.data_pages * PAGE_DATA_SIZE;
    const bool inside_fill = last.have_previous && last.previous == page_kind::fill &&
                             last.previous_page < PAGES_PER_BLOCK - 1;
    if (tail > 0 || inside_fill || (short_of_size && !last.records_lost))
        report_cut(sink, walk.placing.next);
    summary.lost = finish_tracking(tracker, summary.layout.size_said, summary.layout.holes);
    return 0;
}
