// The repaired image, made by the converter's writer.
#include "repaired_image.h"

#include "image_writer.h"

namespace {

// The writer's buffers: too large for the stack.
writer_input input;
writer_output output;
trace_output trace;

}  // namespace

writer_error write_repaired_image(int input_fd, int image_fd, const repair_plan& plan)
{
    start_input(input, input_fd);
    discard_trace(trace);
    start_output(output, image_fd, trace, nullptr);
    const writer_error error =
        read_data(input, output, settings_of(plan.layout), header_size_of(plan.layout));
    if (error.failure != writer_failure::none)
        return error;
    return flush_image(output);
}
