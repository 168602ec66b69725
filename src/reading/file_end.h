// How the end of a file is reported: records at its end that read as no
// record, where the file was cut, and a file that is no image at all.
#ifndef PAGESMITH_FILE_END_H
#define PAGESMITH_FILE_END_H

#include "check_sink.h"
#include "readback.h"
#include "window_reader.h"

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
