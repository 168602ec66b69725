// How each checked record is handed on: counted, its findings reported,
// then the record itself.
#ifndef PAGESMITH_RECORD_REPORT_H
#define PAGESMITH_RECORD_REPORT_H

#include "check_sink.h"
#include "page_checks.h"

// Counts a record of the file and its sectors.
void count_record(check_summary& summary);

// Counts a checked record and reports its findings, then the record; a data
// page holds `input_page`.
void report_record(const check_sink& sink, check_summary& summary, const page_record& r,
                   page_kind kind, const page_findings& found, uint64_t input_page);

#endif
