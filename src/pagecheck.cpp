// pagecheck: verifies a flash image made by pagesmith, corrects single bit
// errors and recovers the input it was made from.
//
//   pagecheck [-H] [-B LIST] [-o FILE] [-q] IMAGE
//
// This file is the command line: it opens the image and the output, and
// connects the checking core to the report and to the recovered input.
//
// Exit status: 0 sound, 1 uncorrectable or malformed, 2 usage or file error.

#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "check_report.h"
#include "errors.h"
#include "file_checks.h"
#include "image_check.h"
#include "input_recovery.h"

#ifndef PAGESMITH_VERSION
#define PAGESMITH_VERSION "unknown"
#endif

namespace {

// pagecheck's failures: every message starts "pagecheck: ", status 2.
constexpr error_style PAGECHECK_ERRORS = {"pagecheck: ", 2};

// Stream buffer sizes, so that reads and writes reach the system in big pieces.
constexpr size_t IMAGE_BUFFER_SIZE = 256 * 1024;
constexpr size_t OUTPUT_BUFFER_SIZE = 256 * 1024;

// What the command line asks for.
struct check_options {
    expected_layout layout;                          // -H, -B
    const char* output = nullptr;                    // -o, or none
    report_detail detail = report_detail::findings;  // -q
    const char* image = nullptr;                     // the operand; "-" standard input
};

// The long options; the short ones are "HB:o:q".
enum { OPTION_HELP = 256, OPTION_VERSION };
const option long_options[] = {
    {"header", no_argument, nullptr, 'H'},
    {"bad-blocks", required_argument, nullptr, 'B'},
    {"output", required_argument, nullptr, 'o'},
    {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, OPTION_HELP},
    {"version", no_argument, nullptr, OPTION_VERSION},
    {nullptr, 0, nullptr, 0},
};

// Reports a usage error, points at --help and ends with status 2.
[[noreturn]] __attribute__((format(printf, 1, 2))) void usage_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsay(PAGECHECK_ERRORS, format, args);
    va_end(args);
    std::fputs("Try 'pagecheck --help' for more information.\n", stderr);
    std::exit(PAGECHECK_ERRORS.status);
}

// Writes text on the standard output and ends with status 0, or with
// status 2 when it cannot be written.
[[noreturn]] void print_and_exit(const char* text)
{
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0 || std::ferror(stdout))
        fail_errno(PAGECHECK_ERRORS, "standard output");
    std::exit(0);
}

// The help text.
const char help_text[] =
    "usage: pagecheck [-H] [-B LIST] [-o FILE] [-q] IMAGE\n"
    "Verifies a flash image made by pagesmith, corrects single bit errors and\n"
    "recovers the input it was made from.  IMAGE \"-\" reads the standard input;\n"
    "options may come before or after it.\n"
    "\n"
    "  -H, --header           the image has a header page at the start of each\n"
    "                         block holding data (made with -h)\n"
    "  -B, --bad-blocks LIST  the bad-block list the image was made with,\n"
    "                         comma-separated (as given to -B)\n"
    "  -o, --output FILE      write the recovered input to FILE (\"-\" for\n"
    "                         standard output; the report then goes to the\n"
    "                         error stream)\n"
    "  -q, --quiet            print only the summary\n"
    "      --help             print this text and exit\n"
    "      --version          print the version and exit\n"
    "\n"
    "Exit status: 0 when every sector is clean or corrected and the image is\n"
    "well formed, 1 when a sector is uncorrectable or the image is malformed,\n"
    "2 on a usage error or a file that cannot be read or written.\n";

// Parses one block number of a -B list: decimal digits only, 0..INT32_MAX.
int32_t parse_block_number(const char* begin, const char* end, const char* list)
{
    if (begin == end)
        usage_error("empty block number in bad-block list '%s'\n", list);
    int64_t value = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9')
            usage_error("bad block number in bad-block list '%s'\n", list);
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX)
            usage_error("block number too large in bad-block list '%s'\n", list);
    }
    return static_cast<int32_t>(value);
}

// Appends the comma-separated block numbers of `list` to the bad-block list.
void add_bad_blocks(optional_bad_blocks& blocks, const char* list)
{
    if (!blocks)
        blocks.emplace().fill(-1);
    int used = 0;
    while (used < MAX_BAD_BLOCKS && (*blocks)[used] != -1)
        ++used;
    if (*list == '\0')
        return;
    for (const char* begin = list;;) {
        const char* end = begin + std::strcspn(begin, ",");
        if (used == MAX_BAD_BLOCKS)
            usage_error("more than %d bad blocks\n", MAX_BAD_BLOCKS);
        (*blocks)[used++] = parse_block_number(begin, end, list);
        if (*end == '\0')
            return;
        begin = end + 1;
    }
}

// The long options whose names start with the `length` characters at name,
// as "--a, --b"; just the one whose name it is whole, if any.
std::string long_matches(const char* name, size_t length, int& count)
{
    std::string names;
    count = 0;
    for (const option* o = long_options; o->name; ++o) {
        if (std::strncmp(o->name, name, length) != 0)
            continue;
        if (std::strlen(o->name) == length) {
            count = 1;
            return std::string("--") + o->name;
        }
        names += (count++ == 0 ? "--" : ", --") + std::string(o->name);
    }
    return names;
}

