// Checks on the files and descriptors a tool is started with, shared by
// both tools.
#ifndef PAGESMITH_FILE_CHECKS_H
#define PAGESMITH_FILE_CHECKS_H

// Opens /dev/null onto each of descriptors 0, 1 and 2 that is closed, so
// that a file the tool opens never takes the place of a standard stream.
// Returns the descriptors it opened, as a mask (bit n for descriptor n), or
// -1 when that cannot be done.
int open_missing_standard_descriptors();

// True when writing to `name` would overwrite what descriptor `fd` reads:
// the same regular file through any link, or the same block device.
// Character devices, pipes and names that do not exist yet give false.
bool overwrites(int fd, const char* name);

// True when writing to descriptor write_fd would overwrite what descriptor
// read_fd reads, in the sense of overwrites().
bool overwrites(int read_fd, int write_fd);

// True when descriptors a and b lead to the same open file or device, so
// that what is written to one lands among what is written to the other.
bool same_destination(int a, int b);

// True when writing to `name` would add to what descriptor fd writes into:
// the same regular file, block device, pipe, FIFO or socket.  Character
// devices (a terminal, /dev/null) and names that do not exist give false.
bool writes_into(int fd, const char* name);

#endif
