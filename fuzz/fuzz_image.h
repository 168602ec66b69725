// Shared by the fuzz targets that convert: run settings and input bytes
// decoded from a fuzz input, and the image that the converter makes of them
// in memory.  Linking this in also sends the converter's trace (the
// standard output) to /dev/null, from LLVMFuzzerInitialize.
//
// Input layout: byte 0 holds the flags (bits 0-1 error_bits modulo 3, bit 2
// fill, bit 3 bad_block_table, bit 4 header, bit 5 a bad-block list), byte 1
// the length of the list (modulo 17), byte 2 a count of leading pages, bytes
// 3-6 the header size (little-endian), then one byte per listed block, then
// the input bytes.  The leading pages, all alike, are filled by repeating the
// input bytes, so that short fuzz inputs still reach block boundaries.  Only
// the first MAX_TAIL_SIZE input bytes are used: with the leading pages they
// still cross two block boundaries, and the cap bounds the image.
#ifndef PAGESMITH_FUZZ_IMAGE_H
#define PAGESMITH_FUZZ_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image_writer.h"

// Leading pages are at most this many: enough to cross two block boundaries.
constexpr size_t MAX_LEADING_PAGES = 140;
// Input bytes kept after the settings and the list; the rest are ignored.
constexpr size_t MAX_TAIL_SIZE = 2 * PAGE_DATA_SIZE;
// Data pages of the longest input.
constexpr size_t MAX_DATA_PAGES =
    MAX_LEADING_PAGES + (MAX_TAIL_SIZE + PAGE_DATA_SIZE - 1) / PAGE_DATA_SIZE;
// Records in the longest image: each data page, a header page at most for
// each of them, fill up to one whole block, and every listed block bad.
constexpr size_t MAX_RECORDS =
    2 * MAX_DATA_PAGES + PAGES_PER_BLOCK + MAX_BAD_BLOCKS * PAGES_PER_BLOCK;

// The run settings and input decoded from one fuzz input.
struct fuzz_run {
    int32_t error_bits = 0;
    bool fill = false;
    bool bad_block_table = false;
    optional_bad_blocks bad_block;
    bool header = false;
    int32_t header_size = 0;
    std::vector<uint8_t> input;
};

// Byte `at` of the fuzz input, or 0 past its end.
uint8_t byte_at(const uint8_t* data, size_t size, size_t at);

// Decodes settings and input from the fuzz input into `run`, whose input
// buffer is reused from run to run; returns the offset of the input bytes.
size_t decode(const uint8_t* data, size_t size, fuzz_run& run);

// An image in memory: `size` bytes at `bytes`.
struct memory_image {
    const uint8_t* bytes;
    size_t size;
};

// Converts `input` with the settings of `run` (the random generator reset
// first, as in a fresh process) into a buffer kept from run to run, which
// the next call overwrites.
memory_image convert(const fuzz_run& run, const std::vector<uint8_t>& input);

#endif
