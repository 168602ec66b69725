// Fuzz target: the converter, then the checking core, which is told nothing
// or the layout, must give the input back.
//
// Input layout: byte 0 holds the damage (bits 0-2: 1 a data bit, 2 a bit of
// an ECC word, 3 a bit of the page tag, 4 a bit of the status word, 5 a bit
// of spare words 2-11, else none) and bit 3 says whether the layout is
// claimed; bytes 1-2 pick the record and bytes 3-4 the bit; then the
// converter's settings and input as fuzz_image.h reads them, used as the
// converter's command line would: the header size is the input size, a
// bad-block list comes with status words, and with damage there are no
// injected bit errors.
//
// Checked: without damage or with one flipped data or ECC bit, nothing but
// corrections is found (one per page with -s, one more for the damage) and
// the input comes back: exactly with header pages, else with the zeros that
// completed its last page, or else the image is exactly the converter's image
// of what came back, made with the options the report names (the format
// cannot tell the two apart; a corrected bit counts as undone).  A flipped
// tag, status or spare bit is one finding, the layout reads as the sound
// image's, and with header pages the input comes back exactly but for at
// most one page that the report lists as lost (a flipped tag can leave the
// place of the last data page in doubt, and its data is then not given
// back); unless the damaged image, too, is exactly such an image: then
// nothing is found but where the claimed layout (header pages, a bad-block
// list) differs from it.
// (Without header pages, zero pages at page 0 of block 0 may read either
// way, as the note on such images says; and where the sound image's check
// notes that its page 0 reads as a header page or a data page by a margin
// of findings, the flipped bit may tip the layout the other way.)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_image.h"
#include "image_check.h"
#include "input_recovery.h"

