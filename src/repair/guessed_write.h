// The repaired image written while the first check of an image file runs,
// on a layout guessed from its first blocks, into the repaired image's
// temporary file.  It stands only where the check's own plan makes the
// same converter settings, so that it is what a second pass would write;
// otherwise the second pass writes it again.
#ifndef PAGESMITH_GUESSED_WRITE_H
#define PAGESMITH_GUESSED_WRITE_H

#include <cstdio>
#include <memory>

#include "check_sink.h"
#include "repair_plan.h"
#include "repaired_image.h"

// A write on a guess, while it runs.
struct guessed_write {
    repair_plan plan;      // the plan of the guessed layout
    writer_beside writer;  // the converter's writer, beside the check
};

// Guesses the layout of the image that starts at offset `from` of `image`
// and starts the writer on it into output `output`, which must be started
// now and replaced by a temporary file.  Null when there is no guess, the
// guess cannot be repaired, or the output would be written in place: it
// then stays unstarted.
std::unique_ptr<guessed_write> start_guessed_write(FILE* image, long from,
                                                   const layout_claim& claim,
                                                   const retire_request& retire, int output);

// Takes the next checked page.  A failure only ends the writing on a guess.
void feed_guessed_write(guessed_write& write, const checked_page& page);

// Once the check that `summary` describes is over: ends the input, waits
// for the writer, and tells whether what it wrote is the repaired image of
// `plan`, every record written.
bool finish_guessed_write(guessed_write& write, const check_summary& summary,
                          const repair_plan& plan);

#endif
