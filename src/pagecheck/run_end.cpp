// How a pagecheck run ends early, and what it sees to before it does.
#include "run_end.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "errors.h"
#include "pagecheck_options.h"
#include "unfinished_files.h"

int end_run_here(int status)
{
    remove_unfinished_files();
    return status;
}

void end_run(int status)
{
    std::exit(end_run_here(status));
}

void stop(run_state& run, const std::string& message)
{
    clear_progress(run.line);
    say(PAGECHECK_ERRORS, "%s", message.c_str());
    end_run(PAGECHECK_ERRORS.status);
}

void stop_errno(run_state& run, const char* word)
{
    stop(run, errno_text(word));
}

void stop_refused(run_state& run, const refusal& why)
{
    switch (why.where) {
    case refusal_to::error_stream:
    case refusal_to::nothing_refused:
        stop(run, why.message);
    case refusal_to::standard_output:
        std::printf("%s%s", PAGECHECK_ERRORS.prefix, why.message.c_str());
        break;
    case refusal_to::nowhere:
        break;
    }
    end_run(PAGECHECK_ERRORS.status);
}

void fail_mid_check(run_state& run, const char* word)
{
    const int saved = errno;
    if (run.recovery)
        write_gathered(*run.recovery);
    if (run.write)
        finish_background_write(*run.write);
    errno = saved;
    stop_errno(run, word);
}
