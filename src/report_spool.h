// A spool for report text that must wait: the layout line comes first in
// the report but is known only at the end, so the lines that follow it are
// kept in an unlinked temporary file until then.  Memory use stays the same
// however long the report grows.
#ifndef PAGESMITH_REPORT_SPOOL_H
#define PAGESMITH_REPORT_SPOOL_H

#include <cstdio>
#include <string>

// Text kept for later, or passed straight on where no temporary file can
// be made.
struct report_spool {
    FILE* file = nullptr;      // the temporary file, or none
    FILE* through = nullptr;   // where text goes when there is no file
    int error = 0;             // errno when the file could not be made
};

// The directory the temporary files go to: $TMPDIR, or /tmp when that is
// unset or empty.
std::string spool_directory();

// Opens a spool in spool_directory(); without one, `error` says why and
// text goes straight to `through`.
report_spool open_spool(FILE* through);

// Keeps text for later.  False on a write error, with errno set.
bool spool_text(report_spool& spool, const std::string& text);

// Writes what was kept to `out` and closes the spool.  False on a read or
// write error, with errno set.
bool release_spool(report_spool& spool, FILE* out);

#endif
