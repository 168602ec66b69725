// The other forms of pagecheck's report: the JSON document, parsed here;
// the text map; and the picture's rows, which must cover every block once
// and keep every damaged page visible however many blocks share a row.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "map_svg.h"
#include "svg_text.h"
#include "case_names.h"
#include "tool_runner.h"

namespace {

using case_names::PrintTo;

using nlohmann::json;

const std::string pagesmith = PAGESMITH_BINARY;
const std::string pagecheck = PAGECHECK_BINARY;

constexpr size_t PAGE = 2048;
constexpr size_t RECORD = 2048 + 64;

// Makes an image of `input` with pagesmith options; returns its path.
std::string make_image(const scratch_dir& dir, const std::string& name, const std::string& input,
                       const std::vector<std::string>& options)
{
    EXPECT_EQ(convert_input(pagesmith, dir, name, input, options).status, 0);
    return dir.file(name);
}

// Flips one bit of the image file at `at`.
void flip(const std::string& path, size_t at, int bit)
{
    std::string bytes = read_file(path);
    bytes[at] ^= static_cast<char>(1 << bit);
    write_file(path, bytes);
}

struct json_case {
    const char* name;
    std::vector<std::string> make;    // pagesmith options
    size_t input_size;
    std::vector<size_t> flips = {};   // bytes of the image to flip (bit 0)
    std::vector<std::string> check = {};  // pagecheck options besides --json
    std::string options;              // layout.options expected
    json input_size_json;             // layout.input_size expected
    std::vector<std::string> findings = {};  // "finding" of each, in order
    size_t counted = 0;               // findings the summary counts
    int status = 0;
};

class Json : public ::testing::TestWithParam<json_case> {};

TEST_P(Json, IsOneDocumentWithEveryField)
{
    const json_case& c = GetParam();
    scratch_dir dir;
    // A name no JSON string can hold as it is: a quote, a backslash, a
    // control character and a byte that is not UTF-8.
    const std::string image =
        make_image(dir, "im\"a\\ge\x01\xff.img", random_bytes(c.input_size, 31), c.make);
    for (size_t at : c.flips)
        flip(image, at, 0);
    std::vector<std::string> argv = {pagecheck, "--json"};
    argv.insert(argv.end(), c.check.begin(), c.check.end());
    argv.push_back(image);
    const tool_result r = run_tool(argv);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, "");
    const json doc = json::parse(r.out);  // throws on anything but one JSON document
    EXPECT_EQ(doc["version"], 1);
    EXPECT_EQ(doc["image"], dir.file("im\"a\\ge\x01\xef\xbf\xbd.img"));
    const json& layout = doc["layout"];
    EXPECT_EQ(layout["options"], c.options);
    EXPECT_EQ(layout["input_size"], c.input_size_json);
    for (const char* key : {"header", "status_words", "fill"})
        EXPECT_TRUE(layout[key].is_boolean()) << key;
    EXPECT_TRUE(layout["bad_blocks"].is_array());
    // Each finding object's fields are checked kind by kind in report_tables_test.
    std::vector<std::string> kinds;
    for (const json& f : doc["findings"])
        kinds.push_back(f["finding"]);
    EXPECT_EQ(kinds, c.findings);
    EXPECT_EQ(doc["summary"]["status"], c.status);
    const json& summary = doc["summary"];
    const size_t counted = summary["corrected"].get<size_t>() +
                           summary["uncorrectable"].get<size_t>() +
                           summary["other_problems"].get<size_t>();
    EXPECT_EQ(counted, c.counted);
}

const json_case json_cases[] = {
    {.name = "sound", .make = {"-h", "-b", "-B", "1", "-f"}, .input_size = 70 * PAGE + 5,
     .options = "-h -b -B 1 -f", .input_size_json = 70 * PAGE + 5},
    {.name = "empty", .make = {}, .input_size = 0, .options = "no options", .input_size_json = 0},
    {.name = "damaged", .make = {"-f"}, .input_size = 3 * PAGE, .flips = {5, 7, RECORD + PAGE + 6},
     .options = "-f", .input_size_json = nullptr,
     .findings = {"uncorrectable", "page_tag"}, .counted = 2, .status = 1},
    {.name = "corrected", .make = {"-s"}, .input_size = 2 * PAGE, .options = "no options",
     .input_size_json = nullptr, .findings = {"corrected_data", "corrected_data"},
     .counted = 2},
    {.name = "claim_disagrees", .make = {}, .input_size = 3 * PAGE,
     .check = {"-H", "-B", "5"}, .options = "no options", .input_size_json = nullptr,
     .findings = {"layout_header", "layout_marking"}, .counted = 2, .status = 1},
    {.name = "quiet_keeps_no_findings", .make = {"-s"}, .input_size = 2 * PAGE,
     .check = {"-q"}, .options = "no options", .input_size_json = nullptr, .counted = 2},
};

