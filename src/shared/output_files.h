// The files both tools write their results to.  Each is opened first
// without truncation, so that a run refused on its command line leaves it
// as it found it and a file the user may not write is refused at once.
// When the run starts writing, a regular file (or a name that does not
// exist yet) is replaced whole: the tool writes a new temporary file
// beside it, named ".NAME.XXXXXX", which is synced and renamed over the
// name once the output is complete.  A failure, or SIGINT, SIGTERM or
// SIGHUP, removes the temporary file and the old file stays as it was.
// Devices, FIFOs, files with more than one link, files whose owner the new
// file cannot keep, and names beside which no file can be made are written
// in place, emptied first.
#ifndef PAGESMITH_OUTPUT_FILES_H
#define PAGESMITH_OUTPUT_FILES_H

// Whether opening a FIFO may wait for its reader now, or only once the run
// starts writing (so that a rejected command line never waits on one).
enum class fifo_opening { now, when_started };

// Whether an output starts with the others, or only when its own start is
// asked for (an output written only if the run succeeds).
enum class output_start { with_the_others, on_its_own };

// Opens `name` to write without emptying it, creating it (mode 0666 less
// the umask) when it does not exist; a created file is removed again when
// the run ends unless the run started writing.  Returns the output's number, or -1
// with errno set.
int open_output_file(const char* name, fifo_opening fifo,
                     output_start start = output_start::with_the_others);

// The descriptor output `n` is written through; -1 for a FIFO not yet
// opened.  start_output_files() makes it lead to the temporary file when
// the output is replaced.
int output_descriptor(int n);

// Starts writing every output opened to start with the others: each is
// replaced, or emptied in place.  Returns the name (as given) of an output that could not be
// started, with errno set, or null.
const char* start_output_files();

// Starts writing output `n`, opened to start on its own: replaced, or
// emptied in place.  False with errno set when it cannot be started.
bool start_output_file(int n);

// Starts writing output `n`, opened to start on its own, only where it is
// replaced by a temporary file; false, and not started, where it would be
// written in place or that fails.
bool start_replaced_output_file(int n);

// Gives up a replaced output `n` before it is complete: its temporary file
// is removed, the old file stays as it was, and a file this run created to
// hold the name is removed when the run ends, as if it had never started.
void abandon_output_file(int n);

// Completes output `n`, once every byte of it was written (flushed): a
// replaced output is synced and renamed over its name.  False with errno
// set when that fails; its temporary file is then removed.
bool finish_output_file(int n);

// Closes every output's descriptor, removes what they left unfinished and
// forgets them, as before the first was opened: for a caller that opens
// outputs again in the same process.
void close_output_files();

#endif
