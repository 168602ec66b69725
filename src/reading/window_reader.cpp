// Reading the file into the walk's window, a piece at a time.
#include "window_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "image_start.h"

namespace {

// Moves the records not yet checked, and the bytes of a record read in
// part, to the front of the slots.
void move_to_front(const window_reader& reader, record_window& window)
{
    const uint64_t from = window.checked - window.first;
    const uint64_t records = reader.loaded - window.checked;
    for (uint64_t i = 0; i < records; ++i) {
        uint8_t* own = window.slots[i].bytes;
        window.slots[i] = window.slots[from + i];
        window.slots[i].bytes = own;
    }
    std::memmove(window.bytes, window.bytes + from * PAGE_RECORD_SIZE,
                 records * PAGE_RECORD_SIZE + reader.partial);
    window.first = window.checked;
}

// Reads up to `want` bytes to `at`: those read ahead first, then the file's.
size_t read_bytes(window_reader& reader, uint8_t* at, size_t want)
{
    const size_t ahead = std::min(want, reader.ahead.size() - reader.ahead_at);
    std::memcpy(at, reader.ahead.data() + reader.ahead_at, ahead);
    reader.ahead_at += ahead;
    if (ahead == want)
        return want;
    return ahead + std::fread(at + ahead, 1, want - ahead, reader.in);
}

// Reads on from the file into the bytes read ahead, up to `size` in all;
// false on a read error, with `reader` failed.
bool read_ahead(window_reader& reader, size_t size)
{
    const size_t had = reader.ahead.size();
    reader.ahead.resize(size);
    const size_t got = std::fread(reader.ahead.data() + had, 1, size - had, reader.in);
    reader.ahead.resize(had + got);
    if (got == size - had || !std::ferror(reader.in))
        return true;
    reader.state = file_state::failed;
    reader.error = errno;
    return false;
}

}  // namespace

uint64_t read_image_start(window_reader& reader)
{
    constexpr size_t BLOCK_BYTES = PAGES_PER_BLOCK * PAGE_RECORD_SIZE;
    if (!read_ahead(reader, BLOCK_BYTES) ||
        image_starts_at_0(reader.ahead.data(), reader.ahead.size()) ||
        !read_ahead(reader, IMAGE_START_BYTES))
        return 0;
    reader.ahead_at = later_image_start(reader.ahead.data(), reader.ahead.size());
    return reader.ahead_at;
}

void read_more(window_reader& reader, record_window& window)
{
    const uint64_t kept = reader.loaded - window.checked;
    const bool at_end = reader.loaded - window.first == WINDOW_SLOTS;
    if (window.first != window.checked && (kept <= READ_RECORDS || at_end))
        move_to_front(reader, window);
    const uint64_t end = std::min({window.first + WINDOW_SLOTS, window.checked + WINDOW_RECORDS,
                                   reader.loaded + READ_RECORDS});
    uint8_t* at = window.bytes + (reader.loaded - window.first) * PAGE_RECORD_SIZE;
    const size_t want = (end - reader.loaded) * PAGE_RECORD_SIZE - reader.partial;
    const size_t got = read_bytes(reader, at + reader.partial, want);
    const size_t have = reader.partial + got;
    reader.loaded += have / PAGE_RECORD_SIZE;
    reader.partial = have % PAGE_RECORD_SIZE;
    if (got == want)
        return;
    if (std::ferror(reader.in)) {
        reader.state = file_state::failed;
        reader.error = errno;
    } else {
        reader.state = file_state::ended;
    }
}
