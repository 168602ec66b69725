// A repair while the check runs: the recovered input kept in a temporary
// file, and the repaired image's file opened but started only once nothing
// stands in the way, so that a repair that cannot be made leaves it as it
// was (or not there).
#ifndef PAGESMITH_REPAIR_RUN_H
#define PAGESMITH_REPAIR_RUN_H

#include "check_sink.h"
#include "input_recovery.h"
#include "report_spool.h"
#include "retire_list.h"

// The repair's state.
struct repair_run {
    const char* name = nullptr;  // the repaired image as given; null: no repair
    int output = -1;             // its number among the output files
    retire_request retire;       // the blocks to retire
    report_spool spool;          // the recovered input
    input_recovery recovery;     // writing into the spool
};

// Opens the temporary file of the recovered input.  False with errno set.
bool start_repair(repair_run& run);

// Takes the next checked page.  False on a write error, with errno set.
bool repair_page(repair_run& run, const checked_page& page);

// Once the check is over (its health counted): decides the repair, writes
// the repaired image when nothing stands in the way, and tells `summary`.
// Null when that went well; else what failed, with errno set: the
// repaired image's name, or null-terminated words for the temporary file.
const char* finish_repair(repair_run& run, check_summary& summary);

#endif
