// A spool for report pieces that must wait: kept in an unlinked temporary
// file, so that memory use stays the same however long the report grows.
#ifndef PAGESMITH_REPORT_SPOOL_H
#define PAGESMITH_REPORT_SPOOL_H

#include <cstddef>
#include <cstdio>
#include <string>

// Bytes kept for later.
struct report_spool {
    FILE* file = nullptr;  // the temporary file, once opened
};

// The folder temporary files are made in, as a message names it:
// "TMPDIR '/x'" when $TMPDIR sets it, else "'/tmp'".
std::string spool_folder_named();

// Opens the spool's temporary file.  False with errno set when none can
// be made.
bool open_spool(report_spool& spool);

// Keeps n bytes.  False on a write error, with errno set.
bool spool_write(report_spool& spool, const void* bytes, size_t n);

// Goes back to the start of what was kept, to read it.  False on an
// error, with errno set.
bool spool_rewind(report_spool& spool);

// Reads the next n bytes kept; returns n, or 0 at the end.  A read error
// gives 0 with spool_failed true.
size_t spool_read(report_spool& spool, void* bytes, size_t n);

// True when reading the spool failed.
bool spool_failed(const report_spool& spool);

// Closes the spool, if open.
void close_spool(report_spool& spool);

#endif
