// Round trips: pagesmith makes an image, pagecheck checks it and recovers
// the input.  The page layout and the injected bit errors are worked out
// here independently, so the whole report is known in advance.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "reference_ecc.h"
#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

constexpr size_t PAGE = 2048;
constexpr size_t SECTOR = 512;

// pagesmith options of one round trip, and what pagecheck must be told.
struct layout_options {
    const char* name;
    std::vector<std::string> options;  // given to pagesmith
    bool header = false;               // -h: pagecheck -H
    bool fill = false;                 // -f
    int error_bits = 0;                // -s 1, -d 2
    std::vector<int> bad = {};         // -B list: pagecheck -B
};

// Record kinds, in image order, of an input of `size` bytes: 'D' data,
// 'H' header, 'B' bad-block, 'F' fill, placed as the converter places them.
std::string record_kinds(size_t size, const layout_options& o)
{
    std::string kinds;
    const size_t pages = (size + PAGE - 1) / PAGE;
    int block = 0;
    int page = 0;
    auto listed = [&](int b) {
        for (int x : o.bad)
            if (x == b)
                return true;
        return false;
    };
    for (size_t i = 0; i < pages; ++i) {
        if (page == 0) {
            for (; listed(block); ++block)
                kinds += std::string(64, 'B');
            if (o.header) {
                kinds += 'H';
                page = 1;
            }
        }
        kinds += 'D';
        if (++page == 64) {
            if (i + 1 == pages && size % PAGE != 0)
                return kinds;  // a short last read completed the block
            ++block;
            page = 0;
        }
    }
    if (o.fill)
        kinds += std::string(static_cast<size_t>(64 - page), 'F');
    return kinds;
}

// One injected flip: byte offset in the page and bit.
struct flip {
    int offset;
    int bit;
};

// What pagecheck must report and recover, from the kinds and the flips.
struct expectation {
    std::string report;   // the layout line, the finding lines and the summary
    std::string output;   // the recovered input
    int status = 0;
    bool note = false;    // a note says how an open question was settled
};

// The layout line the kinds show: the options that make them, and the input
// size where header pages tell it.
std::string layout_line(const std::string& kinds, const layout_options& o, size_t size)
{
    std::string options;
    const bool marked = std::find(o.options.begin(), o.options.end(), "-b") != o.options.end() ||
                        !o.bad.empty();
    if (kinds.find('H') != std::string::npos)
        options += " -h";
    if (marked && kinds.find('D') != std::string::npos)
        options += " -b";
    if (kinds.find('B') != std::string::npos) {
        options += " -B";
        for (size_t k = 0; k < kinds.size(); k += 64)
            if (kinds[k] == 'B')
                options.append(" ").append(std::to_string(k / 64));
    }
    if (kinds.find('F') != std::string::npos)
        options += " -f";
    std::string line = "layout: ";
    line.append(options.empty() ? std::string("no options") : options.substr(1));
    if (kinds.find('H') != std::string::npos || kinds.empty())
        return line.append(", input ").append(std::to_string(size)).append(" bytes\n");
    return line.append(", input size unknown\n");
}

// True when the first data page looks like a header page: a size that is
// not 0 in its first four bytes, zeros after them.
bool looks_like_header(const std::string& input)
{
    const std::string page = input.substr(0, PAGE) + std::string(PAGE, '\0');
    return page.find_first_not_of('\0') < 4 && page.find_first_not_of('\0', 4) >= PAGE;
}

// True when the image leaves a question open that a note settles: an image
// that starts with fill pages (an empty input or up to a page of zeros), or
// one whose first data block starts with the words of a header page (a
// header, or a marked data page: at block 0, or at a block whose page tag
// is one bit away from a header page's, with data that looks like a header
// page's) while no later block starts with data to tell.
bool leaves_a_note(const std::string& kinds, const layout_options& o, const std::string& input)
{
    if (kinds.empty())
        return false;
    if (kinds[0] == 'F')
        return true;
    const bool marked = std::find(o.options.begin(), o.options.end(), "-b") != o.options.end() ||
                        !o.bad.empty();
    size_t first = 0;
    while (first < kinds.size() && kinds[first] == 'B')
        first += 64;
    if (first >= kinds.size())
        return false;
    const size_t block = first / 64;
    const bool one_bit_tag = block != 0 && (block & (block - 1)) == 0;
    if (block != 0 && !(one_bit_tag && kinds[first] == 'D' && looks_like_header(input)))
        return false;
    if (kinds[first] != 'H' && !(kinds[first] == 'D' && marked))
        return false;
    if (kinds[first] == 'H' && !marked)
        return false;  // an unmarked page 1 tells
    for (size_t k = first + 64; k < kinds.size(); k += 64)
        if (kinds[k] == 'H' || kinds[k] == 'D')
            return false;
    return true;
}

const char* kind_name(char kind)
{
    switch (kind) {
    case 'D': return "data";
    case 'H': return "header";
    case 'B': return "bad-block";
    default: return "fill";
    }
}

