// Inputs larger than 8 GiB, as sparse files: the header page keeps the low
// 32 bits of the input size and the page tag the low 16 bits of the block
// number, while the trace shows the full block number.  The image (about
// 9 GB) and the trace (about 1 GB) go through pipes; only a few records and
// trace lines are kept.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "reference_ecc.h"
#include "stream_runner.h"
#include "tool_runner.h"

namespace {

const std::string binary = PAGESMITH_BINARY;

constexpr uint64_t RECORD = 2048 + 64;

// With "-h" each block holds a header page and 63 data pages: the offset
// in the input of the data page at page `page` (1..63) of block `block`.
uint64_t input_offset(uint64_t block, uint64_t page)
{
    return (block * 63 + page - 1) * 2048;
}

// Index in the image of page `page` of block `block`.
uint64_t record_index(uint64_t block, uint64_t page)
{
    return block * 64 + page;
}

// Creates a sparse file of `size` bytes holding `bytes` at their offsets.
void make_sparse_file(const std::string& path, uint64_t size,
                      const std::map<uint64_t, uint8_t>& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    for (const auto& [offset, value] : bytes)
        ASSERT_EQ(pwrite(fd, &value, 1, static_cast<off_t>(offset)), 1);
    close(fd);
}

// Keeps the records whose indexes were asked for, and counts the bytes.
struct record_picker {
    std::map<uint64_t, std::string> records;  // index -> bytes, filled in
    uint64_t total = 0;

    void take(const char* bytes, size_t n)
    {
        for (auto& [index, kept] : records) {
            const uint64_t begin = index * RECORD;
            const uint64_t end = begin + RECORD;
            if (end <= total || begin >= total + n)
                continue;
            const uint64_t from = std::max(begin, total);
            const uint64_t to = std::min(end, total + n);
            kept.append(bytes + (from - total), to - from);
        }
        total += n;
    }
};

// Counts the trace lines and keeps those that start with a chosen prefix.
struct line_picker {
    std::vector<std::string> prefixes;
    std::vector<std::string> kept;
    uint64_t lines = 0;
    std::string partial;

    void line(std::string_view text)
    {
        ++lines;
        for (const auto& p : prefixes)
            if (text.substr(0, p.size()) == p)
                kept.emplace_back(text);
    }

    void take(const char* bytes, size_t n)
    {
        const char* end = bytes + n;
        while (bytes < end) {
            const char* newline = static_cast<const char*>(std::memchr(bytes, '\n', end - bytes));
            if (!newline) {
                partial.append(bytes, end);
                return;
            }
            if (partial.empty()) {
                line(std::string_view(bytes, newline - bytes));
            } else {
                partial.append(bytes, newline);
                line(partial);
                partial.clear();
            }
            bytes = newline + 1;
        }
    }
};

std::string le32(uint32_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
            static_cast<char>(v >> 24)};
}

// Spare word n of a kept record, as its four bytes in the file.
std::string word(const std::string& record, int n)
{
    return record.substr(2048 + 4 * n, 4);
}

