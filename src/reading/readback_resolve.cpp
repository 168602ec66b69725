// Weighing the readings of the records that wait for a tagged record: in
// their places one after the other (damaged tags, erased pages inside the
// image), the erased ones not the image's (a block skipped when written),
// two records in each other's place, records whose tags break the run of
// the image's (strays, which never displace the records in sequence), or
// a jump of the tags (records missing or held twice), which a run of
// records that follow each other must confirm.

#include <cstring>
#include <utility>

#include "readback_placing.h"

namespace {

// The image record the last read record would be if the waiting ones stood
// one after the other, the erased ones taking places or not.
uint64_t place_in_turn_of_last(const readback_state& state, record_window& window,
                               placing erased_as)
{
    uint64_t at = state.next;
    for (uint64_t seq = window.placed; seq + 1 < window.read; ++seq) {
        const record_look look = window.at(seq).look;
        at += look == record_look::page || (look == record_look::erased &&
                                            erased_as == placing::erased);
    }
    return at;
}

// True when the waiting record at `seq`, taken in turn at image record
// `at`, carries a tag that names another place: a record of another image,
// or one whose tag breaks the run for another reason.
bool strays_from(record_window& window, uint64_t seq, uint64_t at)
{
    const decoded_record& r = window.at(seq);
    return r.look == record_look::page && tagged(r) && !fits(r, at);
}

// The image record the last read record would be if the waiting ones stood
// one after the other, those whose tags break the run left out.
uint64_t place_without_strays(const readback_state& state, record_window& window)
{
    uint64_t at = state.next;
    for (uint64_t seq = window.placed; seq + 1 < window.read; ++seq) {
        const record_look look = window.at(seq).look;
        if (look != record_look::junk && !strays_from(window, seq, at))
            ++at;
    }
    return at;
}

// Places the waiting records before `end` one after the other, those whose
// tags break the run as strays, or as held twice where their tags name a
// place already taken.
void place_around_strays(readback_state& state, record_window& window, uint64_t end,
                         found_layout& layout)
{
    for (; window.placed < end; ++window.placed) {
        decoded_record& r = window.at(window.placed);
        uint64_t named = 0;
        if (!strays_from(window, window.placed, state.next))
            place(state, r, in_turn(state, r, placing::erased, page_trust::confirmed),
                  state.next, layout);
        else if (place_of(tag_in(r), state.next, named) && named < state.next)
            place(state, r, placing::repeated, named, layout);
        else
            place(state, r, placing::stray, state.next, layout);
    }
}

// Records in a run that a jump of the page tags needs: fewer may be strays
// (records of another image put into this one), which never displace the
// records in sequence.  A jump by whole blocks from a block's start, as a
// dump that leaves bad blocks out makes, needs two.
constexpr uint64_t BLOCK_JUMP_RUN = 2;

// True when the tagged records from the waiting one at `seq` to the last
// read follow each other from where its tag says, as many as the jump
// needs (`run_needed` when nothing more will be read before they are
// placed).
bool run_follows(const readback_state& state, record_window& window, uint64_t seq,
                 uint64_t run_needed)
{
    uint64_t in_turn_at = state.next;
    uint64_t junk = 0;
    for (uint64_t s = window.placed; s < seq; ++s) {
        const bool is_junk = window.at(s).look == record_look::junk;
        in_turn_at += !is_junk;
        junk += is_junk;
    }
    uint64_t at = 0;
    if (!tagged(window.at(seq)) || !place_of(tag_in(window.at(seq)), in_turn_at, at))
        return false;
    const bool whole_blocks = at > in_turn_at && at % PAGES_PER_BLOCK == 0 &&
                              in_turn_at % PAGES_PER_BLOCK == 0;
    // Records that read as no record, just as many as the tags step over,
    // are the image's records, garbled where they stand: the tag alone tells.
    const bool junk_in_place = junk != 0 && at == in_turn_at + junk;
    const uint64_t needed = junk_in_place ? 1 : whole_blocks ? BLOCK_JUMP_RUN : run_needed;
    uint64_t run = 1;
    for (uint64_t s = seq + 1; s < window.read; ++s) {
        const decoded_record& r = window.at(s);
        if (r.look == record_look::junk)
            continue;
        ++at;
        if (r.look != record_look::page || !tagged(r))
            continue;
        if (!fits(r, at))
            return false;
        ++run;
    }
    return run >= needed;
}

// Records before `seq` that carry no tag and follow a tagged or other
// record: they belong with the tagged record at `seq`.
uint64_t untagged_before(record_window& window, uint64_t seq)
{
    uint64_t u = 0;
    while (seq - u > window.placed) {
        const decoded_record& r = window.at(seq - u - 1);
        if (r.look != record_look::page || tagged(r))
            break;
        ++u;
    }
    return u;
}

// Tries the reading where the records from the waiting tagged record at
// `seq` on stand where its tag says; the last record read must confirm it.
// True when it fits, and the records are placed.
bool try_tag_at(readback_state& state, record_window& window, uint64_t seq,
                found_layout& layout)
{
    decoded_record& a = window.at(seq);
    uint64_t in_turn_at = state.next;
    for (uint64_t s = window.placed; s < seq; ++s)
        in_turn_at += window.at(s).look != record_look::junk;
    uint64_t at = 0;
    if (!tagged(a) || fits(a, in_turn_at) || !place_of(tag_in(a), in_turn_at, at))
        return false;
    uint64_t last_at = at;
    for (uint64_t s = seq + 1; s < window.read; ++s)
        last_at += window.at(s).look != record_look::junk;
    // Untagged records go with the jump, unless they start a block where
    // they stand and would not start one there (header pages carry tag 0).
    const uint64_t before = untagged_before(window, seq);
    const bool start_here = (in_turn_at - before) % PAGES_PER_BLOCK == 0;
    const bool start_there = at >= before && (at - before) % PAGES_PER_BLOCK == 0;
    const uint64_t u = start_here && !start_there ? 0 : before;
    if (!fits(window.at(window.read - 1), last_at) || at < u)
        return false;
    place_around_strays(state, window, seq - u, layout);
    uint64_t position = at - u;
    for (; window.placed < window.read; ++window.placed) {
        decoded_record& r = window.at(window.placed);
        const placing how = in_turn(state, r, placing::erased, page_trust::confirmed);
        if (how == placing::junk) {
            place(state, r, how, state.next, layout);
            continue;
        }
        place(state, r, position < state.next ? placing::repeated : how, position, layout);
        ++position;
    }
    return true;
}

// Swaps two records of the window, their bytes with them: each slot keeps
// its own bytes.
void swap_records(record_window& window, uint64_t a, uint64_t b)
{
    decoded_record& x = window.at(a);
    decoded_record& y = window.at(b);
    uint8_t bytes[PAGE_RECORD_SIZE];
    std::memcpy(bytes, x.bytes, PAGE_RECORD_SIZE);
    std::memcpy(x.bytes, y.bytes, PAGE_RECORD_SIZE);
    std::memcpy(y.bytes, bytes, PAGE_RECORD_SIZE);
    uint8_t* const x_bytes = x.bytes;
    uint8_t* const y_bytes = y.bytes;
    std::swap(x, y);
    x.bytes = x_bytes;
    y.bytes = y_bytes;
}

// True when the one waiting record and the last one read stand in each
// other's place: put back in tag order, with the swap noted on the first.
bool put_back_swapped(readback_state& state, record_window& window, found_layout& layout)
{
    if (window.read - window.placed != 2 || !tagged(window.at(window.placed)) ||
        !fits(window.at(window.placed), state.next + 1) ||
        !fits(window.at(window.read - 1), state.next))
        return false;
    swap_records(window, window.placed, window.read - 1);
    place_in_turn(state, window, window.read, placing::erased, layout);
    record_events& e = window.at(window.read - 2).events;
    if (!e.any)
        e = {};
    e.any = e.swapped = true;
    return true;
}

// True when the waiting record at `seq` is a page record without a tag (a
// header page) that repeats the record before it byte for byte: the file
// holds it twice.  Fill pages, all zero, repeat each other by nature.
bool repeats_the_one_before(record_window& window, uint64_t seq)
{
    const decoded_record& r = window.at(seq);
    if (seq == window.first || r.look != record_look::page || tagged(r))
        return false;
    const decoded_record& before = window.at(seq - 1);
    return before.look == record_look::page &&
           std::memcmp(r.bytes, before.bytes, PAGE_RECORD_SIZE) == 0 &&
           !all_zero(r.bytes, PAGE_RECORD_SIZE);
}

// True when the waiting records without a tag that repeat the one before
// them are the file's second copies, as the last record read confirms: they
// are placed as such, the others in turn.
bool place_around_repeats(readback_state& state, record_window& window, found_layout& layout)
{
    uint64_t repeats = 0;
    for (uint64_t seq = window.placed; seq + 1 < window.read; ++seq)
        repeats += repeats_the_one_before(window, seq);
    const uint64_t at = place_in_turn_of_last(state, window, placing::erased);
    if (repeats == 0 || !fits(window.at(window.read - 1), at - repeats))
        return false;
    for (; window.placed < window.read; ++window.placed) {
        decoded_record& r = window.at(window.placed);
        if (repeats_the_one_before(window, window.placed))
            place(state, r, placing::repeated, state.next - 1, layout);
        else
            place(state, r, in_turn(state, r, placing::erased, page_trust::confirmed),
                  state.next, layout);
    }
    return true;
}

}  // namespace

