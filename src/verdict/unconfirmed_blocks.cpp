// The blocks read as bad blocks that the dump padded or left out: confirmed
// by the header size or the claim, named as open readings, or read as lost.
#include "unconfirmed_blocks.h"

#include <algorithm>

#include "claim_comparison.h"
#include "header_size_verdict.h"
#include "image_verdict.h"

void judge_padded_blocks(bool size_confirms, const layout_claim& claim, const check_sink& sink,
                         check_summary& summary)
{
    const std::vector<layout_note> notes = summary.layout.notes;
    for (const layout_note& note : notes) {
        const bool padded = note.what == note_kind::padded_blocks;
        if ((!padded && note.what != note_kind::skipped_blocks) || size_confirms)
            continue;
        for (uint64_t b = note.block; b < note.block + note.count; ++b) {
            if (claim_lists(claim.bad_blocks, b))
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

namespace {

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
            if (!claim_lists(claim.bad_blocks, b) && !(padded && chip_marks(layout, b)))
                blocks.push_back({b, padded});
    }
    std::sort(blocks.begin(), blocks.end(),
              [](const unconfirmed_block& x, const unconfirmed_block& y) {
                  return x.block < y.block;
              });
    return blocks;
}

}  // namespace

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
