// pagecheck's command line.
#include "pagecheck_options.h"

#include <getopt.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "command_line.h"
#include "sector_vote.h"

#ifndef PAGESMITH_VERSION
#define PAGESMITH_VERSION "unknown"
#endif

namespace {

// The long options; the short ones are "HB:F:o:qr:".
enum {
    OPTION_HELP = 256,
    OPTION_VERSION,
    OPTION_JSON,
    OPTION_MAP,
    OPTION_SVG,
    OPTION_NO_HEADER,
    OPTION_RETIRE,
    OPTION_HEALTH,
};
const option long_options[] = {
    {"header", no_argument, nullptr, 'H'},
    {"no-header", no_argument, nullptr, OPTION_NO_HEADER},
    {"forced-size", required_argument, nullptr, 'F'},
    {"bad-blocks", required_argument, nullptr, 'B'},
    {"output", required_argument, nullptr, 'o'},
    {"quiet", no_argument, nullptr, 'q'},
    {"json", no_argument, nullptr, OPTION_JSON},
    {"map", no_argument, nullptr, OPTION_MAP},
    {"svg", required_argument, nullptr, OPTION_SVG},
    {"repair", required_argument, nullptr, 'r'},
    {"retire", required_argument, nullptr, OPTION_RETIRE},
    {"health", no_argument, nullptr, OPTION_HEALTH},
    {"help", no_argument, nullptr, OPTION_HELP},
    {"version", no_argument, nullptr, OPTION_VERSION},
    {nullptr, 0, nullptr, 0},
};

// A usage error's text, printf-style.
__attribute__((format(printf, 1, 2))) parsed_command usage_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return {command_action::usage_error, {}, text};
}

// The help text.
const char help_text[] =
    "usage: pagecheck [-H|--no-header] [-B LIST] [-F N] [-o FILE] [-q] [--json]\n"
    "                 [--map] [--svg FILE] [--health] [-r OUT [--retire LIST]] IMAGE...\n"
    "Verifies a flash image made by pagesmith, corrects single bit errors and\n"
    "recovers the input it was made from.  The layout (header pages, status\n"
    "words, bad blocks, fill) is read from the image itself.  IMAGE \"-\" reads\n"
    "the standard input; options may come before or after it.  Several IMAGEs\n"
    "are readings of one chip: they are combined sector by sector, and the\n"
    "report, the outputs and the status are those of the combined image.\n"
    "\n"
    "  -H, --header           claim header pages (made with -h); where the image\n"
    "                         shows otherwise one finding says so\n"
    "      --no-header        claim no header pages (made without -h)\n"
    "  -B, --bad-blocks LIST  claim these bad blocks and status words,\n"
    "                         comma-separated (as given to pagesmith -B)\n"
    "  -F, --forced-size N    claim header pages holding N (made with -h -F N;\n"
    "                         N read as pagesmith reads it)\n"
    "  -o, --output FILE      write the recovered input to FILE (\"-\" for\n"
    "                         standard output; the report then goes to the\n"
    "                         error stream)\n"
    "  -q, --quiet            print only the summary\n"
    "      --json             write the report as one JSON document\n"
    "      --map              add a map: one line per block, one character per\n"
    "                         page (H D F B E M, in lower case when corrected;\n"
    "                         X uncorrectable, ! other; - not in the file,\n"
    "                         ~ not the image's)\n"
    "      --svg FILE         draw the map as an SVG picture into FILE\n"
    "      --health           list each block with a corrected bit or an\n"
    "                         uncorrectable sector, the most first\n"
    "  -r, --repair OUT       write to OUT the image as pagesmith makes it from\n"
    "                         the recovered input, without bit errors, only when\n"
    "                         nothing is lost and the layout is settled; the\n"
    "                         status is then 0\n"
    "      --retire LIST      with --repair: add these blocks to OUT's bad blocks\n"
    "                         (block numbers, 'marked' for every block the chip\n"
    "                         marks bad, 'worn' for every block with a corrected\n"
    "                         bit; comma-separated)\n"
    "      --help             print this text and exit\n"
    "      --version          print the version and exit\n"
    "\n"
    "Exit status: 0 when every sector is clean or corrected and the image is\n"
    "well formed (with --repair: when OUT was written), 1 when a sector is\n"
    "uncorrectable or the image is malformed (with --repair: when OUT was not\n"
    "written), 2 on a usage error or a file that cannot be read or written.\n";

