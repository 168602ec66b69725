// The converter's trace lines, formatted by hand straight into a buffer
// with room enough: their bytes equal those of the printf formats they
// stand for ("%d", "%08x"), and their common parts are made once.  Each
// function appends at p and returns the new end.  Inline, as they run for
// every line of every page.
#ifndef PAGESMITH_TRACE_FORMAT_H
#define PAGESMITH_TRACE_FORMAT_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "flash_geometry.h"

// Appends the string literal s at p; returns the new end.  Its length is
// known when compiled, so this is a few plain stores.
template <size_t N>
inline char* put_text(char* p, const char (&s)[N])
{
    std::memcpy(p, s, N - 1);
    return p + (N - 1);
}

// Appends v in signed decimal at p, as "%d" prints it; returns the new end.
inline char* put_decimal(char* p, int32_t v)
{
    // Page numbers: one or two digits, without the loop.
    if (v >= 0 && v < 100) {
        if (v >= 10)
            *p++ = static_cast<char>('0' + v / 10);
        *p++ = static_cast<char>('0' + v % 10);
        return p;
    }
    uint32_t magnitude = static_cast<uint32_t>(v);
    if (v < 0) {
        *p++ = '-';
        magnitude = 0u - magnitude;
    }
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0)
        *p++ = digits[--n];
    return p;
}

// HEX_PAIRS[b]: the two lower-case hex digits of byte b, as "%02x" prints
// them.  A word then takes four lookups and four two-byte stores instead
// of eight nibble conversions; the trace prints four or five words a page.
inline constexpr std::array<std::array<char, 2>, 256> HEX_PAIRS = [] {
    constexpr char digits[] = "0123456789abcdef";
    std::array<std::array<char, 2>, 256> pairs{};
    for (size_t b = 0; b < pairs.size(); ++b)
        pairs[b] = {digits[b >> 4], digits[b & 0xF]};
    return pairs;
}();

// Appends v as "%08x" prints it; returns the new end.
inline char* put_hex8(char* p, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        std::memcpy(p + 2 * k, HEX_PAIRS[(v >> (24 - 8 * k)) & 0xFF].data(), 2);
    return p + 8;
}

// The text before the value of spare word n, " spare[n] = 0x", in a slot
// of fixed size.
struct word_label {
    char text[16];
    size_t length;
};

// Makes the label of every spare word when compiled, so that no trace line
// formats a word's number.
constexpr std::array<word_label, SPARE_WORDS> make_word_labels()
{
    static_assert(SPARE_WORDS <= 100, "two digits for a word's number");
    std::array<word_label, SPARE_WORDS> labels{};
    for (int n = 0; n < SPARE_WORDS; ++n) {
        word_label& label = labels[static_cast<size_t>(n)];
        size_t k = 0;
        for (const char c : std::string_view(" spare["))
            label.text[k++] = c;
        if (n >= 10)
            label.text[k++] = static_cast<char>('0' + n / 10);
        label.text[k++] = static_cast<char>('0' + n % 10);
        for (const char c : std::string_view("] = 0x"))
            label.text[k++] = c;
        label.length = k;
    }
    return labels;
}

inline constexpr std::array<word_label, SPARE_WORDS> WORD_LABELS = make_word_labels();

// Appends " spare[n] = 0x%08x\n" to a trace line whose start is already at p.
inline char* put_spare_word(char* p, int n, uint32_t value)
{
    const word_label& label = WORD_LABELS[static_cast<size_t>(n)];
    std::memcpy(p, label.text, sizeof label.text);
    p = put_hex8(p + label.length, value);
    *p++ = '\n';
    return p;
}

// The words between a line's block number and its page number.
inline constexpr char PAGE_WORD[] = " page ";

// The start of the trace lines of data and fill pages, before the block.
inline constexpr char DATA_LINE_START[] = "read_data: block ";

// Characters of the longest number "%d" prints, "-2147483648".
constexpr size_t LONGEST_DECIMAL = 11;

// Appends `start` (an operation name and " block "), then "B page P", at p;
// returns the new end.
template <size_t N>
inline char* put_block_page(char* p, const char (&start)[N], int32_t block, int32_t page)
{
    p = put_text(p, start);
    p = put_decimal(p, block);
    p = put_text(p, PAGE_WORD);
    p = put_decimal(p, page);
    return p;
}

// Room for the start of a page's trace lines: the operation, then
// "block" and "page" with their numbers.  It is always copied whole, and
// the trace is then advanced by the length used: a copy of fixed size is a
// few vector moves where one of varying size is a library call.
constexpr size_t PREFIX_ROOM = 48;

// The longest start of a data page's line fits.
static_assert(sizeof DATA_LINE_START - 1 + LONGEST_DECIMAL + sizeof PAGE_WORD - 1 +
                      LONGEST_DECIMAL <= PREFIX_ROOM,
              "room for a line's start");

// The start of a page's trace lines, `length` bytes of `text`.
struct line_prefix {
    char text[PREFIX_ROOM];
    size_t length;
};

// The prefix that is the string literal s.
template <size_t N>
constexpr line_prefix fixed_prefix(const char (&s)[N])
{
    static_assert(N - 1 <= PREFIX_ROOM, "room for a line's start");
    line_prefix prefix{};
    for (size_t i = 0; i + 1 < N; ++i)
        prefix.text[i] = s[i];
    prefix.length = N - 1;
    return prefix;
}

// Appends the prefix at p; returns the new end.
inline char* put_prefix(char* p, const line_prefix& prefix)
{
    std::memcpy(p, prefix.text, PREFIX_ROOM);
    return p + prefix.length;
}

// The start of the trace lines of the data and fill pages of one block,
// "read_data: block B page ", formatted again only when the block changes.
struct block_lines {
    int32_t block = -1;
    line_prefix start{};
};

// The start of the trace lines of page `page` of block `block`.
inline line_prefix page_prefix(block_lines& lines, int32_t block, int32_t page)
{
    if (lines.block != block) {
        char* end = put_text(lines.start.text, DATA_LINE_START);
        end = put_text(put_decimal(end, block), PAGE_WORD);
        lines.start.length = static_cast<size_t>(end - lines.start.text);
        lines.block = block;
    }
    line_prefix prefix = lines.start;
    prefix.length =
        static_cast<size_t>(put_decimal(prefix.text + prefix.length, page) - prefix.text);
    return prefix;
}

#endif
