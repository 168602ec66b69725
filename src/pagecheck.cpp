// pagecheck: verifies a flash image made by pagesmith, corrects single bit
// errors and recovers the input it was made from.
//
//   pagecheck [-H] [-B LIST] [-o FILE] [-q] IMAGE
//
// The image is read one page record at a time, with one record of look-ahead;
// memory use does not depend on the image size.  Each record is decoded
// sector by sector, classified as a data, header, bad-block or fill page from
// its position, its spare words and the layout options, and checked against
// what the converter writes for that kind.  Findings go to the report stream
// one line each, then one summary line.
//
// Exit status: 0 sound, 1 uncorrectable or malformed, 2 usage or file error.

#include <getopt.h>
#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ecc.h"
#include "flash_geometry.h"

#ifndef PAGESMITH_VERSION
#define PAGESMITH_VERSION "unknown"
#endif

namespace {

// Exit statuses.
constexpr int STATUS_SOUND = 0;
constexpr int STATUS_DAMAGED = 1;
constexpr int STATUS_TROUBLE = 2;

// Stream buffer sizes, so that reads and writes reach the system in big pieces.
constexpr size_t IMAGE_BUFFER_SIZE = 256 * 1024;
constexpr size_t OUTPUT_BUFFER_SIZE = 256 * 1024;

// The four kinds of page record.
enum page_kind { KIND_DATA, KIND_HEADER, KIND_BAD, KIND_FILL, KIND_COUNT };

// Names of the page kinds, as used in the report.
const char* const kind_names[KIND_COUNT] = {"data", "header", "bad-block", "fill"};

// What the command line asks for.
struct check_options {
    bool header = false;                    // -H
    bool bad_list_given = false;            // -B (also with an empty list)
    int32_t bad_blocks[MAX_BAD_BLOCKS] = {};  // -B numbers
    int bad_count = 0;                      // used slots of bad_blocks
    const char* output = nullptr;           // -o, or none
    bool quiet = false;                     // -q
    const char* image = nullptr;            // the operand
};

// One page record and where it stands.
struct record {
    uint8_t* data;         // PAGE_DATA_SIZE bytes, corrected in place
    const uint8_t* spare;  // PAGE_SPARE_SIZE bytes
    uint64_t block;        // position: record index / PAGES_PER_BLOCK
    int page;              // position: record index % PAGES_PER_BLOCK
};

// The record after the current one, as far as classification needs it.
struct look_ahead {
    bool present = false;  // a whole record follows
    uint32_t tag = 0;      // its page tag
};

// Decoding of the four sectors of one record.
struct page_decoding {
    ecc_decoding sector[SECTORS_PER_PAGE];
    uint32_t syndrome[SECTORS_PER_PAGE];  // stored XOR recomputed word
    bool uncorrectable = false;           // some sector could not be decoded
};

// Everything the run counts and remembers between records.
struct check_state {
    FILE* report = stdout;  // findings and summary
    const char* prefix = "";  // "pagecheck: " when the report is on the error stream
    bool quiet = false;     // print only the summary
    uint64_t records = 0;
    uint64_t kinds[KIND_COUNT] = {};
    uint64_t sectors = 0;
    uint64_t corrected = 0;
    uint64_t uncorrectable = 0;
    uint64_t problems = 0;        // layout and content findings
    bool have_previous = false;   // a record came before
    page_kind previous = KIND_DATA;
    int previous_page = 0;
    int marks = -1;               // status word of data pages 0/1: -1 unknown, 0 or 1
    bool have_header_size = false;
    uint32_t header_size = 0;     // held by the first header page
    uint64_t data_pages = 0;
    FILE* out = nullptr;          // recovered input, or none
    const char* out_name = nullptr;
    bool holding = false;         // held_page waits to be written
    uint8_t held_page[PAGE_DATA_SIZE];  // the latest data page
};

// ---- error helpers: every message on the error stream goes through these.

// Writes "pagecheck: " and a printf-style message to the error stream.
void say(const char* format, va_list args)
{
    std::fputs("pagecheck: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
}

// Reports a usage error, points at --help and ends with status 2.
[[noreturn]] __attribute__((format(printf, 1, 2))) void usage_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    say(format, args);
    va_end(args);
    std::fputs("Try 'pagecheck --help' for more information.\n", stderr);
    std::exit(STATUS_TROUBLE);
}

// Reports "NAME: system error text" and ends with status 2.
[[noreturn]] void file_error(const char* name)
{
    const int saved = errno;
    std::fprintf(stderr, "pagecheck: %s: %s\n", name, std::strerror(saved));
    std::exit(STATUS_TROUBLE);
}

// Reports a printf-style file problem and ends with status 2.
[[noreturn]] __attribute__((format(printf, 1, 2))) void file_trouble(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    say(format, args);
    va_end(args);
    std::exit(STATUS_TROUBLE);
}

// ---- command line.

// Prints the help text on the standard output.
void print_help()
{
    std::fputs(
        "usage: pagecheck [-H] [-B LIST] [-o FILE] [-q] IMAGE\n"
        "Verifies a flash image made by pagesmith, corrects single bit errors and\n"
        "recovers the input it was made from.\n"
        "\n"
        "  -H, --header           the image has a header page at the start of each\n"
        "                         block holding data (made with -h)\n"
        "  -B, --bad-blocks LIST  the bad-block list the image was made with,\n"
        "                         comma-separated (as given to -B)\n"
        "  -o, --output FILE      write the recovered input to FILE (\"-\" for\n"
        "                         standard output)\n"
        "  -q, --quiet            print only the summary\n"
        "      --help             print this text and exit\n"
        "      --version          print the version and exit\n"
        "\n"
        "Exit status: 0 when every sector is clean or corrected and the image is\n"
        "well formed, 1 when a sector is uncorrectable or the image is malformed,\n"
        "2 on a usage error or a file that cannot be read or written.\n",
        stdout);
}

// Parses one block number of a -B list: decimal digits only, 0..INT32_MAX.
int32_t parse_block_number(const char* begin, const char* end, const char* list)
{
    if (begin == end)
        usage_error("empty block number in bad-block list '%s'", list);
    int64_t value = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9')
            usage_error("bad block number in bad-block list '%s'", list);
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX)
            usage_error("block number too large in bad-block list '%s'", list);
    }
    return static_cast<int32_t>(value);
}