namespace {

// The kinds of damage.
enum damage { none, data_bit, ecc_bit, tag_bit, status_bit, spare_bit };

// Flips one bit of the image, where `damage` says; the record and the bit
// come from `record_pick` and `bit_pick`.
void apply_damage(damage d, unsigned record_pick, unsigned bit_pick, std::vector<uint8_t>& image)
{
    const size_t records = image.size() / PAGE_RECORD_SIZE;
    if (d == none || records == 0)
        return;
    uint8_t* record = image.data() + (record_pick % records) * PAGE_RECORD_SIZE;
    uint8_t* spare = record + PAGE_DATA_SIZE;
    switch (d) {
    case data_bit: record[(bit_pick / 8) % PAGE_DATA_SIZE] ^= 1 << (bit_pick % 8); break;
    case ecc_bit: spare[4 * SPARE_ECC_WORD + (bit_pick / 8) % 16] ^= 1 << (bit_pick % 8); break;
    case tag_bit: spare[4 * SPARE_TAG_WORD + (bit_pick / 8) % 4] ^= 1 << (bit_pick % 8); break;
    case status_bit:
        spare[4 * SPARE_STATUS_WORD + (bit_pick / 8) % 4] ^= 1 << (bit_pick % 8);
        break;
    default: {
        const size_t zero_bytes = 4 * (END_ZERO_SPARE_WORD - FIRST_ZERO_SPARE_WORD);
        spare[4 * FIRST_ZERO_SPARE_WORD + (bit_pick / 8) % zero_bytes] ^= 1 << (bit_pick % 8);
        break;
    }
    }
}

// Checks an image in memory; the recovered input goes to `recovered`.
check_summary check(std::vector<uint8_t>& image, const layout_claim& claim,
                    std::vector<uint8_t>& recovered)
{
    static uint8_t empty[1];
    FILE* in = fmemopen(image.empty() ? empty : image.data(), image.size(), "rb");
    char* bytes = nullptr;
    size_t size = 0;
    static input_recovery recovery;
    recovery = input_recovery{};
    recovery.out = open_memstream(&bytes, &size);
    fuzz_expect(in && recovery.out, "memory streams");
    check_sink sink;
    sink.on_page = [&](const checked_page& page) {
        fuzz_expect(recover_page(recovery, page), "recovering a page");
    };
    static image_checker checker;  // its window is reused from run to run
    check_summary summary;
    fuzz_expect(check_image(checker, in, claim, sink, summary) == 0, "a read error in memory");
    fuzz_expect(finish_recovery(recovery, summary), "finishing the output");
    std::fclose(in);
    std::fclose(recovery.out);
    recovered.assign(bytes, bytes + size);
    std::free(bytes);
    return summary;
}

// True when converting `input` with the options that `layout` names (and
// the bit errors of `run`) gives `image`: the image is exactly what the
// report says it is.
bool converts_to(const found_layout& layout, const fuzz_run& run,
                 const std::vector<uint8_t>& input, const std::vector<uint8_t>& image)
{
    if (layout.bad_block_count > MAX_BAD_BLOCKS)
        return false;
    fuzz_run again;
    again.error_bits = run.error_bits;
    again.fill = layout.fill;
    again.bad_block_table = layout.status_words;
    if (layout.bad_block_count) {
        again.bad_block.emplace().fill(-1);
        for (size_t k = 0; k < layout.bad_blocks.size(); ++k)
            (*again.bad_block)[k] = static_cast<int32_t>(layout.bad_blocks[k]);
    }
    again.header = layout.header == header_pages::present;
    again.header_size = layout.forced_header_size.value_or(static_cast<int32_t>(input.size()));
    const memory_image made = convert(again, input);
    return made.size == image.size() &&
           std::equal(made.bytes, made.bytes + made.size, image.begin());
}

// The input as a check that reports `lost` gives it back: each lost range
// zero; together they may not pass one page, as one flipped bit of a spare
// word leaves at most the place of one page in doubt.
std::vector<uint8_t> reported(std::vector<uint8_t> input, const lost_list& lost)
{
    fuzz_expect(lost.unlisted == 0, "one flipped bit that loses many ranges");
    uint64_t bytes = 0;
    for (const lost_range& range : lost.ranges) {
        bytes += range.length;
        const size_t from = std::min<size_t>(input.size(), range.offset);
        const size_t to = std::min<size_t>(input.size(), range.offset + range.length);
        std::fill(input.begin() + static_cast<long>(from), input.begin() + static_cast<long>(to), 0);
    }
    fuzz_expect(bytes <= PAGE_DATA_SIZE, "one flipped bit that loses more than a page");
    return input;
}

// The most findings that claims can make on a sound image that they do
// not describe: one for header pages, and for a bad-block list one for its
// blocks and one for status words.
uint64_t claim_findings(const layout_claim& claim)
{
    return (claim.header ? 1 : 0) + (claim.bad_blocks ? 2 : 0);
}

// True when two readings of the layout name the same options and input size.
bool same_layout(const found_layout& a, const found_layout& b)
{
    return a.header == b.header && a.status_words == b.status_words && a.fill == b.fill &&
           a.bad_blocks == b.bad_blocks && a.bad_block_count == b.bad_block_count &&
           a.input_size == b.input_size && a.forced_header_size == b.forced_header_size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t mode = byte_at(data, size, 0);
    const auto d = static_cast<damage>((mode & 7) <= spare_bit ? mode & 7 : none);
    const unsigned record_pick = byte_at(data, size, 1) | byte_at(data, size, 2) << 8;
    const unsigned bit_pick = byte_at(data, size, 3) | byte_at(data, size, 4) << 8;
    static fuzz_run run;
    decode(data + std::min<size_t>(size, 5), size - std::min<size_t>(size, 5), run);
    run.error_bits = d == none && run.error_bits == 1 ? 1 : 0;
    run.header_size = static_cast<int32_t>(run.input.size());
    run.bad_block_table = run.bad_block_table || run.bad_block.has_value();

    const memory_image made = convert(run, run.input);
    static std::vector<uint8_t> sound;
    static std::vector<uint8_t> image;
    sound.assign(made.bytes, made.bytes + made.size);
    image = sound;
    apply_damage(d, record_pick, bit_pick, image);
    layout_claim claim;
    if (mode & 8) {
        claim.header = run.header ? header_pages::present : header_pages::absent;
        claim.bad_blocks = run.bad_block;
    }
    static std::vector<uint8_t> recovered;
    const check_summary summary = check(image, claim, recovered);

    std::vector<uint8_t> expected = run.input;
    if (!run.header)
        expected.resize((expected.size() + PAGE_DATA_SIZE - 1) / PAGE_DATA_SIZE * PAGE_DATA_SIZE);
    if ((d == tag_bit || d == status_bit || d == spare_bit) && !image.empty()) {
        if (converts_to(summary.layout, run, recovered, image)) {
            // The converter makes this image, too: nothing in it is damaged,
            // and only the claims can disagree with it.
            fuzz_expect(summary.uncorrectable + summary.corrected == 0 &&
                            summary.problems <= claim_findings(claim),
                        "findings on an image the converter makes");
            return 0;
        }
        static std::vector<uint8_t> sound_recovered;
        const check_summary as_made = check(sound, claim, sound_recovered);
        fuzz_expect(summary.problems + summary.uncorrectable + summary.corrected == 1,
                    "one flipped bit of a spare word that is not one finding");
        // Where the sound image's own check notes that its page 0 reads as a
        // header page or a data page by a margin of findings, one flipped bit
        // may tip the reading the other way.
        const bool close_call =
            std::any_of(as_made.layout.notes.begin(), as_made.layout.notes.end(),
                        [](const layout_note& n) { return n.what == note_kind::header_choice; });
        if (close_call)
            return 0;
        fuzz_expect(same_layout(summary.layout, as_made.layout),
                    "one flipped bit of a spare word that changes the layout");
        fuzz_expect(as_made.layout.header != header_pages::present ||
                        recovered == reported(expected, summary.lost),
                    "one flipped bit of a spare word that changes the recovered input");
        return 0;
    }
    // A corrected bit leaves the image as it was made.
    const bool came_back =
        recovered == expected || converts_to(summary.layout, run, recovered, sound);
    fuzz_expect(summary.problems == 0 && summary.uncorrectable == 0,
                "findings on a sound image");
    const uint64_t flipped =
        run.error_bits * (summary.kinds[static_cast<int>(page_kind::data)] +
                          summary.kinds[static_cast<int>(page_kind::fill)]);
    fuzz_expect(summary.corrected == flipped + (d == none || image.empty() ? 0 : 1),
                "corrections that differ from the flipped bits");
    fuzz_expect(came_back, "the input does not come back");
    return 0;
}
