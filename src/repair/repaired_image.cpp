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

namespace {

// Converts the input taken from `channel`, to its end; on a failure the
// channel fails too, so that its giver stops.
writer_error write_from_channel(byte_channel& channel, int image_fd, const repair_plan& plan)
{
    start_input_from(input, lend_from_channel, &channel);
    const writer_error error = write_started(image_fd, plan);
    if (error.failure != writer_failure::none)
        fail_channel(channel, error.error != 0 ? error.error : EIO);
    return error;
}

}  // namespace

void start_writer_beside(writer_beside& writer, int image_fd, const repair_plan& plan)
{
    writer.recovery.channel = &writer.channel;
    writer.thread = std::thread([&writer, &plan, image_fd] {
        writer.written = write_from_channel(writer.channel, image_fd, plan);
    });
}

void feed_writer_beside(writer_beside& writer, const checked_page& page)
{
    writer.fed = writer.fed && recover_page(writer.recovery, page);
}

bool finish_writer_beside(writer_beside& writer, const check_summary& summary)
{
    writer.fed = writer.fed && finish_recovery(writer.recovery, summary);
    close_channel(writer.channel);
    writer.thread.join();
    return writer.fed && writer.written.failure == writer_failure::none;
}
