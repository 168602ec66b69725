// The checking core: the walk over the records.  Records are read into a
// window, where the layout inference sees them first; the checks follow as
// far as the inference has settled how to read them.  The window holds the
// longest stretch that can stay open: a block that looks like a header
// block at page tag 0, then up to MAX_BAD_BLOCKS bad blocks, then page 0 of
// the block that tells.

#include "image_check.h"

#include <cerrno>
#include <vector>

#include "image_verdict.h"
#include "layout_inference.h"

namespace {

// Whether the whole image has been read when an open question is settled.
enum class image_end { not_reached, reached };

// Records the window holds.
constexpr uint64_t WINDOW_RECORDS = (MAX_BAD_BLOCKS + 2) * PAGES_PER_BLOCK;

// The records read but not yet checked, and where the walk stands.
struct record_window {
    std::vector<decoded_record>& slots;  // WINDOW_RECORDS of them, used in turn
    uint64_t read = 0;                   // records read
    uint64_t checked = 0;                // records checked

    decoded_record& at(uint64_t index) { return slots[index % WINDOW_RECORDS]; }
    bool full() const { return read - checked == WINDOW_RECORDS; }
};

// What the record after `index` tells its checks.
look_ahead next_of(record_window& window, uint64_t index)
{
    look_ahead next;
    if (index + 1 < window.read) {
        next.present = true;
        next.tag = spare_word(window.at(index + 1).bytes + PAGE_DATA_SIZE, SPARE_TAG_WORD);
    }
    if (index + 2 < window.read) {
        next.second_present = true;
        next.second_tag =
            spare_word(window.at(index + 2).bytes + PAGE_DATA_SIZE, SPARE_TAG_WORD);
    }
    return next;
}

// Counts a checked record and reports its findings, then the record.
void report_record(const check_sink& sink, check_summary& summary, const page_record& r,
                   page_kind kind, const page_findings& found)
{
    ++summary.records;
    ++summary.kinds[static_cast<int>(kind)];
    summary.sectors += SECTORS_PER_PAGE;
    checked_page page = {r.index, r.block, r.page, kind, r.data, {}};
    for (int i = 0; i < found.count; ++i) {
        report_finding(sink, summary, found.items[i]);
        ++page.findings[static_cast<int>(class_of(found.items[i].what))];
    }
    if (sink.on_page)
        sink.on_page(page);
}

// Checks the records of the window up to (not including) `limit`.
void check_up_to(record_window& window, uint64_t limit, layout_inference& inference,
                 checker_state& checker, const check_sink& sink, check_summary& summary)
{
    for (; window.checked < limit; ++window.checked) {
        const uint64_t index = window.checked;
        decoded_record& record = window.at(index);
        const page_record r = view_of(record);
        if (r.page == 0)
            forget_before(inference, r.block);
        page_findings found;
        const page_kind kind = check_record(checker, context_of(inference, index), r,
                                            record.decoding, next_of(window, index), found);
        note_zero_page_fill(summary.layout, r, kind, checker.status);
        report_record(sink, summary, r, kind, found);
    }
}

// Findings the records still in the window would give with the header
// question settled as `reading`; at the end of the image, with those about
// its end.
uint64_t findings_with(header_pages reading, record_window& window,
                       const layout_inference& inference, const checker_state& checker,
                       image_end end)
{
    layout_inference trial = inference;
    decide_header(trial, reading);
    if (end == image_end::reached)
        settle_blocks(trial);
    checker_state trial_checker = checker;
    uint64_t count = 0;
    for (uint64_t index = window.checked; index < window.read; ++index) {
        decoded_record& record = window.at(index);
        page_findings found;
        check_record(trial_checker, context_of(trial, index), view_of(record), record.decoding,
                     next_of(window, index), found);
        for (int i = 0; i < found.count; ++i)
            count += class_of(found.items[i].what) != finding_class::corrected;
    }
    if (end == image_end::reached)
        count += end_findings(trial_checker, reading);
    return count;
}

// Settles a header question that the image left open: as the claim says,
// else the reading with fewer findings (a header page when they tie).
void settle_header(record_window& window, layout_inference& inference,
                   const checker_state& checker, const layout_claim& claim, image_end end,
                   found_layout& layout)
{
    if (inference.header != header_reading::pending)
        return;
    header_pages chosen;
    if (claim.header) {
        chosen = *claim.header;
    } else {
        const uint64_t as_header =
            findings_with(header_pages::present, window, inference, checker, end);
        const uint64_t as_data =
            findings_with(header_pages::absent, window, inference, checker, end);
        chosen = as_header <= as_data ? header_pages::present : header_pages::absent;
        note_header_choice(layout, inference, chosen, as_header, as_data);
    }
    decide_header(inference, chosen);
}

// Reads one record into `r`; returns the bytes read, or -1 on a read error.
long read_record(FILE* in, decoded_record& r)
{
    const size_t n = std::fread(r.bytes, 1, PAGE_RECORD_SIZE, in);
    if (std::ferror(in))
        return -1;
    return static_cast<long>(n);
}

}  // namespace

int check_image(image_checker& checker, FILE* in, const layout_claim& claim,
                const check_sink& sink, check_summary& summary)
{
    checker.window.resize(WINDOW_RECORDS);
    record_window window{checker.window};
    layout_inference inference;
    inference.marking_claim = claim.bad_blocks.has_value();
    checker_state state;
    long n = 0;
    for (;;) {
        if (window.full()) {
            // Nothing more can wait: settle what is open as it stands.
            settle_header(window, inference, state, claim, image_end::not_reached, summary.layout);
            settle_blocks(inference);
            check_up_to(window, window.checked + 1, inference, state, sink, summary);
        }
        decoded_record& r = window.at(window.read);
        n = read_record(in, r);
        if (n != static_cast<long>(PAGE_RECORD_SIZE))
            break;
        r.index = window.read++;
        r.decoding = decode_page(view_of(r));
        observe(inference, r);
        const uint64_t settled = settled_until(inference);
        check_up_to(window, std::min(settled, window.read - 1), inference, state, sink,
                    summary);
    }
    if (n < 0)
        return errno;
    settle_header(window, inference, state, claim, image_end::reached, summary.layout);
    settle_blocks(inference);
    check_up_to(window, window.read, inference, state, sink, summary);
    finish_check(state, inference, claim, static_cast<uint64_t>(n), sink, summary);
    return 0;
}
