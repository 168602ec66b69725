// The recovered input, each data page at its input offset.
#include "input_recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

// Writes n bytes of the output.
bool write_out(input_recovery& recovery, const uint8_t* bytes, size_t n)
{
    if (n != 0 && std::fwrite(bytes, 1, n, recovery.out) != n)
        return false;
    recovery.written += n;
    return true;
}

}  // namespace

bool write_gathered(input_recovery& recovery)
{
    // In a channel, every page but the held one is already out.
    if (recovery.pages <= 1 || recovery.channel)
        return true;
    const size_t held_at = (recovery.pages - 1) * PAGE_DATA_SIZE;
    if (!write_out(recovery, recovery.chunk, held_at))
        return false;
    std::memcpy(recovery.chunk, recovery.chunk + held_at, PAGE_DATA_SIZE);
    recovery.pages = 1;
    return true;
}

namespace {

// Gathers one page into the channel: the held page goes out, and the new
// one is held after it.
bool gather_into_channel(input_recovery& recovery, const uint8_t* data)
{
    if (recovery.pages != 0) {
        add_bytes(*recovery.channel, PAGE_DATA_SIZE);
        recovery.written += PAGE_DATA_SIZE;
    }
    uint8_t* slot = room_for(*recovery.channel, PAGE_DATA_SIZE);
    recovery.pages = slot ? 1 : 0;
    if (!slot)
        return false;
    if (data)
        std::memcpy(slot, data, PAGE_DATA_SIZE);
    else
        std::memset(slot, 0, PAGE_DATA_SIZE);
    ++recovery.next_page;
    return true;
}

// Gathers one page of the input, or a page of zeros when `data` is null.
bool gather(input_recovery& recovery, const uint8_t* data)
{
    if (recovery.channel)
        return gather_into_channel(recovery, data);
    if (recovery.pages == RECOVERY_CHUNK_PAGES && !write_gathered(recovery))
        return false;
    uint8_t* slot = recovery.chunk + recovery.pages * PAGE_DATA_SIZE;
    if (data)
        std::memcpy(slot, data, PAGE_DATA_SIZE);
    else
        std::memset(slot, 0, PAGE_DATA_SIZE);
    ++recovery.pages;
    ++recovery.next_page;
    return true;
}

}  // namespace

bool recover_page(input_recovery& recovery, const checked_page& page)
{
    if (page.kind != page_kind::data || page.place != page_place::image ||
        page.input_page < recovery.next_page)
        return true;
    while (recovery.next_page < page.input_page)
        if (!gather(recovery, nullptr))
            return false;
    return gather(recovery, page.data);
}

bool finish_recovery(input_recovery& recovery, std::optional<uint64_t> input_size)
{
    if (recovery.pages != 0) {
        const size_t before = (recovery.pages - 1) * PAGE_DATA_SIZE;
        const uint64_t held_from = recovery.written + before;
        size_t length = before + PAGE_DATA_SIZE;
        if (input_size && *input_size > held_from && *input_size - held_from < PAGE_DATA_SIZE)
            length = before + static_cast<size_t>(*input_size - held_from);
        if (recovery.channel) {
            add_bytes(*recovery.channel, length);
            recovery.written += length;
        } else if (!write_out(recovery, recovery.chunk, length)) {
            return false;
        }
        recovery.pages = 0;
    }
    return recovery.channel || (std::fflush(recovery.out) == 0 && !std::ferror(recovery.out));
}

bool finish_recovery(input_recovery& recovery, const check_summary& summary)
{
    // The held page: in a channel, the room that it takes and has not yet
    // added (it fits, so no block is handed over).
    if (summary.lost.last_page_in_doubt && recovery.pages != 0)
        std::memset(recovery.channel ? room_for(*recovery.channel, PAGE_DATA_SIZE)
                                     : recovery.chunk + (recovery.pages - 1) * PAGE_DATA_SIZE,
                    0, PAGE_DATA_SIZE);
    return finish_recovery(recovery, summary.layout.input_size);
}

namespace {

// Moves bytes [from, end) of the file up by `by`, the last ones first,
// through the chunk; they are read through `in`.
bool move_up(input_recovery& recovery, int in, int fd, uint64_t from, uint64_t end, uint64_t by)
{
    while (end > from) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof recovery.chunk, end - from));
        end -= n;
        if (pread(in, recovery.chunk, n, static_cast<off_t>(end)) != static_cast<ssize_t>(n) ||
            pwrite(fd, recovery.chunk, n, static_cast<off_t>(end + by)) != static_cast<ssize_t>(n))
            return false;
    }
    return true;
}

// Writes `length` zero bytes at `at`, through the chunk.
bool write_zeros(input_recovery& recovery, int fd, uint64_t at, uint64_t length)
{
    std::memset(recovery.chunk, 0, sizeof recovery.chunk);
    while (length > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof recovery.chunk, length));
        if (pwrite(fd, recovery.chunk, n, static_cast<off_t>(at)) != static_cast<ssize_t>(n))
            return false;
        at += n;
        length -= n;
    }
    return true;
}

}  // namespace

bool put_holes(input_recovery& recovery, const std::vector<input_hole>& holes,
               std::optional<uint64_t> input_size)
{
    if (holes.empty())
        return true;
    const int fd = fileno(recovery.out);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        errno = ESPIPE;
        return false;
    }
    // The output was opened only to write: the same file again, to read.
    const std::string again = "/proc/self/fd/" + std::to_string(fd);
    const int in = open(again.c_str(), O_RDONLY);
    if (in < 0) {
        errno = ESPIPE;
        return false;
    }
    uint64_t length = recovery.written;
    bool moved = true;
    // The last hole first: those before it stay where they were written.
    for (size_t i = holes.size(); moved && i-- > 0;) {
        const uint64_t at = std::min(holes[i].written_page * PAGE_DATA_SIZE, length);
        const uint64_t gap = holes[i].pages * PAGE_DATA_SIZE;
        moved = move_up(recovery, in, fd, at, length, gap) && write_zeros(recovery, fd, at, gap);
        length += gap;
    }
    const int saved = errno;
    close(in);
    errno = saved;
    if (!moved)
        return false;
    if (input_size && *input_size < length && ftruncate(fd, static_cast<off_t>(*input_size)) != 0)
        return false;
    recovery.written = input_size ? std::min(*input_size, length) : length;
    return true;
}
