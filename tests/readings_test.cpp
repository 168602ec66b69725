// Several readings of one chip given to pagecheck at once: combined sector
// by sector into one image, which the report, the repair and the status
// describe; each reading's share, and a reader's stuck data line, named.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "case_names.h"
#include "readback_changes.h"
#include "reference_ecc.h"

namespace {

using case_names::PrintTo;

using namespace readback;

const std::string pagecheck = PAGECHECK_BINARY;

// Flips bits `bits` of byte `byte` of sector `sector` of record `record`:
// two bits make a sector that does not correct.
change flip_bits(size_t record, int sector, size_t byte, char bits)
{
    return [=](std::string& s) {
        s[record * RECORD + 512 * static_cast<size_t>(sector) + byte] ^= bits;
    };
}

// Flips two bits of byte 7 of sector `sector` of record `record`.
change two_bits(size_t record, int sector)
{
    return flip_bits(record, sector, 7, 3);
}

// Changes byte 9 of sector 0 of record `record` and stores the ECC word of
// the changed data: a clean sector that holds other bytes.
change other_clean_sector(size_t record)
{
    return [=](std::string& s) {
        uint8_t* sector = reinterpret_cast<uint8_t*>(&s[record * RECORD]);
        sector[9] ^= 0x40;
        const uint32_t ecc = reference_ecc(sector);
        for (int b = 0; b < 4; ++b)
            s[record * RECORD + 2048 + 48 + static_cast<size_t>(b)] = static_cast<char>(ecc >> (8 * b));
    };
}

// Clears bit `bit` of every data byte of records [from, to): a reader's
// data line stuck at 0.
change stuck_line(size_t from, size_t to, int bit)
{
    return [=](std::string& s) {
        for (size_t r = from; r < to; ++r)
            for (size_t i = 0; i < 2048; ++i)
                s[r * RECORD + i] &= static_cast<char>(~(1 << bit));
    };
}

const change unchanged = [](std::string&) {};

struct readings_case {
    const char* name;
    std::vector<change> readings;        // each reading made from the image
    int status;                          // of pagecheck -r OUT
    bool repaired;                       // OUT is the converter's image
    std::vector<std::string> lines;      // the report's lines that start "reading ",
                                         // name the readings, a page tag or a
                                         // partial record
};

class Readings : public ::testing::TestWithParam<readings_case> {};

TEST_P(Readings, CombineIntoOneImage)
{
    const readings_case& c = GetParam();
    scratch_dir dir;
    const std::string made = convert(dir, random_bytes(300000, 31), HBF);
    std::vector<std::string> argv = {pagecheck, "-r", dir.file("out.img")};
    for (size_t k = 0; k < c.readings.size(); ++k) {
        std::string file = made;
        c.readings[k](file);
        std::string name = "r";
        name += std::to_string(k + 1);
        write_file(dir.file(name), file);
        argv.push_back(dir.file(name));
    }
    const tool_result r = run_tool(argv);
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = r.out.find('\n', at)) != std::string::npos; at = end + 1) {
        std::string line = r.out.substr(at, end - at);
        if (line.rfind("reading ", 0) == 0 || line.find("readings") != std::string::npos ||
            line.find("page tag") != std::string::npos ||
            line.find("partial record") != std::string::npos) {
            for (size_t p; (p = line.find(dir.path + "/")) != std::string::npos;)
                line.erase(p, dir.path.size() + 1);
            lines.push_back(line);
        }
    }
    EXPECT_EQ(lines, c.lines) << r.out;
    EXPECT_EQ(read_file(dir.file("out.img")) == made, c.repaired);
    if (!c.repaired) {
        EXPECT_EQ(read_file(dir.file("out.img")), "");
    }
}

