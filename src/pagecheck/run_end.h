// How a pagecheck run ends: only here and in main does the process end,
// and only after what the run left unfinished is removed.
#ifndef PAGESMITH_RUN_END_H
#define PAGESMITH_RUN_END_H

#include <string>

#include "background_write.h"
#include "input_recovery.h"
#include "pagecheck_streams.h"
#include "progress.h"

// What a run that ends early must see to first: the progress line to clear,
// and the recovered input written so far.
struct run_state {
    progress_line line;                  // the progress line on a terminal
    input_recovery* recovery = nullptr;  // null once finished, or when its writing failed
    background_write* write = nullptr;   // the thread that writes it, when there is one
};

// Removes what the run left unfinished and returns `status`, for main to
// return.
int end_run_here(int status);

// Ends the process with `status`, removing what the run left unfinished.
[[noreturn]] void end_run(int status);

// Ends the run with status 2 and `message` on the error stream.
[[noreturn]] void stop(run_state& run, const std::string& message);

// Ends the run with status 2 and "WORD: system error text".
[[noreturn]] void stop_errno(run_state& run, const char* word);

// Ends the run with a refusal, said where it belongs.
[[noreturn]] void stop_refused(run_state& run, const refusal& why);

// Ends the run with status 2 and the error of `word`, after writing the
// pages recovered so far but the latest (which the end would have cut): an
// output written in place keeps them.
[[noreturn]] void fail_mid_check(run_state& run, const char* word);

#endif
