// The repaired image: the converter run in-process over the recovered
// input, its trace thrown away and its notes kept off the error stream,
// from a file or beside a check that hands it the pages as they come.
#ifndef PAGESMITH_REPAIRED_IMAGE_H
#define PAGESMITH_REPAIRED_IMAGE_H

#include <thread>

#include "byte_channel.h"
#include "check_sink.h"
#include "input_recovery.h"
#include "page_io.h"
#include "repair_plan.h"

// Converts the input read from descriptor input_fd (from its current
// position) into the image on descriptor image_fd as `plan` says, every
// record written; returns the first failure.
writer_error write_repaired_image(int input_fd, int image_fd, const repair_plan& plan);

// The converter's writer on a thread of its own beside a check: the
// recovered input of the check's pages goes to it through a channel.
struct writer_beside {
    byte_channel channel;     // the recovered input, to the writer
    input_recovery recovery;  // writing into the channel
    std::thread thread;       // the writer
    writer_error written;     // how the writer ended
    bool fed = true;          // every page went into the channel
};

// Starts the writer of the repaired image of `plan` (which must outlive
// it) on descriptor image_fd.
void start_writer_beside(writer_beside& writer, int image_fd, const repair_plan& plan);

// Takes the next checked page.  Where the writer stopped, the pages go
// nowhere.
void feed_writer_beside(writer_beside& writer, const checked_page& page);

// Once the check that `summary` describes is over: ends the input and
// waits for the writer.  True when every page went in and every record was
// written.
bool finish_writer_beside(writer_beside& writer, const check_summary& summary);

#endif
