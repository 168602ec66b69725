// Error helpers shared by both tools: every message on the error stream goes
// through these.  A tool names its own style: the text each message starts
// with and the exit status that a failure ends with.  Only the tools' own
// drivers end the process; these only write.
#ifndef PAGESMITH_ERRORS_H
#define PAGESMITH_ERRORS_H

#include <cstdarg>
#include <cstdio>
#include <string>

// How one tool reports a failure.
struct error_style {
    const char* prefix;  // written before every message
    int status;          // exit status after a failure
};

// pagesmith: bare messages, status 1.
constexpr error_style PAGESMITH_ERRORS = {"", 1};

// Writes the prefix and a printf-style message to the error stream.
void vsay(const error_style& style, const char* format, va_list args);

// Writes the prefix and a printf-style message to the error stream.
void say(const error_style& style, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// "WORD: system error text" for the current errno, with its newline, as
// perror writes it.
std::string errno_text(const char* word);

#endif
