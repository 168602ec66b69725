#include "input_recovery.h"

#include <cstring>

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
    if (recovery.pages <= 1)
        return true;
    const size_t held_at = (recovery.pages - 1) * PAGE_DATA_SIZE;
    if (!write_out(recovery, recovery.chunk, held_at))
        return false;
    std::memcpy(recovery.chunk, recovery.chunk + held_at, PAGE_DATA_SIZE);
    recovery.pages = 1;
    return true;
}

namespace {

// Gathers one page of the input, or a page of zeros when `data` is null.
bool gather(input_recovery& recovery, const uint8_t* data)
{
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
        if (!write_out(recovery, recovery.chunk, length))
            return false;
        recovery.pages = 0;
    }
    return std::fflush(recovery.out) == 0 && !std::ferror(recovery.out);
}
