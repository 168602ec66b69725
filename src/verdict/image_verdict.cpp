// The verdict at the image's end: how it ends, the layout it shows, and
// the notes on choices it left open.
#include "image_verdict.h"

#include "claim_comparison.h"
#include "header_size_verdict.h"
#include "unconfirmed_blocks.h"

void report_finding(const check_sink& sink, check_summary& summary, const finding& f)
{
    count_finding(summary, f);
    if (sink.on_finding)
        sink.on_finding(f);
}

namespace {

// The finding about how the image ends, when that is not after a data page
// or after page 63 of the fill pages.
std::optional<finding> ending_finding(const checker_state& checker)
{
    if (!checker.have_previous || checker.previous == page_kind::data)
        return std::nullopt;
    if (checker.previous == page_kind::fill) {
        if (checker.previous_page == PAGES_PER_BLOCK - 1)
            return std::nullopt;
        finding f = image_finding(finding_kind::ends_inside_fill);
        f.page = checker.previous_page;
        return f;
    }
    finding f = image_finding(finding_kind::ends_after);
    f.other = checker.previous;
    return f;
}

}  // namespace

void note_zero_page_fill(found_layout& layout, const page_record& r, page_kind kind,
                         status_expectation status)
{
    if (kind != page_kind::fill || r.page != 0 || tag_of(page_kind::data, r.block, 0) != 0 ||
        status == status_expectation::marked)
        return;
    layout.notes.push_back({.what = note_kind::zero_page_fill, .block = r.block});
}

void note_header_choice(found_layout& layout, const layout_inference& inference,
                        header_pages chosen, uint64_t findings_as_header,
                        uint64_t findings_as_data)
{
    const bool as_header = chosen == header_pages::present;
    layout.notes.push_back({.what = note_kind::header_choice,
                            .block = inference.header_block,
                            .size = inference.header_size.value_or(0),
                            .more = as_header ? findings_as_data - findings_as_header
                                              : findings_as_header - findings_as_data,
                            .chosen = chosen});
}

uint64_t end_findings(const checker_state& checker, header_pages header)
{
    // A size that only -F fits counts against the header reading here: of
    // two readings that fit as well, the one without -F is taken.
    const bool misfit = header == header_pages::present && header_size_misfits(checker);
    return (ending_finding(checker) ? 1 : 0) + (misfit ? 1 : 0);
}

void finish_check(const checker_state& checker, const layout_inference& inference,
                  const layout_claim& claim, uint64_t tail, const check_sink& sink,
                  check_summary& summary)
{
    const std::optional<finding> ending = ending_finding(checker);
    if (ending)
        report_finding(sink, summary, *ending);
    if (tail > 0) {
        finding f = image_finding(finding_kind::partial_record);
        f.found = tail;
        report_finding(sink, summary, f);
    }
    found_layout& layout = summary.layout;
    layout.header = inference.header == header_reading::present ? header_pages::present
                                                                : header_pages::absent;
    const bool header = layout.header == header_pages::present;
    const page_loss loss = tail > 0 || ending       ? page_loss::cut
                           : checker.records_lost ? page_loss::inside
                                                  : page_loss::none;
    const bool forced_claim = claim.forced_size && checker.header_size &&
                              *checker.header_size == static_cast<uint32_t>(*claim.forced_size);
    // The data pages fit the header size only when no data page is lost.
    const bool size_confirms = header && !forced_claim && size_from_header(checker);
    judge_padded_blocks(size_confirms, claim, sink, summary);
    layout.bad_blocks = inference.bad_blocks;
    layout.bad_block_count = inference.bad_block_count;
    checker_state counted = checker;
    if (header && !forced_claim)
        counted.data_pages += read_unconfirmed_as_lost(checker, claim, layout);
    if (header)
        settle_header_size(counted, loss, claim, sink, summary);
    else if (summary.records == 0 && tail == 0)
        layout.input_size = 0;
    layout.status_words = checker.status == status_expectation::marked;
    layout.fill = summary.kinds[static_cast<int>(page_kind::fill)] != 0;
    if (layout.bad_block_count > MAX_BAD_BLOCKS) {
        finding f = image_finding(finding_kind::too_many_bad_blocks);
        f.found = layout.bad_block_count;
        report_finding(sink, summary, f);
    }
    if (sink.on_layout)
        sink.on_layout(layout);
    compare_with_claim(checker, layout, claim, sink, summary);
}
