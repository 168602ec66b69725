// The map drawn as an SVG picture.
#include "map_svg.h"

#include <algorithm>
#include <cinttypes>

#include "block_health.h"
#include "page_kinds.h"
#include "svg_text.h"

namespace {

// Geometry of the picture, in pixels.
constexpr int CELL = 10;            // side of a page cell
constexpr int ROW = 12;             // height of a row
constexpr int LABEL_WIDTH = 170;    // room for "blocks A-B" left of the cells
constexpr int MARGIN = 12;
constexpr int HEADER_HEIGHT = 96;   // title, layout, summary and page numbers
constexpr int LEGEND_HEIGHT = 72;
constexpr int WIDTH = 2 * MARGIN + LABEL_WIDTH + PAGES_PER_BLOCK * CELL;
// Characters of the title (the image's name, in bold) that fit the width.
constexpr size_t TITLE_CHARACTERS = 90;

// Colours of the marks of damage, from the same colour-blind-safe palette
// as the kinds; each mark also has a shape of its own.
constexpr const char* UNCORRECTABLE_COLOUR = "#000000";  // a cross
constexpr const char* PROBLEM_COLOUR = "#D55E00";        // a square outline
constexpr const char* CORRECTED_COLOUR = "#F0E442";      // a dot, outlined
constexpr const char* ABSENT_COLOUR = "#000000";         // a dashed square: not in the file
constexpr const char* OUTSIDE_COLOUR = "#009E73";        // a bar: not the image's

// The health shades behind a row's label, from one corrected bit to an
// uncorrectable sector: one hue of the palette, darker with more.
constexpr const char* HEALTH_COLOUR = "#D55E00";
constexpr double HEALTH_OPACITY[] = {0.0, 0.2, 0.45, 0.75, 1.0};
static_assert(std::size(HEALTH_OPACITY) == HEALTH_SHADES, "each health shade has an opacity");
// Room below the legend for the health shades.
constexpr int HEALTH_LEGEND_HEIGHT = 22;

// The cell showing both a and b: every mark of either, the kind that
// takes precedence.
map_cell merge_cell(map_cell a, map_cell b)
{
    const map_cell marks = static_cast<map_cell>((a | b) & ~CELL_KIND);
    const bool a_shows = look_of(kind_of_cell(a)).precedence <= look_of(kind_of_cell(b)).precedence;
    return static_cast<map_cell>(marks | ((a_shows ? a : b) & CELL_KIND));
}

// Merges the cells of `from` into `into`.
void merge_cells(std::string& into, const std::string& from)
{
    if (from.size() > into.size())
        into.resize(from.size(), static_cast<char>(page_kind::fill));
    for (size_t i = 0; i < from.size(); ++i)
        into[i] = static_cast<char>(merge_cell(static_cast<map_cell>(into[i]),
                                               static_cast<map_cell>(from[i])));
}

// Adds a row after the others, joining it to the last one when they show
// the same blocks in a row, or lie in the same group.
void append_row(svg_map& map, const svg_row& row)
{
    if (!map.rows.empty()) {
        svg_row& last = map.rows.back();
        const bool same = !last.merged && !row.merged && last.cells == row.cells &&
                          last.last + 1 == row.first;
        const bool grouped = map.group > 1 && last.first / map.group == row.last / map.group;
        if (same || grouped) {
            if (!same) {
                merge_cells(last.cells, row.cells);
                last.merged = true;
            }
            last.last = row.last;
            return;
        }
    }
    map.rows.push_back(row);
}

// Doubles the group until the rows fit in a picture.
void regroup(svg_map& map)
{
    while (map.rows.size() > SVG_MAX_ROWS) {
        map.group *= 2;
        std::vector<svg_row> rows;
        rows.swap(map.rows);
        for (const svg_row& row : rows)
            append_row(map, row);
    }
}

// The label of a row.
std::string row_label(const svg_row& row)
{
    return blocks_text(row.first, row.last - row.first + 1) + (row.merged ? " *" : "");
}

// Writes the marks of a damaged cell at x, y.
void write_marks(FILE* out, map_cell cell, int x, int y)
{
    if (cell & CELL_UNCORRECTABLE)
        std::fprintf(out, "<path d=\"M%d %dl%d %dm0 -%dl-%d %d\" stroke=\"%s\" "
                          "stroke-width=\"2\"/>\n",
                     x + 1, y + 1, CELL - 2, CELL - 2, CELL - 2, CELL - 2, CELL - 2,
                     UNCORRECTABLE_COLOUR);
    else if (cell & CELL_PROBLEM)
        std::fprintf(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" "
                          "stroke=\"%s\" stroke-width=\"2\"/>\n",
                     x + 1, y + 1, CELL - 2, CELL - 2, PROBLEM_COLOUR);
    else if (cell & CELL_CORRECTED)
        std::fprintf(out, "<circle cx=\"%d\" cy=\"%d\" r=\"2.5\" fill=\"%s\" stroke=\"#000000\" "
                          "stroke-width=\"0.5\"/>\n",
                     x + CELL / 2, y + CELL / 2, CORRECTED_COLOUR);
    if (cell & CELL_ABSENT)
        std::fprintf(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"white\" "
                          "stroke=\"%s\" stroke-dasharray=\"2 2\"/>\n",
                     x + 1, y + 1, CELL - 2, CELL - 2, ABSENT_COLOUR);
    if (cell & CELL_OUTSIDE)
        std::fprintf(out, "<path d=\"M%d %dh%d\" stroke=\"%s\" stroke-width=\"3\"/>\n",
                     x, y + CELL / 2, CELL, OUTSIDE_COLOUR);
}

// Writes one row: its label, runs of pages of one kind as one rectangle,
// then the marks.
void write_row(FILE* out, const svg_row& row, int y)
{
    std::fprintf(out, "<text x=\"%d\" y=\"%d\" text-anchor=\"end\">%s</text>\n",
                 MARGIN + LABEL_WIDTH - 6, y + CELL - 1, row_label(row).c_str());
    const int x0 = MARGIN + LABEL_WIDTH;
    for (size_t i = 0; i < row.cells.size();) {
        const page_kind kind = kind_of_cell(static_cast<map_cell>(row.cells[i]));
        size_t j = i;
        while (j < row.cells.size() && kind_of_cell(static_cast<map_cell>(row.cells[j])) == kind)
            ++j;
        // Outlined as in the legend: erased pages are as white as the page.
        std::fprintf(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\" "
                          "stroke=\"#999999\" stroke-width=\"0.5\"/>\n",
                     x0 + static_cast<int>(i) * CELL, y, static_cast<int>(j - i) * CELL, CELL,
                     look_of(kind).colour);
        i = j;
    }
    for (size_t i = 0; i < row.cells.size(); ++i)
        write_marks(out, static_cast<map_cell>(row.cells[i]), x0 + static_cast<int>(i) * CELL, y);
}

// Shades the label of a row whose blocks wear (`shade` 1 to 4).
void write_health_shade(FILE* out, int shade, int y)
{
    if (shade == 0)
        return;
    std::fprintf(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\" "
                      "fill-opacity=\"%.2f\"/>\n",
                 MARGIN, y, LABEL_WIDTH - 4, CELL, HEALTH_COLOUR, HEALTH_OPACITY[shade]);
}

// Writes the legend of the health shades at y.
void write_health_legend(FILE* out, int y)
{
    std::fprintf(out, "<text x=\"%d\" y=\"%d\">block health:</text>\n", MARGIN, y + CELL - 1);
    int x = MARGIN + 90;
    for (int shade = 1; shade < HEALTH_SHADES; ++shade, x += 130) {
        std::fprintf(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\" "
                          "fill-opacity=\"%.2f\"/>\n",
                     x, y, CELL, CELL, HEALTH_COLOUR, HEALTH_OPACITY[shade]);
        std::fprintf(out, "<text x=\"%d\" y=\"%d\">%s</text>\n", x + CELL + 4, y + CELL - 1,
                     HEALTH_SHADE_WORDS[shade]);
    }
}

// Writes the legend at y.
void write_legend(FILE* out, int y)
{
    int x = MARGIN;
    for (int k = 0; k < PAGE_KIND_COUNT; ++k, x += 110) {
        const page_kind_look look = look_of(static_cast<page_kind>(k));
        std::fprintf(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\" "
                          "stroke=\"#999999\" stroke-width=\"0.5\"/>\n",
                     x, y, CELL, CELL, look.colour);
        std::fprintf(out, "<text x=\"%d\" y=\"%d\">%s</text>\n", x + CELL + 4, y + CELL - 1,
                     look.label);
    }
    static const map_cell marks[] = {CELL_CORRECTED, CELL_PROBLEM, CELL_UNCORRECTABLE,
                                     CELL_ABSENT, CELL_OUTSIDE};
    static const char* const mark_label[] = {"corrected bit", "other finding", "uncorrectable",
                                             "not in the file", "not the image's"};
    x = MARGIN;
    for (size_t m = 0; m < sizeof marks / sizeof marks[0]; ++m, x += 150) {
        std::fprintf(out, "<rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"%s\"/>\n",
                     x, y + 22, CELL, CELL, look_of(page_kind::data).colour);
        write_marks(out, marks[m], x, y + 22);
        std::fprintf(out, "<text x=\"%d\" y=\"%d\">%s</text>\n", x + CELL + 4, y + 22 + CELL - 1,
                     mark_label[m]);
    }
}

// Writes the page numbers above the cells.
void write_page_axis(FILE* out, int y)
{
    for (int page = 0; page < PAGES_PER_BLOCK; page += 8)
        std::fprintf(out, "<text x=\"%d\" y=\"%d\" font-size=\"9\">%d</text>\n",
                     MARGIN + LABEL_WIDTH + page * CELL, y, page);
    std::fprintf(out, "<text x=\"%d\" y=\"%d\" font-size=\"9\" text-anchor=\"end\">page"
                      "</text>\n",
                 MARGIN + LABEL_WIDTH - 6, y);
}

// True when some row merges blocks that differ.
bool has_merged_rows(const svg_map& map)
{
    return std::any_of(map.rows.begin(), map.rows.end(),
                       [](const svg_row& row) { return row.merged; });
}

}  // namespace

