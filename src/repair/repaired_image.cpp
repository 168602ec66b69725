// The repaired image, made by the converter's writer.
#include "repaired_image.h"

#include <cerrno>

#include "image_writer.h"

namespace {

// The writer's buffers: too large for the stack.
writer_input input;
writer_output output;
trace_output trace;

// Lends the writer the channel's next block, once it gave the last one back.
ssize_t lend_from_channel(void* source, const uint8_t** bytes)
{
    return static_cast<ssize_t>(next_block(*static_cast<byte_channel*>(source), *bytes));
}

// Converts the input `input` was started on.
writer_error write_started(int image_fd, const repair_plan& plan)
{
    discard_trace(trace);
    start_output(output, image_fd, trace, nullptr);
    const writer_error error =
        read_data(input, output, settings_of(plan.layout), header_size_of(plan.layout));
    if (error.failure != writer_failure::none)
        return error;
    return flush_image(output);
}

}  // namespace

writer_error write_repaired_image(int input_fd, int image_fd, const repair_plan& plan)
{
    start_input(input, input_fd);
    return write_started(image_fd, plan);
}

writer_error write_repaired_image(byte_channel& channel, int image_fd, const repair_plan& plan)
{
    start_input_from(input, lend_from_channel, &channel);
    const writer_error error = write_started(image_fd, plan);
    // The giver no longer waits on a writer that stopped early.
    if (error.failure != writer_failure::none)
        fail_channel(channel, error.error != 0 ? error.error : EIO);
    return error;
}