// Appends the comma-separated block numbers of `list` to the options.
void add_bad_blocks(check_options& options, const char* list)
{
    options.bad_list_given = true;
    if (*list == '\0')
        return;
    const char* begin = list;
    for (;;) {
        const char* end = std::strchr(begin, ',');
        if (!end)
            end = begin + std::strlen(begin);
        if (options.bad_count == MAX_BAD_BLOCKS)
            usage_error("more than %d bad blocks", MAX_BAD_BLOCKS);
        options.bad_blocks[options.bad_count++] = parse_block_number(begin, end, list);
        if (*end == '\0')
            return;
        begin = end + 1;
    }
}

// Walks the command line into options; ends the process on --help,
// --version and usage errors.
check_options parse_command_line(int argc, char** argv)
{
    enum { OPTION_HELP = 256, OPTION_VERSION };
    static const option long_options[] = {
        {"header", no_argument, nullptr, 'H'},
        {"bad-blocks", required_argument, nullptr, 'B'},
        {"output", required_argument, nullptr, 'o'},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, OPTION_HELP},
        {"version", no_argument, nullptr, OPTION_VERSION},
        {nullptr, 0, nullptr, 0},
    };
    check_options options;
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, "+:HB:o:q", long_options, nullptr);
        if (c == -1)
            break;
        switch (c) {
        case 'H': options.header = true; break;
        case 'B': add_bad_blocks(options, optarg); break;
        case 'o': options.output = optarg; break;
        case 'q': options.quiet = true; break;
        case OPTION_HELP: print_help(); std::exit(STATUS_SOUND);
        case OPTION_VERSION: std::printf("pagecheck %s\n", PAGESMITH_VERSION); std::exit(STATUS_SOUND);
        case ':': usage_error("option '%s' needs a value", argv[optind - 1]);
        default:
            if (optopt != 0)
                usage_error("unknown option '-%c'", optopt);
            usage_error("unknown option '%s'", argv[optind - 1]);
        }
    }
    if (optind >= argc)
        usage_error("no image given");
    if (optind + 1 < argc)
        usage_error("unexpected argument '%s' after the image", argv[optind + 1]);
    options.image = argv[optind];
    return options;
}

