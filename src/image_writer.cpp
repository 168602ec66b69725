// The flash image writer.
//
// Every record is laid out in place, at next_record of the output: its data
// area read or set there, then its spare area, which is zeroed first: that
// is what keeps the spare words that no rule sets at zero.  Trace lines are
// formatted by hand straight into the trace buffer, one call per page;
// their bytes equal those of the printf formats they stand for.

#include "image_writer.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "ecc.h"

namespace {

// Appends the string literal s at p; returns the new end.  Its length is
// known when compiled, so this is a few plain stores.
template <size_t N>
char* put_text(char* p, const char (&s)[N])
{
    std::memcpy(p, s, N - 1);
    return p + (N - 1);
}

// Appends v in signed decimal at p, as "%d" prints it; returns the new end.
char* put_decimal(char* p, int32_t v)
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

// Appends v as "%08x" prints it; returns the new end.  The eight nibbles
// are spread one to a byte of a 64-bit word, least significant in byte 0,
// and turned into digits together: '0' is added to each, and to each
// nibble of 10 or more (whose byte then carries into bit 4 when 6 is
// added) the distance from '0' + 10 to 'a'.  No byte ever carries into the
// next.
char* put_hex8(char* p, uint32_t v)
{
    uint64_t x = v;
    x = ((x & 0xFFFF0000ull) << 16) | (x & 0x0000FFFFull);
    x = ((x & 0x0000FF000000FF00ull) << 8) | (x & 0x000000FF000000FFull);
    x = ((x & 0x00F000F000F000F0ull) << 4) | (x & 0x000F000F000F000Full);
    const uint64_t letters = ((x + 0x0606060606060606ull) >> 4) & 0x0101010101010101ull;
    x += 0x3030303030303030ull + letters * ('a' - '0' - 10);
    for (int k = 0; k < 8; ++k)
        p[k] = static_cast<char>(x >> (8 * (7 - k)));
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

constexpr std::array<word_label, SPARE_WORDS> WORD_LABELS = make_word_labels();

// Appends " spare[n] = 0x%08x\n" to a trace line whose start is already at p.
char* put_spare_word(char* p, int n, uint32_t value)
{
    const word_label& label = WORD_LABELS[static_cast<size_t>(n)];
    std::memcpy(p, label.text, sizeof label.text);
    p = put_hex8(p + label.length, value);
    *p++ = '\n';
    return p;
}

// Appends `start` (an operation name and " block "), then "B page P", at p;
// returns the new end.
template <size_t N>
char* put_block_page(char* p, const char (&start)[N], int32_t block, int32_t page)
{
    p = put_text(p, start);
    p = put_decimal(p, block);
    p = put_text(p, " page ");
    p = put_decimal(p, page);
    return p;
}

// Room for the start of a page's trace lines: the operation, then
// "block" and "page" with their numbers.  It is always copied whole, and
// the trace is then advanced by the length used: a copy of fixed size is a
// few vector moves where one of varying size is a library call.
constexpr size_t PREFIX_ROOM = 48;

// The longest start, "read_data: block " and " page " with two numbers of
// eleven characters, fits.
static_assert(17 + 11 + 6 + 11 <= PREFIX_ROOM, "room for a line's start");

// The trace of one page, four or five lines of at most about 70 characters
// each, and the whole prefix room copied at the start of the last, fit in
// the room that trace_space gives.
static_assert(5 * 80 + PREFIX_ROOM <= TRACE_ROOM, "room for the trace of one page");

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
char* put_prefix(char* p, const line_prefix& prefix)
{
    std::memcpy(p, prefix.text, PREFIX_ROOM);
    return p + prefix.length;
}

// Sets the four ECC words of `spare` from `data` and appends one trace line
// for each, each starting with `prefix`.
char* set_ecc_words(const uint8_t* data, uint8_t* spare, char* trace, const line_prefix& prefix)
{
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        const int word = SPARE_ECC_WORD + s;
        const uint32_t ecc = computeECC(data + SECTOR_SIZE * s);
        set_spare_word(spare, word, ecc);
        trace = put_spare_word(put_prefix(trace, prefix), word, ecc);
    }
    return trace;
}

// Data-area offsets are drawn by masking a random number.
static_assert((PAGE_DATA_SIZE & (PAGE_DATA_SIZE - 1)) == 0,
              "the data area size must be a power of two");

// Flips error_bits random bits of the data area: for each, a byte offset
// drawn first, then a bit number.
void inject_bit_errors(uint8_t* data, int32_t error_bits)
{
    for (int32_t i = 0; i < error_bits; ++i) {
        const long offset = random() & static_cast<long>(PAGE_DATA_SIZE - 1);
        const long bit = random() & 7;
        data[offset] ^= static_cast<uint8_t>(1u << bit);
    }
}

// The start of the trace lines of the data and fill pages of one block,
// "read_data: block B page ", formatted again only when the block changes.
struct block_lines {
    int32_t block = -1;
    line_prefix start{};
};

// The start of the trace lines of page `page` of block `block`.
line_prefix page_prefix(block_lines& lines, int32_t block, int32_t page)
{
    if (lines.block != block) {
        char* end = put_text(lines.start.text, "read_data: block ");
        end = put_text(put_decimal(end, block), " page ");
        lines.start.length = static_cast<size_t>(end - lines.start.text);
        lines.block = block;
    }
    line_prefix prefix = lines.start;
    prefix.length =
        static_cast<size_t>(put_decimal(prefix.text + prefix.length, page) - prefix.text);
    return prefix;
}

// Completes and commits a data page or a fill page (`kind`) whose data area
// is laid out at next_record.  A status word that the page carries gets a
// trace line of its own.  The trace goes out before the record, as the
// record's write may fail.
writer_error write_page(writer_output& out, page_kind kind, int32_t block, int32_t page,
                        block_lines& lines, block_marking marking, int32_t error_bits)
{
    uint8_t* data = next_record(out);
    uint8_t* spare = data + PAGE_DATA_SIZE;
    std::memset(spare, 0, PAGE_SPARE_SIZE);
    const line_prefix prefix = page_prefix(lines, block, page);
    char* end = set_ecc_words(data, spare, trace_space(*out.trace), prefix);
    const uint32_t status = status_word_of(kind, page, marking);
    if (status != 0) {
        set_spare_word(spare, SPARE_STATUS_WORD, status);
        end = put_spare_word(put_prefix(end, prefix), SPARE_STATUS_WORD, status);
    }
    set_spare_word(spare, SPARE_TAG_WORD,
                   tag_of(kind, static_cast<uint64_t>(block), page));
    trace_add(*out.trace, end);
    inject_bit_errors(data, error_bits);
    return commit_record(out);
}

}  // namespace

