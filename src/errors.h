// Error helpers: every failure of the tool is reported through these, which
// write one line to the error stream and end the process with status 1.
#ifndef PAGESMITH_ERRORS_H
#define PAGESMITH_ERRORS_H

#include <cstddef>
#include <cstdio>

// Reports the current system error as "WORD: text" and ends with status 1.
[[noreturn]] void fail_errno(const char* word);

// Writes a printf-style message to the error stream and ends with status 1.
[[noreturn]] void fail_message(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

// Writes n bytes to stream; a short write is reported as "fwrite" and ends
// the process with status 1.
void write_or_fail(const void* data, size_t n, FILE* stream);

#endif