// True when `block` stands in the -B list.
bool is_listed(const check_options& options, uint64_t block)
{
    for (int k = 0; k < options.bad_count; ++k)
        if (static_cast<uint64_t>(options.bad_blocks[k]) == block)
            return true;
    return false;
}

// ---- report.

// Prints one finding about a record: "block B page P (kind)" then the text.
__attribute__((format(printf, 4, 5)))
void report_record(const check_state& state, const record& r, page_kind kind,
                   const char* format, ...)
{
    if (state.quiet)
        return;
    std::fprintf(state.report, "%sblock %" PRIu64 " page %d (%s)", state.prefix, r.block,
                 r.page, kind_names[kind]);
    va_list args;
    va_start(args, format);
    std::vfprintf(state.report, format, args);
    va_end(args);
    std::fputc('\n', state.report);
}

// Prints one finding about the image as a whole and counts it as a problem.
__attribute__((format(printf, 2, 3)))
void report_image(check_state& state, const char* format, ...)
{
    ++state.problems;
    if (state.quiet)
        return;
    std::fputs(state.prefix, state.report);
    va_list args;
    va_start(args, format);
    std::vfprintf(state.report, format, args);
    va_end(args);
    std::fputc('\n', state.report);
}

// ---- recovered output.

// Writes n bytes to the output; a short write ends with status 2.
void write_output(check_state& state, const uint8_t* bytes, size_t n)
{
    if (n != 0 && std::fwrite(bytes, 1, n, state.out) != n)
        file_error(state.out_name);
}

// Takes a data page for the output.  The latest page is held back, since
// with -H the last one is cut to the size held in the header pages.
void emit_data_page(check_state& state, const uint8_t* data)
{
    if (!state.out)
        return;
    if (state.holding)
        write_output(state, state.held_page, PAGE_DATA_SIZE);
    std::memcpy(state.held_page, data, PAGE_DATA_SIZE);
    state.holding = true;
}

// Bytes of the last data page that belong to the input, when the header
// size fits the data pages; else PAGE_DATA_SIZE.  The input size is the
// unique S with data bytes - 2048 < S <= data bytes whose low 32 bits equal
// the header size (the converter stores only the low 32 bits).
size_t last_page_length(check_state& state, bool header)
{
    if (!header || !state.have_header_size || state.data_pages == 0)
        return PAGE_DATA_SIZE;
    const uint64_t data_bytes = state.data_pages * PAGE_DATA_SIZE;
    const uint32_t cut = static_cast<uint32_t>(data_bytes) - state.header_size;
    if (cut < PAGE_DATA_SIZE)
        return PAGE_DATA_SIZE - cut;
    report_image(state, "header size %" PRIu32 " does not fit the %" PRIu64
                        " bytes of data pages; nothing is cut",
                 state.header_size, data_bytes);
    return PAGE_DATA_SIZE;
}

// Writes the held page (cut with -H) and closes the output.
void finish_output(check_state& state, bool header)
{
    const size_t length = last_page_length(state, header);
    if (!state.out)
        return;
    if (state.holding)
        write_output(state, state.held_page, length);
    if (state.out == stdout) {
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            file_error(state.out_name);
    } else if (std::fclose(state.out) != 0) {
        file_error(state.out_name);
    }
}

// ---- one record.

// Spare word n of a record.
uint32_t spare_word(const record& r, int n)
{
    return get_le32(r.spare + 4 * n);
}

// True when the n bytes at p are all zero.
bool all_zero(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

// Decodes the four sectors and corrects single data-bit errors in place.
page_decoding decode_page(const record& r)
{
    page_decoding d;
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        uint8_t* sector = r.data + SECTOR_SIZE * static_cast<size_t>(s);
        const uint32_t stored = spare_word(r, SPARE_ECC_WORD + s);
        const uint32_t computed = computeECC(sector);
        d.syndrome[s] = stored ^ computed;
        d.sector[s] = decode_ecc(stored, computed);
        if (d.sector[s].outcome == ecc_outcome::data_bit)
            sector[d.sector[s].byte] ^= static_cast<uint8_t>(1u << d.sector[s].bit);
        else if (d.sector[s].outcome == ecc_outcome::uncorrectable)
            d.uncorrectable = true;
    }
    return d;
}

