// The repair's words.
#include "repair_words.h"

#include "report_words.h"

namespace {

// Everything said of one obstacle: its JSON name, and its words, in which
// {n} stands for the count and {s} for the plural ending it takes.
struct obstacle_look {
    const char* name;
    const char* words;
};

// The look of each obstacle: the one table of them.
constexpr obstacle_look look_of(repair_obstacle obstacle)
{
    switch (obstacle) {
    case repair_obstacle::none: return {"none", ""};
    case repair_obstacle::uncorrectable: return {"uncorrectable", "{n} uncorrectable sector{s}"};
    case repair_obstacle::lost: return {"lost", "{n} range{s} of lost input"};
    case repair_obstacle::open_reading:
        return {"open_reading",
                "{n} finding{s} that leave open what the image holds: claim what settles them "
                "(-B, -F, -H, --no-header), or read the chip again"};
    case repair_obstacle::too_many_bad_blocks:
        return {"too_many_bad_blocks", "{n} bad blocks, more than the 16 that pagesmith can list"};
    case repair_obstacle::blocks_left_out:
        return {"blocks_left_out",
                "the readback leaves out {n} bad block{s}, so its block numbers are not the "
                "chip's: to retire blocks, read the chip keeping or padding its bad blocks"};
    }
    return {nullptr, nullptr};
}

static_assert(MAX_BAD_BLOCKS == 16, "the words of too_many_bad_blocks name the converter's list");

// The words of an obstacle, for `count` of it.
std::string obstacle_words(repair_obstacle obstacle, uint64_t count)
{
    std::string text;
    for (const char* p = look_of(obstacle).words; *p; ++p) {
        if (p[0] == '{' && p[1] == 'n' && p[2] == '}') {
            text += std::to_string(count);
            p += 2;
        } else if (p[0] == '{' && p[1] == 's' && p[2] == '}') {
            text += plural(count);
            p += 2;
        } else {
            text += *p;
        }
    }
    return text;
}

}  // namespace

const char* repair_obstacle_name(repair_obstacle obstacle)
{
    return look_of(obstacle).name;
}

std::string describe_repair(const repair_outcome& repair)
{
    const std::string name = repair.file ? repair.file : "";
    if (repair.obstacle == repair_obstacle::none)
        return "repair: wrote " + name +
               ", as pagesmith makes it from the recovered input with: " + repair.options;
    return "repair: " + name + " not written: " + obstacle_words(repair.obstacle, repair.count);
}
