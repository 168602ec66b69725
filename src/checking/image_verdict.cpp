// The verdict at the image's end: its layout, bad blocks and claims.
#include "image_verdict.h"

#include <algorithm>
#include <bit>

#include "header_size_verdict.h"

namespace {

// True when a page tag found where `expected` was can as well be a record
// out of its place as a flipped bit: more than one bit away, or the tag of
// a page that follows.
bool tag_in_doubt(uint64_t found, uint64_t expected)
{
    const uint32_t block = tag_block(static_cast<uint32_t>(expected));
    const uint32_t page = tag_page(static_cast<uint32_t>(expected));
    const bool next_in_block = page + 1 < static_cast<uint32_t>(PAGES_PER_BLOCK) &&
                               found == page_tag(block, page + 1);
    const bool next_block = found == page_tag(block + 1, 0) || found == page_tag(block + 1, 1);
    return std::popcount(found ^ expected) > 1 || next_in_block || next_block;
}

}  // namespace

void count_finding(check_summary& summary, const finding& f)
{
    switch (class_of(f.what)) {
    case finding_class::corrected: ++summary.corrected; break;
    case finding_class::uncorrectable: ++summary.uncorrectable; break;
    case finding_class::problem: ++summary.problems; break;
    }
    if (finding_traits_of(f.what).stops_repair == repair_stop::always || place_in_doubt(f))
        ++summary.open_readings;
}

bool place_in_doubt(const finding& f)
{
    return finding_traits_of(f.what).stops_repair == repair_stop::far_tag &&
           tag_in_doubt(f.found, f.expected);
}

int check_status(const check_summary& summary)
{
    if (summary.repair.file)
        return summary.repair.obstacle == repair_obstacle::none ? 0 : 1;
    return summary.problems != 0 || summary.uncorrectable != 0 ? 1 : 0;
}

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

// True when `list` holds `block` before its first free slot.
bool lists(const optional_bad_blocks& list, uint64_t block)
{
    return block <= INT32_MAX && bad_block_slot(list, static_cast<int64_t>(block)) >= 0;
}

// Compares the bad blocks the image shows with those the claim lists; the
// first block where they differ makes one finding.
void compare_bad_blocks(const checker_state& checker, const found_layout& layout,
                        const layout_claim& claim, const check_sink& sink,
                        check_summary& summary)
{
    if (!claim.bad_blocks)
        return;
    finding f = image_finding(finding_kind::layout_bad_blocks);
    const auto unlisted = std::find_if(layout.bad_blocks.begin(), layout.bad_blocks.end(),
                                       [&](uint64_t b) { return !lists(claim.bad_blocks, b); });
    if (unlisted != layout.bad_blocks.end()) {
        f.found = *unlisted;
        f.expected = 1;
        report_finding(sink, summary, f);
        return;
    }
    if (checker.data_pages == 0)
        return;
    for (int32_t listed : *claim.bad_blocks) {
        if (listed == -1)
            break;
        const auto block = static_cast<uint64_t>(listed);
        if (block <= checker.last_data_block &&
            std::find(layout.bad_blocks.begin(), layout.bad_blocks.end(), block) ==
                layout.bad_blocks.end()) {
            f.found = block;
            f.expected = 0;
            report_finding(sink, summary, f);
            return;
        }
    }
}

// Compares the layout with what the command line claims of it: each claim
// only what it names.
void compare_with_claim(const checker_state& checker, const found_layout& layout,
                        const layout_claim& claim, const check_sink& sink,
                        check_summary& summary)
{
    const bool header_known = layout.header == header_pages::present || checker.data_pages != 0;
    if (claim.header && header_known && *claim.header != layout.header) {
        finding f = image_finding(finding_kind::layout_header);
        f.found = layout.header == header_pages::present;
        report_finding(sink, summary, f);
    }
    compare_bad_blocks(checker, layout, claim, sink, summary);
    if (claim.bad_blocks && checker.status == status_expectation::unmarked)
        report_finding(sink, summary, image_finding(finding_kind::layout_marking));
}

