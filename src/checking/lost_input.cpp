// The ranges of the input that the image does not give back.
#include "lost_input.h"

namespace {

// Adds a range, merged with the one before when it continues it.
void add_range(lost_list& lost, uint64_t offset, uint64_t length, loss_cause why)
{
    if (length == 0)
        return;
    if (!lost.ranges.empty()) {
        lost_range& last = lost.ranges.back();
        if (last.why == why && last.offset + last.length == offset) {
            last.length += length;
            return;
        }
    }
    if (lost.ranges.size() == MAX_LISTED_LOST) {
        ++lost.unlisted;
        lost.unlisted_bytes += length;
        return;
    }
    lost.ranges.push_back({offset, length, why});
}

// Notes why a record that is no data page stands where the image goes on;
// the first reason since the last data page names the hole, if one shows.
void note_gap(lost_tracker& tracker, loss_cause why)
{
    if (!tracker.gap_cause)
        tracker.gap_cause = why;
}

// Takes a data page of the image holding input page `at`.
void take_data_page(lost_tracker& tracker, uint64_t at, uint64_t record)
{
    if (at > tracker.next_page)
        add_range(tracker.lost, tracker.next_page * PAGE_DATA_SIZE,
                  (at - tracker.next_page) * PAGE_DATA_SIZE,
                  tracker.gap_cause.value_or(loss_cause::missing));
    if (tracker.zeroed_record == record)
        add_range(tracker.lost, at * PAGE_DATA_SIZE, PAGE_DATA_SIZE, loss_cause::zeroed);
    else if (tracker.bad_record == record)
        for (int s = 0; s < SECTORS_PER_PAGE; ++s)
            if (tracker.bad_sectors & (1u << s))
                add_range(tracker.lost, at * PAGE_DATA_SIZE + static_cast<uint64_t>(s) * SECTOR_SIZE,
                          SECTOR_SIZE, loss_cause::uncorrectable);
    if (at >= tracker.next_page)
        tracker.next_page = at + 1;
    if (tracker.doubtful_record == record)
        tracker.doubtful_page = at;
    tracker.gap_cause.reset();
}

}  // namespace

void track_finding(lost_tracker& tracker, const finding& f)
{
    if (f.what == finding_kind::zeroed_record || f.what == finding_kind::zeroed_or_tag_flip)
        tracker.zeroed_record = f.record;
    if (place_in_doubt(f))
        tracker.doubtful_record = f.record;
    if (f.what != finding_kind::uncorrectable)
        return;
    if (tracker.bad_record != f.record) {
        tracker.bad_record = f.record;
        tracker.bad_sectors = 0;
    }
    tracker.bad_sectors |= 1u << f.sector;
}

void track_other_page(lost_tracker& tracker, const checked_page& page)
{
    if (page.place == page_place::outside) {
        if (data_content_of(page.kind) != data_content::erased)
            note_gap(tracker, loss_cause::garbage);
        return;
    }
    switch (page.kind) {
    case page_kind::data:
        if (page.place == page_place::absent)
            note_gap(tracker, loss_cause::missing);
        else
            take_data_page(tracker, page.input_page, page.record);
        return;
    case page_kind::erased:
    case page_kind::chip_bad: note_gap(tracker, loss_cause::erased); return;
    case page_kind::fill: note_gap(tracker, loss_cause::zeroed); return;
    case page_kind::header:
    case page_kind::bad_block: return;
    }
}

namespace {

// Puts the holes into the lost ranges, in input order: each is erased
// data, and what was written after it moves up by its pages.
void insert_holes(lost_tracker& tracker, const std::vector<input_hole>& holes)
{
    const std::vector<lost_range> written = std::move(tracker.lost.ranges);
    tracker.lost.ranges.clear();
    uint64_t moved = 0;  // pages of the holes put in so far
    size_t next = 0;
    const auto put_holes_before = [&](uint64_t offset) {
        for (; next < holes.size() && holes[next].written_page * PAGE_DATA_SIZE <= offset;
             ++next) {
            add_range(tracker.lost, (holes[next].written_page + moved) * PAGE_DATA_SIZE,
                      holes[next].pages * PAGE_DATA_SIZE,
                      holes[next].erased ? loss_cause::erased : loss_cause::missing);
            moved += holes[next].pages;
        }
    };
    for (const lost_range& range : written) {
        put_holes_before(range.offset);
        add_range(tracker.lost, range.offset + moved * PAGE_DATA_SIZE, range.length, range.why);
    }
    put_holes_before(UINT64_MAX);
    tracker.next_page += moved;
}

// Where the last data page present has a page tag that leaves its place
// open (and no holes move the pages), it is not given back when the input
// size reaches it: its place is missing, and what follows it is cut.
void leave_out_doubtful_page(lost_tracker& tracker, uint64_t input_size,
                             const std::vector<input_hole>& holes)
{
    if (!tracker.doubtful_page || *tracker.doubtful_page + 1 != tracker.next_page ||
        !holes.empty())
        return;
    const uint64_t from = *tracker.doubtful_page * PAGE_DATA_SIZE;
    if (from >= input_size)
        return;
    std::vector<lost_range>& ranges = tracker.lost.ranges;
    while (!ranges.empty() && ranges.back().offset >= from)
        ranges.pop_back();
    add_range(tracker.lost, from, PAGE_DATA_SIZE, loss_cause::missing);
    tracker.lost.last_page_in_doubt = true;
}

}  // namespace

lost_list finish_tracking(lost_tracker& tracker, std::optional<uint64_t> input_size,
                          const std::vector<input_hole>& holes)
{
    insert_holes(tracker, holes);
    if (!input_size)
        return tracker.lost;
    leave_out_doubtful_page(tracker, *input_size, holes);
    std::vector<lost_range>& ranges = tracker.lost.ranges;
    const uint64_t present = tracker.next_page * PAGE_DATA_SIZE;
    // Past the input size, the last page holds the zeros that completed it.
    while (!ranges.empty() && ranges.back().offset >= *input_size)
        ranges.pop_back();
    if (!ranges.empty() && ranges.back().offset + ranges.back().length > *input_size)
        ranges.back().length = *input_size - ranges.back().offset;
    if (*input_size > present)
        add_range(tracker.lost, present, *input_size - present, loss_cause::cut);
    return tracker.lost;
}
