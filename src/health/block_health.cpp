// Block health, counted page by page.
#include "block_health.h"

#include <algorithm>

namespace {

// What a page makes of its block's use; a lower value wins in a block of
// mixed pages (data first).
block_use use_of(page_kind kind)
{
    switch (kind) {
    case page_kind::data: return block_use::data;
    case page_kind::bad_block: return block_use::bad;
    case page_kind::chip_bad: return block_use::chip_bad;
    case page_kind::fill: return block_use::fill;
    case page_kind::erased: return block_use::erased;
    case page_kind::header: return block_use::other;
    }
    return block_use::other;
}

// True when the page's corrected findings are bits that read 0 where
// nothing was written.
bool is_unwritten(page_kind kind)
{
    return kind == page_kind::erased || kind == page_kind::chip_bad;
}

// True when the page's corrected findings are corrected bits: in data,
// header and fill pages (a bad-block page has no ECC to correct with).
bool corrects_bits(page_kind kind)
{
    return !is_unwritten(kind) && kind != page_kind::bad_block;
}

// The entry of block `number` in `blocks`, kept in block order, made when
// there is none.  Pages come in order, so the last entry is tried first.
block_health& entry_for(std::vector<block_health>& blocks, uint64_t number)
{
    if (!blocks.empty() && blocks.back().block == number)
        return blocks.back();
    auto at = std::lower_bound(blocks.begin(), blocks.end(), number,
                               [](const block_health& b, uint64_t n) { return b.block < n; });
    if (at == blocks.end() || at->block != number) {
        block_health fresh;
        fresh.block = number;
        at = blocks.insert(at, fresh);
    }
    return *at;
}

// The count of findings of class `c` on a page.
uint64_t findings_of(const checked_page& page, finding_class c)
{
    return static_cast<uint64_t>(page.findings[static_cast<int>(c)]);
}

}  // namespace

void count_page_health(std::vector<block_health>& blocks, const checked_page& page)
{
    if (page.place == page_place::absent)
        return;
    // The file's block: pages come in image order, which is file order but
    // where the file holds records out of their place.
    block_health& block = entry_for(blocks, page.file_record / PAGES_PER_BLOCK);
    block.use = std::min(block.use, use_of(page.kind));
    const uint64_t corrected = findings_of(page, finding_class::corrected);
    if (is_unwritten(page.kind)) {
        block.erased_bits += corrected;
    } else if (corrects_bits(page.kind) && corrected > 0) {
        block.corrected += corrected;
        ++block.corrected_pages;
    }
    block.uncorrectable += findings_of(page, finding_class::uncorrectable);
}

void count_map_health(std::vector<block_health>& blocks, const checked_page& page)
{
    const uint64_t corrected = findings_of(page, finding_class::corrected);
    const uint64_t uncorrectable = findings_of(page, finding_class::uncorrectable);
    if (page.place != page_place::image || !corrects_bits(page.kind) ||
        (corrected == 0 && uncorrectable == 0))
        return;
    block_health& block = entry_for(blocks, page.block);
    block.corrected += corrected;
    block.uncorrectable += uncorrectable;
}

int health_shade(const std::vector<block_health>& blocks, uint64_t first, uint64_t last)
{
    int shade = 0;
    auto at = std::lower_bound(blocks.begin(), blocks.end(), first,
                               [](const block_health& b, uint64_t n) { return b.block < n; });
    for (; at != blocks.end() && at->block <= last; ++at) {
        const int one = at->uncorrectable != 0 ? 4
                        : at->corrected >= 4   ? 3
                        : at->corrected >= 2   ? 2
                        : at->corrected == 1   ? 1
                                               : 0;
        shade = std::max(shade, one);
    }
    return shade;
}

std::vector<block_health> worn_blocks(const std::vector<block_health>& blocks)
{
    std::vector<block_health> worn;
    for (const block_health& b : blocks)
        if (b.corrected != 0 || b.uncorrectable != 0)
            worn.push_back(b);
    std::stable_sort(worn.begin(), worn.end(), [](const block_health& a, const block_health& b) {
        if (a.uncorrectable != b.uncorrectable)
            return a.uncorrectable > b.uncorrectable;
        return a.corrected > b.corrected;
    });
    return worn;
}