bool is_bad(const optional_bad_blocks& bad_block, int32_t block)
{
    const int slot = bad_block_slot(bad_block, block);
    if (slot < 0)
        return false;
    std::fprintf(stderr, "%s: bad_block[%d] = %d\n", "is_bad", slot, (*bad_block)[slot]);
    return true;
}

writer_error write_header(writer_output& out, int32_t size)
{
    uint8_t* data = next_record(out);
    uint8_t* spare = data + PAGE_DATA_SIZE;
    // The data area is zero past the header size.
    std::memset(data, 0, PAGE_RECORD_SIZE);
    set_header_size(data, static_cast<uint32_t>(size));
    static constexpr line_prefix prefix = fixed_prefix("write_header: page -1");
    char* end = set_ecc_words(data, spare, trace_space(*out.trace), prefix);
    trace_add(*out.trace, end);
    // A header page carries the status word whether blocks are marked or not;
    // unlike the ECC words, it has no trace line.
    set_spare_word(spare, SPARE_STATUS_WORD,
                   status_word_of(page_kind::header, HEADER_PAGE, block_marking::off));
    set_spare_word(spare, SPARE_TAG_WORD, tag_of(page_kind::header, 0, HEADER_PAGE));
    return commit_record(out);
}

writer_error write_bad_block(writer_output& out, int32_t block)
{
    for (int32_t p = 0; p < PAGES_PER_BLOCK; ++p) {
        // Bad-block pages carry zero data and no ECC words: their ECC words
        // stay 0, which is also the ECC of their zero data, so computeECC is
        // not called.  Their spare words 2 to 15 stay zero from here.
        uint8_t* data = next_record(out);
        uint8_t* spare = data + PAGE_DATA_SIZE;
        std::memset(data, 0, PAGE_RECORD_SIZE);
        // A bad-block list implies marked blocks.
        set_spare_word(spare, SPARE_STATUS_WORD,
                       status_word_of(page_kind::bad_block, p, block_marking::on));
        set_spare_word(spare, SPARE_TAG_WORD,
                       tag_of(page_kind::bad_block, static_cast<uint64_t>(block), p));
        // The record goes out before its trace line.
        const writer_error error = commit_record(out);
        if (error.failure != writer_failure::none)
            return error;
        char* end = put_block_page(trace_space(*out.trace), "write_bad_block: block ", block, p);
        *end++ = '\n';
        trace_add(*out.trace, end);
    }
    return {};
}

