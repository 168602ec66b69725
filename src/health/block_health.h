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

// The blocks with a corrected bit or an uncorrectable sector, the most
// (uncorrectable sectors, then corrected bits) first, then by number.
std::vector<block_health> worn_blocks(const std::vector<block_health>& blocks);

#endif
