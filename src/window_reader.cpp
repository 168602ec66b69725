#include "window_reader.h"

#include <algorithm>
#include <cerrno>

void read_more(window_reader& reader, const record_window& window)
{
    const uint64_t slot = reader.loaded % WINDOW_RECORDS;
    const uint64_t free = window.checked + WINDOW_RECORDS - reader.loaded;
    const uint64_t records = std::min(free, WINDOW_RECORDS - slot);
    uint8_t* at = window.bytes + slot * PAGE_RECORD_SIZE + reader.partial;
    const size_t want = records * PAGE_RECORD_SIZE - reader.partial;
    const size_t got = std::fread(at, 1, want, reader.in);
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
