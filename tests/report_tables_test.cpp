// Every kind of finding and of page as the reports show it: each finding
// kind's text line and exact JSON object, each page kind's map letter, the
// marks over it, and which kind shows when the picture merges blocks.  The
// tables here must name every kind, so a new kind needs a row.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "finding_texts.h"
#include "json_writer.h"
#include "map_svg.h"
#include "report_words.h"
#include "tool_runner.h"

namespace {

using nlohmann::json;

struct finding_row {
    const char* name;                 // the kind's JSON name
    const char* text;                 // its text line
    std::vector<const char*> fields;  // the JSON fields that are not null
};

// A finding of every kind carries these values; the row says which show.
// Page 1 carries a status word, whose two expected values then differ.
finding sample_finding(finding_kind what)
{
    finding f{};
    f.what = what;
    f.record = 65;
    f.block = 1;
    f.offset = 65 * 2112;
    f.page = 1;
    f.kind = page_kind::data;
    f.other = page_kind::fill;
    f.sector = 2;
    f.byte = 1030;
    f.bit = 5;
    f.word = 13;
    f.found = 0x1234;
    f.expected = 0x5678;
    return f;
}

// The layout the findings that compare it with a claim name.
found_layout sample_layout()
{
    found_layout layout;
    layout.bad_blocks = {3, 7};
    layout.bad_block_count = 2;
    return layout;
}

const finding_row finding_rows[] = {
    {"corrected_data", "block 1 page 1 (data) sector 2: corrected byte 1030 bit 5",
     {"record", "block", "offset", "page", "kind", "sector", "byte", "bit"}},
    {"corrected_code",
     "block 1 page 1 (data) sector 2: ECC word spare[13] bit 5 flipped, data intact",
     {"record", "block", "offset", "page", "kind", "sector", "bit", "word"}},
    {"uncorrectable", "block 1 page 1 (data) sector 2: uncorrectable, syndrome 0x00001234",
     {"record", "block", "offset", "page", "kind", "sector", "found"}},
    {"page_tag", "block 1 page 1 (data): page tag 0x00001234, expected 0x00005678",
     {"record", "block", "offset", "page", "kind", "found", "expected"}},
    {"status_word", "block 1 page 1 (data): block status word 0x00001234, expected 0x00005678",
     {"record", "block", "offset", "page", "kind", "word", "found", "expected"}},
    {"status_word_value",
     "block 1 page 1 (data): block status word 0x00001234, expected 0x00000000 or 0xffffffff",
     {"record", "block", "offset", "page", "kind", "word", "found"}},
    {"spare_word", "block 1 page 1 (data): spare[13] = 0x00001234, expected 0",
     {"record", "block", "offset", "page", "kind", "word", "found", "expected"}},
    {"header_not_zero", "block 1 page 1 (data): bytes 4-2047 are not zero",
     {"record", "block", "offset", "page", "kind"}},
    {"data_not_zero", "block 1 page 1 (data): data area is not zero",
     {"record", "block", "offset", "page", "kind"}},
    {"header_size_differs",
     "block 1 page 1 (data): header size 4660, the first header page holds 22136",
     {"record", "block", "offset", "page", "kind", "found", "expected"}},
    {"out_of_place", "block 1 page 1 (data): out of place after a fill page",
     {"record", "block", "offset", "page", "kind", "after"}},
    {"ends_inside_fill", "image ends inside the fill pages, at page 1", {"page"}},
    {"ends_after", "image ends after a fill page, before any data page that follows it",
     {"after"}},
    {"partial_record", "trailing partial record of 4660 bytes", {"found"}},
    {"header_size_misfit",
     "header size 4660 does not fit the 22136 bytes of data pages; nothing is cut",
     {"found", "expected"}},
    {"too_many_bad_blocks", "4660 bad blocks, more than the 16 that pagesmith can list",
     {"found"}},
    {"layout_header", "page 0 of every block is a header page: made with -h?", {"found"}},
    {"layout_bad_blocks", "block 4660 is a bad block, which -B does not list: made with -B 3 7?",
     {"found", "expected"}},
    {"layout_marking",
     "data pages 0 and 1 carry no block status word, which -B implies: made without -B?", {}},
    {"erased_bit",
     "block 1 page 1 (data) sector 2: record byte 1030 bit 5 reads 0 in an erased page",
     {"record", "block", "offset", "page", "kind", "sector", "byte", "bit"}},
    {"records_missing",
     "4660 record(s) from block 1 page 1 on are not in the file: the page tags step over them",
     {"record", "block", "page", "found"}},
    {"records_repeated", "4660 record(s) at block 1 page 1 stand in the file twice: read once",
     {"record", "block", "page", "found"}},
    {"erased_inside", "4660 erased record(s) from block 1 page 1 on, inside the image",
     {"record", "block", "page", "found"}},
    {"foreign_block",
     "block 4660 of the file is not the image's, and the blocks after it stand one block "
     "after their page tags: it was skipped when the image was written (a bad block of the "
     "chip?), and a boot loader that checks page tags rejects what follows; make the image "
     "with -B 4660",
     {"record", "block", "found"}},
    {"not_records",
     "4660 record(s) of the file from record 22136 on do not read as page records (their "
     "spare words 2-11 are not zero): left out",
     {"record", "block", "found", "expected"}},
    {"data_pages_missing",
     "the header pages say 22136 bytes of input; 4660 data page(s) are missing",
     {"found", "expected"}},
    {"image_cut",
     "the file ends before block 1 page 1: the header pages say 22136 bytes of input; 4660 "
     "data page(s) are missing",
     {"record", "block", "page", "found", "expected"}},
    {"not_an_image", "not an image: none of its 4660 record(s) reads as a page record",
     {"found"}},
    {"size_unproven",
     "header size 4660 does not fit the 22136 bytes of data pages: data lost, or made with "
     "-F 4660; claim -F 4660 if it was",
     {"found", "expected"}},
    {"layout_forced_size", "the header pages hold 4660, not the 22136 that -F claims",
     {"found", "expected"}},
    {"padded_or_lost",
     "block 4660 is erased inside the image: a bad block that the dump padded, or lost data: "
     "claim -B 4660 if it is listed bad",
     {"found"}},
    {"skipped_or_lost",
     "block 4660 is not in the file (the page tags step over it): a bad block that the dump "
     "left out, or lost data: claim -B 4660 if it is listed bad",
     {"found"}},
    {"chip_bad_inside",
     "block 4660 is marked bad by the chip and erased inside the image: read as a bad block "
     "that the dump padded; claim -B 4660 if it is listed bad",
     {"found"}},
    {"zeroed_record",
     "block 1 page 1 (data): all zero, page tag 0, and a data page follows: the record was "
     "zeroed",
     {"record", "block", "offset", "page", "kind"}},
    {"records_swapped",
     "the records of block 1 page 1 and the next page stand in the file in each other's "
     "place: read in tag order",
     {"record", "block", "page"}},
    {"stray_records",
     "4660 record(s) of the file from record 22136 on carry the page tags of other places, "
     "and the records after them go on in sequence: not the image's, left out",
     {"record", "block", "found", "expected"}},
    {"size_or_no_header",
     "header size 4660 does not fit the 22136 bytes of data pages: data lost, or made with "
     "-F 4660, or made without -h (claim --no-header if it was)",
     {"found", "expected"}},
    {"image_starts_later",
     "the image starts at byte 4660 of the file: the bytes before it are not the image's, "
     "and records of the file are counted from there",
     {"found"}},
    {"zeroed_or_tag_flip",
     "block 1 page 1 (data): all zero, page tag 0: the record was zeroed, or a page of zero "
     "bytes whose tag lost its one bit; its bytes are listed as lost",
     {"record", "block", "offset", "page", "kind"}},
    {"readings_differ",
     "block 1 page 1 sector 2: the readings correct it to different bytes; most of them agree, "
     "and that is taken",
     {"record", "block", "page", "sector", "found"}},
};

// The JSON document a writer makes of one finding, parsed.
json document_of(const finding& f, const found_layout& layout)
{
    char* bytes = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&bytes, &size);
    {
        const auto writer =
            make_json_writer(out, "image", report_detail::findings, map_request::absent);
        writer->write_layout(layout);
        writer->write_finding(f);
        writer->write_summary(check_summary{});
    }
    std::fclose(out);
    const std::string text(bytes, size);
    std::free(bytes);
    return json::parse(text);
}

