// The flash image writer.
//
// Every record is laid out in place, at next_record of the output: its data
// area read or set there, then its spare area, which is zeroed first: that
// is what keeps the spare words that no rule sets at zero.  Trace lines are
// formatted straight into the trace buffer (trace_format.h), one call per
// page.

#include "image_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ecc.h"
#include "trace_format.h"

namespace {

// The trace of one page, four or five lines of at most about 70 characters
// each, and the whole prefix room copied at the start of the last, fit in
// the room that trace_space gives.
static_assert(5 * 80 + PREFIX_ROOM <= TRACE_ROOM, "room for the trace of one page");

// Sets the four ECC words of `spare` from `data` and appends one trace line
// for each, each starting with `prefix`, unless `trace` is null (a trace
// that is thrown away is not made).
char* set_ecc_words(const uint8_t* data, uint8_t* spare, char* trace, const line_prefix& prefix)
{
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        const int word = SPARE_ECC_WORD + s;
        const uint32_t ecc = computeECC(data + SECTOR_SIZE * s);
        set_spare_word(spare, word, ecc);
        if (trace)
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
    char* end = set_ecc_words(data, spare, wanted_trace_space(*out.trace), prefix);
    const uint32_t status = status_word_of(kind, page, marking);
    if (status != 0) {
        set_spare_word(spare, SPARE_STATUS_WORD, status);
        if (end)
            end = put_spare_word(put_prefix(end, prefix), SPARE_STATUS_WORD, status);
    }
    set_spare_word(spare, SPARE_TAG_WORD,
                   tag_of(kind, static_cast<uint64_t>(block), page));
    if (end)
        trace_add(*out.trace, end);
    inject_bit_errors(data, error_bits);
    return commit_record(out);
}

}  // namespace

bool is_bad(const optional_bad_blocks& bad_block, int32_t block, FILE* notes)
{
    const int slot = bad_block_slot(bad_block, block);
    if (slot < 0)
        return false;
    if (notes)
        std::fprintf(notes, "%s: bad_block[%d] = %d\n", "is_bad", slot, (*bad_block)[slot]);
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
    while (is_bad(bad_block, block, out.notes)) {
        if (out.notes)
            std::fprintf(out.notes, "%s: block %d is bad\n", "read_data", block);
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

writer_error read_data(writer_input& in, writer_output& out, const run_settings& settings,
                       int32_t header_size)
{
    const int32_t error_bits = settings.error_bits;
    const optional_bad_blocks& bad_block = settings.bad_block;
    const bool header = settings.header;
    const block_marking marking =
        settings.bad_block_table ? block_marking::on : block_marking::off;
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
        if (error.failure != writer_failure::none) {
            // The image still holds every page read before the failure.
            flush_image(out);
            return error;
        }
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
            if (out.notes)
                std::fprintf(out.notes, "Found eof on input %d read\n", static_cast<int>(count));
            break;
        }
    }

    // Fill stage: empty pages up to the end of the current block.
    if (!settings.fill)
        return {};
    for (; page < PAGES_PER_BLOCK; ++page) {
        std::memset(next_record(out), 0, PAGE_DATA_SIZE);
        error = write_page(out, page_kind::fill, block, page, lines, marking, error_bits);
        if (error.failure != writer_failure::none)
            return error;
    }
    return {};
}