INSTANTIATE_TEST_SUITE_P(Report, Json, ::testing::ValuesIn(json_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// The text map: a line per run of blocks that look the same, a character
// per page.
TEST(Map, CollapsesBlocksThatLookTheSame)
{
    scratch_dir dir;
    const std::string image =
        make_image(dir, "image", random_bytes(4 * 63 * PAGE + 10 * PAGE, 32), {"-h", "-f"});
    flip(image, 2 * 64 * RECORD + 5 * RECORD + 100, 3);  // block 2 page 5: corrected
    const tool_result r = run_tool({pagecheck, "--map", image});
    EXPECT_EQ(r.status, 0);
    const std::string d63(63, 'D');
    const std::string expected_map =
        "map: blocks 0-1: H" + d63 + "\n" + "map: block 2: HDDDDd" + std::string(58, 'D') +
        "\n" + "map: block 3: H" + d63 + "\n" + "map: block 4: H" + std::string(10, 'D') +
        std::string(53, 'F') + "\n";
    const size_t start = r.out.find("map: ");
    ASSERT_NE(start, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(start, r.out.rfind("summary: ") - start), expected_map);
}

// The picture's rows, for a map of `blocks` blocks whose pages are drawn at
// random, some of them damaged.
TEST(Picture, RowsCoverEveryBlockAndKeepTheDamage)
{
    for (const uint64_t blocks : {1ull, 150ull, 161ull, 5000ull, 70000ull}) {
        SCOPED_TRACE(blocks);
        std::mt19937 rng(static_cast<unsigned>(blocks));
        svg_map map;
        std::vector<uint64_t> damaged;
        for (uint64_t b = 0; b < blocks; ++b) {
            std::string cells(64, static_cast<char>(b % 3 == 0 ? 1 : 0));
            if (rng() % 97 == 0) {
                cells[rng() % 64] |= static_cast<char>(CELL_UNCORRECTABLE);
                damaged.push_back(b);
            }
            svg_block(map, b, cells);
        }
        ASSERT_LE(map.rows.size(), SVG_MAX_ROWS);
        uint64_t next = 0;
        for (const svg_row& row : map.rows) {
            EXPECT_EQ(row.first, next);
            EXPECT_GE(row.last, row.first);
            next = row.last + 1;
        }
        EXPECT_EQ(next, blocks);
        for (uint64_t b : damaged) {
            const auto row = std::find_if(map.rows.begin(), map.rows.end(),
                                          [b](const svg_row& r) { return r.last >= b; });
            ASSERT_NE(row, map.rows.end());
            bool marked = false;
            for (char c : row->cells)
                marked = marked || (c & CELL_UNCORRECTABLE);
            EXPECT_TRUE(marked) << "block " << b;
        }
    }
}

}  // namespace

namespace {

// The picture goes where --svg says, "-" the standard output (and the
// report then to the error stream), but never where the recovered input
// goes.
TEST(Picture, GoesToItsOwnFile)
{
    scratch_dir dir;
    const std::string input = random_bytes(5000, 33);
    const std::string image = make_image(dir, "image", input, {"-h"});
    run_options to_file;
    to_file.stdout_path = dir.file("stdout");
    const tool_result piped = run_tool({pagecheck, "--svg", "-", image}, to_file);
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(read_file(dir.file("stdout")).rfind("<svg ", 0), 0u);
    EXPECT_EQ(piped.err.rfind("pagecheck: layout: -h, input 5000 bytes\n", 0), 0u) << piped.err;

    for (const std::vector<std::string>& clash :
         {std::vector<std::string>{"-o", dir.file("same"), "--svg", dir.file("same")},
          std::vector<std::string>{"-o", "-", "--svg", "/dev/stdout"}}) {
        std::vector<std::string> argv = {pagecheck};
        argv.insert(argv.end(), clash.begin(), clash.end());
        argv.push_back(image);
        const tool_result r = run_tool(argv, to_file);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "pagecheck: the picture and the recovered input would go to the same "
                         "file\n");
    }
}

// The picture's texts: UTF-8 names kept as they are, whatever else made
// safe for XML, and long names shortened in the middle.
TEST(Picture, TextsStayReadable)
{
    const struct {
        std::string text;
        size_t most;
        std::string shown;
    } rows[] = {
        {"boot.img", 90, "boot.img"},
        {"b\xc3\xb6\xc3\xb6t \xe2\x80\x94 \xf0\x9f\x93\x80.img", 90,
         "b\xc3\xb6\xc3\xb6t \xe2\x80\x94 \xf0\x9f\x93\x80.img"},
        {"a<b>&\"c\x01\x7f", 90, "a&lt;b&gt;&amp;&quot;c??"},
        // A stray continuation byte, a cut sequence, an overlong form and a
        // surrogate are not UTF-8.
        {"x\x80y\xc3 \xc0\xaf \xed\xa0\x80", 90,
         "x\xef\xbf\xbdy\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd "
         "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        // U+FFFE and U+FFFF are UTF-8 that XML does not allow; U+FFFD is.
        {"a\xef\xbf\xbe\xef\xbf\xbf\xef\xbf\xbd", 90,
         "a\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
        {"/very/long/folder/name/image.img", 16, "/very\xe2\x80\xa6/image.img"},
        {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 4,
         "\xc3\xa9\xe2\x80\xa6\xc3\xa9\xc3\xa9"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(xml_text(shortened(row.text, row.most)), row.shown) << row.text;
}

}  // namespace
