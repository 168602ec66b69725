// The block health lines.
#include "health_words.h"

#include "report_words.h"

std::string describe_health(const block_health& block)
{
    std::string text = "block " + std::to_string(block.block) + ": ";
    if (block.uncorrectable != 0)
        text += std::to_string(block.uncorrectable) + " uncorrectable sector" +
                plural(block.uncorrectable) + (block.corrected != 0 ? ", " : "");
    if (block.corrected != 0)
        text += std::to_string(block.corrected) + " corrected bit" + plural(block.corrected) +
                " in " + std::to_string(block.corrected_pages) + " page" +
                plural(block.corrected_pages);
    return text + ": rewrite or retire it";
}
