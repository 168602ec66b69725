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

// Counts a checked record and reports its findings, then the record; a data
// page holds `input_page`.
void report_record(const check_sink& sink, check_summary& summary, const page_record& r,
                   page_kind kind, const page_findings& found, uint64_t input_page);

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

// At the end of the file: reports the records at its end that read as no
// record, or that the file is no image at all; true for the latter.
bool report_file_end(const readback_state& state, uint64_t records, const check_sink& sink,
                     check_summary& summary);

// Hands on the pages of the image from `next`, the first one past the file,
// to the end of its block (a whole block when it starts one), as not in the
// file: the map shows where the file was cut.
void report_cut(const check_sink& sink, uint64_t next);

// True when the window is full and nothing in it shows an image: no record
// stands where its page tag says, and none was checked.
bool shows_no_image(const record_window& window, const readback_state& placing,
                    const check_summary& summary);

// Hands on every record of the file not yet checked, to its end, as not
// the image's: a file that is no image gives one finding, whatever its size.
void pass_over_rest(record_window& window, window_reader& reader, const check_sink& sink,
                    check_summary& summary);

#endif
