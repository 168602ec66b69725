// The second pass of a repair: the check again, the writer beside it.
#include "second_pass.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <thread>

#include "input_recovery.h"
#include "repaired_image.h"

namespace {

// True when the second reading found what the first did.
bool same_reading(const check_summary& first, const check_summary& second)
{
    return second.records == first.records && second.layout.input_size == first.layout.input_size &&
           second.uncorrectable == first.uncorrectable &&
           second.lost.ranges.size() == first.lost.ranges.size() &&
           second.open_readings == first.open_readings;
}

}  // namespace

long read_again_from(FILE* image)
{
    struct stat st;
    if (fstat(fileno(image), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return std::ftell(image);
}

second_pass_failure repair_in_second_pass(FILE* image, long from, image_checker& checker,
                                          const layout_claim& claim, const check_summary& first,
                                          const repair_plan& plan, int image_fd)
{
    if (std::fseek(image, from, SEEK_SET) != 0)
        return second_pass_failure::reading;
    const auto channel = std::make_unique<byte_channel>();
    writer_error written;
    std::thread writer([&] { written = write_repaired_image(*channel, image_fd, plan); });
    const auto recovery = std::make_unique<input_recovery>();
    recovery->channel = channel.get();
    bool sent = true;
    check_sink sink;
    sink.on_page = [&](const checked_page& page) { sent = sent && recover_page(*recovery, page); };
    check_summary second;
    const int read_error = check_image(checker, image, claim, sink, second);
    sent = sent && read_error == 0 && finish_recovery(*recovery, second);
    const int send_error = errno;
    close_channel(*channel);
    writer.join();
    if (written.failure == writer_failure::image_write) {
        errno = written.error;
        return second_pass_failure::writing;
    }
    if (read_error != 0 || !sent || written.failure != writer_failure::none) {
        errno = read_error != 0 ? read_error : !sent ? send_error : written.error;
        return second_pass_failure::reading;
    }
    if (!same_reading(first, second)) {
        errno = EIO;
        return second_pass_failure::reading;
    }
    return second_pass_failure::none;
}
