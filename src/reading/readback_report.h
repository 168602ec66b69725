// How the walk reports what the placing of records found: one finding per
// event in the file (records left out, held twice, not the image's, no
// records at all), the erased pages, and the pages of the image that the
// file leaves out, for the map.
#ifndef PAGESMITH_READBACK_REPORT_H
#define PAGESMITH_READBACK_REPORT_H

#include "check_sink.h"
#include "layout_inference.h"
#include "readback.h"
#include "window_reader.h"

// A finding about the event just before image record `at`.
finding event_finding(finding_kind what, uint64_t at, uint64_t found);

// Hands on the pages of the image from `from` up to `to` that the file
// leaves out, as pages of `kind`.
void report_absent(const check_sink& sink, uint64_t from, uint64_t to, page_kind kind);

// Before an image record is observed: takes the bad blocks that the file
// left out or holds erased just before it.  Without header pages, whose
// size could confirm them later, erased blocks that neither -B nor the chip
// marks bad are taken for lost data pages instead.
void take_events(decoded_record& r, layout_inference& inference, const found_layout& layout);

// Before an image record is checked: reports what the file did just before
// it, and carries the checks over it.
void report_events(const decoded_record& r, checker_state& checker, const check_sink& sink,
                   check_summary& summary);

// Reports a record that is erased or not the image's.
void report_other(decoded_record& r, const check_sink& sink, check_summary& summary);

#endif