// ECC word of the sector at `p`.
uint32_t ecc(const std::string& page, size_t sector)
{
    return reference_ecc(reinterpret_cast<const uint8_t*>(page.data()) + sector * SECTOR);
}

// Replays the converter's bit errors (random() from its unseeded state,
// which is seed 1: offset first, then bit, for each data and fill page) and
// works out the report and the output.
expectation expect(const std::string& input, const std::string& kinds,
                   const layout_options& o)
{
    expectation e;
    std::string padded = input + std::string((PAGE - input.size() % PAGE) % PAGE, '\0');
    size_t counts[4] = {};
    size_t corrected = 0;
    size_t uncorrectable = 0;
    size_t data_index = 0;
    std::vector<std::pair<size_t, size_t>> lost;  // input bytes [first, second)
    srandom(1);
    for (size_t k = 0; k < kinds.size(); ++k) {
        const char kind = kinds[k];
        counts[std::string("DHBF").find(kind)]++;
        const bool data = kind == 'D';
        if (kind == 'D' || kind == 'F') {
            std::string page = data ? padded.substr(data_index * PAGE, PAGE) : std::string(PAGE, '\0');
            const std::string clean = page;
            std::vector<flip> flips;
            for (int i = 0; i < o.error_bits; ++i) {
                const int offset = static_cast<int>(random() & 0x7FF);
                const int bit = static_cast<int>(random() & 7);
                flips.push_back({offset, bit});
                page[static_cast<size_t>(offset)] ^= static_cast<char>(1 << bit);
            }
            for (size_t s = 0; s < 4; ++s) {
                std::vector<flip> here;
                for (const flip& f : flips)
                    if (static_cast<size_t>(f.offset) / SECTOR == s)
                        here.push_back(f);
                if (here.size() == 2 && here[0].offset == here[1].offset && here[0].bit == here[1].bit)
                    continue;  // the flips cancel
                const std::string where = "block " + std::to_string(k / 64) + " page " +
                                          std::to_string(k % 64) + " (" + kind_name(kind) +
                                          ") sector " + std::to_string(s) + ": ";
                if (here.size() == 1) {
                    ++corrected;
                    e.report += where + "corrected byte " + std::to_string(here[0].offset) +
                                " bit " + std::to_string(here[0].bit) + "\n";
                } else if (here.size() == 2) {
                    ++uncorrectable;
                    char syndrome[16];
                    std::snprintf(syndrome, sizeof syndrome, "0x%08x",
                                  ecc(clean, s) ^ ecc(page, s));
                    e.report += where + "uncorrectable, syndrome " + syndrome + "\n";
                    if (data) {  // left as it is, never mis-corrected, and lost
                        padded.replace(data_index * PAGE + s * SECTOR, SECTOR,
                                       page.substr(s * SECTOR, SECTOR));
                        const size_t at = data_index * PAGE + s * SECTOR;
                        if (!lost.empty() && lost.back().second == at)
                            lost.back().second += SECTOR;
                        else
                            lost.emplace_back(at, at + SECTOR);
                    }
                }
            }
        }
        if (data)
            ++data_index;
    }
    e.report = layout_line(kinds, o, input.size()) + e.report;
    e.note = leaves_a_note(kinds, o, input);
    e.output = o.header ? padded.substr(0, input.size()) : padded;
    e.status = uncorrectable ? 1 : 0;
    const size_t records = kinds.size();
    for (auto [from, to] : lost) {
        // Past the input size that header pages hold, nothing is input.
        if (o.header)
            to = std::min(to, input.size());
        if (from >= to)
            continue;
        e.report += "lost: input bytes " + std::to_string(from) + "-" + std::to_string(to - 1) +
                    " (" + std::to_string(to - from) + " bytes): uncorrectable\n";
    }
    const auto counted = [](size_t n, const std::string& word) {
        return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
    };
    e.report += "summary: " + counted(records, "record") + ", " +
                counted((records + 63) / 64, "block") + "; " + std::to_string(counts[0]) +
                " data, " + std::to_string(counts[1]) + " header, " + std::to_string(counts[2]) +
                " bad-block, " + std::to_string(counts[3]) + " fill pages; " +
                std::to_string(4 * records) + " sectors checked, " + std::to_string(corrected) +
                " corrected, " + std::to_string(uncorrectable) + " uncorrectable; 0 other problems\n";
    return e;
}

const size_t sizes[] = {0,           1,           PAGE - 1,         PAGE,
                        PAGE + 1,    63 * PAGE,   63 * PAGE + 1,    64 * PAGE,
                        64 * PAGE + 5, 127 * PAGE, 130 * PAGE + 77, 200 * PAGE};

