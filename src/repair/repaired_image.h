// The repaired image: the converter run in-process over the recovered
// input, its trace thrown away and its notes kept off the error stream.
#ifndef PAGESMITH_REPAIRED_IMAGE_H
#define PAGESMITH_REPAIRED_IMAGE_H

#include "byte_channel.h"
#include "page_io.h"
#include "repair_plan.h"

// Converts the input read from descriptor input_fd (from its current
// position) into the image on descriptor image_fd as `plan` says, every
// record written; returns the first failure.
writer_error write_repaired_image(int input_fd, int image_fd, const repair_plan& plan);

// The same with the input taken from `input`, to its end; on a failure the
// channel fails too, so that its giver stops.
writer_error write_repaired_image(byte_channel& input, int image_fd, const repair_plan& plan);

#endif
