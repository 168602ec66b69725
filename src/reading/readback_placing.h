// The placing of records that the two halves of the readback reader share:
// the placing itself (readback.cpp) and the weighing of the readings of
// the records that wait (readback_resolve.cpp).
#ifndef PAGESMITH_READBACK_PLACING_H
#define PAGESMITH_READBACK_PLACING_H

#include <cstdint>

#include "readback.h"

// How a record is placed.
enum class placing { image, erased, junk, repeated, foreign, stray };

// Whether page records that wait are taken as they look: yes when a tag
// that follows confirms where they stand, else doubted.
enum class page_trust { confirmed, doubted };

// The page tag of a record.
uint32_t tag_in(const decoded_record& r);

// True when the record is a page record whose tag holds a place.
bool tagged(const decoded_record& r);

// True when the record's tag is the one a data page at image record `at`
// carries.
bool fits(const decoded_record& r, uint64_t at);

// The image record a tag names, taking the block nearest to that of `near`
// (a tag holds the block number's low 16 bits); false when the tag's page
// is past a block.
bool place_of(uint32_t tag, uint64_t near, uint64_t& at);

// Places one record as `how`; `index` is the image record it is, or would
// repeat.
void place(readback_state& state, decoded_record& r, placing how, uint64_t index,
           found_layout& layout);

// How a waiting record is placed when the records stand one after the
// other; erased ones as `erased_as`.
placing in_turn(const readback_state& state, const decoded_record& r, placing erased_as,
                page_trust trust);

// Places the waiting records before `end` one after the other; erased
// ones as `erased_as`.
void place_in_turn(readback_state& state, record_window& window, uint64_t end,
                   placing erased_as, found_layout& layout,
                   page_trust trust = page_trust::confirmed);

// Records in a run of tags that follow each other that a jump of the page
// tags needs: fewer may be strays (records of another image put into this
// one), which never displace the records in sequence.  At the end of what
// can wait, two.
constexpr uint64_t JUMP_RUN = 3;
constexpr uint64_t LAST_JUMP_RUN = 2;

// The last record read carries a tag and others wait: places them all when
// one reading fits (a jump confirmed by a run of `run_needed` records), else
// leaves them waiting.
void resolve(readback_state& state, record_window& window, found_layout& layout,
             uint64_t run_needed);

#endif
