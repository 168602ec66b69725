// The report as one JSON document: {"image", "layout", "findings", "map"
// (with --map), "summary"}.  Every value is written by nlohmann-json.  The
// findings and map lines wait in spools, each written as it comes, so that
// memory does not grow with their number; the document is put together
// from these pieces at the end.
#ifndef PAGESMITH_JSON_REPORT_H
#define PAGESMITH_JSON_REPORT_H

#include <cstdio>
#include <string>

#include "check_findings.h"
#include "image_map.h"
#include "report_spool.h"

// Whether the document holds a map.
enum class json_map { absent, present };

// A JSON report being written.
struct json_report {
    FILE* stream = stdout;
    bool with_findings = true;    // false with -q: the list stays empty
    json_map map = json_map::absent;
    report_spool findings;        // finding objects, comma-separated
    report_spool runs;            // map run objects, comma-separated
    uint64_t finding_count = 0;
    uint64_t run_count = 0;
    image_layout layout;          // known at the end
};

// Opens the spools of a JSON report on `stream`.
void open_json_report(json_report& report, FILE* stream, bool with_findings, json_map map);

// Takes one finding.  False on a write error, with errno set.
bool json_finding(json_report& report, const finding& f);

// Takes one run of the map.  False on a write error, with errno set.
bool json_map_run(json_report& report, const map_run& run, const std::string& chars);

// Writes the whole document.  False on a write error, with errno set.
bool finish_json_report(json_report& report, const std::string& image_name,
                        const check_summary& summary);

#endif