TEST(FindingKinds, EachHasItsTextAndExactlyItsJsonFields)
{
    ASSERT_EQ(std::size(finding_rows), static_cast<size_t>(FINDING_KIND_COUNT));
    const found_layout layout = sample_layout();
    for (int k = 0; k < FINDING_KIND_COUNT; ++k) {
        const finding_row& row = finding_rows[k];
        const finding f = sample_finding(static_cast<finding_kind>(k));
        SCOPED_TRACE(row.name);
        EXPECT_EQ(describe_finding(f, layout), row.text);
        const json values = {{"record", 65}, {"block", 1}, {"offset", 65 * 2112},
                             {"page", 1}, {"kind", "data"},
                             {"sector", 2},  {"byte", 1030}, {"bit", 5}, {"word", 13},
                             {"found", 0x1234}, {"expected", 0x5678}, {"after", "fill"}};
        json expected = {{"finding", row.name}, {"text", row.text}};
        for (const auto& [key, value] : values.items())
            expected[key] = nullptr;
        for (const char* field : row.fields)
            expected[field] = values[field];
        const json doc = document_of(f, layout);
        ASSERT_EQ(doc["findings"].size(), 1u);
        EXPECT_EQ(doc["findings"][0], expected);
    }
}

// The other finding texts whose words depend on a value.
// The manual page lists every kind of finding by its JSON name.
TEST(FindingKinds, TheManualNamesEachKind)
{
    const std::string manual = read_file(std::string(PAGESMITH_SOURCE_DIR) + "/man/pagecheck.1.in");
    const size_t list = manual.find("(its kind:");
    ASSERT_NE(list, std::string::npos);
    std::set<std::string> words;
    std::string word;
    for (size_t at = list; at < manual.size(); ++at) {
        const char c = manual[at];
        if (std::islower(static_cast<unsigned char>(c)) || c == '_') {
            word.push_back(c);
        } else if (!word.empty()) {
            words.insert(word);
            word.clear();
        }
        if (c == ')')
            break;
    }
    for (const finding_row& row : finding_rows)
        EXPECT_TRUE(words.count(row.name)) << row.name;
}

