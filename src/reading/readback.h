// Reading a file as a chip gives it back: the records of the file are
// placed in the image by their page tags.  Erased records (the chip's
// unwritten pages), records that are no page records at all, records the
// file leaves out, holds twice or holds where the image has none are each
// recognised, and the places of the image's records follow the tags again
// after them.  Records wait in the walk's window until the tags tell where
// they stand; nothing else is kept, so memory does not grow with the file.
#ifndef PAGESMITH_READBACK_H
#define PAGESMITH_READBACK_H

#include <cstdint>

#include "findings.h"
#include "record_check.h"

// Records the window holds: a block at a page tag of 0 that looks like a
// header block, then up to MAX_BAD_BLOCKS bad blocks, then page 0 of the
// block that tells.
constexpr uint64_t WINDOW_RECORDS = (MAX_BAD_BLOCKS + 2) * PAGES_PER_BLOCK;

// Slots of the window: twice the records it holds, so that moving the
// records it holds to the front is needed at most once per WINDOW_RECORDS
// records read.
constexpr uint64_t WINDOW_SLOTS = 2 * WINDOW_RECORDS;

// The records read but not yet checked, and where the walk stands: records
// before `placed` have their place in the image, those before `checked`
// have been checked.  The records stand in the slots one after the other
// from `first` on; the reading moves them back to the front now and then.
struct record_window {
    decoded_record* slots;               // WINDOW_SLOTS of them
    uint8_t* bytes;                      // their bytes, PAGE_RECORD_SIZE a slot
    uint64_t first = 0;                  // the record in slot 0
    uint64_t read = 0;                   // records read
    uint64_t placed = 0;                 // records placed
    uint64_t checked = 0;                // records checked

    // The slot of the record read as number `seq`.
    decoded_record& at(uint64_t seq) { return slots[seq - first]; }
    // True when no slot is free: the oldest record must be checked first.
    bool full() const { return read - checked == WINDOW_RECORDS; }
};

// What the placing knows so far.
struct readback_state {
    uint64_t next = 0;             // the image record the next placed record would be
    uint64_t image_records = 0;    // records placed in the image
    uint64_t anchors = 0;          // of them, those placed where their tags say
    uint64_t junk = 0;             // a run of records that read as no record
    uint64_t junk_from = 0;        // its first file record
    uint64_t erased = 0;           // a run of erased records in the image's places
    uint64_t erased_from = 0;      // its first image record
    uint64_t repeated = 0;         // a run of records the file holds twice
    uint64_t repeated_from = 0;    // the image record its first one repeats
    uint64_t foreign = 0;          // a run of erased records not the image's
    uint64_t foreign_from = 0;     // its first file record
    uint64_t strays = 0;           // records whose tags break the run of the image's
    uint64_t stray_from = 0;       // the first file record of them
};

// Takes the record read last (window.read - 1, looked at and, if a page
// record, decoded): places it and the records waiting before it as soon as
// the tags tell their places.
void place_records(readback_state& state, record_window& window, found_layout& layout);

// Places every record still waiting, each after the one before: at the end
// of the file, or when the window is full.
void place_waiting(readback_state& state, record_window& window, found_layout& layout);

// At the end of the file: notes an erased run that ends it.
void finish_placing(const readback_state& state, found_layout& layout);

#endif
