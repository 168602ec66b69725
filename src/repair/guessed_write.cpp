// Writing the repaired image on a guess while the check runs.
#include "guessed_write.h"

#include "layout_guess.h"
#include "output_files.h"

namespace {

// True when two plans make the same image from the same input.
bool same_image(const repair_plan& a, const repair_plan& b)
{
    return settings_of(a.layout) == settings_of(b.layout) &&
           header_size_of(a.layout) == header_size_of(b.layout);
}

}  // namespace

std::unique_ptr<guessed_write> start_guessed_write(FILE* image, long from,
                                                   const layout_claim& claim,
                                                   const retire_request& retire, int output)
{
    const std::optional<found_layout> layout = guess_layout(image, from, claim);
    if (!layout)
        return nullptr;
    check_summary guessed;
    guessed.layout = *layout;
    auto write = std::make_unique<guessed_write>();
    write->plan = plan_repair(guessed, retire);
    if (write->plan.obstacle != repair_obstacle::none || !start_replaced_output_file(output))
        return nullptr;
    start_writer_beside(write->writer, output_descriptor(output), write->plan);
    return write;
}

void feed_guessed_write(guessed_write& write, const checked_page& page)
{
    feed_writer_beside(write.writer, page);
}

bool finish_guessed_write(guessed_write& write, const check_summary& summary,
                          const repair_plan& plan)
{
    return finish_writer_beside(write.writer, summary) &&
           plan.obstacle == repair_obstacle::none && same_image(plan, write.plan);
}