void svg_block(svg_map& map, uint64_t block, const std::string& cells)
{
    append_row(map, {block, block, cells, false});
    regroup(map);
}

bool write_svg(FILE* out, const svg_map& map, const svg_texts& texts)
{
    const int rows_height = static_cast<int>(map.rows.size()) * ROW;
    const int health_height = texts.health ? HEALTH_LEGEND_HEIGHT : 0;
    const int height = HEADER_HEIGHT + rows_height + LEGEND_HEIGHT + health_height + MARGIN;
    std::fprintf(out, "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
                      "viewBox=\"0 0 %d %d\" font-family=\"sans-serif\" font-size=\"11\">\n",
                 WIDTH, height, WIDTH, height);
    std::fprintf(out, "<rect width=\"%d\" height=\"%d\" fill=\"white\"/>\n", WIDTH, height);
    std::fprintf(out, "<text x=\"%d\" y=\"22\" font-size=\"15\" font-weight=\"bold\">%s</text>\n",
                 MARGIN, xml_text(shortened(texts.title, TITLE_CHARACTERS)).c_str());
    std::fprintf(out, "<text x=\"%d\" y=\"42\">%s</text>\n", MARGIN,
                 xml_text(texts.layout).c_str());
    // The summary is long: its counts of pages and of sectors go on two lines.
    std::fprintf(out, "<text x=\"%d\" y=\"58\" font-size=\"10\">%s</text>\n", MARGIN,
                 xml_text(texts.summary.pages).c_str());
    std::fprintf(out, "<text x=\"%d\" y=\"71\" font-size=\"10\">%s</text>\n", MARGIN + 54,
                 xml_text(texts.summary.sectors).c_str());
    write_page_axis(out, HEADER_HEIGHT - 4);
    int y = HEADER_HEIGHT;
    for (const svg_row& row : map.rows) {
        if (texts.health)
            write_health_shade(out, health_shade(*texts.health, row.first, row.last), y);
        write_row(out, row, y);
        y += ROW;
    }
    write_legend(out, y + 10);
    if (texts.health)
        write_health_legend(out, y + 10 + 44);
    if (has_merged_rows(map))
        std::fprintf(out, "<text x=\"%d\" y=\"%d\">* blocks merged into one row "
                          "(%" PRIu64 " to a group): each page shows the worst of them</text>\n",
                     MARGIN, y + 10 + 44 + health_height + CELL - 1, map.group);
    std::fputs("</svg>\n", out);
    return std::fflush(out) == 0 && !std::ferror(out);
}
