// Block health: what each block of the file took to read, counted from the
// checked pages, so that blocks that wear can be rewritten or retired
// before a second bit flips in one sector.
#ifndef PAGESMITH_BLOCK_HEALTH_H
#define PAGESMITH_BLOCK_HEALTH_H

#include <vector>

#include "check_sink.h"

// Counts one checked page into the block of the file that holds it; the
// blocks are kept in file order, a block the file skips not among them.
void count_page_health(std::vector<block_health>& blocks, const checked_page& page);

// Counts one checked page into the image block it stands for, when it has
// a corrected bit or an uncorrectable sector: the map's shading.
void count_map_health(std::vector<block_health>& blocks, const checked_page& page);

// Shades of block health on the map.
constexpr int HEALTH_SHADES = 5;

// What each shade stands for, as the map's legend says it.
constexpr const char* HEALTH_SHADE_WORDS[HEALTH_SHADES] = {
    "", "1 corrected bit", "2-3 corrected bits", "4 or more", "uncorrectable"};

// The shade of the blocks first to last of the image on the map: 0 none,
// 1 one corrected bit, 2 two or three, 3 four or more, 4 an uncorrectable
// sector (the worst block of them).
int health_shade(const std::vector<block_health>& blocks, uint64_t first, uint64_t last);

// The blocks with a corrected bit or an uncorrectable sector, the most
// (uncorrectable sectors, then corrected bits) first, then by number.
std::vector<block_health> worn_blocks(const std::vector<block_health>& blocks);

#endif