// True when the record is, as far as can be told, a fill page: its whole
// spare area is zero and every sector decodes to zero bytes or not at all.
bool looks_like_fill(const record& r, const page_decoding& d)
{
    if (!all_zero(r.spare, PAGE_SPARE_SIZE))
        return false;
    for (int s = 0; s < SECTORS_PER_PAGE; ++s)
        if (d.sector[s].outcome != ecc_outcome::uncorrectable &&
            !all_zero(r.data + SECTOR_SIZE * static_cast<size_t>(s), SECTOR_SIZE))
            return false;
    return true;
}

// Page tag of a data or bad-block page at the record's position.
uint32_t position_tag(const record& r)
{
    return page_tag(static_cast<int32_t>(r.block & 0xFFFF), r.page);
}

// Classifies a record.  The position and the options give the kind that
// stands there unless the fill pages have begun: bad-block pages in listed
// blocks, a header page at page 0 with -H, else a data page.  Fill pages
// carry tag 0, which no data or bad-block page carries except at page 0 of
// block 0 (and of every 65536th block).  There, and at header positions, a
// fill page starts a whole block of fill pages, so the next record decides:
// its tag is 0 only if it is a fill page.  A data page at such a position
// counts as fill only if it cannot be told from one (looks_like_fill).
page_kind classify(const check_options& options, const record& r,
                   const page_decoding& d, const look_ahead& next)
{
    page_kind expected = KIND_DATA;
    if (is_listed(options, r.block))
        expected = KIND_BAD;
    else if (r.page == 0 && options.header)
        expected = KIND_HEADER;
    if (spare_word(r, SPARE_TAG_WORD) != 0)
        return expected;
    if (expected != KIND_HEADER && position_tag(r) != 0)
        return KIND_FILL;
    if (!next.present || next.tag != 0)
        return expected;
    if (expected == KIND_DATA && !looks_like_fill(r, d))
        return KIND_DATA;
    return KIND_FILL;
}

// Reports the sector findings of a record and counts them.
void check_sectors(check_state& state, const record& r, page_kind kind,
                   const page_decoding& d)
{
    state.sectors += SECTORS_PER_PAGE;
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        const ecc_decoding& e = d.sector[s];
        if (e.outcome == ecc_outcome::data_bit) {
            ++state.corrected;
            report_record(state, r, kind, " sector %d: corrected byte %d bit %d", s,
                          s * static_cast<int>(SECTOR_SIZE) + e.byte, e.bit);
        } else if (e.outcome == ecc_outcome::code_bit) {
            ++state.corrected;
            report_record(state, r, kind,
                          " sector %d: ECC word spare[%d] bit %d flipped, data intact", s,
                          SPARE_ECC_WORD + s, e.bit);
        } else if (e.outcome == ecc_outcome::uncorrectable) {
            ++state.uncorrectable;
            report_record(state, r, kind, " sector %d: uncorrectable, syndrome 0x%08" PRIx32,
                          s, d.syndrome[s]);
        }
    }
}

// The block status word a record of this kind must carry, or -1 when the
// first data page 0/1 of the image decides (without -B, -b is not known).
int64_t expected_status(const check_state& state, const record& r, page_kind kind)
{
    if (kind == KIND_HEADER)
        return BLOCK_STATUS_MARKED;
    if (kind != KIND_DATA || r.page >= 2)
        return 0;
    if (state.marks < 0)
        return -1;
    return state.marks ? BLOCK_STATUS_MARKED : 0;
}

