// A first guess at how an image that is a file was made, from its first
// blocks and its last record, for a repair that writes while the check
// runs.  A guess is never trusted: the check's own layout decides whether
// what was written on it stands.
#ifndef PAGESMITH_LAYOUT_GUESS_H
#define PAGESMITH_LAYOUT_GUESS_H

#include <cstdio>
#include <optional>

#include "check_sink.h"
#include "findings.h"

// Blocks at the start of the image that the guess checks.
constexpr uint64_t GUESS_BLOCKS = 4;

// The layout of the first GUESS_BLOCKS blocks of the image that starts at
// offset `from` of the regular file `image`, checked with `claim`, with the
// input size their header pages say and fill pages when the file's last
// record is one; nothing when the file holds no record there.  Reads with
// pread: the stream's position and buffer stay as they are.
std::optional<found_layout> guess_layout(FILE* image, long from, const layout_claim& claim);

#endif
