#include "window_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

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

}  // namespace

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
    const size_t got = std::fread(at + reader.partial, 1, want, reader.in);
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
