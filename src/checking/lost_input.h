// Tells what of the input a check could not give back (lost_list), from
// the pages in image order: the holes between the data pages present, the
// sectors that do not correct, and what the header size counts past the
// last data page present.
#ifndef PAGESMITH_LOST_INPUT_H
#define PAGESMITH_LOST_INPUT_H

#include <cstdint>
#include <optional>
#include <vector>

#include "check_sink.h"

// Follows the pages of a check in image order to tell what was lost.
struct lost_tracker {
    uint64_t next_page = 0;                 // the input page after the last data page
    std::optional<loss_cause> gap_cause;    // why the records since it were no data
    uint64_t bad_record = UINT64_MAX;       // the record of the uncorrectable sectors
    unsigned bad_sectors = 0;               // their bits, sector s as 1 << s
    uint64_t zeroed_record = UINT64_MAX;    // a record read as a zeroed data page
    uint64_t doubtful_record = UINT64_MAX;  // the latest record whose page tag leaves
                                            // open where its data belongs
    std::optional<uint64_t> doubtful_page;  // the input page it was taken for
    lost_list lost;
};

// Takes a finding, before the page it is about.
void track_finding(lost_tracker& tracker, const finding& f);

// Takes a page that is not simply the next data page in place.
void track_other_page(lost_tracker& tracker, const checked_page& page);

// Takes the next page of the image, or a record of the file outside it.
inline void track_page(lost_tracker& tracker, const checked_page& page)
{
    // Nearly every page: the next data page, in its place, with nothing lost.
    if (page.kind == page_kind::data && page.place == page_place::image &&
        page.input_page == tracker.next_page && !tracker.gap_cause &&
        tracker.bad_record != page.record && tracker.zeroed_record != page.record &&
        tracker.doubtful_record != page.record) {
        ++tracker.next_page;
        return;
    }
    track_other_page(tracker, page);
}

// At the end: the holes (data pages first passed over as a bad block) are
// lost, the ranges after them move up, and what the input size counts past
// the last data page present is cut.  When the input size is known and the
// last data page present has a page tag that leaves its place open, that
// page is not given back: its place is missing, and what follows is cut.
// Returns the list.
lost_list finish_tracking(lost_tracker& tracker, std::optional<uint64_t> input_size,
                          const std::vector<input_hole>& holes);

#endif
