// The text report: the layout line and its notes first, then one line per
// finding, the map when asked for, and the summary line last.  What follows
// the layout line waits in spools until the layout is known.
#ifndef PAGESMITH_TEXT_REPORT_H
#define PAGESMITH_TEXT_REPORT_H

#include <cstdio>
#include <string>

#include "check_findings.h"
#include "report_spool.h"

// Whether the report lists everything or only the summary (-q).
enum class report_detail { findings, summary_only };

// A text report being written.
struct text_report {
    FILE* stream = stdout;       // the report stream
    const char* prefix = "";     // written before every line
    report_detail detail = report_detail::findings;
    report_spool findings;       // finding lines, waiting for the layout
    report_spool map;            // map lines, waiting for the findings
    image_layout layout;         // known at the end
};

// Opens the spools of a report on `stream`.
void open_text_report(text_report& report, FILE* stream, const char* prefix,
                      report_detail detail);

// Takes one finding.  False on a write error, with errno set.
bool text_finding(text_report& report, const finding& f);

// Takes one map line.  False on a write error, with errno set.
bool text_map_line(text_report& report, const std::string& line);

// Writes the whole report.  False on a write error, with errno set.
bool finish_text_report(text_report& report, const check_summary& summary);

#endif
