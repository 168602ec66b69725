// The converter's trace buffer.
#include "trace_output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// Writes the first n bytes held and keeps the rest; a failure is kept in
// `trace`, and then nothing more is written.
void write_held(trace_output& trace, size_t n)
{
    size_t done = 0;
    while (trace.error == 0 && done < n) {
        const ssize_t written = write(trace.fd, trace.bytes + done, n - done);
        if (written <= 0)
            trace.error = written < 0 ? errno : EIO;
        else
            done += static_cast<size_t>(written);
    }
    if (trace.error != 0) {
        trace.used = 0;
        return;
    }
    trace.used -= n;
    std::memmove(trace.bytes, trace.bytes + n, trace.used);
}

// Writes what is due: everything after each call on a terminal, else a
// piece once the bytes held pass its size.
void write_due(trace_output& trace)
{
    if (trace.timing == trace_timing::by_call)
        write_held(trace, trace.used);
    else if (trace.used > TRACE_PIECE_SIZE)
        write_held(trace, TRACE_PIECE_SIZE);
}

// Adds n bytes of any length, writing each piece as it fills and more
// bytes wait to follow it.
void add_bytes(trace_output& trace, const char* text, size_t n)
{
    if (trace.timing == trace_timing::never)
        return;
    while (n > 0 && trace.error == 0) {
        if (trace.used >= TRACE_PIECE_SIZE) {
            write_held(trace, TRACE_PIECE_SIZE);
            continue;
        }
        const size_t take = std::min(n, TRACE_PIECE_SIZE - trace.used);
        std::memcpy(trace.bytes + trace.used, text, take);
        trace.used += take;
        text += take;
        n -= take;
    }
}

}  // namespace

void start_trace(trace_output& trace, int fd)
{
    trace.fd = fd;
    trace.timing = isatty(fd) ? trace_timing::by_call : trace_timing::by_piece;
    trace.error = 0;
    trace.used = 0;
}

void discard_trace(trace_output& trace)
{
    trace.fd = -1;
    trace.timing = trace_timing::never;
    trace.error = 0;
    trace.used = 0;
}

char* trace_space(trace_output& trace)
{
    return trace.bytes + trace.used;
}

char* wanted_trace_space(trace_output& trace)
{
    return trace.timing == trace_timing::never ? nullptr : trace_space(trace);
}

void trace_add(trace_output& trace, const char* end)
{
    if (trace.error != 0 || trace.timing == trace_timing::never)
        return;
    trace.used = static_cast<size_t>(end - trace.bytes);
    write_due(trace);
}

void trace_text(trace_output& trace, const char* text)
{
    add_bytes(trace, text, std::strlen(text));
    if (trace.error == 0)
        write_due(trace);
}

void trace_line(trace_output& trace, const char* text)
{
    add_bytes(trace, text, std::strlen(text));
    add_bytes(trace, "\n", 1);
    if (trace.error == 0)
        write_due(trace);
}

int flush_trace(trace_output& trace)
{
    write_held(trace, trace.used);
    return trace.error;
}
