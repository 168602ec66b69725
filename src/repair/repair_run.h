// A repair while the check runs: the recovered input kept in a temporary
// file, and the repaired image's file opened but started only once nothing
// stands in the way, so that a repair that cannot be made leaves it as it
// was (or not there).
#ifndef PAGESMITH_REPAIR_RUN_H
#define PAGESMITH_REPAIR_RUN_H

#include "check_sink.h"
#include "guessed_write.h"
#include "image_check.h"
#include "input_recovery.h"
#include "report_spool.h"
#include "retire_list.h"

// Where the repair takes the recovered input from.
enum class repair_input {
    spooled,     // a temporary file that the check fills
    read_again,  // a second check of the image, which is a file read again
};

// The repair's state.
struct repair_run {
    const char* name = nullptr;  // the repaired image as given; null: no repair
    int output = -1;             // its number among the output files
    retire_request retire;       // the blocks to retire
    repair_input input = repair_input::spooled;
    long again_from = 0;         // read_again: where the image's reading starts
    report_spool spool;          // spooled: the recovered input
    input_recovery recovery;     // spooled: writing into the spool
    std::unique_ptr<guessed_write> guessed;  // read_again: written on a guess
                                             // while the check runs, or null
};

// Makes ready to take the recovered input as `input` says: read again
// from offset `from` of `image` (and written on a guess at its layout with
// `claim` while the check runs, where one can be made), or spooled, when
// its temporary file is opened.  False with errno set.
bool start_repair(repair_run& run, repair_input input, FILE* image, long from,
                  const layout_claim& claim);

// Takes the next checked page.  False on a write error, with errno set.
bool repair_page(repair_run& run, const checked_page& page);

// Once the check of `image` with `checker` and `claim` is over (its health
// counted): decides the repair, writes the repaired image when nothing
// stands in the way, and tells `summary`.  Null when that went well; else
// what failed, with errno set: the repaired image's name, or words for the
// temporary file or the second reading.
const char* finish_repair(repair_run& run, check_summary& summary, FILE* image,
                          image_checker& checker, const layout_claim& claim);

#endif
