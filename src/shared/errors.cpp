// The error helpers every message of both tools goes through.
#include "errors.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

void vsay(const error_style& style, const char* format, va_list args)
{
    if (style.before)
        style.before();
    std::fputs(style.prefix, stderr);
    std::vfprintf(stderr, format, args);
}

void say(const error_style& style, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsay(style, format, args);
    va_end(args);
}

void fail_message(const error_style& style, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsay(style, format, args);
    va_end(args);
    std::exit(style.status);
}

void fail_errno(const error_style& style, const char* word)
{
    const int saved = errno;
    if (style.before)
        style.before();
    std::fprintf(stderr, "%s%s: %s\n", style.prefix, word, std::strerror(saved));
    std::exit(style.status);
}
