// The repair of an image that can be read again: the check runs a second
// time and hands the recovered input through a channel to the converter's
// writer, which runs beside it, so that the input never goes to a file.
#ifndef PAGESMITH_SECOND_PASS_H
#define PAGESMITH_SECOND_PASS_H

#include <cstdio>

#include "image_check.h"
#include "repair_plan.h"

// Where the reading of `image` starts, when it is a regular file that can
// be read again from there: its offset now.  -1 when it cannot.
long read_again_from(FILE* image);

// What failed in a second pass.
enum class second_pass_failure {
    none,
    reading,  // reading the image again (EIO: it changed in between)
    writing,  // writing the repaired image
};

// Reads `image` again from offset `from` with `checker` and `claim`, and writes
// the repaired image of `plan` to descriptor image_fd.  `first` is what the
// first reading found: the second must find the same.  On a failure, errno
// is set.
second_pass_failure repair_in_second_pass(FILE* image, long from, image_checker& checker,
                                          const layout_claim& claim, const check_summary& first,
                                          const repair_plan& plan, int image_fd);

#endif
