// Fuzz target: the checking core on the converter's images changed the way
// reading a chip back changes them.
//
// Input layout: byte 0 holds the changes (bit 0: erased pages complete the
// last block, and byte 1 modulo 3 erased blocks follow; bit 1: one bit of
// the erased pages reads 0, at byte 2; bit 2: the first bad block is
// erased; bit 3: the second bad block is left out; bit 4: a block that is
// not the image's stands before block byte 1; bit 5: record byte 2 is left
// out; bit 6: it is held twice; bit 7: the file loses 1 + (byte 1 * 37 +
// byte 2) modulo its length bytes at its end), then the converter's
// settings and input as fuzz_image.h reads them.
//
// Checked, always: the core reads every byte; the layout is handed on
// once; every record of the file is counted once, in a kind or as not the
// image's; the counts equal the findings; the status follows from them.
// When the sound image checks clean and the changes lose nothing (erased
// pages after it, padded or left-out bad blocks followed by two records with
// page tags), and the bad blocks are claimed: status 0, the same layout,
// input size and data pages.  When a
// block that is not the image's stands before two records with page tags:
// one finding, and the same layout and data pages.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_image.h"
#include "image_check.h"
#include "image_verdict.h"
#include "report_words.h"

namespace {

constexpr size_t BLOCK_SIZE = PAGES_PER_BLOCK * PAGE_RECORD_SIZE;

// What one check gave.
struct outcome {
    check_summary summary;
    std::string layout;                  // the layout line
    std::vector<uint8_t> data;           // the data pages in their places
    uint64_t by_class[FINDING_CLASS_COUNT] = {};
    uint64_t pages_in_file = 0;          // pages handed on that the file holds
};

// Checks `image` with `claim`, and the invariants that hold for any file.
outcome check(const std::vector<uint8_t>& image, const layout_claim& claim)
{
    static uint8_t empty[1];
    FILE* in = fmemopen(image.empty() ? empty : const_cast<uint8_t*>(image.data()),
                        image.size(), "rb");
    fuzz_expect(in != nullptr, "a memory stream");
    outcome o;
    bool layout_seen = false;
    check_sink sink;
    sink.on_layout = [&](const found_layout&) {
        fuzz_expect(!layout_seen, "the layout handed on twice");
        layout_seen = true;
    };
    sink.on_finding = [&](const finding& f) {
        ++o.by_class[static_cast<int>(class_of(f.what))];
    };
    sink.on_page = [&](const checked_page& page) {
        o.pages_in_file += page.place != page_place::absent;
        if (page.place == page_place::image && page.kind == page_kind::data)
            o.data.insert(o.data.end(), page.data, page.data + PAGE_DATA_SIZE);
    };
    static image_checker checker;
    fuzz_expect(check_image(checker, in, claim, sink, o.summary) == 0, "a read error in memory");
    std::fclose(in);
    const check_summary& s = o.summary;
    fuzz_expect(layout_seen, "no layout handed on");
    expect_summary_adds_up(s, image.size(), o.pages_in_file, o.by_class);
    o.layout = describe_layout(s.layout);
    return o;
}

// Records from block `block` on that carry the page tag of their place.
uint64_t tagged_from(const std::vector<uint8_t>& image, uint64_t block)
{
    uint64_t count = 0;
    for (uint64_t r = block * PAGES_PER_BLOCK; (r + 1) * PAGE_RECORD_SIZE <= image.size(); ++r) {
        const uint32_t tag = get_le32(image.data() + r * PAGE_RECORD_SIZE + PAGE_DATA_SIZE + 4);
        count += tag != 0 && tag == page_tag(r / PAGES_PER_BLOCK, r % PAGES_PER_BLOCK);
    }
    return count;
}

// True when two tagged records follow each of the first two bad blocks: a
// tag that disagrees is read as a jump only when the next one confirms it.
bool tags_confirm(const std::vector<uint8_t>& image, const found_layout& layout)
{
    for (size_t k = 0; k < layout.bad_blocks.size() && k < 2; ++k)
        if (tagged_from(image, layout.bad_blocks[k] + 1) < 2)
            return false;
    return true;
}

// Erased bytes: the rest of the last block, then `blocks` more.
void add_erased(std::vector<uint8_t>& image, size_t blocks)
{
    const size_t partial = image.size() % BLOCK_SIZE;
    image.resize(image.size() + (partial ? BLOCK_SIZE - partial : 0) + blocks * BLOCK_SIZE, 0xFF);
}

// The changes that lose nothing: erased pages after the image, one flipped
// bit in them, bad blocks erased or left out.  False when none applied.
bool lose_nothing(uint8_t changes, uint8_t a, uint8_t b, const found_layout& layout,
                  std::vector<uint8_t>& image)
{
    const size_t sound_size = image.size();
    bool changed = false;
    if ((changes & 1) && !image.empty()) {
        add_erased(image, a % 3);
        if ((changes & 2) && image.size() > sound_size)
            image[image.size() - 1 - b] &= 0x7F;
        changed = true;
    }
    const std::vector<uint64_t>& bad = layout.bad_blocks;
    if ((changes & 4) && !bad.empty()) {
        std::fill_n(image.begin() + static_cast<long>(bad[0] * BLOCK_SIZE), BLOCK_SIZE, 0xFF);
        changed = true;
    }
    if ((changes & 8) && bad.size() > 1) {
        const auto from = image.begin() + static_cast<long>(bad[1] * BLOCK_SIZE);
        image.erase(from, from + BLOCK_SIZE);
        changed = true;
    }
    return changed;
}

// The changes that lose or add records, on any image.
void lose_records(uint8_t changes, uint8_t a, uint8_t b, std::vector<uint8_t>& image)
{
    const size_t records = image.size() / PAGE_RECORD_SIZE;
    if ((changes & 16) && a * BLOCK_SIZE <= image.size()) {
        std::vector<uint8_t> foreign(BLOCK_SIZE, 0xFF);
        foreign[PAGE_DATA_SIZE] = 0;
        image.insert(image.begin() + static_cast<long>(a * BLOCK_SIZE), foreign.begin(),
                     foreign.end());
    }
    const size_t at = records ? (b % records) * PAGE_RECORD_SIZE : 0;
    if ((changes & 32) && records)
        image.erase(image.begin() + static_cast<long>(at),
                    image.begin() + static_cast<long>(at + PAGE_RECORD_SIZE));
    if ((changes & 64) && records && at + PAGE_RECORD_SIZE <= image.size()) {
        const std::vector<uint8_t> twice(image.begin() + static_cast<long>(at),
                                         image.begin() + static_cast<long>(at + PAGE_RECORD_SIZE));
        image.insert(image.begin() + static_cast<long>(at), twice.begin(), twice.end());
    }
    if ((changes & 128) && !image.empty())
        image.resize(image.size() - 1 - (static_cast<size_t>(a) * 37 + b) % image.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t changes = byte_at(data, size, 0);
    const uint8_t a = byte_at(data, size, 1);
    const uint8_t b = byte_at(data, size, 2);
    static fuzz_run run;
    decode(data + std::min<size_t>(size, 3), size - std::min<size_t>(size, 3), run);
    const memory_image made = convert(run, run.input);
    const std::vector<uint8_t> sound(made.bytes, made.bytes + made.size);
    const outcome before = check(sound, {});
    const bool clean = check_status(before.summary) == 0 && !sound.empty() &&
                       tags_confirm(sound, before.summary.layout);

    std::vector<uint8_t> image = sound;
    const bool changed = lose_nothing(changes, a, b, before.summary.layout, image);
    const bool foreign_only = (changes & 0xF0) == 16 && !changed;
    const uint64_t blocks = sound.size() / BLOCK_SIZE;
    lose_records(changes, a, b, image);
    // Without header pages only -B confirms an erased block for a bad block
    // that the dump padded: the changed file is checked with the bad blocks
    // claimed (as the converter takes them: -B implies -b).
    layout_claim claim;
    if (run.bad_block_table)
        claim.bad_blocks = run.bad_block;
    const outcome after = check(image, claim);
    // An image made with -F is not clean unclaimed: its header size's
    // finding names both readings.
    if (clean && changed && (changes & 0xF0) == 0) {
        fuzz_expect(check_status(after.summary) == 0, "a change that loses nothing fails");
        fuzz_expect(after.layout == before.layout, "a change that loses nothing moves the layout");
        fuzz_expect(after.data == before.data, "a change that loses nothing changes the data");
    }
    if (clean && foreign_only && a < blocks && tagged_from(sound, a) >= 2) {
        fuzz_expect(after.summary.problems == 1 && after.summary.uncorrectable == 0,
                    "a block not the image's is not one finding");
        fuzz_expect(after.layout == before.layout, "a block not the image's moves the layout");
        fuzz_expect(after.data == before.data, "a block not the image's changes the data");
    }
    return 0;
}
