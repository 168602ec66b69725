// Fuzz target: the checker's promise, both ways, on the converter's images.
// An image as made, with at most one bit error a page, checks with status
// 0 (a forced header size claimed as -F); one loss that the image shows,
// planted inside its extent, gives status 1.
//
// Input layout: byte 0 picks the loss (modulo 7: none; a data record
// erased, zeroed, left out or replaced by bytes that are no record; two
// flipped bits in one of its sectors; the file cut inside it), bytes 1 and
// 2 pick the data record and the bits, then the converter's settings and
// input as fuzz_image.h reads them.
//
// Inside the extent: with header pages that hold the input size, any data
// record of an image with two or more (a header page alone reads as the
// image of a short input); else a data record that another follows.  A record of zeros is
// a data page at a position whose tag is 0, so it is not zeroed there.

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_image.h"
#include "image_check.h"
#include "image_verdict.h"

namespace {

// The losses, as byte 0 modulo LOSS_KINDS picks them.
enum loss : uint8_t { none, erased, zeroed, left_out, garbage, two_bits, cut, LOSS_KINDS };

// The status of a check of `image`, and its data records, in file order.
int check(const std::vector<uint8_t>& image, const layout_claim& claim,
          std::vector<uint64_t>* data_records)
{
    static uint8_t empty[1];
    FILE* in = fmemopen(image.empty() ? empty : const_cast<uint8_t*>(image.data()),
                        image.size(), "rb");
    fuzz_expect(in != nullptr, "a memory stream");
    check_sink sink;
    sink.on_page = [&](const checked_page& page) {
        if (data_records && page.kind == page_kind::data && page.place == page_place::image)
            data_records->push_back(page.file_record);
    };
    static image_checker checker;
    check_summary summary;
    fuzz_expect(check_image(checker, in, claim, sink, summary) == 0, "a read error in memory");
    std::fclose(in);
    return check_status(summary);
}

// Plants `what` in data record `record` of `image`; `a` and `b` pick bits.
void plant(loss what, uint64_t record, uint8_t a, uint8_t b, std::vector<uint8_t>& image)
{
    const auto at = image.begin() + static_cast<long>(record * PAGE_RECORD_SIZE);
    switch (what) {
    case erased: std::fill_n(at, PAGE_RECORD_SIZE, 0xFF); break;
    case zeroed: std::fill_n(at, PAGE_RECORD_SIZE, 0); break;
    case left_out: image.erase(at, at + PAGE_RECORD_SIZE); break;
    case garbage:
        for (size_t i = 0; i < PAGE_RECORD_SIZE; ++i)
            at[static_cast<long>(i)] = static_cast<uint8_t>((i * 131 + a) ^ (i >> 3) ^ b);
        break;
    case two_bits: {
        const size_t sector = (b % SECTORS_PER_PAGE) * SECTOR_SIZE;
        const size_t first = a * 16u + (b >> 4);
        const size_t second = (first + 1 + a) % (8 * SECTOR_SIZE);
        at[static_cast<long>(sector + first / 8)] ^= static_cast<uint8_t>(1u << (first % 8));
        at[static_cast<long>(sector + second / 8)] ^= static_cast<uint8_t>(1u << (second % 8));
        break;
    }
    case cut: image.resize(record * PAGE_RECORD_SIZE + 1 + (a * 256u + b) % (PAGE_RECORD_SIZE - 1)); break;
    case none:
    case LOSS_KINDS: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto what = static_cast<loss>(byte_at(data, size, 0) % LOSS_KINDS);
    const uint8_t a = byte_at(data, size, 1);
    const uint8_t b = byte_at(data, size, 2);
    static fuzz_run run;
    decode(data + std::min<size_t>(size, 3), size - std::min<size_t>(size, 3), run);
    // Two bit errors a page may not correct; a header size of 0 stands for
    // the input size, so the converter never stores it; three flipped bits
    // in a sector can read as one.
    if (run.error_bits > 1 || (run.header && run.header_size == 0) ||
        (what == two_bits && run.error_bits != 0))
        return 0;
    const memory_image made = convert(run, run.input);
    std::vector<uint8_t> image(made.bytes, made.bytes + made.size);
    // A header size other than the input's was forced: claimed, it tells
    // nothing of the input's end.
    const bool forced = static_cast<uint32_t>(run.header_size) !=
                        static_cast<uint32_t>(run.input.size());
    layout_claim claim;
    if (run.header && forced)
        claim.forced_size = run.header_size;
    std::vector<uint64_t> records;
    fuzz_expect(check(image, claim, &records) == 0, "an image as made fails");
    // The data records inside the extent.
    if ((!run.header || forced) && !records.empty())
        records.pop_back();
    if (run.header && records.size() < 2)
        records.clear();
    if (what == none || records.empty())
        return 0;
    const uint64_t record = records[(a * 256u + b) % records.size()];
    const uint64_t block = record / PAGES_PER_BLOCK;
    const auto page = static_cast<int64_t>(record % PAGES_PER_BLOCK);
    if (what == zeroed && std::popcount(tag_of(page_kind::data, block, page)) == 0)
        return 0;
    plant(what, record, a, b, image);
    fuzz_expect(check(image, claim, nullptr) == 1, "a loss that shows gives status 0");
    return 0;
}
