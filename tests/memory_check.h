// Runs the checking core in-process over image bytes held in memory.
#ifndef PAGESMITH_TESTS_MEMORY_CHECK_H
#define PAGESMITH_TESTS_MEMORY_CHECK_H

#include <string>
#include <vector>

#include "image_check.h"

// What one check gave.
struct memory_check {
    int read_error = 0;
    std::vector<std::string> findings;  // each as the report words it
    std::vector<uint64_t> offsets;      // the file offsets of the findings about a record
    check_summary summary;
    std::string recovered;              // the recovered input, as -o writes it
    std::vector<std::string> map;       // the text map's lines, one per run of blocks
};

// Checks `image` with the claim given.
memory_check check_in_memory(const std::string& image, const layout_claim& claim);

#endif
