// The words of the block health lines.
#ifndef PAGESMITH_HEALTH_WORDS_H
#define PAGESMITH_HEALTH_WORDS_H

#include <string>

#include "findings.h"

// The health line of a worn block, without a line end: "block 12: 3
// corrected bits in 2 pages: rewrite or retire it".
std::string describe_health(const block_health& block);

#endif
