// Files as a chip gives them back, for the tests: the converter's image of
// an input, and the changes that reading a chip back makes to it.
#ifndef PAGESMITH_TESTS_READBACK_CHANGES_H
#define PAGESMITH_TESTS_READBACK_CHANGES_H

#include <functional>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace readback {

// The converter that makes the images.
inline const std::string pagesmith = PAGESMITH_BINARY;

// Bytes of a page record, and of a block of them.
inline constexpr size_t RECORD = 2048 + 64;
inline constexpr size_t BLOCK = 64 * RECORD;

// A record as an erased chip gives it back: every bit set.
inline const std::string ERASED_RECORD(RECORD, '\xff');

// A change made to a file.
using change = std::function<void(std::string&)>;

// Appends `blocks` erased blocks, and the erased pages that complete the
// last block of the image.
inline change erased_tail(size_t blocks)
{
    return [=](std::string& s) {
        const size_t partial = s.size() % BLOCK;
        const size_t pages = (partial ? (BLOCK - partial) / RECORD : 0) + 64 * blocks;
        for (size_t i = 0; i < pages; ++i)
            s += ERASED_RECORD;
    };
}

// Clears bit `bit` of byte `at` counted back from the end of the file.
inline change clear_bit_from_end(size_t at, int bit)
{
    return [=](std::string& s) { s[s.size() - at] &= static_cast<char>(~(1 << bit)); };
}

// Clears byte `at` counted back from the end of the file, as a chip's
// bad-block marker does in a status word.
inline change marker_from_end(size_t at)
{
    return [=](std::string& s) { s[s.size() - at] = 0; };
}

// Writes block `block` as erased.
inline change pad(size_t block)
{
    return [=](std::string& s) { s.replace(block * BLOCK, BLOCK, BLOCK, '\xff'); };
}

// Leaves block `block` out.
inline change skip(size_t block)
{
    return [=](std::string& s) { s.erase(block * BLOCK, BLOCK); };
}

// Puts a block that is not the image's before block `block`: erased, with
// a bad-block marker in the spare area of its page 0.
inline change foreign_before(size_t block)
{
    return [=](std::string& s) {
        std::string foreign(BLOCK, '\xff');
        foreign[2048] = 0;
        s.insert(block * BLOCK, foreign);
    };
}

// Keeps the first `bytes` bytes.
inline change cut(size_t bytes)
{
    return [=](std::string& s) { s.resize(bytes); };
}

// Leaves record `record` out.
inline change drop(size_t record)
{
    return [=](std::string& s) { s.erase(record * RECORD, RECORD); };
}

// Holds record `record` twice.
inline change twice(size_t record)
{
    return [=](std::string& s) { s.insert(record * RECORD, s.substr(record * RECORD, RECORD)); };
}

// Puts two records of another image before record `record`: copies of
// records 10 and 11 whose page tags name pages 5 and 6 of block `block`.
inline change strays_before(size_t record, uint16_t block)
{
    return [=](std::string& s) {
        std::string two = s.substr(10 * RECORD, 2 * RECORD);
        for (size_t k = 0; k < 2; ++k) {
            const uint32_t tag = (uint32_t{block} << 16) | static_cast<uint32_t>(5 + k);
            for (int b = 0; b < 4; ++b)
                two[k * RECORD + 2052 + static_cast<size_t>(b)] = static_cast<char>(tag >> (8 * b));
        }
        s.insert(record * RECORD, two);
    };
}

// Swaps record `record` and the next one.
inline change swap_with_next(size_t record)
{
    return [=](std::string& s) {
        const std::string first = s.substr(record * RECORD, RECORD);
        s.replace(record * RECORD, RECORD, s.substr((record + 1) * RECORD, RECORD));
        s.replace((record + 1) * RECORD, RECORD, first);
    };
}

// Does each change in turn.
inline change both(change first, change second)
{
    return [=](std::string& s) {
        first(s);
        second(s);
    };
}

// Sets bits in spare word `word` of record `record`.
inline change set_spare_bits(size_t record, int word, uint8_t bits)
{
    return [=](std::string& s) { s[record * RECORD + 2048 + 4 * static_cast<size_t>(word)] |= static_cast<char>(bits); };
}

// Sets byte `at` of the file to `value`.
inline change set_byte(size_t at, char value)
{
    return [=](std::string& s) { s[at] = value; };
}

// Puts `n` bytes of `value` in front of the file, as a dump that starts early.
inline change bytes_before(size_t n, char value)
{
    return [=](std::string& s) { s.insert(0, n, value); };
}

// Replaces the whole file with bytes that are no image.
inline change no_image(size_t bytes)
{
    return [=](std::string& s) { s = random_bytes(bytes, 77); };
}

// Replaces the whole file with bytes that are no image, as a program holds
// them: stretches of random bytes, and of zeros with a byte 1 every 211
// bytes (tables of small numbers), 100000 bytes each.
inline change no_image_with_zeros(size_t bytes)
{
    return [=](std::string& s) {
        s = random_bytes(bytes, 78);
        for (size_t at = 100000; at < bytes; at += 200000) {
            const size_t end = std::min(at + 100000, bytes);
            for (size_t i = at; i < end; ++i)
                s[i] = i % 211 == 0 ? '\1' : '\0';
        }
    };
}

// The image the converter makes of `input` with `options`, as the file
// `name` in `dir`; a refused conversion fails the test.
inline std::string convert(const scratch_dir& dir, const std::string& input,
                           const std::vector<std::string>& options,
                           const std::string& name = "image")
{
    run_options quiet;
    quiet.stdout_path = "/dev/null";
    const tool_result made = convert_input(pagesmith, dir, name, input, options, quiet);
    EXPECT_EQ(made.status, 0) << made.err;
    return read_file(dir.file(name));
}

// The converter options of most images here: header, marked, filled.
inline const std::vector<std::string> HBF = {"-h", "-b", "-f"};

}  // namespace readback

#endif