namespace {

// Writes the bad blocks and the header page that stand before the first data
// page of a block.
writer_error start_block(writer_output& out, int32_t& block, int32_t& page,
                         const optional_bad_blocks& bad_block, bool header,
                         int32_t header_size)
{
    while (is_bad(bad_block, block)) {
        std::fprintf(stderr, "%s: block %d is bad\n", "read_data", block);
        const writer_error error = write_bad_block(out, block);
        if (error.failure != writer_failure::none)
            return error;
        ++block;
    }
    if (!header)
        return {};
    page = HEADER_PAGE + 1;
    return write_header(out, header_size);
}

}  // namespace

writer_error read_data(writer_input& in, writer_output& out, int32_t error_bits, bool fill,
                       bool bad_block_table, const optional_bad_blocks& bad_block,
                       bool header, int32_t header_size)
{
    const block_marking marking = bad_block_table ? block_marking::on : block_marking::off;
    // Records may stand before the first data page of a block: its data waits
    // here while they are laid out.
    const bool records_before_data = header || bad_block.has_value();
    uint8_t held[PAGE_DATA_SIZE];
    block_lines lines;
    int32_t block = 0;
    int32_t page = 0;
    writer_error error;

    // Main stage: one data page per read.
    for (;;) {
        const bool hold = page == 0 && records_before_data;
        uint8_t* data = hold ? held : next_record(out);
        size_t count = 0;
        error = read_page(in, data, count);
        if (error.failure != writer_failure::none)
            return error;
        if (count == 0)
            break;
        const bool end_of_input = count < PAGE_DATA_SIZE;
        if (page == 0) {
            error = start_block(out, block, page, bad_block, header, header_size);
            if (error.failure != writer_failure::none)
                return error;
        }
        if (hold)
            std::memcpy(next_record(out), held, PAGE_DATA_SIZE);
        error = write_page(out, page_kind::data, block, page, lines, marking, error_bits);
        if (error.failure != writer_failure::none)
            return error;
        if (++page == PAGES_PER_BLOCK) {
            if (end_of_input)
                return {};
            ++block;
            page = 0;
        }
        if (end_of_input) {
            std::fprintf(stderr, "Found eof on input %d read\n",
                         static_cast<int>(count));
            break;
        }
    }

    // Fill stage: empty pages up to the end of the current block.
    if (!fill)
        return {};
    for (; page < PAGES_PER_BLOCK; ++page) {
        std::memset(next_record(out), 0, PAGE_DATA_SIZE);
        error = write_page(out, page_kind::fill, block, page, lines, marking, error_bits);
        if (error.failure != writer_failure::none)
            return error;
    }
    return {};
}
