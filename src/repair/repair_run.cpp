// The repair, from the pages checked to the repaired image's file.
#include "repair_run.h"

#include <unistd.h>

#include <cerrno>

#include "output_files.h"
#include "repair_plan.h"
#include "repaired_image.h"
#include "report_words.h"

namespace {

// What a failure of the temporary file of the recovered input is named.
constexpr const char* SPOOL_NAME = "the temporary file of the recovered input";

// Writes the repaired image of `plan` from the recovered input into the
// repaired image's file, and completes it.  False with errno set.
bool write_repair(repair_run& run, const repair_plan& plan)
{
    if (!start_output_file(run.output))
        return false;
    const writer_error error =
        write_repaired_image(fileno(run.spool.file), output_descriptor(run.output), plan);
    if (error.failure != writer_failure::none) {
        errno = error.error;
        return false;
    }
    return finish_output_file(run.output);
}

}  // namespace

bool start_repair(repair_run& run)
{
    if (!open_spool(run.spool))
        return false;
    run.recovery.out = run.spool.file;
    return true;
}

bool repair_page(repair_run& run, const checked_page& page)
{
    return recover_page(run.recovery, page);
}

const char* finish_repair(repair_run& run, check_summary& summary)
{
    const found_layout& layout = summary.layout;
    if (!finish_recovery(run.recovery, layout.input_size) ||
        !put_holes(run.recovery, layout.holes, layout.input_size))
        return SPOOL_NAME;
    const repair_plan plan = plan_repair(summary, run.retire);
    summary.repair = {run.name, plan.obstacle, plan.count, ""};
    if (plan.obstacle != repair_obstacle::none)
        return nullptr;
    summary.repair.options = layout_options(plan.layout);
    if (lseek(fileno(run.spool.file), 0, SEEK_SET) != 0)
        return SPOOL_NAME;
    return write_repair(run, plan) ? nullptr : run.name;
}
