// A progress line for long checks: on the error stream when that is a
// terminal, from the first second on, updated a few times a second, and
// cleared at the end and before any message.  The driver owns the one line
// a run shows.
#ifndef PAGESMITH_PROGRESS_H
#define PAGESMITH_PROGRESS_H

#include <cstdint>

// The progress line of one check.
struct progress_line {
    bool on = false;     // the error stream is a terminal
    bool shown = false;  // the line is on the screen
    uint64_t total = 0;  // bytes in the image, or 0 when unknown
    double started = 0;  // when the check started
    double drawn = 0;    // when the line was last drawn
    unsigned calls = 0;  // calls since the clock was last read
};

// Starts timing a check of the image read from descriptor image_fd (its
// size, when it is a regular file, gives the percentage).  Nothing is shown
// when the error stream is not a terminal.
void start_progress(progress_line& line, int image_fd);

// Takes the bytes read so far; redraws the line when it is time to.
void note_progress(progress_line& line, uint64_t bytes);

// Clears the line, if shown; it stays cleared until the next redraw.
void clear_progress(progress_line& line);

#endif
