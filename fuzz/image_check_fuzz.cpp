// Fuzz target: the checking core on arbitrary images and claims.
//
// Input layout: byte 0 holds the mode (bit 0: the rest is the image itself;
// bit 1: a header claim, present with bit 2; bit 3: the converter's
// bad-block list is claimed), byte 1 a count of edits (modulo 16), then four
// bytes per edit (a record, a byte offset in two bytes, and a value to XOR
// there), then, unless the rest is the image itself, the converter's settings
// and input as fuzz_image.h reads them.  The image is the converter's, damaged
// by the edits, or the raw bytes.
//
// Checked: the core reads every byte without a read error; every finding
// about a record stands at its position, and has words; the summary counts
// equal the findings handed on, class by class, and the records and kinds
// (with the records not the image's) add up; every record of the file is
// handed on once, in the order of their places; the status follows from the
// counts.  The sanitizers and libFuzzer's limits catch crashes,
// hangs and memory that grows.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "report_words.h"
#include "fuzz_check.h"
#include "fuzz_image.h"
#include "image_check.h"

namespace {

// What the sink saw.
struct seen {
    uint64_t by_class[FINDING_CLASS_COUNT] = {};
    uint64_t pages = 0;
    uint64_t image_findings = 0;
    bool layout = false;
};

// Applies the edits at `data` to the image.
void apply_edits(const uint8_t* data, size_t size, size_t edits, std::vector<uint8_t>& image)
{
    for (size_t e = 0; e < edits && !image.empty(); ++e) {
        const size_t at = 2 + 4 * e;
        const size_t records = image.size() / PAGE_RECORD_SIZE + 1;
        const size_t record = byte_at(data, size, at) % records;
        const size_t offset =
            (byte_at(data, size, at + 1) | byte_at(data, size, at + 2) << 8) % PAGE_RECORD_SIZE;
        const size_t where = std::min(record * PAGE_RECORD_SIZE + offset, image.size() - 1);
        image[where] ^= byte_at(data, size, at + 3);
    }
}

// Checks that a finding about a record agrees with its place in the image.
void expect_record_finding(const finding& f)
{
    fuzz_expect(f.block == f.record / PAGES_PER_BLOCK &&
                    static_cast<uint64_t>(f.page) == f.record % PAGES_PER_BLOCK,
                "a finding off its record's position");
    fuzz_expect((finding_traits_of(f.what).fields & FIELD_SECTOR) == 0 ||
                    (f.sector >= 0 && f.sector < SECTORS_PER_PAGE),
                "a sector finding without its sector");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t mode = byte_at(data, size, 0);
    const size_t edits = byte_at(data, size, 1) % 16;
    const size_t rest = std::min(size, 2 + 4 * edits);
    static std::vector<uint8_t> image;
    static fuzz_run run;
    decode(data + rest, size - rest, run);
    if (mode & 1) {
        image.assign(data + rest, data + size);
    } else {
        const memory_image made = convert(run, run.input);
        image.assign(made.bytes, made.bytes + made.size);
        apply_edits(data, size, edits, image);
    }
    layout_claim claim;
    if (mode & 2)
        claim.header = mode & 4 ? header_pages::present : header_pages::absent;
    if (mode & 8) {
        claim.bad_blocks = run.bad_block;
        if (!claim.bad_blocks)
            claim.bad_blocks.emplace().fill(-1);
    }

    static uint8_t empty[1];
    FILE* in = fmemopen(image.empty() ? empty : image.data(), image.size(), "rb");
    fuzz_expect(in != nullptr, "a memory stream");
    seen s;
    found_layout layout;
    check_sink sink;
    sink.on_layout = [&](const found_layout& l) {
        fuzz_expect(!s.layout, "the layout handed on twice");
        s.layout = true;
        layout = l;
    };
    sink.on_finding = [&](const finding& f) {
        ++s.by_class[static_cast<int>(class_of(f.what))];
        if (is_about_record(f.what))
            expect_record_finding(f);
        else
            ++s.image_findings;
        fuzz_expect(!describe_finding(f, layout).empty(), "a finding without words");
    };
    uint64_t last_place = 0;
    sink.on_page = [&](const checked_page& page) {
        fuzz_expect(page.record >= last_place, "records handed on out of order");
        last_place = page.record;
        s.pages += page.place != page_place::absent;
    };
    static image_checker checker;  // its window is reused from run to run
    check_summary summary;
    fuzz_expect(check_image(checker, in, claim, sink, summary) == 0, "a read error in memory");
    std::fclose(in);

    fuzz_expect(s.layout, "no layout handed on");
    expect_summary_adds_up(summary, image.size(), s.pages, s.by_class);
    fuzz_expect((image.size() % PAGE_RECORD_SIZE != 0) <= s.image_findings,
                "a partial record not reported");
    return 0;
}
