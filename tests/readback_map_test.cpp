// The map of a file read back from a chip shows what the file holds
// where: erased pages, pages that it leaves out, records that are not the
// image's, a cut, and each page's kind under a correction.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "memory_check.h"
#include "readback_changes.h"

namespace {

using case_names::PrintTo;

using namespace readback;

// A map line from runs of letters: "H D63" is H and 63 D.
std::string cells(const std::string& runs)
{
    std::string line;
    std::istringstream in(runs);
    for (std::string run; in >> run;)
        line.append(run.size() > 1 ? std::stoul(run.substr(1)) : 1, run[0]);
    return line;
}

struct map_case {
    const char* name;
    change changed;
    std::vector<std::string> lines;
};

class ReadbackMap : public ::testing::TestWithParam<map_case> {};

// The map shows what the file holds where: erased pages, pages that it
// leaves out, records that are not the image's, a cut, and each page's kind
// under a correction.
TEST_P(ReadbackMap, ShowsWhatTheFileHolds)
{
    const map_case& c = GetParam();
    scratch_dir dir;
    std::string file = convert(dir, random_bytes(300000, 14), HBF);
    c.changed(file);
    const memory_check outcome = check_in_memory(file, {});
    ASSERT_EQ(outcome.read_error, 0);
    EXPECT_EQ(outcome.map, c.lines);
}

const std::string BLOCKS_0_1 = "map: blocks 0-1: " + cells("H D63");
const std::string BLOCK_2 = "map: block 2: " + cells("H D21 F42");

const map_case map_cases[] = {
    {.name = "erased_tail_with_a_flip",
     .changed = both(erased_tail(2), clear_bit_from_end(3, 6)),
     .lines = {BLOCKS_0_1, BLOCK_2, "map: block 3: " + cells("E64"),
               "map: block 4: " + cells("E63 e")}},
    {.name = "corrected_data_bit",
     .changed = [](std::string& s) { s[3 * RECORD + 5] ^= 4; },
     .lines = {"map: block 0: " + cells("H D2 d D60"), "map: block 1: " + cells("H D63"),
               BLOCK_2}},
    {.name = "block_left_out", .changed = skip(1),
     .lines = {"map: block 0: " + cells("H D63"), "map: block 1: " + cells("-64"), BLOCK_2}},
    {.name = "block_skipped_when_written", .changed = foreign_before(1),
     .lines = {"map: block 0: " + cells("H D63"), "map: block 1: " + cells("~64"),
               "map: block 1: " + cells("H D63"), BLOCK_2}},
    {.name = "dropped_record", .changed = drop(70),
     .lines = {"map: block 0: " + cells("H D63"), "map: block 1: " + cells("H D5 - D57"),
               BLOCK_2}},
    {.name = "doubled_record", .changed = twice(70),
     .lines = {"map: block 0: " + cells("H D63"), "map: block 1: " + cells("H D63"),
               "map: block 1: not the image's: file bytes 149952-152063 (1 record)", BLOCK_2}},
    // Two records from another image before block 1: listed after block 0's
    // row with their offsets, the rows 64 pages each.
    {.name = "strays_listed_after_their_block", .changed = strays_before(64, 9),
     .lines = {"map: block 0: " + cells("H D63"),
               "map: block 0: not the image's: file bytes 135168-139391 (2 records)",
               "map: block 1: " + cells("H D63"), BLOCK_2}},
    // A block the chip marks bad, padded where a data block goes: its page 0
    // carries the marker.
    {.name = "block_marked_bad_by_the_chip",
     .changed = both(pad(1), set_byte(64 * RECORD + 2048, 0)),
     .lines = {"map: block 0: " + cells("H D63"), "map: block 1: " + cells("M E63"), BLOCK_2}},
    {.name = "cut_inside_fill", .changed = cut(170 * RECORD),
     .lines = {BLOCKS_0_1, "map: block 2: " + cells("H D21 F20 -22")}},
};

INSTANTIATE_TEST_SUITE_P(Readback, ReadbackMap, ::testing::ValuesIn(map_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
