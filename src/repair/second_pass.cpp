// The second pass of a repair: the check again, the writer beside it.
#include "second_pass.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

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
    const auto writer = std::make_unique<writer_beside>();
    start_writer_beside(*writer, image_fd, plan);
    check_sink sink;
    sink.on_page = [&](const checked_page& page) { feed_writer_beside(*writer, page); };
    check_summary second;
    const int read_error = check_image(checker, image, claim, sink, second);
    const bool written = finish_writer_beside(*writer, second);
    if (writer->written.failure == writer_failure::image_write) {
        errno = writer->written.error;
        return second_pass_failure::writing;
    }
    // A page goes nowhere only where the writer stopped.
    if (read_error != 0 || !written) {
        const int error = read_error != 0 ? read_error : writer->written.error;
        errno = error != 0 ? error : EIO;
        return second_pass_failure::reading;
    }
    if (!same_reading(first, second)) {
        errno = EIO;
        return second_pass_failure::reading;
    }
    return second_pass_failure::none;
}
