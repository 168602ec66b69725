// The error helpers every message of both tools goes through.
#include "errors.h"

#include <cerrno>
#include <cstring>

void vsay(const error_style& style, const char* format, va_list args)
{
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

std::string errno_text(const char* word)
{
    return std::string(word) + ": " + std::strerror(errno) + "\n";
}
