// The thread that writes a channel's blocks to a descriptor.
#include "background_write.h"

#include <unistd.h>

#include <cerrno>

namespace {

// Writes n bytes to fd, going on after a short write.  False with errno set.
bool write_all(int fd, const uint8_t* bytes, size_t n)
{
    while (n > 0) {
        const ssize_t done = write(fd, bytes, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done == 0)
            errno = EIO;
        if (done <= 0)
            return false;
        bytes += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

// The thread's work: each block to the descriptor, until the end or the
// first failed write.
void write_blocks(background_write& write)
{
    const uint8_t* bytes = nullptr;
    while (const size_t n = take_block(write.channel, bytes)) {
        if (!write_all(write.fd, bytes, n)) {
            fail_channel(write.channel, errno);
            return;
        }
        give_back_block(write.channel);
    }
}

}  // namespace

void start_background_write(background_write& write, int fd)
{
    write.fd = fd;
    write.thread = std::thread(write_blocks, std::ref(write));
}

bool finish_background_write(background_write& write)
{
    if (!write.thread.joinable())
        return write.channel.error == 0;
    close_channel(write.channel);
    write.thread.join();
    if (write.channel.error == 0)
        return true;
    errno = write.channel.error;
    return false;
}
