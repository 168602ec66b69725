// How a record of the file looks before the walk places it in the image.
#ifndef PAGESMITH_RECORD_LOOK_H
#define PAGESMITH_RECORD_LOOK_H

#include "record_check.h"

// Tells how a record of the file looks, from its raw bytes; for an erased
// one, notes its flipped bits.
void look_at(decoded_record& r);

// True when an erased record is page 0 or 1 of its block in the file and
// carries a chip's bad-block marker: spare byte 0 is not 0xFF, and its zero
// bits are not the one flipped bit that sector 0 may hold.
bool chip_marked(const decoded_record& r);

#endif
