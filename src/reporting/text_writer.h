// The text report: the layout line and its notes first, then one line per
// finding, the map when asked for, and the summary line last.
#ifndef PAGESMITH_TEXT_WRITER_H
#define PAGESMITH_TEXT_WRITER_H

#include <cstdio>
#include <memory>

#include "report_writer.h"

// A writer of the report as lines of text on `stream`, each line starting
// with `prefix`.
std::unique_ptr<report_writer> make_text_writer(FILE* stream, const char* prefix,
                                                report_detail detail, map_request map,
                                                health_request health);

#endif
