// The repair, from the pages checked to the repaired image's file.
#include "repair_run.h"

#include <unistd.h>

#include <cerrno>

#include "output_files.h"
#include "repair_plan.h"
#include "repaired_image.h"
#include "second_pass.h"
#include "report_words.h"

namespace {

// What a failure of the temporary file of the recovered input is named.
constexpr const char* SPOOL_NAME = "the temporary file of the recovered input";

// What a failure of the second reading of the image is named.
constexpr const char* SECOND_NAME = "the image, read again for the repair";

// Writes the repaired image of `plan` from the spooled recovered input into
// the repaired image's file.  Null, or what failed with errno set.
const char* write_from_spool(repair_run& run, const repair_plan& plan)
{
    if (lseek(fileno(run.spool.file), 0, SEEK_SET) != 0)
        return SPOOL_NAME;
    const writer_error error =
        write_repaired_image(fileno(run.spool.file), output_descriptor(run.output), plan);
    errno = error.error;
    if (error.failure == writer_failure::input_read)
        return SPOOL_NAME;
    return error.failure == writer_failure::none ? nullptr : run.name;
}

// Writes the repaired image of `plan` from a second reading of `image`.
// Null, or what failed with errno set.
const char* write_from_image(repair_run& run, const repair_plan& plan, FILE* image,
                             image_checker& checker, const layout_claim& claim,
                             const check_summary& first)
{
    switch (repair_in_second_pass(image, run.again_from, checker, claim, first, plan,
                                  output_descriptor(run.output))) {
    case second_pass_failure::none: return nullptr;
    case second_pass_failure::reading: return SECOND_NAME;
    case second_pass_failure::writing: return run.name;
    }
    return SECOND_NAME;
}

// Empties the repaired image's temporary file that a guess wrote, so that
// the second pass writes it from the start.  False with errno set.
bool restart_output(int output)
{
    const int fd = output_descriptor(output);
    return ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0;
}

}  // namespace

bool start_repair(repair_run& run, repair_input input, FILE* image, long from,
                  const layout_claim& claim)
{
    run.input = input;
    run.again_from = from;
    if (input == repair_input::read_again) {
        run.guessed = start_guessed_write(image, from, claim, run.retire, run.output);
        return true;
    }
    if (!open_spool(run.spool))
        return false;
    run.recovery.out = run.spool.file;
    return true;
}

bool repair_page(repair_run& run, const checked_page& page)
{
    if (run.guessed)
        feed_guessed_write(*run.guessed, page);
    return run.input == repair_input::read_again || recover_page(run.recovery, page);
}

const char* finish_repair(repair_run& run, check_summary& summary, FILE* image,
                          image_checker& checker, const layout_claim& claim)
{
    const found_layout& layout = summary.layout;
    const bool spooled = run.input == repair_input::spooled;
    if (spooled && (!finish_recovery(run.recovery, summary) ||
                    !put_holes(run.recovery, layout.holes, layout.input_size)))
        return SPOOL_NAME;
    const repair_plan plan = plan_repair(summary, run.retire);
    const bool written = run.guessed && finish_guessed_write(*run.guessed, summary, plan);
    summary.repair = {run.name, plan.obstacle, plan.count, ""};
    if (plan.obstacle != repair_obstacle::none) {
        abandon_output_file(run.output);
        return nullptr;
    }
    summary.repair.options = layout_options(plan.layout);
    if (written)
        return finish_output_file(run.output) ? nullptr : run.name;
    if (run.guessed && !restart_output(run.output))
        return run.name;
    if (!start_output_file(run.output))
        return run.name;
    const char* failed = spooled ? write_from_spool(run, plan)
                                 : write_from_image(run, plan, image, checker, claim, summary);
    if (failed)
        return failed;
    return finish_output_file(run.output) ? nullptr : run.name;
}
