// What the checking core takes from its caller and hands back: the claim
// of the command line, and the sink that receives the findings, the checked
// pages and the layout, in image order.
#ifndef PAGESMITH_CHECK_SINK_H
#define PAGESMITH_CHECK_SINK_H

#include <functional>
#include <optional>

#include "findings.h"

// What the command line says of the layout; each claim constrains only
// what it names.  Given, it decides what the image leaves open, and where
// the image shows otherwise one finding says so.
struct layout_claim {
    std::optional<header_pages> header = {};  // -H: present, --no-header: absent
    optional_bad_blocks bad_blocks = {};  // -B: the bad blocks (implies status words)
    std::optional<int32_t> forced_size = {};  // -F: the size the header pages hold
};

// Where a page on the map stands.
enum class page_place : uint8_t {
    image,    // a record of the file, in its place in the image
    absent,   // a record of the image that the file leaves out
    outside,  // a record of the file that is not the image's
};

// One record after its checks.
struct checked_page {
    uint64_t record = 0;               // index in the image
    uint64_t block = 0;                // record / PAGES_PER_BLOCK
    int page = 0;                      // record % PAGES_PER_BLOCK
    page_kind kind = page_kind::data;  // the kind it was taken for
    const uint8_t* data = nullptr;     // its data area, corrected
    int findings[FINDING_CLASS_COUNT] = {};  // its findings, by class
    page_place place = page_place::image;    // absent: no data, no findings
    uint64_t file_record = 0;          // its record number in the file; not absent
    uint64_t input_page = 0;           // a data page of the image: the input page it holds
};

// Receives what the check finds, in image order: the findings about a
// record come before the record itself; at the end, the layout comes
// before the findings that compare it with the claim.
struct check_sink {
    std::function<void(const finding&)> on_finding;      // may be empty
    std::function<void(const checked_page&)> on_page;    // may be empty
    std::function<void(const found_layout&)> on_layout;  // may be empty
};

#endif