// Reports an option that getopt_long rejected, named as it was typed.
[[noreturn]] void reject_option(const char* typed, int code)
{
    const bool is_long = std::strncmp(typed, "--", 2) == 0;
    const char* name = typed + 2;
    const size_t length = std::strcspn(name, "=");
    int matches = 0;
    const std::string candidates = is_long ? long_matches(name, length, matches) : "";
    if (code == ':' && is_long)
        usage_error("option '%s' needs a value\n", typed);
    if (code == ':')
        usage_error("option '-%c' needs a value\n", optopt);
    if (optopt == 0 && matches > 1)
        usage_error("option '%s' is ambiguous: %s\n", typed, candidates.c_str());
    if (optopt == 0)
        usage_error("unknown option '%s'\n", typed);
    if (is_long && name[length] == '=' && matches == 1)
        usage_error("option '%s' takes no value\n", typed);
    usage_error("unknown option '-%c'\n", optopt);
}

// Walks the command line into options; ends the process on --help,
// --version and usage errors.
check_options parse_command_line(int argc, char** argv)
{
    check_options options;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":HB:o:q", long_options, nullptr)) != -1;) {
        switch (c) {
        case 'H': options.layout.header = header_pages::present; break;
        case 'B': add_bad_blocks(options.layout.bad_blocks, optarg); break;
        case 'o': options.output = optarg; break;
        case 'q': options.detail = report_detail::summary_only; break;
        case OPTION_HELP: print_and_exit(help_text);
        case OPTION_VERSION: print_and_exit("pagecheck " PAGESMITH_VERSION "\n");
        default: reject_option(argv[optind - 1], c);
        }
    }
    if (optind >= argc)
        usage_error("no image given\n");
    if (optind + 1 < argc)
        usage_error("unexpected argument '%s' after the image\n", argv[optind + 1]);
    options.image = argv[optind];
    return options;
}

// True when `name` stands for a standard stream.
bool is_dash(const char* name)
{
    return std::strcmp(name, "-") == 0;
}

// Opens the image ("-" is the standard input).
FILE* open_image(const char* name)
{
    static char buffer[IMAGE_BUFFER_SIZE];
    FILE* in = is_dash(name) ? stdin : std::fopen(name, "rb");
    if (!in)
        fail_errno(PAGECHECK_ERRORS, name);
    std::setvbuf(in, buffer, _IOFBF, sizeof buffer);
    return in;
}

// Opens the output named by -o ("-" is the standard output), refusing the
// image itself and a terminal.
FILE* open_output(const char* name, FILE* image, const char* image_name)
{
    static char buffer[OUTPUT_BUFFER_SIZE];
    if (!is_dash(name) && overwrites(fileno(image), name))
        fail_message(PAGECHECK_ERRORS, "output '%s' is the image '%s' itself\n", name,
                     image_name);
    FILE* out = is_dash(name) ? stdout : std::fopen(name, "wb");
    if (!out)
        fail_errno(PAGECHECK_ERRORS, name);
    if (isatty(fileno(out)) && (out == stdout || same_destination(fileno(out), STDOUT_FILENO)))
        fail_message(PAGECHECK_ERRORS, "the recovered input would go to a terminal: "
                                       "redirect the standard output or give -o FILE\n");
    std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
    return out;
}

// The text report goes to the standard output unless the recovered input
// does, in which case it goes to the error stream.
text_report report_for(const check_options& options, FILE* out)
{
    if (out && (out == stdout || same_destination(fileno(out), STDOUT_FILENO)))
        return {stderr, PAGECHECK_ERRORS.prefix, options.detail};
    return {stdout, "", options.detail};
}

// Ends the run with status 2 when the report cannot be written.
void check_report_written(bool written)
{
    if (!written)
        fail_errno(PAGECHECK_ERRORS, "cannot write the report");
}

}  // namespace

int main(int argc, char** argv)
{
    // An image or output opened below must never become a standard stream.
    if (!open_missing_standard_descriptors())
        return PAGECHECK_ERRORS.status;
    const check_options options = parse_command_line(argc, argv);
    const char* image_name = is_dash(options.image) ? "standard input" : options.image;
    FILE* in = open_image(options.image);
    if (overwrites(fileno(in), STDOUT_FILENO))
        fail_message(PAGECHECK_ERRORS, "the standard output is the image '%s' itself\n",
                     image_name);
    static input_recovery recovery;
    recovery.out = options.output ? open_output(options.output, in, image_name) : nullptr;
    const char* out_name = options.output && !is_dash(options.output) ? options.output
                                                                       : "standard output";
    const text_report report = report_for(options, recovery.out);

    check_sink sink;
    sink.on_finding = [&](const finding& f) { check_report_written(print_finding(report, f)); };
    if (recovery.out)
        sink.on_page = [&](const checked_page& page) {
            if (page.kind == page_kind::data && !recover_page(recovery, page.data))
                fail_errno(PAGECHECK_ERRORS, out_name);
        };
    check_summary summary;
    const int read_error = check_image(in, options.layout, sink, summary);
    if (read_error != 0) {
        errno = read_error;
        fail_errno(PAGECHECK_ERRORS, image_name);
    }
    if (recovery.out && (!finish_recovery(recovery, summary.input_size) ||
                         (recovery.out != stdout && std::fclose(recovery.out) != 0)))
        fail_errno(PAGECHECK_ERRORS, out_name);
    check_report_written(print_summary(report, summary) && std::fflush(report.stream) == 0 &&
                         !std::ferror(report.stream));
    return check_status(summary);
}
