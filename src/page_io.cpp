// The converter's input and image chunks.
#include "page_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Writes n bytes from `bytes` to fd, continuing after a short write.
writer_error write_all(int fd, const uint8_t* bytes, size_t n)
{
    while (n > 0) {
        const ssize_t written = write(fd, bytes, n);
        if (written <= 0)
            return {writer_failure::image_write, written < 0 ? errno : EIO};
        bytes += written;
        n -= static_cast<size_t>(written);
    }
    return {};
}

}  // namespace

void start_input(writer_input& in, int fd)
{
    in.fd = fd;
    in.lend = nullptr;
    in.source = nullptr;
    in.at = in.bytes;
    in.begin = 0;
    in.end = 0;
    in.ended = false;
    in.total = 0;
}

void start_input_from(writer_input& in, input_lender lend, void* source)
{
    start_input(in, -1);
    in.lend = lend;
    in.source = source;
}

void start_output(writer_output& out, int image_fd, trace_output& trace, FILE* notes)
{
    out.image = image_fd;
    out.trace = &trace;
    out.notes = notes;
    out.used = 0;
}

writer_error read_page(writer_input& in, uint8_t* data, size_t& count)
{
    count = 0;
    while (count < PAGE_DATA_SIZE) {
        if (in.begin == in.end) {
            if (in.ended)
                break;
            const ssize_t n = in.lend ? in.lend(in.source, &in.at)
                                      : read(in.fd, in.bytes, sizeof in.bytes);
            if (n < 0)
                return {writer_failure::input_read, errno};
            in.begin = 0;
            in.end = static_cast<size_t>(n);
            in.ended = n == 0;
            in.total += in.end;
            continue;
        }
        const size_t take = std::min(PAGE_DATA_SIZE - count, in.end - in.begin);
        // memmove: GCC expands a memcpy whose size it can bound into
        // `rep movsq`, which took about twice the time of the library's
        // vector copy here; memmove is left to the library.
        std::memmove(data + count, in.at + in.begin, take);
        in.begin += take;
        count += take;
    }
    std::memset(data + count, 0, PAGE_DATA_SIZE - count);
    return {};
}

uint8_t* next_record(writer_output& out)
{
    return out.chunk + out.used;
}

writer_error commit_record(writer_output& out)
{
    out.used += PAGE_RECORD_SIZE;
    if (out.used <= IMAGE_CHUNK_SIZE)
        return {};
    const writer_error error = write_all(out.image, out.chunk, IMAGE_CHUNK_SIZE);
    if (error.failure != writer_failure::none)
        return error;
    // The part of the last record past the piece starts the next one.
    out.used -= IMAGE_CHUNK_SIZE;
    std::memmove(out.chunk, out.chunk + IMAGE_CHUNK_SIZE, out.used);
    return {};
}

writer_error flush_image(writer_output& out)
{
    const writer_error error = write_all(out.image, out.chunk, out.used);
    out.used = 0;
    return error;
}
