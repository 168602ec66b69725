#include "errors.h"

#include <cstdarg>
#include <cstdlib>

void fail_errno(const char* word)
{
    std::perror(word);
    std::exit(1);
}

void fail_message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::exit(1);
}

void write_or_fail(const void* data, size_t n, FILE* stream)
{
    if (std::fwrite(data, 1, n, stream) != n)
        fail_errno("fwrite");
}
