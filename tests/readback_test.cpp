// Files as a chip gives them back: images made by the converter, then
// changed the way reading a chip changes them (erased pages after the
// image, bad blocks that a dump padded or left out, a block that the
// writer skipped, records lost or doubled, a cut) must give the status and
// the few findings listed, the layout as made, and with header pages the
// exact input.  The layout line's options must make the same image again.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "image_verdict.h"
#include "memory_check.h"
#include "report_words.h"
#include "case_names.h"
#include "readback_changes.h"

namespace {

using case_names::PrintTo;

using namespace readback;

// Whether the layout line's options must make the image again, and the
// header pages give the exact input: not where the file lost data pages
// (left out, cut), which then read as bad blocks or are missing.
enum class remake { same_image, not_checked };

struct readback_case {
    const char* name;
    std::vector<std::string> options;  // the converter's
    size_t input_size;
    change changed;
    int status;
    std::string layout;                   // the layout line
    std::vector<std::string> notes = {};  // their words
    std::vector<std::string> findings = {};
    remake again = remake::same_image;
    std::vector<std::string> lost = {};     // the "lost:" lines
    uint64_t outside = 0;                   // records not the image's
    std::vector<uint64_t> offsets = {};     // file offsets of the findings about a record
};

// The input as -o gives it back when `lost` was lost: those bytes zero, and
// nothing from where the file was cut.
std::string with_losses(std::string input, const lost_list& lost)
{
    for (const lost_range& range : lost.ranges) {
        if (range.why == loss_cause::cut) {
            input.resize(range.offset);
            break;
        }
        input.replace(range.offset, range.length, range.length, '\0');
    }
    return input;
}

// The options of a layout line, as arguments.
std::vector<std::string> options_of(const found_layout& layout)
{
    std::vector<std::string> words;
    const std::string text = layout_options(layout);
    if (text == "no options")
        return words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

class Readback : public ::testing::TestWithParam<readback_case> {};

TEST_P(Readback, GivesOneFindingPerEvent)
{
    const readback_case& c = GetParam();
    scratch_dir dir;
    const std::string input = random_bytes(c.input_size, 14);
    const std::string made = convert(dir, input, c.options);
    std::string file = made;
    c.changed(file);
    const memory_check outcome = check_in_memory(file, {});
    const found_layout& layout = outcome.summary.layout;
    EXPECT_EQ(outcome.findings, c.findings);
    EXPECT_EQ(check_status(outcome.summary), c.status);
    EXPECT_EQ(describe_layout(layout), c.layout);
    std::vector<std::string> notes;
    for (const layout_note& note : layout.notes)
        notes.push_back(describe_note(note));
    EXPECT_EQ(notes, c.notes);
    EXPECT_EQ(describe_lost(outcome.summary.lost), c.lost);
    EXPECT_EQ(outcome.summary.outside, c.outside);
    EXPECT_EQ(outcome.offsets, c.offsets);
    // Every byte the file holds is given back at its offset.
    if (layout.header == header_pages::present) {
        EXPECT_TRUE(outcome.recovered == with_losses(input, outcome.summary.lost))
            << outcome.recovered.size();
    }
    if (c.again == remake::same_image) {
        EXPECT_TRUE(convert(dir, input, options_of(layout), "again") == made);
    }
    // The command line's -o, written on a thread of its own, gives what the
    // check in-process gave back.
    write_file(dir.file("readback"), file);
    run_tool({PAGECHECK_BINARY, "-q", "-o", dir.file("out.bin"), dir.file("readback")});
    EXPECT_TRUE(read_file(dir.file("out.bin")) == outcome.recovered) << "-o differs";
    // A repair gives the converter's image back, status 0, or writes
    // nothing, status 1; a readback that shows no loss is always repaired.
    const tool_result repair =
        run_tool({PAGECHECK_BINARY, "-q", "-r", dir.file("out.img"), dir.file("readback")});
    if (c.status == 0) {
        EXPECT_EQ(repair.status, 0) << repair.out;
    }
    if (repair.status == 0) {
        EXPECT_TRUE(read_file(dir.file("out.img")) == made) << repair.out;
    } else {
        EXPECT_EQ(repair.status, 1) << repair.err;
        for (const std::string& name : dir.names())
            EXPECT_EQ(name.find("out.img"), std::string::npos) << name;
    }
}

const std::vector<std::string> HB_B2_F = {"-h", "-b", "-B", "2", "-f"};
const std::vector<std::string> HB_B1_4 = {"-h", "-b", "-B", "1", "4"};
const std::vector<std::string> BF = {"-b", "-f"};

const readback_case readback_cases[] = {
    {.name = "erased_tail", .options = HBF, .input_size = 300000, .changed = erased_tail(3),
     .status = 0, .layout = "layout: -h -b -f, input 300000 bytes",
     .notes = {"records 192-383 (blocks 3-5) are erased: the image ends before them"}},
    {.name = "erased_tail_inside_a_block", .options = {"-h", "-b"}, .input_size = 300000,
     .changed = erased_tail(1), .status = 0, .layout = "layout: -h -b, input 300000 bytes",
     .notes = {"records 150-255 (blocks 2-3) are erased: the image ends before them"}},
    {.name = "erased_tail_without_header", .options = BF, .input_size = 300000,
     .changed = erased_tail(2), .status = 0, .layout = "layout: -b -f, input size unknown",
     .notes = {"records 192-319 (blocks 3-4) are erased: the image ends before them"}},
    {.name = "flips_in_erased_pages", .options = HBF, .input_size = 300000,
     .changed = both(erased_tail(2), both(clear_bit_from_end(3, 6),
                                         clear_bit_from_end(RECORD + 600, 0))),
     .status = 0, .layout = "layout: -h -b -f, input 300000 bytes",
     .notes = {"records 192-319 (blocks 3-4) are erased: the image ends before them"},
     .findings = {"block 4 page 62 (erased) sector 2: record byte 1512 bit 0 reads 0 in an "
                  "erased page",
                  "block 4 page 63 (erased) sector 3: record byte 2109 bit 6 reads 0 in an "
                  "erased page"},
     .offsets = {318 * RECORD, 319 * RECORD}},
    {.name = "status_word_flip_and_marker_in_erased_pages", .options = HBF,
     .input_size = 300000,
     .changed = both(erased_tail(1), both(clear_bit_from_end(64, 4),
                                          marker_from_end(RECORD + 64))),
     .status = 0, .layout = "layout: -h -b -f, input 300000 bytes",
     .notes = {"records 192-255 (block 3) are erased: the image ends before them"},
     .findings = {"block 3 page 63 (erased) sector 0: record byte 2048 bit 4 reads 0 in an "
                  "erased page"},
     .offsets = {255 * RECORD}},
    {.name = "padded_bad_block", .options = HB_B2_F, .input_size = 300000, .changed = pad(2),
     .status = 0, .layout = "layout: -h -b -B 2 -f, input 300000 bytes",
     .notes = {"block 2 is erased inside the image: a bad block that the dump padded"}},
    {.name = "skipped_bad_block", .options = HB_B2_F, .input_size = 300000, .changed = skip(2),
     .status = 0, .layout = "layout: -h -b -B 2 -f, input 300000 bytes",
     .notes = {"block 2 is not in the file (the page tags step over it): a bad block that "
               "the dump left out"}},
    {.name = "skipped_bad_blocks_and_erased_tail", .options = HB_B1_4, .input_size = 500000,
     .changed = both(both(skip(4), skip(1)), erased_tail(1)), .status = 0,
     .layout = "layout: -h -b -B 1 4, input 500000 bytes",
     .notes = {"block 1 is not in the file (the page tags step over it): a bad block that "
               "the dump left out",
               "block 4 is not in the file (the page tags step over it): a bad block that "
               "the dump left out",
               "records 377-447 (blocks 5-6) are erased: the image ends before them"}},
    {.name = "padded_and_skipped", .options = HB_B1_4, .input_size = 500000,
     .changed = both(skip(4), pad(1)), .status = 0,
     .layout = "layout: -h -b -B 1 4, input 500000 bytes",
     .notes = {"block 1 is erased inside the image: a bad block that the dump padded",
               "block 4 is not in the file (the page tags step over it): a bad block that "
               "the dump left out"}},
    {.name = "block_skipped_when_written", .options = HBF, .input_size = 300000,
     .changed = foreign_before(1), .status = 1, .layout = "layout: -h -b -f, input 300000 bytes",
     .notes = {"block 1 of the file is marked bad by the chip (a bad-block marker in page 0 or 1)"},
     .findings = {"block 1 of the file is not the image's, and the blocks after it stand one "
                  "block after their page tags: it was skipped when the image was written (a "
                  "bad block of the chip?), and a boot loader that checks page tags rejects "
                  "what follows; make the image with -B 1"},
     .outside = 64},
    {.name = "block_skipped_when_written_without_header", .options = BF, .input_size = 300000,
     .changed = both(foreign_before(2), erased_tail(1)), .status = 1,
     .layout = "layout: -b -f, input size unknown",
     .notes = {"records 192-255 (block 3) are erased: the image ends before them",
               "block 2 of the file is marked bad by the chip (a bad-block marker in page 0 or "
               "1)"},
     .findings = {"block 2 of the file is not the image's, and the blocks after it stand one "
                  "block after their page tags: it was skipped when the image was written (a "
                  "bad block of the chip?), and a boot loader that checks page tags rejects "
                  "what follows; make the image with -B 2"},
     .outside = 64},
    {.name = "dropped_record", .options = HBF, .input_size = 300000, .changed = drop(70),
     .status = 1, .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"1 record(s) from block 1 page 6 on are not in the file: the page tags step "
                  "over them",
                  "the header pages say 300000 bytes of input; 1 data page(s) are missing"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 139264-141311 (2048 bytes): missing"}},
    // The next-to-last data record left out: the last one stands in its
    // place with a page tag one bit from the expected one.  A flipped bit or
    // a record left out: neither page is given back.
    {.name = "dropped_next_to_last_record", .options = HBF, .input_size = 47104,
     .changed = drop(22), .status = 1, .layout = "layout: -h -b -f, input 47104 bytes",
     .notes = {"page 0 of block 0 looks like a header page holding 47104, data pages follow it "
               "and no later block tells: read as a header page"},
     .findings = {"block 0 page 22 (data): page tag 0x00000017, expected 0x00000016",
                  "image ends inside the fill pages, at page 62",
                  "the file ends before block 0 page 63: the header pages say 47104 bytes of "
                  "input; 1 data page(s) are missing"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 43008-45055 (2048 bytes): missing",
              "lost: input bytes 45056-47103 (2048 bytes): cut"},
     .offsets = {22 * RECORD}},
    {.name = "doubled_record", .options = HBF, .input_size = 300000, .changed = twice(70),
     .status = 1, .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"1 record(s) at block 1 page 6 stand in the file twice: read once"},
     .outside = 1},
    {.name = "cut_inside_a_record", .options = HBF, .input_size = 300000, .changed = cut(200000),
     .status = 1, .layout = "layout: -h -b, input 300000 bytes",
     .findings = {"trailing partial record of 1472 bytes",
                  "the file ends before block 1 page 30: the header pages say 300000 bytes of "
                  "input; 55 data page(s) are missing"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 188416-299999 (111584 bytes): cut"}},
    // Cut inside the first data page: the header page is one, and none of
    // it reaches -o.
    {.name = "cut_after_the_header_page", .options = HBF, .input_size = 300000,
     .changed = cut(RECORD + 500), .status = 1, .layout = "layout: -h, input 300000 bytes",
     .notes = {"page 0 of block 0 looks like a header page holding 300000, data pages follow "
               "it and no later block tells: read as a header page"},
     .findings = {"image ends after a header page, before any data page that follows it",
                  "trailing partial record of 500 bytes",
                  "the file ends before block 0 page 1: the header pages say 300000 bytes of "
                  "input; 147 data page(s) are missing"},
     .again = remake::not_checked, .lost = {"lost: input bytes 0-299999 (300000 bytes): cut"}},
    {.name = "cut_inside_fill", .options = HBF, .input_size = 300000, .changed = cut(170 * RECORD),
     .status = 1, .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"image ends inside the fill pages, at page 41"}},
    {.name = "data_block_left_out", .options = HBF, .input_size = 300000, .changed = skip(1),
     .status = 1, .layout = "layout: -h -b -f, input 300000 bytes",
     .notes = {"block 1 is not in the file (the page tags step over it): a bad block that "
               "the dump left out"},
     .findings = {"block 1 is not in the file (the page tags step over it): a bad block that "
                  "the dump left out, or lost data: claim -B 1 if it is listed bad"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 129024-258047 (129024 bytes): missing"}},
    {.name = "data_block_left_out_without_header", .options = BF, .input_size = 300000,
     .changed = skip(1), .status = 1, .layout = "layout: -b -f, input size unknown",
     .notes = {"block 1 is not in the file (the page tags step over it): a bad block that "
               "the dump left out"},
     .findings = {"block 1 is not in the file (the page tags step over it): a bad block that "
                  "the dump left out, or lost data: claim -B 1 if it is listed bad"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 131072-262143 (131072 bytes): missing"}},
    {.name = "damaged_spare_words_still_a_page_record", .options = HBF, .input_size = 300000,
     .changed = set_spare_bits(10, 5, 0x03), .status = 1,
     .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"block 0 page 10 (data): spare[5] = 0x00000003, expected 0"},
     .offsets = {10 * RECORD}},
    {.name = "not_an_image", .options = HBF, .input_size = 3000, .changed = no_image(300000),
     .status = 1, .layout = "layout: no options, input size unknown",
     .findings = {"not an image: none of its 142 record(s) reads as a page record"},
     .again = remake::not_checked, .outside = 142},
    // Longer than the window, with stretches of zeros that read as page
    // records: still one finding.
    {.name = "not_an_image_with_zeros", .options = HBF, .input_size = 3000,
     .changed = no_image_with_zeros(4000000), .status = 1,
     .layout = "layout: no options, input size unknown",
     .findings = {"not an image: none of its 1893 record(s) reads as a page record"},
     .again = remake::not_checked, .outside = 1893},
    // A garbled record just before the last data page, fill pages after:
    // the last page's tag alone places it, and -o keeps it at its offset.
    {.name = "garbled_record_before_the_last", .options = HBF, .input_size = 300000,
     .changed = [](std::string& s) { s.replace(148 * RECORD, RECORD, random_bytes(RECORD, 9)); },
     .status = 1, .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"1 record(s) of the file from record 148 on do not read as page records "
                  "(their spare words 2-11 are not zero): left out",
                  "1 record(s) from block 2 page 20 on are not in the file: the page tags step "
                  "over them",
                  "the header pages say 300000 bytes of input; 1 data page(s) are missing"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 296960-299007 (2048 bytes): garbage"}, .outside = 1},
    // An image that starts further in: its offset named, a finding's offset
    // counted in the file, and -o exact.
    {.name = "finding_in_image_further_in", .options = HBF, .input_size = 300000,
     .changed = both(set_spare_bits(10, 5, 0x03), bytes_before(300, '\0')), .status = 1,
     .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"the image starts at byte 300 of the file: the bytes before it are not the "
                  "image's, and records of the file are counted from there",
                  "block 0 page 10 (data): spare[5] = 0x00000003, expected 0"},
     .offsets = {300 + 10 * RECORD}},
    // Where the file and the image differ, a finding gives the record's
    // place in the file.
    {.name = "finding_after_a_skipped_block", .options = HB_B2_F, .input_size = 300000,
     .changed = both(skip(2), set_spare_bits(130, 5, 0x03)), .status = 1,
     .layout = "layout: -h -b -B 2 -f, input 300000 bytes",
     .notes = {"block 2 is not in the file (the page tags step over it): a bad block that "
               "the dump left out"},
     .findings = {"block 3 page 2 (data): spare[5] = 0x00000003, expected 0"},
     .offsets = {130 * RECORD}},
    // Records of another image never stop the reading, nor displace the
    // records in sequence, whether their tags point past the image's end
    // or inside it.
    {.name = "strays_past_the_end", .options = HBF, .input_size = 300000,
     .changed = strays_before(100, 1000), .status = 1,
     .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"2 record(s) of the file from record 100 on carry the page tags of other "
                  "places, and the records after them go on in sequence: not the image's, "
                  "left out"},
     .outside = 2},
    {.name = "strays_inside", .options = HBF, .input_size = 300000,
     .changed = strays_before(100, 2), .status = 1,
     .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"2 record(s) of the file from record 100 on carry the page tags of other "
                  "places, and the records after them go on in sequence: not the image's, "
                  "left out"},
     .outside = 2},
    {.name = "swapped_records", .options = HBF, .input_size = 300000,
     .changed = swap_with_next(70), .status = 1,
     .layout = "layout: -h -b -f, input 300000 bytes",
     .findings = {"the records of block 1 page 6 and the next page stand in the file in each "
                  "other's place: read in tag order"}},
    // Nothing confirms an erased block for a bad block: without header
    // pages it is lost data, with them the header size tells.
    {.name = "erased_block_without_header", .options = BF, .input_size = 300000,
     .changed = pad(1), .status = 1, .layout = "layout: -b -f, input size unknown",
     .notes = {"block 1 is erased inside the image: a bad block that the dump padded"},
     .findings = {"block 1 is erased inside the image: a bad block that the dump padded, or "
                  "lost data: claim -B 1 if it is listed bad"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 131072-262143 (131072 bytes): erased"}},
    {.name = "erased_block_marked_by_the_chip", .options = BF, .input_size = 300000,
     .changed = both(pad(1), set_byte(64 * RECORD + 2048, 0)), .status = 1,
     .layout = "layout: -b -B 1 -f, input size unknown",
     .notes = {"block 1 is erased inside the image: a bad block that the dump padded",
               "block 1 of the file is marked bad by the chip (a bad-block marker in page 0 or "
               "1)"},
     .findings = {"block 1 is marked bad by the chip and erased inside the image: read as a "
                  "bad block that the dump padded; claim -B 1 if it is listed bad"},
     .again = remake::not_checked},
    {.name = "erased_data_block_with_header", .options = HBF, .input_size = 300000,
     .changed = pad(1), .status = 1, .layout = "layout: -h -b -f, input 300000 bytes",
     .notes = {"block 1 is erased inside the image: a bad block that the dump padded"},
     .findings = {"block 1 is erased inside the image: a bad block that the dump padded, or "
                  "lost data: claim -B 1 if it is listed bad"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 129024-258047 (129024 bytes): erased"}},
    // Each lost block's hole stands after the data pages of the blocks
    // before it, the other lost block's included.
    {.name = "two_erased_data_blocks_with_header", .options = HBF, .input_size = 600000,
     .changed = both(pad(1), pad(3)), .status = 1, .layout = "layout: -h -b -f, input 600000 bytes",
     .notes = {"block 1 is erased inside the image: a bad block that the dump padded",
               "block 3 is erased inside the image: a bad block that the dump padded"},
     .findings = {"block 1 is erased inside the image: a bad block that the dump padded, or "
                  "lost data: claim -B 1 if it is listed bad",
                  "block 3 is erased inside the image: a bad block that the dump padded, or "
                  "lost data: claim -B 3 if it is listed bad"},
     .again = remake::not_checked,
     .lost = {"lost: input bytes 129024-258047 (129024 bytes): erased",
              "lost: input bytes 387072-516095 (129024 bytes): erased"}},
};

INSTANTIATE_TEST_SUITE_P(Readback, Readback, ::testing::ValuesIn(readback_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
