// The report's layout comes first, but is known only at the end of the
// check.  A delayed report takes the pieces as the check finds them, keeps
// the findings and map runs in spools, and hands everything to the real
// writer in its order once the summary is in: nothing reaches the report's
// stream before then.
#ifndef PAGESMITH_DELAYED_REPORT_H
#define PAGESMITH_DELAYED_REPORT_H

#include <memory>

#include "report_writer.h"

// A writer that holds the pieces back for `inner`, with the spools that
// `inner` needs made already (none when it takes neither findings nor the
// map).  Null with errno set when a temporary file cannot be made: ask
// before reading anything.
std::unique_ptr<report_writer> make_delayed_report(report_writer& inner);

#endif
