// A progress line for long checks: on the error stream when that is a
// terminal, from the first second on, updated a few times a second, and
// cleared at the end and before any message.  A terminal shows one such
// line, so its state is the process's own.
#ifndef PAGESMITH_PROGRESS_H
#define PAGESMITH_PROGRESS_H

#include <cstdint>

// Starts timing a check of the image read from descriptor image_fd (its
// size, when it is a regular file, gives the percentage).  Nothing is shown
// when the error stream is not a terminal.
void start_progress(int image_fd);

// Takes the bytes read so far; redraws the line when it is time to.
void note_progress(uint64_t bytes);

// Clears the line, if shown; it stays cleared until the next redraw.
void clear_progress();

#endif
