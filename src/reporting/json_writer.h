// The report as one JSON document: {"image", "layout", "findings", "map"
// (with --map), "summary"}.  Every value is written by nlohmann-json, each
// piece as it comes, so that memory does not grow with the findings.
#ifndef PAGESMITH_JSON_WRITER_H
#define PAGESMITH_JSON_WRITER_H

#include <cstdio>
#include <memory>
#include <string>

#include "report_writer.h"

// A writer of the report on the image named `image_name` as one JSON
// document on `stream`.
std::unique_ptr<report_writer> make_json_writer(FILE* stream, const std::string& image_name,
                                                report_detail detail, map_request map);

#endif
