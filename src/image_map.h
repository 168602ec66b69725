// The map of an image: one cell per page, one line per block, runs of
// blocks that look the same collapsed into one line.
#ifndef PAGESMITH_IMAGE_MAP_H
#define PAGESMITH_IMAGE_MAP_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image_check.h"

// One page on the map: its kind in the low bits, what was found on it above.
using map_cell = uint8_t;

// Bits of a map cell.
constexpr map_cell CELL_KIND = 3;             // the page_kind
constexpr map_cell CELL_CORRECTED = 4;        // a bit was corrected
constexpr map_cell CELL_PROBLEM = 8;          // another finding
constexpr map_cell CELL_UNCORRECTABLE = 16;   // a sector is uncorrectable

// The cell of a checked page.
map_cell cell_of(const checked_page& page);

// The map character of a cell: X uncorrectable, ! another finding,
// c corrected, else H, D, F or B for the kind.
char map_char(map_cell cell);

// Blocks first to last, each holding the pages `cells`.
struct map_run {
    uint64_t first = 0;
    uint64_t last = 0;
    std::string cells;
};

// Gathers the pages of each block and hands on each block once complete.
struct block_gatherer {
    std::function<void(uint64_t block, const std::string& cells)> on_block;
    uint64_t block = 0;
    std::string cells;  // pages of `block` so far
};

// Takes the next checked page.
void gather_page(block_gatherer& gatherer, const checked_page& page);

// Hands on the last block.
void finish_gathering(block_gatherer& gatherer);

// The text map: runs of blocks whose lines are the same.
struct text_map {
    std::function<void(const map_run& run, const std::string& chars)> on_run;  // each run
    map_run run;
    std::string line;   // the run's map characters
    bool have_run = false;
};

// Takes the next block.
void map_block(text_map& map, uint64_t block, const std::string& cells);

// Hands on the last run.
void finish_map(text_map& map);

// The line of a run: "map: block N: CELLS" or "map: blocks A-B: CELLS".
std::string describe_run(const map_run& run, const std::string& chars);

#endif
