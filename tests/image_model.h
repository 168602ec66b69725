// Builds the expected image, trace and diagnostics of a run from a layout
// stated by hand, record kind by record kind.
#ifndef PAGESMITH_TESTS_IMAGE_MODEL_H
#define PAGESMITH_TESTS_IMAGE_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

// What the run was given, as far as the expected records depend on it.
struct model_settings {
    std::string input;              // the input bytes
    int error_bits = 0;             // bit errors per data and fill page
    bool bad_block_table = false;   // pages 0 and 1 of a block are marked
    int32_t header_size = 0;        // value held in header pages
    std::vector<int32_t> bad_list;  // the bad-block list, for its report lines
};

// The expected outputs of a run.
struct expected_run {
    std::string image;        // the image file
    std::string trace;        // standard output after the two file names
    std::string diagnostics;  // the error stream
};

// Expands a layout such as "H D63 B F64": D data pages taking the input in
// order, H a header page, B one block of bad-block pages, F fill pages; a
// number repeats the kind.  Bit errors are drawn from random(), which the
// caller resets first.  Throws if the layout does not use the whole input.
expected_run model_from_layout(const std::string& layout, const model_settings& settings);

#endif
