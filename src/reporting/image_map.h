// The map of an image: one cell per page, one line per block, runs of
// blocks that look the same collapsed into one line.
#ifndef PAGESMITH_IMAGE_MAP_H
#define PAGESMITH_IMAGE_MAP_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <bit>

#include "check_sink.h"

// One page on the map: its kind in the low bits, what was found on it above.
using map_cell = uint8_t;

// Bits of a map cell that hold the page_kind: as many as the kinds need.
constexpr int CELL_KIND_BITS = std::bit_width(static_cast<unsigned>(PAGE_KIND_COUNT - 1));
constexpr map_cell CELL_KIND = (1u << CELL_KIND_BITS) - 1;
// The marks above them.
constexpr map_cell CELL_CORRECTED = 1u << CELL_KIND_BITS;            // a bit was corrected
constexpr map_cell CELL_PROBLEM = 1u << (CELL_KIND_BITS + 1);        // another finding
constexpr map_cell CELL_UNCORRECTABLE = 1u << (CELL_KIND_BITS + 2);  // a sector is uncorrectable
constexpr map_cell CELL_ABSENT = 1u << (CELL_KIND_BITS + 3);   // not in the file
constexpr map_cell CELL_OUTSIDE = 1u << (CELL_KIND_BITS + 4);  // in the file, not the image's
static_assert(CELL_KIND_BITS + 5 <= 8, "a map cell holds the kind and five marks");

// The kind a cell shows.
constexpr page_kind kind_of_cell(map_cell cell)
{
    return static_cast<page_kind>(cell & CELL_KIND);
}

// The cell of a checked page.
map_cell cell_of(const checked_page& page);

// The map character of a cell: - not in the file, ~ not the image's,
// X uncorrectable, ! another finding, else the kind's letter, in lower
// case when a bit was corrected.
char map_char(map_cell cell);

// The map characters of cells, one for each.
std::string map_chars(const std::string& cells);

// Blocks first to last, each holding the pages `cells`; a block with
// records of the file that are not the image's among or after its pages
// is a run of its own, and lists them.
struct map_run {
    uint64_t first = 0;
    uint64_t last = 0;
    std::string cells;
    std::vector<uint64_t> outside;  // those records' byte offsets in the file
};

// Gathers the pages of each block and hands on each block once complete,
// with the records of the file that are not the image's (`~`) that came
// among or after them; a whole block of the file of such records is a
// block of its own, before the image block whose place it takes.
struct block_gatherer {
    std::function<void(uint64_t block, const std::string& cells,
                       const std::vector<uint64_t>& outside)>
        on_block;
    uint64_t file_start = 0;  // the byte of the file where the image starts
    uint64_t block = 0;
    std::string cells;              // pages of `block` so far
    std::vector<uint64_t> outside;  // offsets of records not the image's since
    std::string outside_cells;      // and their cells
};

// Takes the next checked page.
void gather_page(block_gatherer& gatherer, const checked_page& page);

// Hands on the last block.
void finish_gathering(block_gatherer& gatherer);

// The text map: runs of blocks whose lines are the same.
struct text_map {
    std::function<void(const map_run& run)> on_run;  // each run
    map_run run;
    std::string line;   // the run's map characters
    bool have_run = false;
};

// Takes the next block, and the offsets of the records after it that are
// not the image's.
void map_block(text_map& map, uint64_t block, const std::string& cells,
               const std::vector<uint64_t>& outside);

// Hands on the last run.
void finish_map(text_map& map);

// The line of a run: "map: block N: CHARS" or "map: blocks A-B: CHARS".
std::string describe_run(const map_run& run);

// The line after a run that lists the records of the file among or after
// its block that are not the image's ("map: block N: not the image's: file
// bytes A-B (K records), ..."); "" when there are none.
std::string describe_outside(const map_run& run);

#endif
