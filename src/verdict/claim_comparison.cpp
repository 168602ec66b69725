// The comparison of the layout an image shows with what the command line
// claims of it.
#include "claim_comparison.h"

#include <algorithm>

#include "image_verdict.h"

bool claim_lists(const optional_bad_blocks& list, uint64_t block)
{
    return block <= INT32_MAX && bad_block_slot(list, static_cast<int64_t>(block)) >= 0;
}

namespace {

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
                                       [&](uint64_t b) { return !claim_lists(claim.bad_blocks, b); });
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

}  // namespace

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
