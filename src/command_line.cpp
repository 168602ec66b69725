// The converter's option walk.
#include "command_line.h"

#include <climits>
#include <cstdlib>
#include <cstring>

int32_t to_int32(const char* text)
{
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

namespace {

// Stores `block` in the first free slot; false when the list is full.
bool add_bad_block(bad_block_list& list, int32_t block)
{
    for (int32_t& slot : list) {
        if (slot == -1) {
            slot = block;
            return true;
        }
    }
    return false;
}

bool is(const char* argument, const char* option)
{
    return std::strcmp(argument, option) == 0;
}

}  // namespace

parse_result parse_options(int argc, const char* const* argv,
                           run_settings& settings)
{
    parse_result result;
    bool list_mode = false;
    for (int i = 3; i < argc; ++i) {
        const char* argument = argv[i];
        if (list_mode) {
            if (argument[0] != '-') {
                if (add_bad_block(*settings.bad_block, to_int32(argument)))
                    continue;
                result.status = parse_status::bad_argument;
                result.bad_index = i;
                result.too_many_bad_blocks = true;
                return result;
            }
            list_mode = false;
        }
        if (is(argument, "-s")) {
            settings.error_bits = 1;
        } else if (is(argument, "-d")) {
            settings.error_bits = 2;
        } else if (is(argument, "-f")) {
            settings.fill = true;
        } else if (is(argument, "-b")) {
            settings.bad_block_table = true;
        } else if (is(argument, "-B")) {
            settings.bad_block_table = true;
            if (!settings.bad_block)
                settings.bad_block.emplace().fill(-1);
            list_mode = true;
        } else if (is(argument, "-h")) {
            settings.header = true;
        } else if (is(argument, "-F")) {
            if (i + 1 >= argc) {
                // No value to consume: rejected like any bad argument.
                result.status = parse_status::bad_argument;
                result.bad_index = i;
                return result;
            }
            settings.forced_header_size = to_int32(argv[++i]);
            // The "-?" test is made on the value just consumed.
            if (is(argv[i], "-?")) {
                result.status = parse_status::usage;
                return result;
            }
        } else if (is(argument, "-?")) {
            result.status = parse_status::usage;
            return result;
        } else {
            result.status = parse_status::bad_argument;
            result.bad_index = i;
            return result;
        }
    }
    return result;
}