TEST(FindingKinds, WordsFollowTheirValues)
{
    finding header = sample_finding(finding_kind::layout_header);
    header.found = 0;
    finding listed = sample_finding(finding_kind::layout_bad_blocks);
    listed.expected = 0;
    EXPECT_EQ(describe_finding(header, {}),
              "no block starts with a header page: made without -h?");
    EXPECT_EQ(describe_finding(listed, {}),
              "block 4660 is not a bad block, though -B lists it: made without -B?");
}

struct cell_row {
    const char* name;
    page_kind kind;
    map_cell marks;
    char shown;  // on the text map
};

const cell_row cell_rows[] = {
    {"data", page_kind::data, 0, 'D'},
    {"header", page_kind::header, 0, 'H'},
    {"bad_block", page_kind::bad_block, 0, 'B'},
    {"fill", page_kind::fill, 0, 'F'},
    {"erased", page_kind::erased, 0, 'E'},
    {"chip_bad", page_kind::chip_bad, 0, 'M'},
    {"corrected_keeps_the_kind", page_kind::header, CELL_CORRECTED, 'h'},
    {"not_in_the_file", page_kind::data, CELL_ABSENT | CELL_UNCORRECTABLE, '-'},
    {"not_the_images", page_kind::erased, CELL_OUTSIDE | CELL_PROBLEM, '~'},
    {"problem_over_corrected", page_kind::fill, CELL_CORRECTED | CELL_PROBLEM, '!'},
    {"uncorrectable_over_problem", page_kind::data, CELL_PROBLEM | CELL_UNCORRECTABLE, 'X'},
};

TEST(PageKinds, EachHasItsLetterUnderTheWorstMark)
{
    std::set<page_kind> unmarked;
    for (const cell_row& row : cell_rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(map_char(static_cast<map_cell>(static_cast<map_cell>(row.kind) | row.marks)),
                  row.shown);
        if (row.marks == 0)
            unmarked.insert(row.kind);
    }
    EXPECT_EQ(unmarked.size(), static_cast<size_t>(PAGE_KIND_COUNT));
}

