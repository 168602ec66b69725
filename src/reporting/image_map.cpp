// The map of an image: one cell per page, one line per block.
#include "image_map.h"

#include "page_kinds.h"
#include "report_words.h"

map_cell cell_of(const checked_page& page)
{
    map_cell cell = static_cast<map_cell>(page.kind);
    if (page.findings[static_cast<int>(finding_class::corrected)])
        cell |= CELL_CORRECTED;
    if (page.findings[static_cast<int>(finding_class::problem)])
        cell |= CELL_PROBLEM;
    if (page.findings[static_cast<int>(finding_class::uncorrectable)])
        cell |= CELL_UNCORRECTABLE;
    if (page.place == page_place::absent)
        cell |= CELL_ABSENT;
    if (page.place == page_place::outside)
        cell |= CELL_OUTSIDE;
    return cell;
}

char map_char(map_cell cell)
{
    if (cell & CELL_ABSENT)
        return '-';
    if (cell & CELL_OUTSIDE)
        return '~';
    if (cell & CELL_UNCORRECTABLE)
        return 'X';
    if (cell & CELL_PROBLEM)
        return '!';
    const char letter = look_of(kind_of_cell(cell)).letter;
    if (cell & CELL_CORRECTED)
        return static_cast<char>(letter - 'A' + 'a');
    return letter;
}

std::string map_chars(const std::string& cells)
{
    std::string chars;
    for (char c : cells)
        chars.push_back(map_char(static_cast<map_cell>(c)));
    return chars;
}

namespace {

// Hands on the gathered block with the records not the image's listed after
// it, the last `keep` of them kept back.
void hand_on(block_gatherer& gatherer, size_t keep)
{
    const size_t listed = gatherer.outside.size() - keep;
    if (gatherer.cells.empty() && listed == 0)
        return;
    const std::vector<uint64_t> outside(gatherer.outside.begin(),
                                        gatherer.outside.begin() + static_cast<long>(listed));
    gatherer.on_block(gatherer.block, gatherer.cells, outside);
    gatherer.cells.clear();
    gatherer.outside.erase(gatherer.outside.begin(),
                           gatherer.outside.begin() + static_cast<long>(listed));
    gatherer.outside_cells.erase(0, listed);
}

// True when the last records not the image's are a whole block of the file.
bool ends_with_whole_block(const block_gatherer& gatherer)
{
    constexpr size_t PAGES = PAGES_PER_BLOCK;
    const std::vector<uint64_t>& at = gatherer.outside;
    if (at.size() < PAGES)
        return false;
    const uint64_t first = at[at.size() - PAGES];
    return (first - gatherer.file_start) % (PAGES * PAGE_RECORD_SIZE) == 0 &&
           at.back() - first == (PAGES - 1) * PAGE_RECORD_SIZE;
}

}  // namespace

void gather_page(block_gatherer& gatherer, const checked_page& page)
{
    if (page.place == page_place::outside) {
        gatherer.outside.push_back(gatherer.file_start + page.file_record * PAGE_RECORD_SIZE);
        gatherer.outside_cells.push_back(static_cast<char>(cell_of(page)));
        if (!ends_with_whole_block(gatherer))
            return;
        // A block of the file that is not the image's: a line of its own,
        // at the place of the image block after it.
        hand_on(gatherer, PAGES_PER_BLOCK);
        gatherer.block = page.block;
        gatherer.cells = gatherer.outside_cells;
        gatherer.outside.clear();
        gatherer.outside_cells.clear();
        hand_on(gatherer, 0);
        return;
    }
    if (page.block != gatherer.block || gatherer.cells.size() >= PAGES_PER_BLOCK)
        hand_on(gatherer, 0);
    gatherer.block = page.block;
    gatherer.cells.push_back(static_cast<char>(cell_of(page)));
}

void finish_gathering(block_gatherer& gatherer)
{
    hand_on(gatherer, 0);
}

void map_block(text_map& map, uint64_t block, const std::string& cells,
               const std::vector<uint64_t>& outside)
{
    const std::string line = map_chars(cells);
    if (map.have_run && map.run.outside.empty() && outside.empty() &&
        block == map.run.last + 1 && line == map.line) {
        map.run.last = block;
        return;
    }
    finish_map(map);
    map.run = {block, block, cells, outside};
    map.line = line;
    map.have_run = true;
}

void finish_map(text_map& map)
{
    if (!map.have_run)
        return;
    map.on_run(map.run);
    map.have_run = false;
}

std::string describe_run(const map_run& run)
{
    return "map: " + blocks_text(run.first, run.last - run.first + 1) + ": " +
           map_chars(run.cells);
}

std::string describe_outside(const map_run& run)
{
    if (run.outside.empty())
        return "";
    std::string text = "map: " + blocks_text(run.last, 1) + ": not the image's:";
    const char* separator = " ";
    for (size_t i = 0; i < run.outside.size();) {
        // Records that follow each other in the file make one range.
        size_t j = i + 1;
        while (j < run.outside.size() && run.outside[j] == run.outside[j - 1] + PAGE_RECORD_SIZE)
            ++j;
        const uint64_t first = run.outside[i];
        const uint64_t last = run.outside[j - 1] + PAGE_RECORD_SIZE - 1;
        text += separator + std::string("file bytes ") + std::to_string(first) + "-" +
                std::to_string(last) + " (" + std::to_string(j - i) + " record" + plural(j - i) +
                ")";
        separator = ", ";
        i = j;
    }
    return text;
}
