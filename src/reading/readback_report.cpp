// How the records of a file are handed on to the checks and reported.
#include "readback_report.h"

#include <algorithm>

#include "bad_block_inference.h"
#include "image_verdict.h"
#include "record_look.h"
#include "record_view.h"

namespace {

// A finding about the event just before image record `at`.
finding event_finding(finding_kind what, uint64_t at, uint64_t found)
{
    finding f{};
    f.what = what;
    f.record = at;
    f.block = at / PAGES_PER_BLOCK;
    f.page = static_cast<int>(at % PAGES_PER_BLOCK);
    f.found = found;
    return f;
}

// True when `missing` records before image record `at` are whole blocks.
bool whole_blocks(uint64_t at, uint64_t missing)
{
    return missing % PAGES_PER_BLOCK == 0 && at % PAGES_PER_BLOCK == 0;
}

// Hands on the pages of the image from `from` up to `to` that the file
// leaves out, as pages of `kind`.
void report_absent(const check_sink& sink, uint64_t from, uint64_t to, page_kind kind)
{
    if (!sink.on_page)
        return;
    for (uint64_t at = from; at < to; ++at) {
        checked_page page = {at, at / PAGES_PER_BLOCK, static_cast<int>(at % PAGES_PER_BLOCK),
                             kind, nullptr, {}, page_place::absent};
        sink.on_page(page);
    }
}

// The checks go on after a bad block, as they would in an image that holds
// it.
void after_bad_block(checker_state& checker)
{
    checker.have_previous = true;
    checker.previous = page_kind::bad_block;
    checker.previous_page = PAGES_PER_BLOCK - 1;
}

// The kind of an erased record: chip-bad when it carries the chip's marker.
page_kind erased_kind(const decoded_record& r)
{
    return chip_marked(r) ? page_kind::chip_bad : page_kind::erased;
}

// Counts a record of the file and its sectors.
void count_record(check_summary& summary)
{
    ++summary.records;
    summary.sectors += SECTORS_PER_PAGE;
}

}  // namespace

void report_record(const check_sink& sink, check_summary& summary, const page_record& r,
                   page_kind kind, const page_findings& found, uint64_t input_page)
{
    count_record(summary);
    ++summary.kinds[static_cast<int>(kind)];
    checked_page page = {r.index, r.block, r.page, kind, r.data, {}, page_place::image,
                         r.file_index, input_page};
    for (int i = 0; i < found.count; ++i) {
        report_finding(sink, summary, found.items[i]);
        ++page.findings[static_cast<int>(class_of(found.items[i].what))];
    }
    if (sink.on_page)
        sink.on_page(page);
}

void take_events(decoded_record& r, layout_inference& inference, const found_layout& layout)
{
    record_events& e = r.events;
    // The padded blocks come first, then those missing, then the record.
    const uint64_t block = r.index / PAGES_PER_BLOCK;
    const uint64_t padded_end = (r.index - e.missing) / PAGES_PER_BLOCK;
    const auto claimed = [&](uint64_t b) {
        return bad_block_slot(inference.claimed, static_cast<int64_t>(b)) >= 0;
    };
    bool padded_confirmed = true;
    for (uint64_t b = padded_end - e.padded_blocks; b < padded_end; ++b)
        padded_confirmed &= claimed(b) || chip_marks(layout, b);
    const bool skipped = e.missing && whole_blocks(r.index, e.missing);
    const uint64_t skipped_from = block - e.missing / PAGES_PER_BLOCK;
    bool skipped_claimed = true;
    for (uint64_t b = skipped_from; skipped && b < block; ++b)
        skipped_claimed &= claimed(b);
    // The record after them starts a block: a header page there (tag 0)
    // tells header pages before the inference has seen it.
    const bool no_header = record_at(r.bytes).tag() != 0 &&
                           inference.header != header_reading::present;
    e.padded_as_hole = e.padded_blocks && !padded_confirmed && no_header;
    e.skipped_as_hole = skipped && !skipped_claimed && no_header;
    for (uint64_t b = padded_end - e.padded_blocks; b < padded_end && !e.padded_as_hole; ++b)
        take_bad_block(inference, b);
    for (uint64_t b = skipped_from; skipped && b < block && !e.skipped_as_hole; ++b)
        take_bad_block(inference, b);
}