// Checks the tag, the status word and the always-zero spare words.
void check_spare(check_state& state, const record& r, page_kind kind)
{
    const uint32_t tag = spare_word(r, SPARE_TAG_WORD);
    const uint32_t want_tag = (kind == KIND_DATA || kind == KIND_BAD) ? position_tag(r) : 0;
    if (tag != want_tag) {
        ++state.problems;
        report_record(state, r, kind, ": page tag 0x%08" PRIx32 ", expected 0x%08" PRIx32,
                      tag, want_tag);
    }
    const uint32_t status = spare_word(r, SPARE_STATUS_WORD);
    int64_t want_status = expected_status(state, r, kind);
    if (want_status < 0 && (status == 0 || status == BLOCK_STATUS_MARKED)) {
        state.marks = status == BLOCK_STATUS_MARKED;
        want_status = status;
    }
    if (want_status < 0 || status != static_cast<uint32_t>(want_status)) {
        ++state.problems;
        if (want_status < 0)
            report_record(state, r, kind, ": block status word 0x%08" PRIx32
                                          ", expected 0x00000000 or 0xffffffff", status);
        else
            report_record(state, r, kind, ": block status word 0x%08" PRIx32
                                          ", expected 0x%08" PRIx32,
                          status, static_cast<uint32_t>(want_status));
    }
    for (int n = SPARE_TAG_WORD + 1; n < SPARE_ECC_WORD; ++n) {
        const uint32_t word = spare_word(r, n);
        if (word != 0) {
            ++state.problems;
            report_record(state, r, kind, ": spare[%d] = 0x%08" PRIx32 ", expected 0", n,
                          word);
        }
    }
}

// Checks the data area against the kind: header pages hold the size and
// zeros, bad-block and fill pages only zeros.  Uncorrectable data is not
// judged again.
void check_content(check_state& state, const record& r, page_kind kind,
                   const page_decoding& d)
{
    if (kind == KIND_DATA || d.uncorrectable)
        return;
    const size_t from = kind == KIND_HEADER ? 4 : 0;
    if (!all_zero(r.data + from, PAGE_DATA_SIZE - from)) {
        ++state.problems;
        report_record(state, r, kind, kind == KIND_HEADER ? ": bytes 4-2047 are not zero"
                                                          : ": data area is not zero");
    }
    if (kind != KIND_HEADER)
        return;
    const uint32_t size = get_le32(r.data);
    if (!state.have_header_size) {
        state.have_header_size = true;
        state.header_size = size;
    } else if (size != state.header_size) {
        ++state.problems;
        report_record(state, r, kind, ": header size %" PRIu32
                                      ", the first header page holds %" PRIu32,
                      size, state.header_size);
    }
}

// True when a record of kind `kind` at page `page` may follow the previous
// record, the way the converter orders them: bad blocks and header pages
// only before data, fill pages only after the last data page and to the end
// of its block.
bool in_order(const check_state& state, page_kind kind, int page)
{
    if (!state.have_previous)
        return true;
    const page_kind p = state.previous;
    switch (kind) {
    case KIND_HEADER: return p == KIND_DATA || p == KIND_BAD;
    case KIND_DATA: return page == 0 ? (p == KIND_DATA || p == KIND_BAD)
                                     : (p == KIND_DATA || p == KIND_HEADER);
    case KIND_BAD: return page == 0 ? (p == KIND_DATA || p == KIND_BAD) : p == KIND_BAD;
    default: return page == 0 ? p == KIND_DATA : (p == KIND_DATA || p == KIND_FILL);
    }
}

// Checks, counts and passes on one whole record.
void check_record(check_state& state, const check_options& options, const record& r,
                  const look_ahead& next)
{
    const page_decoding d = decode_page(r);
    const page_kind kind = classify(options, r, d, next);
    ++state.records;
    ++state.kinds[kind];
    check_sectors(state, r, kind, d);
    check_spare(state, r, kind);
    check_content(state, r, kind, d);
    if (!in_order(state, kind, r.page)) {
        ++state.problems;
        report_record(state, r, kind, ": out of place after a %s page",
                      kind_names[state.previous]);
    }
    state.have_previous = true;
    state.previous = kind;
    state.previous_page = r.page;
    if (kind == KIND_DATA) {
        ++state.data_pages;
        emit_data_page(state, r.data);
    }
}

// Checks how the image ends: after a data page, or after page 63 of the
// fill pages.
void check_ending(check_state& state)
{
    if (!state.have_previous || state.previous == KIND_DATA)
        return;
    if (state.previous == KIND_FILL && state.previous_page == PAGES_PER_BLOCK - 1)
        return;
    if (state.previous == KIND_FILL)
        report_image(state, "image ends inside the fill pages, at page %d",
                     state.previous_page);
    else
        report_image(state, "image ends after a %s page, before any data page that follows it",
                     kind_names[state.previous]);
}

