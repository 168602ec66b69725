// The words of the report: each finding, note, map run, the layout and the
// summary as text.  Scripts parse these lines, so their form stays as it is.
#ifndef PAGESMITH_REPORT_WORDS_H
#define PAGESMITH_REPORT_WORDS_H

#include <string>

#include "findings.h"
#include "image_map.h"

// The converter options that make an image of this layout, as
// "-h -b -B 3 7 -f", or "no options".
std::string layout_options(const found_layout& layout);

// The layout line, without a line end: "layout: OPTIONS, input N bytes"
// (or "input size unknown").
std::string describe_layout(const found_layout& layout);

// The text of a note, without "note: " and without a line end.
std::string describe_note(const layout_note& note);

// The text of a finding, without a line end: "block B page P (kind)..." for
// a finding about a record, the bare text for one about the image.  The
// layout completes the findings that compare it with the command line.
std::string describe_finding(const finding& f, const found_layout& layout);

// The two halves of the summary line: the counts of records and pages,
// then those of sectors and findings.
struct summary_words {
    std::string pages;    // "summary: N records, ... fill pages;"
    std::string sectors;  // "N sectors checked, ... other problems"
};

// The summary line in its two halves.
summary_words describe_summary_parts(const check_summary& summary);

// The summary line, without a line end.
std::string describe_summary(const check_summary& summary);

// "block N", or "blocks A-B" for `count` blocks from `first`.
std::string blocks_text(uint64_t first, uint64_t count);

// "s" for a count other than one: "1 block", "2 blocks".
const char* plural(uint64_t count);

// The "lost:" lines of the text report: one per range, then one for the
// ranges past those listed; none when nothing is lost.
std::vector<std::string> describe_lost(const lost_list& lost);

#endif