TEST(HugeInput, HeaderKeepsLow32BitsAndTagsLow16BitsOfTheBlock)
{
    // 8 GiB + 12345 bytes: 4194311 pages, the last holding 57 bytes.  With
    // 63 data pages a block they reach block 66576 page 23.
    const uint64_t size = (uint64_t{8} << 30) + 12345;
    const uint64_t last_offset = uint64_t{4194310} * 2048;
    ASSERT_EQ(last_offset, input_offset(66576, 23));
    scratch_dir dir;
    const std::string in = dir.file("huge.bin");
    // A 0x01 at sector byte 0 gives the ECC word 0xe70f1800, a 0x80 at
    // sector byte 511 gives 0x1800e70f.
    ASSERT_NO_FATAL_FAILURE(make_sparse_file(in, size,
                                             {{input_offset(65535, 63), 0x01},
                                              {input_offset(65537, 5), 0x01},
                                              {input_offset(65537, 5) + 2047, 0x80},
                                              {last_offset, 0x01}}));

    record_picker image;
    for (uint64_t index : {record_index(0, 0), record_index(65535, 63), record_index(65536, 0),
                           record_index(65536, 1), record_index(65537, 5),
                           record_index(66576, 23)})
        image.records[index];
    line_picker trace;
    trace.prefixes = {"read_data: block 65535 page 63 ", "read_data: block 65536 page 1 ",
                      "read_data: block 65537 page 5 ", "read_data: block 66576 page 23 "};
    const tool_result r = run_streamed(
        {binary, in, streamed_image_name, "-h", "-b"},
        [&](const char* b, size_t n) { image.take(b, n); },
        [&](const char* b, size_t n) { trace.take(b, n); });

    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Found eof on input 57 read\n");
    // Records: 66576 whole blocks, then the header and 23 data pages.
    EXPECT_EQ(image.total, uint64_t{4260888} * RECORD);
    // Lines: the two names; per block 4 header lines and the status word
    // line of page 1; 4 per data page.
    EXPECT_EQ(trace.lines, 2u + 66577u * 5u + 4194311u * 4u);
    EXPECT_EQ(trace.partial, "");

    const std::string zero_word(4, '\0');
    const std::string marked(4, '\xff');
    // Header pages: the input size modulo 2^32, 12345, at block 0 and past
    // block 65535 alike.
    const std::string& header = image.records[record_index(0, 0)];
    ASSERT_EQ(header.size(), RECORD);
    EXPECT_EQ(header.substr(0, 4), le32(12345));
    EXPECT_EQ(header.substr(4, 2044), std::string(2044, '\0'));
    EXPECT_EQ(word(header, 0), marked);
    EXPECT_EQ(word(header, 1), zero_word);
    EXPECT_EQ(word(header, 12),
              le32(reference_ecc(reinterpret_cast<const uint8_t*>(header.data()))));
    EXPECT_TRUE(image.records[record_index(65536, 0)] == header);

    // Page tags: block number modulo 65536 over the page number.
    struct tagged {
        uint64_t block, page;
        uint32_t tag;
        bool status_marked;
        uint32_t ecc12, ecc15;
    };
    const tagged pages[] = {
        {.block = 65535, .page = 63, .tag = 0xffff003f, .status_marked = false,
         .ecc12 = 0xe70f1800, .ecc15 = 0},
        {.block = 65536, .page = 1, .tag = 0x00000001, .status_marked = true, .ecc12 = 0,
         .ecc15 = 0},
        {.block = 65537, .page = 5, .tag = 0x00010005, .status_marked = false,
         .ecc12 = 0xe70f1800, .ecc15 = 0x1800e70f},
        {.block = 66576, .page = 23, .tag = 0x04100017, .status_marked = false,
         .ecc12 = 0xe70f1800, .ecc15 = 0},
    };
    for (const tagged& t : pages) {
        const std::string& record = image.records[record_index(t.block, t.page)];
        ASSERT_EQ(record.size(), RECORD) << t.block;
        EXPECT_EQ(word(record, 0), t.status_marked ? marked : zero_word) << t.block;
        EXPECT_EQ(word(record, 1), le32(t.tag)) << t.block;
        EXPECT_EQ(word(record, 12), le32(t.ecc12)) << t.block;
        EXPECT_EQ(word(record, 15), le32(t.ecc15)) << t.block;
        EXPECT_EQ(static_cast<uint8_t>(record[0]), t.ecc12 ? 1 : 0) << t.block;
    }

    // The trace names the full block numbers.
    const std::vector<std::string> expected_lines = {
        "read_data: block 65535 page 63 spare[12] = 0xe70f1800",
        "read_data: block 65535 page 63 spare[13] = 0x00000000",
        "read_data: block 65535 page 63 spare[14] = 0x00000000",
        "read_data: block 65535 page 63 spare[15] = 0x00000000",
        "read_data: block 65536 page 1 spare[12] = 0x00000000",
        "read_data: block 65536 page 1 spare[13] = 0x00000000",
        "read_data: block 65536 page 1 spare[14] = 0x00000000",
        "read_data: block 65536 page 1 spare[15] = 0x00000000",
        "read_data: block 65536 page 1 spare[0] = 0xffffffff",
        "read_data: block 65537 page 5 spare[12] = 0xe70f1800",
        "read_data: block 65537 page 5 spare[13] = 0x00000000",
        "read_data: block 65537 page 5 spare[14] = 0x00000000",
        "read_data: block 65537 page 5 spare[15] = 0x1800e70f",
        "read_data: block 66576 page 23 spare[12] = 0xe70f1800",
        "read_data: block 66576 page 23 spare[13] = 0x00000000",
        "read_data: block 66576 page 23 spare[14] = 0x00000000",
        "read_data: block 66576 page 23 spare[15] = 0x00000000",
    };
    EXPECT_EQ(trace.kept, expected_lines);
}

}  // namespace
