// The blocks --retire names.
#include "retire_list.h"

#include <algorithm>
#include <cstring>

namespace {

// Parses the block number in [begin, end): decimal digits only, at most
// INT32_MAX.
std::optional<int32_t> block_number(const char* begin, const char* end)
{
    if (begin == end)
        return std::nullopt;
    int64_t number = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return std::nullopt;
        number = number * 10 + (*p - '0');
        if (number > INT32_MAX)
            return std::nullopt;
    }
    return static_cast<int32_t>(number);
}

}  // namespace

std::optional<std::string> add_retired(retire_request& request, const char* list)
{
    for (const char* begin = list;;) {
        const char* end = begin + std::strcspn(begin, ",");
        const std::string item(begin, end);
        if (item == "marked") {
            request.marked = true;
        } else if (item == "worn") {
            request.worn = true;
        } else if (const std::optional<int32_t> number = block_number(begin, end)) {
            request.blocks.push_back(*number);
        } else {
            return "bad item '" + item + "' in the list of blocks to retire '" + list +
                   "': give block numbers, 'marked' or 'worn'\n";
        }
        if (*end == '\0')
            return std::nullopt;
        begin = end + 1;
    }
}

std::vector<uint64_t> retired_blocks(const retire_request& request,
                                     const check_summary& summary)
{
    std::vector<uint64_t> blocks(request.blocks.begin(), request.blocks.end());
    if (request.marked)
        for (const chip_mark& mark : summary.layout.chip_bad)
            blocks.push_back(mark.file_block);
    if (request.worn)
        for (const block_health& b : summary.health)
            if (b.corrected != 0 || b.uncorrectable != 0)
                blocks.push_back(b.block);
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    return blocks;
}
