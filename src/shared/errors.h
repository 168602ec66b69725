// Error helpers shared by both tools: every message on the error stream goes
// through these.  A tool names its own style: the text each message starts
// with and the exit status that a failure ends with.
#ifndef PAGESMITH_ERRORS_H
#define PAGESMITH_ERRORS_H

#include <cstdarg>
#include <cstdio>

// How one tool reports a failure.
struct error_style {
    const char* prefix;          // written before every message
    int status;                  // exit status after a failure
    void (*before)() = nullptr;  // called before every message, when given
};

// pagesmith: bare messages, status 1.
constexpr error_style PAGESMITH_ERRORS = {"", 1};

// Writes the prefix and a printf-style message to the error stream.
void vsay(const error_style& style, const char* format, va_list args);

// Writes the prefix and a printf-style message to the error stream.
void say(const error_style& style, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Writes the prefix and a printf-style message, then ends the process.
[[noreturn]] void fail_message(const error_style& style, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Writes the prefix and "WORD: system error text" for the current errno, as
// perror does, then ends the process.
[[noreturn]] void fail_errno(const error_style& style, const char* word);

#endif
