#include "image_map.h"

#include "page_kinds.h"

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

void gather_page(block_gatherer& gatherer, const checked_page& page)
{
    // A block of the file that is not the image's takes the place of the
    // image block after it: each gets a line.
    const bool block_full = gatherer.cells.size() >= PAGES_PER_BLOCK && page.page == 0;
    if (!gatherer.cells.empty() && (page.block != gatherer.block || block_full))
        finish_gathering(gatherer);
    gatherer.block = page.block;
    gatherer.cells.push_back(static_cast<char>(cell_of(page)));
}

void finish_gathering(block_gatherer& gatherer)
{
    if (gatherer.cells.empty())
        return;
    gatherer.on_block(gatherer.block, gatherer.cells);
    gatherer.cells.clear();
}

void map_block(text_map& map, uint64_t block, const std::string& cells)
{
    const std::string line = map_chars(cells);
    if (map.have_run && block == map.run.last + 1 && line == map.line) {
        map.run.last = block;
        return;
    }
    finish_map(map);
    map.run = {block, block, cells};
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
