// The converter's trace: text formatted straight into this buffer and
// written a piece at a time, as the standard output's stream buffer wrote
// it, or at once after each call on a terminal.
#ifndef PAGESMITH_TRACE_OUTPUT_H
#define PAGESMITH_TRACE_OUTPUT_H

#include <cstddef>

// Bytes of trace in each write, but for the last one.
constexpr size_t TRACE_PIECE_SIZE = 64 * 1024;

// Most bytes that one call adds through trace_space: the trace of one page.
constexpr size_t TRACE_ROOM = 512;

// When the trace is written.
enum class trace_timing {
    by_piece,  // once a piece is full
    by_call,   // after every call, as a terminal wants it
    never,     // never: the trace is made and thrown away
};

// The trace buffer and where it goes.  After a failed write nothing more is
// written, and `error` keeps the errno value for the end of the run.
struct trace_output {
    int fd = -1;
    trace_timing timing = trace_timing::by_piece;
    int error = 0;    // errno of the first failed write, or 0
    size_t used = 0;  // bytes in `bytes` not yet written
    char bytes[TRACE_PIECE_SIZE + TRACE_ROOM];
};

// Makes `trace` write to descriptor fd, by piece or, on a terminal, by call.
void start_trace(trace_output& trace, int fd);

// Makes `trace` throw away all it is given, for a conversion whose trace
// nobody reads.
void discard_trace(trace_output& trace);

// Where the next text goes: room for TRACE_ROOM bytes, added by trace_add.
char* trace_space(trace_output& trace);

// As trace_space, or null when the trace is thrown away: nothing need be
// formatted for it.
char* wanted_trace_space(trace_output& trace);

// Adds the text from trace_space up to `end`; writes what is due.
void trace_add(trace_output& trace, const char* end);

// Adds `text` of any length; writes what is due.
void trace_text(trace_output& trace, const char* text);

// Adds `text` of any length and a newline; writes what is due.
void trace_line(trace_output& trace, const char* text);

// Writes every byte held; returns the errno value of the first failed write
// of the run, or 0.
int flush_trace(trace_output& trace);

#endif
