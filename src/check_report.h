// The text report of a check: one line per finding, then the summary line.
// Scripts parse these lines, so their form stays as it is.
#ifndef PAGESMITH_CHECK_REPORT_H
#define PAGESMITH_CHECK_REPORT_H

#include <cstdio>
#include <string>

#include "check_findings.h"

// Name of a page kind, as the report writes it.
const char* page_kind_name(page_kind kind);

// The text of a finding, without a line end: "block B page P (kind)..." for
// a finding about a record, the bare text for one about the image.
std::string describe_finding(const finding& f);

// Whether the report lists the findings or only the summary (-q).
enum class report_detail { findings, summary_only };

// Where and how the text report is written.
struct text_report {
    FILE* stream;          // the report stream
    const char* prefix;    // written before every line
    report_detail detail;
};

// Writes one finding as a line (unless only the summary is wanted).
// False on a write error, with errno set.
bool print_finding(const text_report& report, const finding& f);

// Writes the summary line.  False on a write error, with errno set.
bool print_summary(const text_report& report, const check_summary& summary);

#endif