// Reads one record, or what is left of the image; a read error ends with
// status 2.
size_t read_record(FILE* in, const char* name, uint8_t* buffer)
{
    const size_t n = std::fread(buffer, 1, PAGE_RECORD_SIZE, in);
    if (std::ferror(in))
        file_error(name);
    return n;
}

// Reads the whole image, record by record, with one record of look-ahead.
void check_image(check_state& state, const check_options& options, FILE* in)
{
    static uint8_t buffers[2][PAGE_RECORD_SIZE];
    int current = 0;
    size_t n = read_record(in, options.image, buffers[current]);
    uint64_t index = 0;
    while (n == PAGE_RECORD_SIZE) {
        const size_t m = read_record(in, options.image, buffers[1 - current]);
        look_ahead next;
        next.present = m == PAGE_RECORD_SIZE;
        next.tag = get_le32(buffers[1 - current] + PAGE_DATA_SIZE + 4 * SPARE_TAG_WORD);
        const record r = {buffers[current], buffers[current] + PAGE_DATA_SIZE,
                          index / PAGES_PER_BLOCK,
                          static_cast<int>(index % PAGES_PER_BLOCK)};
        check_record(state, options, r, next);
        current = 1 - current;
        n = m;
        ++index;
    }
    check_ending(state);
    if (n > 0)
        report_image(state, "trailing partial record of %zu bytes", n);
}

// Opens the output named by -o ("-" is the standard output), refusing the
// image itself.
FILE* open_output(const char* name, FILE* image, const char* image_name)
{
    if (std::strcmp(name, "-") == 0)
        return stdout;
    struct stat image_stat;
    struct stat output_stat;
    if (fstat(fileno(image), &image_stat) == 0 && stat(name, &output_stat) == 0 &&
        S_ISREG(output_stat.st_mode) && image_stat.st_dev == output_stat.st_dev &&
        image_stat.st_ino == output_stat.st_ino)
        file_trouble("output '%s' is the image '%s' itself", name, image_name);
    FILE* out = std::fopen(name, "wb");
    if (!out)
        file_error(name);
    return out;
}

// Prints the summary line.
void print_summary(const check_state& state)
{
    const uint64_t blocks = (state.records + PAGES_PER_BLOCK - 1) / PAGES_PER_BLOCK;
    std::fprintf(state.report,
                 "%ssummary: %" PRIu64 " records, %" PRIu64 " blocks; %" PRIu64 " data, %" PRIu64
                 " header, %" PRIu64 " bad-block, %" PRIu64 " fill pages; %" PRIu64
                 " sectors checked, %" PRIu64 " corrected, %" PRIu64 " uncorrectable; %" PRIu64
                 " other problems\n",
                 state.prefix, state.records, blocks, state.kinds[KIND_DATA], state.kinds[KIND_HEADER],
                 state.kinds[KIND_BAD], state.kinds[KIND_FILL], state.sectors,
                 state.corrected, state.uncorrectable, state.problems);
}

}  // namespace

int main(int argc, char** argv)
{
    const check_options options = parse_command_line(argc, argv);
    static char image_buffer[IMAGE_BUFFER_SIZE];
    static char output_buffer[OUTPUT_BUFFER_SIZE];
    static check_state state;

    FILE* in = std::fopen(options.image, "rb");
    if (!in)
        file_error(options.image);
    std::setvbuf(in, image_buffer, _IOFBF, sizeof image_buffer);
    state.quiet = options.quiet;
    state.marks = options.bad_list_given ? 1 : -1;
    if (options.output) {
        state.out = open_output(options.output, in, options.image);
        state.out_name = state.out == stdout ? "standard output" : options.output;
        std::setvbuf(state.out, output_buffer, _IOFBF, sizeof output_buffer);
        if (state.out == stdout) {
            state.report = stderr;
            state.prefix = "pagecheck: ";
        }
    }

    check_image(state, options, in);
    finish_output(state, options.header);
    print_summary(state);
    if (std::fflush(state.report) != 0 || std::ferror(state.report))
        file_trouble("cannot write the report");
    return state.problems != 0 || state.uncorrectable != 0 ? STATUS_DAMAGED : STATUS_SOUND;
}
