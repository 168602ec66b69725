// How the events of a readback are reported: records left out, held twice
// or not the image's, and the erased pages.
#include "readback_report.h"

#include <algorithm>

#include "bad_block_inference.h"
#include "image_verdict.h"
#include "record_look.h"
#include "record_report.h"
#include "record_view.h"

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

namespace {

// True when `missing` records before image record `at` are whole blocks.
bool whole_blocks(uint64_t at, uint64_t missing)
{
    return missing % PAGES_PER_BLOCK == 0 && at % PAGES_PER_BLOCK == 0;
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

}  // namespace

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