void resolve(readback_state& state, record_window& window, found_layout& layout,
             uint64_t run_needed)
{
    const decoded_record& last = window.at(window.read - 1);
    if (fits(last, place_in_turn_of_last(state, window, placing::erased))) {
        place_in_turn(state, window, window.read, placing::erased, layout);
        return;
    }
    if (place_around_repeats(state, window, layout))
        return;
    bool erased_waiting = false;
    for (uint64_t seq = window.placed; seq + 1 < window.read; ++seq)
        erased_waiting |= window.at(seq).look == record_look::erased;
    if (erased_waiting && fits(last, place_in_turn_of_last(state, window, placing::foreign))) {
        place_in_turn(state, window, window.read, placing::foreign, layout);
        return;
    }
    if (put_back_swapped(state, window, layout))
        return;
    // Records whose tags break the run, then the run going on: strays.
    if (fits(last, place_without_strays(state, window))) {
        place_around_strays(state, window, window.read, layout);
        return;
    }
    // A jump of the tags: the first waiting record from which a run of them
    // follows each other to the last one read (which may be that record
    // alone, after garbled records in its place).
    for (uint64_t seq = window.placed; seq < window.read; ++seq)
        if (run_follows(state, window, seq, run_needed)) {
            try_tag_at(state, window, seq, layout);
            return;
        }
}
