// What a check concludes: the one way findings are reported, the checks of
// the image's end, the layout it shows and the notes on choices the image
// left open.
#ifndef PAGESMITH_IMAGE_VERDICT_H
#define PAGESMITH_IMAGE_VERDICT_H

#include <cstdint>

#include "check_sink.h"
#include "layout_inference.h"

// Counts a finding and hands it to the sink: every finding goes through here.
void report_finding(const check_sink& sink, check_summary& summary, const finding& f);

// Notes the choice made when an all-zero page at a page tag of 0, followed
// by fill pages, is read as a fill page.
void note_zero_page_fill(found_layout& layout, const page_record& r, page_kind kind,
                         status_expectation status);

// Notes how an open header question was settled and why.
void note_header_choice(found_layout& layout, const layout_inference& inference,
                        header_pages chosen, uint64_t findings_as_header,
                        uint64_t findings_as_data);

// The number of findings about the image's end that `checker` would give
// (for trying a reading).
uint64_t end_findings(const checker_state& checker, header_pages header);

// Reports the findings about the image's end (`tail`: bytes after the last
// whole record), completes the layout, hands it on, and compares it with
// the claim.
void finish_check(const checker_state& checker, const layout_inference& inference,
                  const layout_claim& claim, uint64_t tail, const check_sink& sink,
                  check_summary& summary);

#endif
