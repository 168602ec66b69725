// The map of an image as an SVG picture: a row of 64 cells per block, a
// colour per kind of page, damaged pages marked, a legend, the image's name
// and its summary.  Runs of blocks that look the same share a row; when
// there are too many rows for a picture, rows merge blocks in groups.
#ifndef PAGESMITH_MAP_SVG_H
#define PAGESMITH_MAP_SVG_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "image_map.h"
#include "report_words.h"

// Rows a picture holds at most.
constexpr size_t SVG_MAX_ROWS = 128;

// One row of the picture.
struct svg_row {
    uint64_t first = 0;
    uint64_t last = 0;
    std::string cells;    // the pages; merged rows show the worst of each page
    bool merged = false;  // blocks of the row differ
};

// The rows so far.
struct svg_map {
    std::vector<svg_row> rows;
    uint64_t group = 1;  // blocks a merged row may span, aligned
};

// Takes the next block.
void svg_block(svg_map& map, uint64_t block, const std::string& cells);

// The texts the picture shows besides the map.
struct svg_texts {
    std::string title;    // the image's name
    std::string layout;   // the layout line
    summary_words summary;  // the summary line, in its two halves
    const std::vector<block_health>* health = nullptr;  // shades the rows when not null
};

// Writes the picture.  False on a write error, with errno set.
bool write_svg(FILE* out, const svg_map& map, const svg_texts& texts);

#endif