void report_events(const decoded_record& r, checker_state& checker, const check_sink& sink,
                   check_summary& summary)
{
    const record_events& e = r.events;
    if (e.junk) {
        finding f = event_finding(finding_kind::not_records, r.index, e.junk);
        f.expected = e.junk_from;
        report_finding(sink, summary, f);
    }
    if (e.swapped)
        report_finding(sink, summary, event_finding(finding_kind::records_swapped, r.index, 0));
    if (e.strays) {
        finding f = event_finding(finding_kind::stray_records, r.index, e.strays);
        f.expected = e.stray_from;
        report_finding(sink, summary, f);
    }
    if (e.repeated)
        report_finding(sink, summary,
                       event_finding(finding_kind::records_repeated, e.repeated_from, e.repeated));
    if (e.foreign_from)
        report_finding(sink, summary,
                       event_finding(finding_kind::foreign_block, r.index, e.foreign_from - 1));
    if (e.erased) {
        report_finding(sink, summary,
                       event_finding(finding_kind::erased_inside, e.erased_from, e.erased));
        checker.records_lost = true;
    }
    if (e.padded_blocks) {
        after_bad_block(checker);
        if (!e.padded_as_hole)
            checker.bad_blocks_passed += e.padded_blocks;
    }
    if (e.missing == 0)
        return;
    const uint64_t from = r.index - e.missing;
    checker.records_lost = true;
    if (whole_blocks(r.index, e.missing) && !e.skipped_as_hole) {
        report_absent(sink, from, r.index, page_kind::bad_block);
        after_bad_block(checker);
        checker.bad_blocks_passed += e.missing / PAGES_PER_BLOCK;
        return;
    }
    if (e.skipped_as_hole) {
        report_absent(sink, from, r.index, page_kind::data);
        after_bad_block(checker);
        return;
    }
    report_finding(sink, summary, event_finding(finding_kind::records_missing, from, e.missing));
    report_absent(sink, from, r.index, page_kind::data);
}

void report_other(decoded_record& r, const check_sink& sink, check_summary& summary)
{
    const page_record view = view_of(r);
    page_findings found;
    if (r.look == record_look::erased && r.origin == record_origin::erased) {
        for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
            if (r.flips[s] < 0)
                continue;
            finding& f = add_finding(found, view, erased_kind(r), finding_kind::erased_bit);
            f.sector = s;
            f.byte = r.flips[s] / 8;
            f.bit = r.flips[s] % 8;
        }
    }
    if (r.origin == record_origin::erased) {
        report_record(sink, summary, view, erased_kind(r), found, 0);
        return;
    }
    count_record(summary);
    ++summary.outside;
    const page_kind kind = r.look == record_look::erased ? erased_kind(r) : page_kind::data;
    checked_page page = {r.index, view.block, view.page, kind, view.data, {},
                         page_place::outside, r.file_index};
    if (sink.on_page)
        sink.on_page(page);
}

bool report_file_end(const readback_state& state, uint64_t records, const check_sink& sink,
                     check_summary& summary)
{
    if (records != 0 && state.image_records == 0) {
        finding f{};
        f.what = finding_kind::not_an_image;
        f.found = records;
        report_finding(sink, summary, f);
        return true;
    }
    if (state.junk) {
        finding f = event_finding(finding_kind::not_records, state.next, state.junk);
        f.expected = state.junk_from;
        report_finding(sink, summary, f);
    }
    return false;
}

void report_cut(const check_sink& sink, uint64_t next)
{
    const uint64_t end = (next / PAGES_PER_BLOCK + 1) * PAGES_PER_BLOCK;
    report_absent(sink, next, end, page_kind::data);
}

// True when the window is full and nothing in it shows an image: no record
// stands where its page tag says, and none was checked.  Any image shows
// one long before: its data and bad-block pages carry their tags.
bool shows_no_image(const record_window& window, const readback_state& placing,
                    const check_summary& summary)
{
    return window.full() && placing.anchors == 0 && placing.image_records == 0 &&
           summary.records == 0;
}

// Hands on every record of the file not yet checked, to its end, as not
// the image's: a file that is no image gives one finding, whatever its size.
void pass_over_rest(record_window& window, window_reader& reader, const check_sink& sink,
                    check_summary& summary)
{
    for (;;) {
        for (; window.checked < window.read; ++window.checked) {
            decoded_record& r = window.at(window.checked);
            r.origin = record_origin::outside;
            report_other(r, sink, summary);
        }
        window.placed = window.checked;
        if (reader.state != file_state::open)
            return;
        read_more(reader, window);
        for (; window.read < reader.loaded; ++window.read) {
            decoded_record& r = window.at(window.read);
            r.file_index = window.read;
            look_at(r);
        }
    }
}
