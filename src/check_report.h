// The words of the report: each finding, the layout and the summary as one
// line of text.  Scripts parse these lines, so their form stays as it is.
#ifndef PAGESMITH_CHECK_REPORT_H
#define PAGESMITH_CHECK_REPORT_H

#include <cstdio>
#include <string>

#include "check_findings.h"

// Name of a page kind, as the report writes it.
const char* page_kind_name(page_kind kind);

// The converter options that make an image of this layout, as
// "-h -b -B 3 7 -f", or "no options".
std::string layout_options(const image_layout& layout);

// The layout line, without a line end: "layout: OPTIONS, input N bytes"
// (or "input size unknown").
std::string describe_layout(const image_layout& layout);

// The text of a finding, without a line end: "block B page P (kind)..." for
// a finding about a record, the bare text for one about the image.  The
// layout completes the findings that compare it with the command line.
std::string describe_finding(const finding& f, const image_layout& layout);

// The summary line, without a line end.
std::string describe_summary(const check_summary& summary);

#endif
