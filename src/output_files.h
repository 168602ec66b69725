// The files pagecheck writes its results to, opened so that nothing is
// emptied before the run knows it can start: each file is opened without
// truncation, the run makes every check it refuses on, and only then are
// the files emptied, all together.  A file that this run created and that
// was never emptied is removed again when the process exits, so that a
// refused run leaves every file as it found it.
#ifndef PAGESMITH_OUTPUT_FILES_H
#define PAGESMITH_OUTPUT_FILES_H

#include <cstdio>

// Opens `name` to write without emptying it, creating it (mode 0666 less
// the umask, as fopen does) when it does not exist.  Null with errno set
// when it cannot be opened.
FILE* open_unemptied(const char* name);

// Empties every regular file that open_unemptied() opened and keeps the
// ones this run created.  Returns the name of a file that could not be
// emptied (errno set), or null.
const char* empty_output_files();

#endif
