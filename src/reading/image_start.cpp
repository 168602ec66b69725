// Where the image starts in a file that holds something else first.
#include "image_start.h"

#include <algorithm>

#include "ecc.h"
#include "image_layout.h"
#include "record_view.h"

namespace {

constexpr size_t BLOCK_BYTES = PAGES_PER_BLOCK * PAGE_RECORD_SIZE;

// How the sectors of a record decode.
enum class sectors_verdict {
    broken,      // some sector does not correct
    decode,      // each is clean or corrects
    show_data,   // and one of them, clean, holds data that is not zero
};

// How the sectors of the record at `bytes` decode.  Bytes that are zero but
// for a flipped bit or two also decode, wherever a record is taken to
// start among them: only a clean sector with data, whose stored ECC word
// matches it, shows that a record starts there.
sectors_verdict sectors_of(const uint8_t* bytes)
{
    sectors_verdict verdict = sectors_verdict::decode;
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        const uint32_t stored = record_at(bytes).ecc_word(s);
        const uint32_t computed = computeECC(bytes + s * SECTOR_SIZE);
        const ecc_outcome outcome = decode_ecc(stored, computed).outcome;
        if (outcome == ecc_outcome::uncorrectable)
            return sectors_verdict::broken;
        if (outcome == ecc_outcome::clean && stored != 0)
            verdict = sectors_verdict::show_data;
    }
    return verdict;
}

// How records from one offset line up.
enum class run_verdict { broken, lined_up };

// Records of the first block that may break the run where the image
// starts: damaged records of a dump.
constexpr int MAX_BROKEN = PAGES_PER_BLOCK / 8;

// Whether the records from `from` line up as an image's first block, or as
// all of an image up to `end`: the records at pages 0 and 1 whole, that at
// page 1 with its own tag and data, and of the others all but MAX_BROKEN
// with theirs, up to the first fill page's tag 0, and 0 after it.  A whole
// first block whose pages 1 to 63 carry their own tags, all but the broken
// ones (page 0 or 1 among them), lines up too, data or not: a bad block 0
// holds zero data, and zeros alone never give those tags in turn.
run_verdict run_from(const uint8_t* bytes, size_t from, size_t end)
{
    bool second_own = false;
    bool fill_seen = false;
    int broken = 0;
    int own_tags = 0;        // records after page 0 that carry their own tag
    int broken_after_0 = 0;  // broken records after page 0
    bool first_two_whole = true;
    int64_t page = 0;
    for (size_t at = from; at + PAGE_RECORD_SIZE <= end && page < PAGES_PER_BLOCK;
         at += PAGE_RECORD_SIZE, ++page) {
        const record_view words = record_at(bytes + at);
        const uint32_t tag = words.tag();
        const uint32_t own = tag_of(page_kind::data, 0, page);
        const sectors_verdict sectors = sectors_of(bytes + at);
        if ((tag != 0 && (tag != own || fill_seen)) || !words.zero_words_clear() ||
            sectors == sectors_verdict::broken) {
            first_two_whole = first_two_whole && page >= 2;
            broken_after_0 += page > 0;
            if (++broken > MAX_BROKEN)
                return run_verdict::broken;
            continue;
        }
        fill_seen = fill_seen || (page > 0 && tag == 0);
        second_own = second_own ||
                     (page == 1 && tag == own && sectors == sectors_verdict::show_data);
        own_tags += page > 0 && tag == own;
    }
    const bool block_of_own_tags = own_tags + broken_after_0 == PAGES_PER_BLOCK - 1;
    return (first_two_whole && second_own) || block_of_own_tags ? run_verdict::lined_up
                                                                : run_verdict::broken;
}

// True when no record before `from`, a whole number of records into the
// file, reads as a page record: each is erased or no record at all.  A page
// record there is one of the image's (held twice, say), not something the
// dump put in front of it.
bool nothing_of_the_image_before(const uint8_t* bytes, size_t from)
{
    // An erased record's zero words are set.
    for (size_t at = 0; at < from; at += PAGE_RECORD_SIZE)
        if (record_at(bytes + at).zero_words_clear())
            return false;
    return true;
}

}  // namespace

bool image_starts_at_0(const uint8_t* bytes, size_t size)
{
    return run_from(bytes, 0, size) == run_verdict::lined_up;
}

uint64_t later_image_start(const uint8_t* bytes, size_t size)
{
    const size_t last = std::min(size, IMAGE_START_SEARCH);
    const uint32_t second_tag = tag_of(page_kind::data, 0, 1);
    for (size_t from = 1; from + 2 * PAGE_RECORD_SIZE <= size && from < last; ++from) {
        // Cheap tests first: the first record's tag (page 0 of block 0:
        // 0 whatever its kind), one zero word, and the second record's tag.
        const record_view first = record_at(bytes + from);
        if (from % BLOCK_BYTES == 0 || first.tag() != 0 ||
            first.word(FIRST_ZERO_SPARE_WORD) != 0 ||
            record_at(bytes + from + PAGE_RECORD_SIZE).tag() != second_tag)
            continue;
        if (run_from(bytes, from, size) == run_verdict::lined_up &&
            (from % PAGE_RECORD_SIZE != 0 || nothing_of_the_image_before(bytes, from)))
            return from;
    }
    return 0;
}
