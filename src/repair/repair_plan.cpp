// The repair's decision and settings.
#include "repair_plan.h"

#include <algorithm>
#include <vector>

namespace {

// The image's own bad blocks numbered as the chip numbers them: past each
// block the chip marks bad that a programmer skipped, which stands for no
// block of the image.
std::vector<uint64_t> chip_bad_blocks(const found_layout& layout)
{
    std::vector<uint64_t> skipped;
    for (const chip_mark& mark : layout.chip_bad)
        if (mark.image_block == NOT_IN_IMAGE)
            skipped.push_back(mark.file_block);
    std::sort(skipped.begin(), skipped.end());
    std::vector<uint64_t> blocks;
    for (uint64_t block : layout.bad_blocks) {
        for (uint64_t s : skipped)
            if (s <= block)
                ++block;
        blocks.push_back(block);
    }
    return blocks;
}

// The bad blocks of the repaired image, sorted, each once: the image's own,
// and with blocks to retire, those too, all as the chip numbers them.
std::vector<uint64_t> repaired_bad_blocks(const check_summary& summary,
                                          const retire_request& retire)
{
    if (!retires_any(retire))
        return summary.layout.bad_blocks;
    std::vector<uint64_t> blocks = chip_bad_blocks(summary.layout);
    const std::vector<uint64_t> more = retired_blocks(retire, summary);
    blocks.insert(blocks.end(), more.begin(), more.end());
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    return blocks;
}

// The obstacle that stands first in the way, with its count.
repair_plan first_obstacle(const check_summary& summary)
{
    const found_layout& layout = summary.layout;
    const uint64_t lost = summary.lost.ranges.size() + summary.lost.unlisted;
    if (summary.uncorrectable != 0)
        return {repair_obstacle::uncorrectable, summary.uncorrectable, {}};
    if (lost != 0)
        return {repair_obstacle::lost, lost, {}};
    if (summary.open_readings != 0)
        return {repair_obstacle::open_reading, summary.open_readings, {}};
    if (layout.header == header_pages::present && !layout.forced_header_size &&
        !layout.input_size)
        return {repair_obstacle::open_reading, 1, {}};
    return {};
}

// Bad blocks that the readback leaves out: past them its block numbers are
// not the chip's.
uint64_t blocks_left_out(const found_layout& layout)
{
    uint64_t count = 0;
    for (const layout_note& note : layout.notes)
        if (note.what == note_kind::skipped_blocks)
            count += note.count;
    return count;
}

}  // namespace

repair_plan plan_repair(const check_summary& summary, const retire_request& retire)
{
    repair_plan plan = first_obstacle(summary);
    if (plan.obstacle != repair_obstacle::none)
        return plan;
    if (const uint64_t left_out = blocks_left_out(summary.layout);
        retires_any(retire) && left_out != 0)
        return {repair_obstacle::blocks_left_out, left_out, {}};
    const std::vector<uint64_t> bad = repaired_bad_blocks(summary, retire);
    const uint64_t count = std::max<uint64_t>(bad.size(), summary.layout.bad_block_count);
    if (count > static_cast<uint64_t>(MAX_BAD_BLOCKS) ||
        (!bad.empty() && bad.back() > static_cast<uint64_t>(INT32_MAX)))
        return {repair_obstacle::too_many_bad_blocks, count, {}};
    plan.layout = summary.layout;
    plan.layout.bad_blocks = bad;
    plan.layout.bad_block_count = bad.size();
    plan.layout.status_words = summary.layout.status_words || !bad.empty();
    return plan;
}

run_settings settings_of(const found_layout& layout)
{
    run_settings settings;
    settings.fill = layout.fill;
    settings.bad_block_table = layout.status_words || !layout.bad_blocks.empty();
    if (!layout.bad_blocks.empty()) {
        settings.bad_block.emplace().fill(-1);
        for (size_t k = 0; k < layout.bad_blocks.size() && k < MAX_BAD_BLOCKS; ++k)
            (*settings.bad_block)[k] = static_cast<int32_t>(layout.bad_blocks[k]);
    }
    settings.header = layout.header == header_pages::present;
    if (settings.header && layout.forced_header_size)
        settings.forced_header_size = *layout.forced_header_size;
    return settings;
}

int32_t header_size_of(const found_layout& layout)
{
    if (layout.forced_header_size)
        return *layout.forced_header_size;
    return static_cast<int32_t>(static_cast<uint32_t>(layout.input_size.value_or(0)));
}
