// The map of a file read back from a chip shows what the file holds
// where: erased pages, pages that it leaves out, records that are not the
// image's, a cut, and each page's kind under a correction.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "image_check.h"
#include "image_map.h"
#include "readback_changes.h"
#include "case_names.h"
#include "report_words.h"

namespace {

using case_names::PrintTo;

using namespace readback;

// The text map of a file: one line per run of blocks.
std::vector<std::string> map_of(std::string file)
{
    FILE* in = fmemopen(file.data(), file.size(), "rb");
    std::vector<std::string> lines;
    text_map map;
    map.on_run = [&](const map_run& run) { lines.push_back(describe_run(run)); };
    block_gatherer gatherer;
    gatherer.on_block = [&](uint64_t block, const std::string& cells) {
        map_block(map, block, cells);
    };
    check_sink sink;
    sink.on_page = [&](const checked_page& page) { gather_page(gatherer, page); };
    image_checker checker;
    check_summary summary;
    check_image(checker, in, {}, sink, summary);
    std::fclose(in);
    finish_gathering(gatherer);
    finish_map(map);
    return lines;
}

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
    EXPECT_EQ(map_of(file), c.lines);
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
     .lines = {"map: block 0: " + cells("H D63"), "map: block 1: " + cells("H D6 ~ D57"),
               BLOCK_2}},
    {.name = "cut_inside_fill", .changed = cut(170 * RECORD),
     .lines = {BLOCKS_0_1, "map: block 2: " + cells("H D21 F20 -22")}},
};

INSTANTIATE_TEST_SUITE_P(Readback, ReadbackMap, ::testing::ValuesIn(map_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