// Parses one block number of a -B list into `value`: decimal digits only,
// 0..INT32_MAX; else the usage error.
std::optional<parsed_command> parse_block_number(const char* begin, const char* end,
                                                 const char* list, int32_t& value)
{
    if (begin == end)
        return usage_error("empty block number in bad-block list '%s'\n", list);
    int64_t number = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p < '0' || *p > '9')
            return usage_error("bad block number in bad-block list '%s'\n", list);
        number = number * 10 + (*p - '0');
        if (number > INT32_MAX)
            return usage_error("block number too large in bad-block list '%s'\n", list);
    }
    value = static_cast<int32_t>(number);
    return std::nullopt;
}

// Appends the comma-separated block numbers of `list` to the bad-block
// list; the usage error when it cannot.
std::optional<parsed_command> add_bad_blocks(optional_bad_blocks& blocks, const char* list)
{
    if (!blocks)
        blocks.emplace().fill(-1);
    int used = 0;
    while (used < MAX_BAD_BLOCKS && (*blocks)[used] != -1)
        ++used;
    if (*list == '\0')
        return std::nullopt;
    for (const char* begin = list;;) {
        const char* end = begin + std::strcspn(begin, ",");
        if (used == MAX_BAD_BLOCKS)
            return usage_error("more than %d bad blocks\n", MAX_BAD_BLOCKS);
        if (auto error = parse_block_number(begin, end, list, (*blocks)[used++]))
            return error;
        if (*end == '\0')
            return std::nullopt;
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

// The usage error of an option that getopt_long rejected, named as it was
// typed.
parsed_command reject_option(const char* typed, int code)
{
    const bool is_long = std::strncmp(typed, "--", 2) == 0;
    const char* name = typed + 2;
    const size_t length = std::strcspn(name, "=");
    int matches = 0;
    const std::string candidates = is_long ? long_matches(name, length, matches) : "";
    if (code == ':' && is_long)
        return usage_error("option '%s' needs a value\n", typed);
    if (code == ':')
        return usage_error("option '-%c' needs a value\n", optopt);
    if (optopt == 0 && matches > 1)
        return usage_error("option '%s' is ambiguous: %s\n", typed, candidates.c_str());
    if (optopt == 0)
        return usage_error("unknown option '%s'\n", typed);
    if (is_long && name[length] == '=' && matches == 1)
        return usage_error("option '%s' takes no value\n", typed);
    return usage_error("unknown option '-%c'\n", optopt);
}

// The command line once more, for what --repair and --retire ask of each
// other.
parsed_command check_repair_options(const parsed_command& command)
{
    const check_options& options = command.options;
    const retire_request& retire = options.retire;
    if (retires_any(retire) && !options.repair)
        return usage_error("--retire needs --repair: it lays out the repaired image\n");
    if (options.repair && std::strcmp(options.repair, "-") == 0)
        return usage_error("--repair needs a file name, not '-': the repaired image is "
                           "written only when nothing is lost\n");
    if (retire.blocks.size() > static_cast<size_t>(MAX_BAD_BLOCKS))
        return usage_error("more than %d blocks to retire\n", MAX_BAD_BLOCKS);
    return command;
}

}  // namespace

parsed_command parse_command_line(int argc, char** argv)
{
    parsed_command command;
    check_options& options = command.options;
    opterr = 0;
    for (int c; (c = getopt_long(argc, argv, ":HB:F:o:qr:", long_options, nullptr)) != -1;) {
        switch (c) {
        case 'H': options.claim.header = header_pages::present; break;
        case OPTION_NO_HEADER: options.claim.header = header_pages::absent; break;
        case 'F': options.claim.forced_size = to_int32(optarg); break;
        case 'B':
            if (auto error = add_bad_blocks(options.claim.bad_blocks, optarg))
                return *error;
            break;
        case 'o': options.output = optarg; break;
        case 'q': options.detail = report_detail::summary_only; break;
        case OPTION_JSON: options.form = report_form::json; break;
        case OPTION_MAP: options.map = map_request::present; break;
        case OPTION_SVG: options.svg = optarg; break;
        case 'r': options.repair = optarg; break;
        case OPTION_RETIRE:
            if (auto error = add_retired(options.retire, optarg))
                return usage_error("%s", error->c_str());
            break;
        case OPTION_HEALTH: options.health = health_request::present; break;
        case OPTION_HELP: return {command_action::print, {}, help_text};
        case OPTION_VERSION: return {command_action::print, {}, "pagecheck " PAGESMITH_VERSION "\n"};
        default: return reject_option(argv[optind - 1], c);
        }
    }
    if (optind >= argc)
        return usage_error("no image given\n");
    if (argc - optind > MAX_READINGS)
        return usage_error("more than %d images: give at most %d readings of one chip\n",
                           MAX_READINGS, MAX_READINGS);
    options.image = argv[optind];
    options.images.assign(argv + optind, argv + argc);
    return check_repair_options(command);
}
