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
//
// The readings of the waiting records are weighed in readback_resolve.cpp.

#include "readback.h"

#include "readback_placing.h"
#include "record_look.h"
#include "record_view.h"

namespace {

// Closes the runs that end before an image record at `index`, as the
// events of the record.  Rare: out of line, so that the common placing
// stays short.
[[gnu::noinline]] void close_runs(readback_state& state, decoded_record& r, uint64_t index,
                                  found_layout& layout)
{
    record_events& e = r.events;
    e = {};
    e.any = true;
    e.junk_from = state.junk_from;
    e.repeated_from = state.repeated_from;
    e.stray_from = state.stray_from;
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
    // Nearly every record: no run open, nothing left out before it.
    if ((state.junk | state.repeated | state.foreign | state.erased | state.strays) != 0 ||
        index != state.next)
        close_runs(state, r, index, layout);
    else
        r.events.any = false;
    r.origin = record_origin::image;
    r.index = index;
    state.next = index + 1;
    ++state.image_records;
    state.anchors += tagged(r) && fits(r, index);
}

// Notes a block that the chip marks bad, once, when `r` carries its
// marker; `image_block` is the image block it stands for, if any.
void note_chip_mark(const decoded_record& r, uint64_t image_block, found_layout& layout)
{
    const uint64_t file_block = r.file_index / PAGES_PER_BLOCK;
    if (!chip_marked(r))
        return;
    std::vector<chip_mark>& marks = layout.chip_bad;
    if ((!marks.empty() && marks.back().file_block == file_block) ||
        marks.size() == MAX_LISTED_CHIP_BAD)
        return;
    marks.push_back({file_block, image_block});
}

}  // namespace

// The page tag of a record.
uint32_t tag_in(const decoded_record& r)
{
    return record_at(r.bytes).tag();
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
                   placing erased_as, found_layout& layout, page_trust trust)
{
    for (; window.placed < end; ++window.placed) {
        decoded_record& r = window.at(window.placed);
        place(state, r, in_turn(state, r, erased_as, trust), state.next, layout);
    }
}

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
        resolve(state, window, layout, JUMP_RUN);
}

void place_waiting(readback_state& state, record_window& window, found_layout& layout)
{
    // The tagged records end the run that can wait, though untagged ones
    // (the fill pages after the data) may follow them.
    uint64_t end = window.read;
    while (end > window.placed && !tagged(window.at(end - 1)))
        --end;
    if (end > window.placed) {
        const uint64_t read = window.read;
        window.read = end;
        resolve(state, window, layout, LAST_JUMP_RUN);
        window.read = read;
    }
    place_in_turn(state, window, window.read, placing::erased, layout, page_trust::doubted);
}

void finish_placing(const readback_state& state, found_layout& layout)
{
    if (state.erased)
        layout.notes.push_back({.what = note_kind::erased_tail, .block = 0,
                                .record = state.erased_from, .count = state.erased});
}