const readings_case readings_cases[] = {
    {"three_each_broken_elsewhere",
     {two_bits(5, 0), both(bytes_before(100, '\x11'), both(two_bits(9, 2), erased_tail(1))),
      both(two_bits(20, 1), two_bits(5, 0))},
     0, true,
     {"reading 1: r1, image from byte 0: 1 sector it could not correct, given by another reading",
      "reading 2: r2, image from byte 100: 1 sector it could not correct, given by another "
      "reading",
      "reading 3: r3, image from byte 0: 2 sectors it could not correct, given by another "
      "reading"}},
    {"two_broken_in_one_sector", {two_bits(5, 0), both(two_bits(5, 0), cut(100 * RECORD))}, 1,
     false,
     {"reading 1: r1, image from byte 0: 0 sectors it could not correct, given by another reading",
      "reading 2: r2, image from byte 0: 0 sectors it could not correct, given by another "
      "reading"}},
    // Three readings broken in one sector, each in other bits: their
    // per-bit majority is the sector.
    {"majority_of_three_broken",
     {flip_bits(5, 0, 7, 3), flip_bits(5, 0, 20, 12), flip_bits(5, 0, 30, 48)}, 0, true,
     {"reading 1: r1, image from byte 0: 1 sector it could not correct, given by another reading",
      "reading 2: r2, image from byte 0: 1 sector it could not correct, given by another reading",
      "reading 3: r3, image from byte 0: 1 sector it could not correct, given by another "
      "reading"}},
    {"two_clean_versions_no_majority", {unchanged, other_clean_sector(5)}, 1, false,
     {"block 0 page 5 sector 0: the readings correct it to different bytes; no majority agrees: "
      "lost",
      "reading 1: r1, image from byte 0: 0 sectors it could not correct, given by another reading",
      "reading 2: r2, image from byte 0: 0 sectors it could not correct, given by another "
      "reading"}},
    {"two_clean_versions_of_three", {unchanged, other_clean_sector(5), unchanged}, 0, true,
     {"block 0 page 5 sector 0: the readings correct it to different bytes; most of them agree, "
      "and that is taken",
      "reading 1: r1, image from byte 0: 0 sectors it could not correct, given by another reading",
      "reading 2: r2, image from byte 0: 0 sectors it could not correct, given by another reading",
      "reading 3: r3, image from byte 0: 0 sectors it could not correct, given by another "
      "reading"}},
    // The spare words outside the ECC words are voted on bit by bit.
    {"page_tag_outvoted", {set_spare_bits(70, 1, 0x80), unchanged, unchanged}, 0, true,
     {"reading 1: r1, image from byte 0: 0 sectors it could not correct, given by another reading",
      "reading 2: r2, image from byte 0: 0 sectors it could not correct, given by another reading",
      "reading 3: r3, image from byte 0: 0 sectors it could not correct, given by another "
      "reading"}},
    // Every data byte of six pages of reading 2 reads bit 3 as 0: 24 sectors
    // differ; those with an even number of such bits do not correct, the
    // others look like one flipped bit and correct to other bytes, which the
    // other readings outvote.
    {"stuck_data_line", {unchanged, stuck_line(100, 106, 3), unchanged}, 0, true,
     [] {
         std::vector<std::string> lines;
         for (const char* at : {"36 sector 0", "36 sector 1", "36 sector 2", "36 sector 3",
                                "37 sector 0", "38 sector 3", "39 sector 0", "39 sector 1",
                                "39 sector 2", "39 sector 3", "40 sector 0", "41 sector 1",
                                "41 sector 2", "41 sector 3"})
             lines.push_back(std::string("block 1 page ") + at +
                             ": the readings correct it to different bytes; most of them "
                             "agree, and that is taken");
         lines.insert(lines.end(),
                      {"reading 1: r1, image from byte 0: 0 sectors it could not correct, "
                       "given by another reading",
                       "reading 2: r2, image from byte 0: 10 sectors it could not correct, "
                       "given by another reading",
                       "reading 2: bit 3 reads 0 in 24 sectors: a stuck data line?",
                       "reading 3: r3, image from byte 0: 0 sectors it could not correct, "
                       "given by another reading"});
         return lines;
     }()},
    // The longest reading ends in part of a record: the combined image too.
    {"longest_reading_ends_inside_a_record",
     {unchanged, [](std::string& s) { s.append(100, '\x5a'); }}, 1, false,
     {"trailing partial record of 100 bytes",
      "reading 1: r1, image from byte 0: 0 sectors it could not correct, given by another reading",
      "reading 2: r2, image from byte 0: 0 sectors it could not correct, given by another "
      "reading"}},
};

INSTANTIATE_TEST_SUITE_P(Readings, Readings, ::testing::ValuesIn(readings_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
