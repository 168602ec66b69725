// pagecheck --repair run as a user runs it: a readback in, the image that
// the converter makes (with the blocks to retire as bad blocks) out with
// status 0, or nothing written, an existing file kept, and status 1.  And
// the block health that --json and --health give.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "case_names.h"
#include "layout_guess.h"
#include "readback_changes.h"
#include "report_words.h"

namespace {

using case_names::PrintTo;

using namespace readback;

const std::string pagecheck = PAGECHECK_BINARY;

// Flips bit `bit` of byte `byte` of record `record`.
change flip(size_t record, size_t byte, int bit)
{
    return [=](std::string& s) { s[record * RECORD + byte] ^= static_cast<char>(1 << bit); };
}

// Two flipped bits in sector 0 of record `record`: a sector that does not
// correct.
change two_bits_in(size_t record)
{
    return both(flip(record, 10, 1), flip(record, 20, 3));
}

struct repair_case {
    const char* name;
    std::vector<std::string> made_with;    // the converter's options for the readback
    change changed;
    std::vector<std::string> arguments;    // pagecheck's, before "-r OUT READBACK"
    int status;
    std::vector<std::string> expected;     // the converter's options for OUT; unused
                                           // when OUT is not written
    std::string repair_line;               // the report's "repair:" line, OUT as "OUT"
};

// The report's "repair:" line, the repaired image's path as "OUT".
std::string repair_line(const std::string& report, const std::string& out)
{
    const size_t at = report.find("repair: ");
    if (at == std::string::npos)
        return "";
    std::string line = report.substr(at, report.find('\n', at) - at);
    const size_t name = line.find(out);
    if (name != std::string::npos)
        line.replace(name, out.size(), "OUT");
    return line;
}

class Repair : public ::testing::TestWithParam<repair_case> {};

TEST_P(Repair, WritesTheConvertersImageOrNothing)
{
    const repair_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(300000, 21);
    std::string file = convert(dir, input, c.made_with);
    c.changed(file);
    write_file(dir.file("readback"), file);
    write_file(dir.file("out.img"), "kept");
    std::vector<std::string> argv = {pagecheck};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    argv.insert(argv.end(), {"-r", dir.file("out.img"), dir.file("readback")});
    const tool_result r = run_tool(argv);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_EQ(repair_line(r.out, dir.file("out.img")), c.repair_line) << r.out << r.err;
    const std::string expected = c.status == 0 ? convert(dir, input, c.expected, "expected")
                                               : std::string("kept");
    EXPECT_TRUE(read_file(dir.file("out.img")) == expected) << "OUT is not as expected";
}

const std::vector<std::string> HBF_B1 = {"-h", "-b", "-B", "1", "-f"};
const std::string TWO_TO_SIXTEEN = "2,3,4,5,6,7,8,9,10,11,12,13,14,15,16";

const repair_case repair_cases[] = {
    {"single_bit_errors_removed", {"-s", "-h", "-b", "-f"}, [](std::string&) {}, {}, 0, HBF,
     "repair: wrote OUT, as pagesmith makes it from the recovered input with: -h -b -f"},
    {"two_bits_in_one_sector", HBF, both(flip(5, 10, 1), flip(5, 20, 3)), {}, 1, {},
     "repair: OUT not written: 1 uncorrectable sector"},
    {"record_lost", HBF, drop(70), {}, 1, {}, "repair: OUT not written: 1 range of lost input"},
    {"chip_marked_block_needs_its_claim", {"-b", "-f"},
     both(pad(1), set_byte(64 * RECORD + 2048, 0)), {}, 1, {},
     "repair: OUT not written: 1 finding that leave open what the image holds: claim what "
     "settles them (-B, -F, -H, --no-header), or read the chip again"},
    // A page tag two bits from its place: data that may not stand where it
    // seems (here the last data page but one is left out), not a flipped bit.
    {"page_tag_far_from_its_place", {"-b", "-f"}, drop(145), {}, 1, {},
     "repair: OUT not written: 2 findings that leave open what the image holds: claim what "
     "settles them (-B, -F, -H, --no-header), or read the chip again"},
    // The last data page stands where the one before it was left out, its
    // tag one bit from that place's: a flipped bit, or a record left out.
    {"page_tag_of_the_next_page", {"-b"}, both(cut(146 * RECORD), drop(144)), {}, 1, {},
     "repair: OUT not written: 1 finding that leave open what the image holds: claim what "
     "settles them (-B, -F, -H, --no-header), or read the chip again"},
    {"page_tag_one_bit_flipped", HBF, set_spare_bits(70, 1, 0x80), {}, 0, HBF,
     "repair: wrote OUT, as pagesmith makes it from the recovered input with: -h -b -f"},
    {"chip_marked_block_claimed", {"-b", "-B", "1", "-f"},
     both(pad(1), set_byte(64 * RECORD + 2048, 0)), {"-B", "1"}, 0, {"-b", "-B", "1", "-f"},
     "repair: wrote OUT, as pagesmith makes it from the recovered input with: -b -B 1 -f"},
    {"retire_a_block", HBF, [](std::string&) {}, {"--retire", "1"}, 0, HBF_B1,
     "repair: wrote OUT, as pagesmith makes it from the recovered input with: -h -b -B 1 -f"},
    {"retire_the_worn_block", HBF, flip(100, 7, 0), {"--retire", "worn"}, 0, HBF_B1,
     "repair: wrote OUT, as pagesmith makes it from the recovered input with: -h -b -B 1 -f"},
    // A programmer skipped block 1, which the chip marks bad: repaired
    // alone it is taken out again; retired, it stays where the chip has it,
    // and the image's own bad block 2 moves on with it to block 3.
    {"skipped_block_taken_out", {"-h", "-b", "-B", "2", "-f"}, foreign_before(1), {}, 0,
     {"-h", "-b", "-B", "2", "-f"},
     "repair: wrote OUT, as pagesmith makes it from the recovered input with: -h -b -B 2 -f"},
    {"skipped_block_retired", {"-h", "-b", "-B", "2", "-f"}, foreign_before(1),
     {"--retire", "marked"}, 0, {"-h", "-b", "-B", "1", "3", "-f"},
     "repair: wrote OUT, as pagesmith makes it from the recovered input with: -h -b -B 1 3 -f"},
    // A dump that left bad block 2 out numbers the blocks after it one
    // early: alone it is repaired, but blocks are not retired by its numbers.
    {"dump_left_a_block_out", {"-h", "-b", "-B", "2", "-f"}, skip(2), {}, 0,
     {"-h", "-b", "-B", "2", "-f"},
     "repair: wrote OUT, as pagesmith makes it from the recovered input with: -h -b -B 2 -f"},
    {"dump_left_a_block_out_retire", {"-h", "-b", "-B", "2", "-f"}, skip(2), {"--retire", "1"},
     1, {},
     "repair: OUT not written: the readback leaves out 1 bad block, so its block numbers are "
     "not the chip's: to retire blocks, read the chip keeping or padding its bad blocks"},
    {"too_many_bad_blocks", HBF, foreign_before(1), {"--retire", TWO_TO_SIXTEEN + ",marked,20"},
     1, {}, "repair: OUT not written: 17 bad blocks, more than the 16 that pagesmith can list"},
};

INSTANTIATE_TEST_SUITE_P(Repair, Repair, ::testing::ValuesIn(repair_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// An image read from a pipe cannot be read again: its recovered input waits
// in a temporary file, and the repair is the same.  A standard input that
// is a file is read again from where the run found it, not from its start.
TEST(Repair, FromAPipeAsFromAFile)
{
    scratch_dir dir;
    const std::string made = convert(dir, random_bytes(300000, 23), HBF);
    run_options there;
    there.cwd = dir.path;
    for (const change& changed : {both(erased_tail(2), flip(70, 9, 3)), two_bits_in(5)}) {
        std::string file = made;
        changed(file);
        write_file(dir.file("readback"), file);
        write_file(dir.file("prefixed"), std::string(RECORD, '\0') + file);
        for (const char* name : {"piped.img", "file.img", "offset.img"})
            std::filesystem::remove(dir.file(name));
        const tool_result piped = run_tool(
            {"/bin/sh", "-c",
             "cat readback | '" + pagecheck + "' -q -r piped.img -"},
            there);
        const tool_result direct =
            run_tool({pagecheck, "-q", "-r", "file.img", "readback"}, there);
        const tool_result offset = run_tool(
            {"/bin/sh", "-c",
             "{ dd bs=" + std::to_string(RECORD) + " count=1 of=/dev/null status=none; '" +
                 pagecheck + "' -q -r offset.img -; } < prefixed"},
            there);
        EXPECT_EQ(piped.status, direct.status) << piped.out << piped.err;
        EXPECT_EQ(offset.status, direct.status) << offset.out << offset.err;
        EXPECT_EQ(read_file(dir.file("piped.img")), read_file(dir.file("file.img")));
        EXPECT_EQ(read_file(dir.file("offset.img")), read_file(dir.file("file.img")));
        EXPECT_EQ(read_file(dir.file("file.img")) == made, direct.status == 0);
    }
}

// Each block's health in --json: with at most one flipped bit per sector,
// "corrected" is the bits flipped in the block's pages (data and ECC
// words), "erased_bits" the zero bits of its erased pages.
TEST(Health, CountsEachBlocksFlippedBits)
{
    scratch_dir dir;
    std::string file = convert(dir, random_bytes(300000, 22), HBF);
    erased_tail(1)(file);
    // Block: record, byte of the record (a data byte, or one of an ECC
    // word), bit.
    const struct {
        size_t record;
        size_t byte;
        int bit;
    } flips[] = {{0, 2048 + 48, 2}, {3, 10, 0}, {3, 600, 1}, {64, 1500, 7}, {64, 2000, 4},
                 {65, 2048 + 60, 0}, {140, 5, 5}, {200, 70, 3}, {250, 2100, 0}};
    for (const auto& f : flips)
        flip(f.record, f.byte, f.bit)(file);
    write_file(dir.file("readback"), file);
    const tool_result r = run_tool({pagecheck, "--json", dir.file("readback")});
    const nlohmann::json report = nlohmann::json::parse(r.out);
    std::map<uint64_t, std::vector<uint64_t>> blocks;
    for (const auto& b : report["blocks"])
        blocks[b["block"]] = {b["corrected"], b["uncorrectable"], b["erased_bits"]};
    const std::map<uint64_t, std::vector<uint64_t>> expected = {
        {0, {3, 0, 0}}, {1, {3, 0, 0}}, {2, {1, 0, 0}}, {3, {0, 0, 2}}};
    EXPECT_EQ(blocks, expected) << r.out;
    const tool_result text = run_tool({pagecheck, "--health", dir.file("readback")});
    EXPECT_NE(text.out.find("block 0: 3 corrected bits in 2 pages: rewrite or retire it\n"
                            "block 1: 3 corrected bits in 2 pages: rewrite or retire it\n"
                            "block 2: 1 corrected bit in 1 page: rewrite or retire it\n"
                            "summary: "),
              std::string::npos)
        << text.out;
    // The picture shades the rows (blocks 0 to 2), then the legend's four
    // shades; without --health it has none.
    const auto opacities = [&](const std::vector<std::string>& options) {
        std::vector<std::string> argv = {pagecheck, "-q", "--svg", dir.file("map.svg")};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(dir.file("readback"));
        run_tool(argv);
        const std::string svg = read_file(dir.file("map.svg"));
        std::vector<std::string> found;
        for (size_t at = 0; (at = svg.find("fill-opacity=\"", at)) != std::string::npos; ++at)
            found.push_back(svg.substr(at + 14, 4));
        return found;
    };
    EXPECT_EQ(opacities({"--health"}),
              (std::vector<std::string>{"0.45", "0.45", "0.20", "0.20", "0.45", "0.75", "1.00"}));
    EXPECT_EQ(opacities({}), std::vector<std::string>{});
}

// The layout a repair writes on while the check runs, guessed from a check
// of the first blocks and the file's last record: what the image shows
// there, and nothing of a bad block further on or of fill pages before an
// erased tail (the check's own layout then has the repair write again).
struct guess_case {
    const char* name;
    std::vector<std::string> made_with;
    size_t input_size;
    change changed;
    std::string guessed;  // its options as the report words them; "" for none
};

const guess_case guess_cases[] = {
    {"no_options", {}, 300000, [](std::string&) {}, "no options"},
    {"header_marked_filled", HBF, 300000, [](std::string&) {}, "-h -b -f"},
    {"bad_block_among_the_first", {"-h", "-b", "-B", "1", "-f"}, 300000, [](std::string&) {},
     "-h -b -B 1 -f"},
    {"bad_block_further_on", {"-b", "-B", "6"}, 1000000, [](std::string&) {}, "-b"},
    {"fill_pages_in_the_last_record", HBF, 1000000, [](std::string&) {}, "-h -b -f"},
    {"fill_pages_before_an_erased_tail", HBF, 1000000, erased_tail(2), "-h -b"},
    {"empty_file", {}, 0, [](std::string&) {}, ""},
};

class Guess : public ::testing::TestWithParam<guess_case> {};

TEST_P(Guess, ReadsTheFirstBlocksAndTheLastRecord)
{
    const guess_case& c = GetParam();
    scratch_dir dir;
    std::string file = convert(dir, random_bytes(c.input_size, 5), c.made_with);
    c.changed(file);
    write_file(dir.file("readback"), file);
    FILE* image = std::fopen(dir.file("readback").c_str(), "rb");
    ASSERT_NE(image, nullptr);
    const std::optional<found_layout> guess = guess_layout(image, 0, layout_claim{});
    std::fclose(image);
    EXPECT_EQ(guess ? layout_options(*guess) : "", c.guessed);
}

INSTANTIATE_TEST_SUITE_P(Guess, Guess, ::testing::ValuesIn(guess_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// An output that fills up ends the run with its error and status 2, also
// when the image is larger than what the writing threads hold between
// them, so that the check would wait on a writer that stopped.
TEST(Repair, FullOutputEndsTheRunWithItsError)
{
    scratch_dir dir;
    const std::string image = dir.file("image");
    write_file(image, convert(dir, random_bytes(5000000, 8), HBF));
    const std::string shell_pipe = "cat '" + image + "' | '" + pagecheck + "' -q -r /dev/full -";
    const std::vector<std::vector<std::string>> runs = {
        {pagecheck, "-q", "-o", "/dev/full", image},
        {pagecheck, "-q", "-r", "/dev/full", image},
        {pagecheck, "-q", "-r", "/dev/full", image, image},
        {"/bin/sh", "-c", shell_pipe},
    };
    for (const std::vector<std::string>& argv : runs) {
        const tool_result r = run_tool(argv);
        EXPECT_EQ(r.status, 2) << argv[2] << " " << argv.size();
        EXPECT_EQ(r.err, "pagecheck: /dev/full: No space left on device\n") << argv.size();
    }
}

}  // namespace
