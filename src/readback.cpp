// Placing the records of a file in the image.  A record whose page tag
// names the place it would take is placed at once.  Any other record (one
// without a tag, an erased one, one that is no page record, one whose tag
// names another place) waits for the next tagged record, which decides:
//
// - the waiting records stand in their places, one after the other (their
//   tags were damaged, or erased records stand where the image goes on);
// - the erased records among them are not the image's (a block the writer
//   skipped), and the others stand in their places;
// - from a waiting tagged record on, the records stand where its tag says,
//   which the tagged record after it confirms: records are missing before
//   it, or the file holds them a second time.

#include "readback.h"

#include <cstring>
#include <utility>

#include "record_look.h"


namespace {

// How a record is placed.
enum class placing { image, erased, junk, repeated, foreign, stray };

// The page tag of a record.
uint32_t tag_in(const decoded_record& r)
{
    return spare_word(r.bytes + PAGE_DATA_SIZE, SPARE_TAG_WORD);
}

// True when the record is a page record whose tag holds a place.
bool tagged(const decoded_record& r)
{
    return r.look == record_look::page && tag_in(r) != 0;
}

// True when the record's tag is the one a data page at image record `at`
// carries.
bool fits(const decoded_record& r, uint64_t at)
{
    return tag_in(r) == tag_of(page_kind::data, at / PAGES_PER_BLOCK,
                               static_cast<int64_t>(at % PAGES_PER_BLOCK));
}

// The image record a tag names, taking the block nearest to that of `near`
// (a tag holds the block number's low 16 bits); false when the tag's page
// is past a block.
bool place_of(uint32_t tag, uint64_t near, uint64_t& at)
{
    const uint32_t page = tag_page(tag);
    if (page >= static_cast<uint32_t>(PAGES_PER_BLOCK))
        return false;
    const uint64_t near_block = near / PAGES_PER_BLOCK;
    const auto step = static_cast<int16_t>(static_cast<uint16_t>(tag_block(tag) - near_block));
    if (step < 0 && near_block < static_cast<uint64_t>(-step))
        return false;
    at = (near_block + static_cast<uint64_t>(static_cast<int64_t>(step))) * PAGES_PER_BLOCK +
         page;
    return true;
}

// Closes the runs that end before an image record at `index`, adding their
// events to those that place_in_image has begun for it.  Rare: out of
// line, so that the common placing stays short.
[[gnu::noinline]] void close_runs(readback_state& state, decoded_record& r, uint64_t index,
                                  found_layout& layout)
{
    record_events& e = r.events;
    e.junk = state.junk;
    e.repeated = state.repeated;
    e.strays = state.strays;
    if (state.foreign)
        e.foreign_from = state.foreign_from / PAGES_PER_BLOCK + 1;
    const bool blocks_missing = index > state.next && state.next % PAGES_PER_BLOCK == 0 &&
                                (index - state.next) % PAGES_PER_BLOCK == 0;
    if (state.erased) {
        const bool whole_blocks = state.erased_from % PAGES_PER_BLOCK == 0 &&
                                  state.erased % PAGES_PER_BLOCK == 0 &&
                                  (index == state.next || blocks_missing);
        if (whole_blocks) {
            e.padded_blocks = state.erased / PAGES_PER_BLOCK;
            layout.notes.push_back({.what = note_kind::padded_blocks,
                                    .block = state.erased_from / PAGES_PER_BLOCK,
                                    .count = e.padded_blocks});
        } else {
            e.erased = state.erased;
            e.erased_from = state.erased_from;
        }
    }
    if (index > state.next) {
        e.missing = index - state.next;
        if (blocks_missing)
            layout.notes.push_back({.what = note_kind::skipped_blocks,
                                    .block = state.next / PAGES_PER_BLOCK,
                                    .count = e.missing / PAGES_PER_BLOCK});
    }
    state.junk = state.repeated = state.foreign = state.erased = state.strays = 0;
}

// Places `r` as image record `index`, closing the runs before it.
void place_in_image(readback_state& state, decoded_record& r, uint64_t index,
                    found_layout& layout)
{
    r.events = {};
    r.events.junk_from = state.junk_from;
    r.events.repeated_from = state.repeated_from;
    r.events.stray_from = state.stray_from;
    // Nearly every record: no run open, nothing left out before it.
    if ((state.junk | state.repeated | state.foreign | state.erased | state.strays) != 0 ||
        index != state.next)
        close_runs(state, r, index, layout);
    r.origin = record_origin::image;
    r.index = index;
    state.next = index + 1;
    ++state.image_records;
    state.anchors += tagged(r) && fits(r, index);
}

// Notes a block that the chip marks bad, once, when `r` is page 0 or 1 of
// it; `image_block` is the image block it stands for, if any.
void note_chip_mark(const decoded_record& r, uint64_t image_block, found_layout& layout)
{
    const uint64_t file_block = r.file_index / PAGES_PER_BLOCK;
    if (r.file_index % PAGES_PER_BLOCK >= static_cast<uint64_t>(STATUS_WORD_PAGES) ||
        !chip_marked(r))
        return;
    std::vector<chip_mark>& marks = layout.chip_bad;
    if ((!marks.empty() && marks.back().file_block == file_block) ||
        marks.size() == MAX_LISTED_CHIP_BAD)
        return;
    marks.push_back({file_block, image_block});
}

// Places one record as `how`; `index` is the image record it is, or would
// repeat.
void place(readback_state& state, decoded_record& r, placing how, uint64_t index,
           found_layout& layout)
{
    r.origin = record_origin::outside;
    switch (how) {
    case placing::junk:
        if (state.junk++ == 0)
            state.junk_from = r.file_index;
        break;
    case placing::repeated:
        if (state.repeated++ == 0)
            state.repeated_from = index;
        break;
    case placing::stray:
        if (state.strays++ == 0)
            state.stray_from = r.file_index;
        break;
    case placing::foreign:
        if (state.foreign++ == 0)
            state.foreign_from = r.file_index;
        note_chip_mark(r, NOT_IN_IMAGE, layout);
        break;
    case placing::erased:
        note_chip_mark(r, index / PAGES_PER_BLOCK, layout);
        r.origin = record_origin::erased;
        if (state.erased++ == 0)
            state.erased_from = index;
        state.next = index + 1;
        r.index = index;
        return;
    case placing::image:
        place_in_image(state, r, index, layout);
        return;
    }
    r.index = state.next;
}

// Whether page records that wait are taken as they look: yes when a tag
// that follows confirms where they stand, else doubted.
enum class page_trust { confirmed, doubted };

// How a waiting record is placed when the records stand one after the other.
// Doubted, and until a tag has shown where the image is, a page record with
// more than one stray bit in its zero spare words, or one without a tag
// after records that are no page records, is taken for no page record: by
// chance, any file holds a few records with zero bytes where those words go.
placing in_turn(const readback_state& state, const decoded_record& r, placing erased_as,
                page_trust trust)
{
    const bool doubtful = trust == page_trust::doubted && state.anchors == 0 &&
                          (r.stray_bits > 1 || (state.junk != 0 && !tagged(r)));
    switch (r.look) {
    case record_look::page:
        return doubtful ? placing::junk : placing::image;
    case record_look::erased: return erased_as;
    case record_look::junk: return placing::junk;
    }
    return placing::junk;
}

// Places the waiting records before `end` one after the other; erased
// ones as `erased_as`.
void place_in_turn(readback_state& state, record_window& window, uint64_t end,
                   placing erased_as, found_layout& layout,
                   page_trust trust = page_trust::confirmed)
{
    for (; window.placed < end; ++window.placed) {
        decoded_record& r = window.at(window.placed);
        place(state, r, in_turn(state, r, erased_as, trust), state.next, layout);
    }
}

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
constexpr uint64_t JUMP_RUN = 3;
constexpr uint64_t BLOCK_JUMP_RUN = 2;

// True when the tagged records from the waiting one at `seq` to the last
// read follow each other from where its tag says, as many as the jump
// needs.
bool run_follows(const readback_state& state, record_window& window, uint64_t seq)
{
    uint64_t in_turn_at = state.next;
    for (uint64_t s = window.placed; s < seq; ++s)
        in_turn_at += window.at(s).look != record_look::junk;
    uint64_t at = 0;
    if (!tagged(window.at(seq)) || !place_of(tag_in(window.at(seq)), in_turn_at, at))
        return false;
    const bool whole_blocks = at > in_turn_at && at % PAGES_PER_BLOCK == 0 &&
                              in_turn_at % PAGES_PER_BLOCK == 0;
    const uint64_t needed = whole_blocks ? BLOCK_JUMP_RUN : JUMP_RUN;
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
    const uint64_t u = untagged_before(window, seq);
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
    window.at(window.read - 2).events.swapped = true;
    return true;
}

// The last record read carries a tag and others wait: places them all when
// one reading fits, else leaves them waiting.
void resolve(readback_state& state, record_window& window, found_layout& layout)
{
    const decoded_record& last = window.at(window.read - 1);
    if (fits(last, place_in_turn_of_last(state, window, placing::erased))) {
        place_in_turn(state, window, window.read, placing::erased, layout);
        return;
    }
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
    // follows each other to the last one read.
    for (uint64_t seq = window.placed; seq + 1 < window.read; ++seq)
        if (run_follows(state, window, seq)) {
            try_tag_at(state, window, seq, layout);
            return;
        }
}

}  // namespace

void place_records(readback_state& state, record_window& window, found_layout& layout)
{
    decoded_record& r = window.at(window.read - 1);
    const bool alone = window.placed + 1 == window.read;
    if (alone && tagged(r) && fits(r, state.next)) {
        place_in_image(state, r, state.next, layout);
        ++window.placed;
        return;
    }
    if (tagged(r))
        resolve(state, window, layout);
}

void place_waiting(readback_state& state, record_window& window, found_layout& layout)
{
    place_in_turn(state, window, window.read, placing::erased, layout, page_trust::doubted);
}

void finish_placing(const readback_state& state, found_layout& layout)
{
    if (state.erased)
        layout.notes.push_back({.what = note_kind::erased_tail, .block = 0,
                                .record = state.erased_from, .count = state.erased});
}
