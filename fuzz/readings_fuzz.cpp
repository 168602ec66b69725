// Fuzz target: several readings of one image combined.  Two or three
// readings of a converter's image, each with sectors broken (two flipped
// bits, once a sector at most) where another reading holds that sector
// sound, and the last one perhaps cut short, combine into the image
// exactly.
//
// Input layout: byte 0 picks the readings (2 + byte % 2), byte 1 where the
// last one is cut (0: not cut; else a record boundary), bytes 2 to 25 eight
// breaks of three bytes each (reading, record, sector and bits), then the
// converter's settings and input as fuzz_image.h reads them.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_image.h"
#include "reading_merge.h"

namespace {

// Breaks read from the input.
constexpr size_t BREAKS = 8;
// Bytes before the converter's settings.
constexpr size_t PREFIX = 2 + 3 * BREAKS;

// The reading that keeps sector `sector` of record `record` sound: one
// that holds the record.
size_t keeper(size_t record, int sector, const std::vector<std::vector<uint8_t>>& readings)
{
    const size_t k = (record + static_cast<size_t>(sector)) % readings.size();
    return (record + 1) * PAGE_RECORD_SIZE <= readings[k].size() ? k : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzz_run run;
    if (size < PREFIX)
        return 0;
    decode(data + PREFIX, size - PREFIX, run);
    // Without bit errors of its own: a sector broken in every reading, or
    // miscorrected, has no copy to stand for it.
    run.error_bits = 0;
    const memory_image made = convert(run, run.input);
    const std::vector<uint8_t> image(made.bytes, made.bytes + made.size);
    const size_t records = image.size() / PAGE_RECORD_SIZE;
    std::vector<std::vector<uint8_t>> readings(2 + data[0] % 2, image);
    if (data[1] != 0 && records > 0)
        readings.back().resize((data[1] % records) * PAGE_RECORD_SIZE);
    // Each sector of a reading is broken once at most: four flipped bits
    // may read as a clean sector of other bytes.
    std::vector<std::array<size_t, 3>> broken;
    for (size_t b = 0; b < BREAKS && records > 0; ++b) {
        const uint8_t* at = data + 2 + 3 * b;
        const size_t record = at[1] % records;
        const int sector = at[2] % SECTORS_PER_PAGE;
        std::vector<uint8_t>& reading = readings[at[0] % readings.size()];
        const std::array<size_t, 3> place = {at[0] % readings.size(), record,
                                             static_cast<size_t>(sector)};
        if (&reading == &readings[keeper(record, sector, readings)] ||
            (record + 1) * PAGE_RECORD_SIZE > reading.size() ||
            std::find(broken.begin(), broken.end(), place) != broken.end())
            continue;
        broken.push_back(place);
        const size_t byte = record * PAGE_RECORD_SIZE + SECTOR_SIZE * static_cast<size_t>(sector) +
                            at[2] % SECTOR_SIZE;
        reading[byte] ^= static_cast<uint8_t>(0x11u << (at[0] % 4));
    }
    std::vector<FILE*> files;
    std::vector<const char*> names;
    for (std::vector<uint8_t>& r : readings) {
        static uint8_t empty[1];
        files.push_back(fmemopen(r.empty() ? empty : r.data(), r.size(), "rb"));
        fuzz_expect(files.back() != nullptr, "a memory stream");
        names.push_back("reading");
    }
    std::vector<reading_summary> results;
    merge_failure failure;
    FILE* combined = combine_readings(
        names, files, results, [](const finding&) { fuzz_expect(false, "readings that differ"); },
        failure);
    fuzz_expect(combined != nullptr, "combined in a temporary file");
    std::vector<uint8_t> bytes(image.size() + 1);
    const size_t n = std::fread(bytes.data(), 1, bytes.size(), combined);
    fuzz_expect(n == image.size() && std::equal(image.begin(), image.end(), bytes.begin()),
                "the combined readings are not the image");
    std::fclose(combined);
    for (FILE* f : files)
        std::fclose(f);
    return 0;
}
