// Where the image starts in a file that holds something else first: a dump
// with a few bytes of its own in front, or erased records before the first
// record that the image's page tags count from.
#ifndef PAGESMITH_IMAGE_START_H
#define PAGESMITH_IMAGE_START_H

#include <cstddef>
#include <cstdint>

#include "flash_geometry.h"

// Bytes of the file past its start where a later image start is looked
// for: the image's first record starts before this.
constexpr size_t IMAGE_START_SEARCH = 1024 * 1024;

// Bytes of the file that the search reads: every start it tries, and a
// block of records after the last.
constexpr size_t IMAGE_START_BYTES = IMAGE_START_SEARCH + PAGES_PER_BLOCK * PAGE_RECORD_SIZE;

// True when the first `size` bytes of a file (at least a block of records,
// or all of the file) start with an image's records, lined up as
// later_image_start says.
bool image_starts_at_0(const uint8_t* bytes, size_t size);

// The byte of the first `size` bytes of a file (all of it when fewer than
// IMAGE_START_BYTES) where the image's records start, when the file does not start
// with them: the first offset past 0, not a whole number of blocks
// (a block the dump padded or skipped reads as such), and, a whole number
// of records in, with no page record before it (each erased or no record:
// a page record there is the image's, held twice), from which records
// line up: of a block of them, or all to the end of the file, each has
// clear zero spare words and ECC words that correct, the one at page 1
// carries its data page's tag and data that is not zero (in a sector whose
// ECC word matches it), and the others theirs, up to the first that
// carries a fill page's 0, and 0 after it; a few records after the first
// two may break that (damaged pages of a dump).  0 when there is none.
uint64_t later_image_start(const uint8_t* bytes, size_t size);

#endif
