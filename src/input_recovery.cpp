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

bool recover_page(input_recovery& recovery, const uint8_t* data)
{
    if (recovery.holding && !write_out(recovery, recovery.held, PAGE_DATA_SIZE))
        return false;
    std::memcpy(recovery.held, data, PAGE_DATA_SIZE);
    recovery.holding = true;
    return true;
}

bool finish_recovery(input_recovery& recovery, std::optional<uint64_t> input_size)
{
    if (recovery.holding) {
        size_t length = PAGE_DATA_SIZE;
        if (input_size && *input_size > recovery.written &&
            *input_size - recovery.written < PAGE_DATA_SIZE)
            length = static_cast<size_t>(*input_size - recovery.written);
        if (!write_out(recovery, recovery.held, length))
            return false;
        recovery.holding = false;
    }
    return std::fflush(recovery.out) == 0 && !std::ferror(recovery.out);
}