const layout_options layouts[] = {
    {.name = "plain", .options = {}},
    {.name = "header", .options = {"-h"}, .header = true},
    {.name = "table", .options = {"-b"}},
    {.name = "fill", .options = {"-f"}, .fill = true},
    {.name = "header_table_fill", .options = {"-h", "-b", "-f"}, .header = true, .fill = true},
    {.name = "bad_0_fill", .options = {"-B", "0", "-f"}, .fill = true, .bad = {0}},
    {.name = "bad_1_3", .options = {"-B", "1", "3"}, .bad = {1, 3}},
    {.name = "bad_unreached", .options = {"-B", "40", "-f"}, .fill = true, .bad = {40}},
    {.name = "header_bad_1_fill", .options = {"-h", "-B", "1", "-f"}, .header = true,
     .fill = true, .bad = {1}},
    {.name = "single", .options = {"-s"}, .error_bits = 1},
    {.name = "single_everything", .options = {"-s", "-h", "-f", "-B", "1", "2"}, .header = true,
     .fill = true, .error_bits = 1, .bad = {1, 2}},
    {.name = "double_fill", .options = {"-d", "-f"}, .fill = true, .error_bits = 2},
    {.name = "double_header_table_fill", .options = {"-d", "-h", "-b", "-f"}, .header = true,
     .fill = true, .error_bits = 2},
    {.name = "bad_0_1_header_table_fill_single",
     .options = {"-B", "0", "1", "-h", "-b", "-f", "-s"}, .header = true, .fill = true,
     .error_bits = 1, .bad = {0, 1}},
    {.name = "bad_0_2_double", .options = {"-B", "0", "2", "-d"}, .error_bits = 2,
     .bad = {0, 2}},
    {.name = "header_bad_0_double_fill", .options = {"-h", "-B", "0", "-d", "-f"},
     .header = true, .fill = true, .error_bits = 2, .bad = {0}},
    {.name = "table_fill_single", .options = {"-b", "-f", "-s"}, .fill = true, .error_bits = 1},
    {.name = "header_single", .options = {"-h", "-s"}, .header = true, .error_bits = 1},
    {.name = "bad_1_2_3_header", .options = {"-B", "1", "2", "3", "-h"}, .header = true,
     .bad = {1, 2, 3}},
};

using round_trip_case = std::tuple<layout_options, size_t>;

class RoundTrip : public ::testing::TestWithParam<round_trip_case> {};

// The report without its note lines; whether there were any.
std::string without_notes(const std::string& report, bool& had_notes)
{
    std::string kept;
    had_notes = false;
    for (size_t at = 0; at < report.size();) {
        const size_t end = report.find('\n', at);
        const std::string line = report.substr(at, end == std::string::npos ? end : end + 1 - at);
        if (line.rfind("note: ", 0) == 0)
            had_notes = true;
        else
            kept += line;
        at = end == std::string::npos ? report.size() : end + 1;
    }
    return kept;
}

// pagecheck on the image, told the layout or not.
enum class told { layout, nothing };

TEST_P(RoundTrip, ReportAndRecoveredInputAreExact)
{
    const layout_options& o = std::get<0>(GetParam());
    const size_t size = std::get<1>(GetParam());
    scratch_dir dir;
    const std::string input = random_bytes(size, static_cast<unsigned>(size) + 1);
    write_file(dir.file("in.bin"), input);
    std::vector<std::string> make = {pagesmith, dir.file("in.bin"), dir.file("image")};
    make.insert(make.end(), o.options.begin(), o.options.end());
    ASSERT_EQ(run_tool(make).status, 0);
    const expectation e = expect(input, record_kinds(size, o), o);

    for (const told how : {told::layout, told::nothing}) {
        SCOPED_TRACE(how == told::layout ? "told the layout" : "told nothing");
        std::vector<std::string> check = {pagecheck, "-o", dir.file("out.bin")};
        if (o.header && how == told::layout)
            check.push_back("-H");
        if (!o.bad.empty() && how == told::layout) {
            std::string list;
            for (int b : o.bad) {
                if (!list.empty())
                    list += ',';
                list += std::to_string(b);
            }
            check.insert(check.end(), {"--bad-blocks", list});
        }
        check.push_back(dir.file("image"));
        const tool_result r = run_tool(check);
        EXPECT_EQ(r.status, e.status);
        bool had_notes = false;
        EXPECT_EQ(first_difference(without_notes(r.out, had_notes), e.report), "");
        // Told header pages (-H), pagecheck takes them where the image leaves
        // the header pages open, with no note; -B does not claim them.  An
        // image that starts with fill pages has its note either way.
        const bool fill_note = !e.report.empty() && record_kinds(size, o).rfind('F', 0) == 0;
        const bool claimed = how == told::layout && o.header;
        EXPECT_EQ(had_notes, claimed ? fill_note : e.note) << r.out;
        EXPECT_EQ(r.err, "");
        const std::string output = read_file(dir.file("out.bin"));
        EXPECT_EQ(output.size(), e.output.size());
        EXPECT_TRUE(output == e.output) << "recovered input differs";
        if (e.status == 0 && o.header) {
            EXPECT_TRUE(output == input);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Images, RoundTrip, ::testing::Combine(::testing::ValuesIn(layouts), ::testing::ValuesIn(sizes)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + "_" +
               std::to_string(std::get<1>(info.param));
    });

}  // namespace
