// How findings count: into the summary's totals and the exit status.
#include "findings.h"

#include <bit>

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