// The README, the manual page and --help name every character the map
// shows: a new kind or mark needs its words in each.
TEST(PageKinds, EveryMapCharacterIsDocumented)
{
    const std::string readme = read_file(std::string(PAGESMITH_SOURCE_DIR) + "/README.md");
    const std::string manual = read_file(std::string(PAGESMITH_SOURCE_DIR) + "/man/pagecheck.1.in");
    const tool_result help = run_tool({PAGECHECK_BINARY, "--help"});
    const size_t legend = help.out.find("  --map ");
    ASSERT_NE(legend, std::string::npos);
    const std::string help_legend = help.out.substr(legend, help.out.find("  --svg ") - legend);
    for (const cell_row& row : cell_rows) {
        if (std::islower(static_cast<unsigned char>(row.shown)))
            continue;  // a kind's letter in lower case: "in lower case when corrected"
        const std::string shown(1, row.shown);
        SCOPED_TRACE(row.name);
        EXPECT_NE(readme.find("`" + shown + "` "), std::string::npos);
        const std::string in_manual = row.shown == '-'   ? "\\-"
                                      : row.shown == '~' ? "\\(ti"
                                                         : shown;
        EXPECT_NE(manual.find(".B " + in_manual + "\n"), std::string::npos);
        EXPECT_NE(help_legend.find(shown), std::string::npos);
    }
}

// Blocks that the picture merges into one row show, page by page, the kind
// that tells most: bad block, then header, data, chip-bad, fill and erased.
TEST(PageKinds, MergedRowsShowTheMostTellingKind)
{
    const page_kind rank[] = {page_kind::erased,    page_kind::fill,   page_kind::chip_bad,
                              page_kind::data,      page_kind::header, page_kind::bad_block};
    ASSERT_EQ(std::size(rank), static_cast<size_t>(PAGE_KIND_COUNT));
    // One page for each pair of kinds: even blocks hold the lesser kind there,
    // odd blocks the greater, so every merged row holds both.
    std::vector<std::pair<page_kind, page_kind>> pairs;
    for (size_t a = 0; a < std::size(rank); ++a)
        for (size_t b = a + 1; b < std::size(rank); ++b)
            pairs.emplace_back(rank[a], rank[b]);
    svg_map map;
    for (uint64_t block = 0; block < 4 * SVG_MAX_ROWS; ++block) {
        std::string cells;
        for (const auto& [lesser, greater] : pairs)
            cells.push_back(static_cast<char>(block % 2 ? greater : lesser));
        svg_block(map, block, cells);
    }
    ASSERT_LE(map.rows.size(), SVG_MAX_ROWS);
    ASSERT_FALSE(map.rows.empty());
    for (const svg_row& row : map.rows) {
        ASSERT_TRUE(row.merged);
        for (size_t page = 0; page < pairs.size(); ++page)
            EXPECT_EQ(kind_of_cell(static_cast<map_cell>(row.cells[page])), pairs[page].second)
                << "page " << page;
    }
}

// The check of the finding texts that the build makes: what it lets
// through and what it stops.
struct text_case {
    const char* text;
    unsigned fields;
    bool sound;
};

const text_case text_cases[] = {
    {"no braces at all", 0, true},
    {" sector {sector}: byte {byte} bit {bit}", FIELD_SECTOR | FIELD_BYTE | FIELD_BIT, true},
    {"{found:x} {expected:d} {found?yes|no}", FIELD_FOUND | FIELD_EXPECTED, true},
    {"block {block} page {page}, {header_size_bytes} bytes, made {bad_block_options}", 0, true},
    {"sector {sectro}", FIELD_SECTOR, false},           // a name the report does not know
    {"sector {sector}", 0, false},                      // a field the kind does not show
    {"value {found:q}", FIELD_FOUND, false},            // a form the report does not know
    {"value {found:xx}", FIELD_FOUND, false},
    {"value {found?yes}", FIELD_FOUND, false},          // a choice without its second word
    {"value {found", FIELD_FOUND, false},               // a brace left open
    {"value found}", FIELD_FOUND, false},               // a brace never opened
    {"value {}", FIELD_FOUND, false},
};

TEST(FindingTexts, TheBuildStopsATextTheReportCannotFill)
{
    for (const text_case& c : text_cases)
        EXPECT_EQ(text_is_sound(c.text, c.fields), c.sound) << c.text;
}

}  // namespace
