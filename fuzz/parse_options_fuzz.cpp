// Fuzz target: the option walk on an arbitrary argument vector.
//
// The input is split at NUL bytes into the arguments that follow the two
// file names.  The walk must not crash, and what it returns must hold:
//  - error_bits is 0, 1 or 2, and any setting that is on was asked for by
//    an argument;
//  - the bad-block list is a run of block numbers followed only by -1 slots
//    (storing a number always takes the first -1 slot, so the -1 slots stay a
//    suffix; an argument such as " -1" is stored as -1 and so leaves the list
//    as it was), and the run is, in order, the values of arguments that do
//    not start with '-';
//  - a rejection names an existing argument (3..argc-1) that is not an
//    option, or "-F" without a value, or a number for a full list.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "fuzz_check.h"

namespace {

// Index of the first argument from 3 on equal to `text`, or 0.
int find_argument(const std::vector<const char*>& argv, const char* text)
{
    for (size_t j = 3; j + 1 < argv.size(); ++j)
        if (std::strcmp(argv[j], text) == 0)
            return static_cast<int>(j);
    return 0;
}

// True when argv[j] is one of the options the walk recognises by itself.
bool is_plain_option(const char* argument)
{
    static const char* const options[] = {"-s", "-d", "-f", "-b", "-B", "-h", "-?"};
    for (const char* option : options)
        if (std::strcmp(argument, option) == 0)
            return true;
    return false;
}

// Checks the bad-block list against the arguments it came from.
void check_list(const std::vector<const char*>& argv, const run_settings& s)
{
    if (!s.bad_block)
        return;
    fuzz_expect(s.bad_block_table, "a list without the block status words");
    fuzz_expect(find_argument(argv, "-B") != 0, "a list without -B");
    const bad_block_list& list = *s.bad_block;
    int used = 0;
    while (used < MAX_BAD_BLOCKS && list[used] != -1)
        ++used;
    for (int k = used; k < MAX_BAD_BLOCKS; ++k)
        fuzz_expect(list[k] == -1, "a number after a free slot");
    // The numbers, in order, are values of arguments not starting with '-'.
    size_t j = 3;
    for (int k = 0; k < used; ++k) {
        while (j + 1 < argv.size() &&
               (argv[j][0] == '-' || to_int32(argv[j]) != list[k]))
            ++j;
        fuzz_expect(j + 1 < argv.size(), "a listed number that no argument gave");
        ++j;
    }
}

// Checks every run setting against the arguments that may have set it.
void check_settings(const std::vector<const char*>& argv, const run_settings& s)
{
    fuzz_expect(s.error_bits >= 0 && s.error_bits <= 2, "error_bits out of range");
    if (s.error_bits == 1)
        fuzz_expect(find_argument(argv, "-s") != 0, "error_bits 1 without -s");
    if (s.error_bits == 2)
        fuzz_expect(find_argument(argv, "-d") != 0, "error_bits 2 without -d");
    if (s.fill)
        fuzz_expect(find_argument(argv, "-f") != 0, "fill without -f");
    if (s.header)
        fuzz_expect(find_argument(argv, "-h") != 0, "header without -h");
    if (s.bad_block_table)
        fuzz_expect(find_argument(argv, "-b") != 0 || find_argument(argv, "-B") != 0,
                    "block status words without -b or -B");
    if (s.forced_header_size != 0)
        fuzz_expect(find_argument(argv, "-F") != 0, "a header size without -F");
    check_list(argv, s);
}

// Checks how the walk ended.
void check_result(const std::vector<const char*>& argv, const run_settings& s,
                  const parse_result& r)
{
    const int argc = static_cast<int>(argv.size()) - 1;
    switch (r.status) {
    case parse_status::ok:
        fuzz_expect(r.bad_index == 0 && !r.too_many_bad_blocks, "ok with a rejection");
        break;
    case parse_status::usage:
        fuzz_expect(find_argument(argv, "-?") != 0, "usage without -?");
        break;
    case parse_status::bad_argument: {
        fuzz_expect(r.bad_index >= 3 && r.bad_index < argc, "rejected index out of range");
        const char* rejected = argv[static_cast<size_t>(r.bad_index)];
        if (r.too_many_bad_blocks) {
            fuzz_expect(rejected[0] != '-', "an option rejected as a block number");
            fuzz_expect(s.bad_block && (*s.bad_block)[MAX_BAD_BLOCKS - 1] != -1,
                        "too many bad blocks for a list with room");
        } else {
            fuzz_expect(!is_plain_option(rejected), "an option rejected");
            if (std::strcmp(rejected, "-F") == 0)
                fuzz_expect(r.bad_index == argc - 1, "-F with a value rejected");
        }
        break;
    }
    default:
        fuzz_expect(false, "unknown status");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The arguments, each ended by a NUL; the last one may lack its NUL in
    // the input.
    std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<const char*> argv = {"pagesmith", "in.bin", "out.img"};
    if (size > 0) {
        text.push_back('\0');
        for (size_t at = 0; at < text.size(); at = text.find('\0', at) + 1)
            argv.push_back(text.c_str() + at);
    }
    argv.push_back(nullptr);

    run_settings settings;
    const parse_result result =
        parse_options(static_cast<int>(argv.size()) - 1, argv.data(), settings);
    check_settings(argv, settings);
    check_result(argv, settings, result);
    return 0;
}