// Judges each erased block inside the image that was read as a bad block
// the dump padded, and each block that the page tags step over: the header
// size (`size_confirms`) or the claim may confirm it; else it is one
// finding, which names both readings (a block the chip marks bad stays a
// padded bad block).
void judge_padded_blocks(bool size_confirms, const layout_claim& claim, const check_sink& sink,
                         check_summary& summary)
{
    const std::vector<layout_note> notes = summary.layout.notes;
    for (const layout_note& note : notes) {
        const bool padded = note.what == note_kind::padded_blocks;
        if ((!padded && note.what != note_kind::skipped_blocks) || size_confirms)
            continue;
        for (uint64_t b = note.block; b < note.block + note.count; ++b) {
            if (lists(claim.bad_blocks, b))
                continue;
            finding f = image_finding(!padded ? finding_kind::skipped_or_lost
                                      : chip_marks(summary.layout, b)
                                          ? finding_kind::chip_bad_inside
                                          : finding_kind::padded_or_lost);
            f.found = b;
            report_finding(sink, summary, f);
        }
    }
    for (const chip_mark& mark : summary.layout.chip_bad)
        summary.layout.notes.push_back({.what = note_kind::chip_bad, .block = mark.file_block});
}

// A block read as a bad block that nothing confirms.
struct unconfirmed_block {
    uint64_t block;
    bool erased;  // the dump padded it; else it left it out
};

// The blocks read as bad blocks that the dump padded (not marked by the
// chip) or left out, which nothing confirms (not claimed), in image order.
std::vector<unconfirmed_block> unconfirmed_blocks(const layout_claim& claim,
                                                  const found_layout& layout)
{
    std::vector<unconfirmed_block> blocks;
    for (const layout_note& note : layout.notes) {
        const bool padded = note.what == note_kind::padded_blocks;
        if (!padded && note.what != note_kind::skipped_blocks)
            continue;
        for (uint64_t b = note.block; b < note.block + note.count; ++b)
            if (!lists(claim.bad_blocks, b) && !(padded && chip_marks(layout, b)))
                blocks.push_back({b, padded});
    }
    std::sort(blocks.begin(), blocks.end(),
              [](const unconfirmed_block& x, const unconfirmed_block& y) {
                  return x.block < y.block;
              });
    return blocks;
}

// With header pages, blocks read as bad blocks that the dump padded or left
// out, which nothing confirms, are lost data pages when the header size
// then fits the data pages, and fits them only so: the layout leaves them
// out of its bad blocks, and the holes say where the recovered input lacks
// their pages.  Returns the data pages they add.
uint64_t read_unconfirmed_as_lost(const checker_state& checker, const layout_claim& claim,
                                  found_layout& layout)
{
    const std::vector<unconfirmed_block> lost = unconfirmed_blocks(claim, layout);
    constexpr uint64_t PAGES = PAGES_PER_BLOCK - 1;  // data pages of a block with a header
    if (lost.empty() || !checker.header_size || size_from_header(checker) ||
        !input_size_fitting(*checker.header_size, checker.data_pages + lost.size() * PAGES))
        return 0;
    const auto is_lost = [&](uint64_t b) {
        return std::any_of(lost.begin(), lost.end(),
                           [&](const unconfirmed_block& u) { return u.block == b; });
    };
    for (size_t i = 0; i < lost.size(); ++i) {
        const auto real_bad_before = static_cast<uint64_t>(
            std::count_if(layout.bad_blocks.begin(), layout.bad_blocks.end(),
                          [&](uint64_t b) { return b < lost[i].block && !is_lost(b); }));
        layout.holes.push_back(
            {(lost[i].block - real_bad_before - i) * PAGES, PAGES, lost[i].erased});
    }
    std::erase_if(layout.bad_blocks, is_lost);
    layout.bad_block_count -= lost.size();
    return lost.size() * PAGES;
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
