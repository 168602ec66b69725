// The files a run may leave unfinished: each output's temporary file, and
// each file the run created to hold an output's name.  The tool's driver
// removes them when its run ends, and so does SIGINT, SIGTERM or SIGHUP,
// which then ends the run as it would have; what the removal reads is plain
// bytes, so that it is safe in a signal handler.
#ifndef PAGESMITH_UNFINISHED_FILES_H
#define PAGESMITH_UNFINISHED_FILES_H

#include <sys/types.h>

#include <string>

// Outputs whose files can be registered.
constexpr int MAX_UNFINISHED = 4;

// Makes output n's temporary file from the mkstemp pattern `pattern`,
// registered for removal before an ending signal can come; returns its
// descriptor, or -1 (errno set) when it cannot be made or the path is too
// long.
int make_unfinished_temp(int n, const std::string& pattern);

// The path of output n's temporary file.
const char* unfinished_temp_path(int n);

// Output n's temporary file is no longer removed: it was renamed.
void forget_temp(int n);

// Removes output n's temporary file now.
void remove_temp(int n);

// Registers `path`, the file this run created to hold output n's name (on
// `device`, inode `inode`): removed when the run ends while the path still
// leads to that file, unless kept.
void note_created(int n, const std::string& path, dev_t device, ino_t inode);

// Keeps the file this run created for output n.
void keep_created(int n);

// Removes each temporary file still registered, and each file this run
// created whose name still leads to it: for a driver at the end of its
// run, whatever the end.  Safe in a signal handler.
void remove_unfinished_files();

#endif
