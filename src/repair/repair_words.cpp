// The repair's words.
#include "repair_words.h"

#include "report_words.h"

namespace {

// The words of what stands in the way, for `count` of it.
std::string obstacle_words(repair_obstacle obstacle, uint64_t count)
{
    const std::string n = std::to_string(count);
    switch (obstacle) {
    case repair_obstacle::none: return "";
    case repair_obstacle::uncorrectable:
        return n + " uncorrectable sector" + plural(count);
    case repair_obstacle::lost:
        return n + " range" + plural(count) + " of lost input";
    case repair_obstacle::open_reading:
        return n + " finding" + plural(count) +
               " that leave open what the image holds: claim what settles them (-B, -F, -H, "
               "--no-header), or read the chip again";
    case repair_obstacle::too_many_bad_blocks:
        return n + " bad blocks, more than the " + std::to_string(MAX_BAD_BLOCKS) +
               " that pagesmith can list";
    case repair_obstacle::blocks_left_out:
        return "the readback leaves out " + n + " bad block" + plural(count) +
               ", so its block numbers are not the chip's: to retire blocks, read the chip "
               "keeping or padding its bad blocks";
    }
    return "";
}

}  // namespace

const char* repair_obstacle_name(repair_obstacle obstacle)
{
    switch (obstacle) {
    case repair_obstacle::none: return "none";
    case repair_obstacle::uncorrectable: return "uncorrectable";
    case repair_obstacle::lost: return "lost";
    case repair_obstacle::open_reading: return "open_reading";
    case repair_obstacle::too_many_bad_blocks: return "too_many_bad_blocks";
    case repair_obstacle::blocks_left_out: return "blocks_left_out";
    }
    return nullptr;
}

std::string describe_repair(const repair_outcome& repair)
{
    const std::string name = repair.file ? repair.file : "";
    if (repair.obstacle == repair_obstacle::none)
        return "repair: wrote " + name +
               ", as pagesmith makes it from the recovered input with: " + repair.options;
    return "repair: " + name + " not written: " + obstacle_words(repair.obstacle, repair.count);
}
