// The progress line on a terminal during a long check.
#include "progress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace {

// How long a check runs before the line shows, and how often it changes.
constexpr double FIRST_SHOWN = 1.0;    // seconds
constexpr double REDRAWN_EVERY = 0.2;  // seconds

// Calls to note_progress between looks at the clock.
constexpr unsigned CALLS_PER_LOOK = 1024;

constexpr double MIB = 1024.0 * 1024.0;

// Seconds on a clock that only goes forward.
double now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Draws the line for `bytes` read in `seconds`.
void draw(progress_line& line, uint64_t bytes, double seconds)
{
    char text[160];
    const double read = static_cast<double>(bytes) / MIB;
    const double rate = read / seconds;
    int n;
    if (line.total != 0)
        n = std::snprintf(text, sizeof text,
                          "\rpagecheck: %.0f MiB of %.0f MiB (%" PRIu64 "%%), %.0f MiB/s\033[K",
                          read, static_cast<double>(line.total) / MIB,
                          bytes * 100 / line.total, rate);
    else
        n = std::snprintf(text, sizeof text, "\rpagecheck: %.0f MiB, %.0f MiB/s\033[K", read,
                          rate);
    if (n > 0 && write(STDERR_FILENO, text, static_cast<size_t>(n)) == n)
        line.shown = true;
}

}  // namespace

void start_progress(progress_line& line, int image_fd)
{
    line = progress_line{};
    line.on = isatty(STDERR_FILENO) != 0;
    struct stat st;
    if (fstat(image_fd, &st) == 0 && S_ISREG(st.st_mode))
        line.total = static_cast<uint64_t>(st.st_size);
    line.started = now();
}

void note_progress(progress_line& line, uint64_t bytes)
{
    if (!line.on || ++line.calls < CALLS_PER_LOOK)
        return;
    line.calls = 0;
    const double t = now();
    if (t - line.started < FIRST_SHOWN || t - line.drawn < REDRAWN_EVERY)
        return;
    line.drawn = t;
    draw(line, bytes, t - line.started);
}

void clear_progress(progress_line& line)
{
    if (!line.shown)
        return;
    static const char erase[] = "\r\033[K";
    if (write(STDERR_FILENO, erase, sizeof erase - 1) == sizeof erase - 1)
        line.shown = false;
}
