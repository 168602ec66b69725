// The second pass of a repair: the check again, the writer beside it.
#include "second_pass.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <thread>

#include "input_recovery.h"
#include "repaired_image.h"

namespace {

// Bytes the pipe holds, when the system allows it.
constexpr size_t PIPE_ROOM = 1024 * 1024;

// Reads what is left of descriptor fd, so that the check never waits on a
// pipe that the writer no longer reads.
void drain(int fd)
{
    char bytes[64 * 1024];
    while (read(fd, bytes, sizeof bytes) > 0) {
    }
}

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
    int ends[2];
    if (std::fseek(image, from, SEEK_SET) != 0 || pipe(ends) != 0)
        return second_pass_failure::reading;
    // Room for a chunk of recovered pages or more: fewer turns between the
    // two sides.  Where the system allows less, the pipe works as it is.
    fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(PIPE_ROOM));
    writer_error written;
    std::thread writer([&] {
        written = write_repaired_image(ends[0], image_fd, plan);
        drain(ends[0]);
        close(ends[0]);
    });
    const auto recovery = std::make_unique<input_recovery>();
    recovery->out = fdopen(ends[1], "wb");
    bool sent = recovery->out != nullptr;
    if (!sent)
        close(ends[1]);
    else
        std::setvbuf(recovery->out, nullptr, _IONBF, 0);
    check_sink sink;
    sink.on_page = [&](const checked_page& page) { sent = sent && recover_page(*recovery, page); };
    check_summary second;
    const int read_error = check_image(checker, image, claim, sink, second);
    sent = sent && read_error == 0 && finish_recovery(*recovery, second.layout.input_size);
    const int send_error = errno;
    if (recovery->out)
        std::fclose(recovery->out);
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
