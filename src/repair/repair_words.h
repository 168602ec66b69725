// The words of the repair's report line.
#ifndef PAGESMITH_REPAIR_WORDS_H
#define PAGESMITH_REPAIR_WORDS_H

#include <string>

#include "findings.h"

// The "repair:" line of the text report, without a line end: the repaired
// image written and the options it was made as, or what stands in its way.
std::string describe_repair(const repair_outcome& repair);

// The word for an obstacle, in JSON ("none" when there is none).
const char* repair_obstacle_name(repair_obstacle obstacle);

#endif
