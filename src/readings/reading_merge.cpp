// The readings combined record by record.
#include "reading_merge.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "background_write.h"

#include "image_start.h"
#include "report_spool.h"

namespace {

// Bytes of spare area before the ECC words: the status word, the tag and
// the zero words, voted on bit by bit.
constexpr size_t WORDS_BEFORE_ECC = 4 * SPARE_ECC_WORD;

// Reads more of `r` after the bytes not yet taken.  False with errno set
// on a read error.
bool refill(reading_source& r)
{
    std::memmove(r.bytes.data(), r.bytes.data() + r.used, r.end - r.used);
    r.end -= r.used;
    r.used = 0;
    while (!r.ended && r.end < r.bytes.size()) {
        const size_t n = std::fread(r.bytes.data() + r.end, 1, r.bytes.size() - r.end, r.in);
        r.end += n;
        if (n == 0 && std::ferror(r.in))
            return false;
        r.ended = n == 0;
    }
    return true;
}

// Reads the first piece of `r` and takes the bytes before its image.
bool start_reading(reading_source& r, reading_summary& result)
{
    r.bytes.resize(IMAGE_START_BYTES);
    if (!refill(r))
        return false;
    const bool at_0 = image_starts_at_0(r.bytes.data(), r.end);
    result.image_start = at_0 ? 0 : later_image_start(r.bytes.data(), r.end);
    r.used = static_cast<size_t>(result.image_start);
    return true;
}

// The per-bit majority of the spare words before the ECC words of the n
// records into `out`'s.
void vote_spare_words(const uint8_t* const* records, int n, uint8_t* out)
{
    const uint8_t* words[MAX_READINGS];
    for (int k = 0; k < n; ++k)
        words[k] = records[k] + PAGE_DATA_SIZE;
    majority_bytes(words, n, WORDS_BEFORE_ECC, out + PAGE_DATA_SIZE);
}

// Counts how reading k's copy of a sector differs from the combined one:
// for each bit position, whether some byte reads 0 (or 1) there where the
// combined sector holds the other.
void count_difference(const uint8_t* copy, const uint8_t* combined, reading_summary& result)
{
    if (std::memcmp(copy, combined, SECTOR_SIZE) == 0)
        return;
    uint8_t reads_0 = 0;
    uint8_t reads_1 = 0;
    for (size_t i = 0; i < SECTOR_SIZE; ++i) {
        reads_0 |= static_cast<uint8_t>(combined[i] & ~copy[i]);
        reads_1 |= static_cast<uint8_t>(copy[i] & ~combined[i]);
    }
    ++result.differing;
    for (int bit = 0; bit < 8; ++bit) {
        result.stuck[0][bit] += (reads_0 >> bit) & 1;
        result.stuck[1][bit] += (reads_1 >> bit) & 1;
    }
}

// The finding that the readings correct sector s of record `index` to
// different bytes; `agreeing` readings agree with the one taken (0: lost).
finding differ_finding(uint64_t index, int s, int agreeing)
{
    finding f = image_finding(finding_kind::readings_differ);
    f.record = index;
    f.block = index / PAGES_PER_BLOCK;
    f.page = static_cast<int>(index % PAGES_PER_BLOCK);
    f.offset = index * PAGE_RECORD_SIZE;
    f.sector = s;
    f.found = static_cast<uint64_t>(agreeing);
    return f;
}

// Combines the n copies of record `index` into `out`.
void combine_record(const uint8_t* const* records, const int* owners, int n, uint64_t index,
                    uint8_t* out, std::vector<reading_summary>& results,
                    const std::function<void(const finding&)>& on_finding)
{
    std::memcpy(out, records[0], PAGE_RECORD_SIZE);
    bool all_same = true;
    for (int k = 1; k < n && all_same; ++k)
        all_same = std::memcmp(records[k], records[0], PAGE_RECORD_SIZE) == 0;
    if (all_same)
        return;
    if (n >= 3)
        vote_spare_words(records, n, out);
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        const size_t data_at = SECTOR_SIZE * static_cast<size_t>(s);
        const size_t ecc_at = PAGE_DATA_SIZE + WORDS_BEFORE_ECC + 4 * static_cast<size_t>(s);
        sector_copy copies[MAX_READINGS];
        for (int k = 0; k < n; ++k)
            copies[k] = {records[k] + data_at, records[k] + ecc_at};
        const sector_vote vote = vote_sector(copies, n);
        const sector_copy taken = vote.outcome == vote_outcome::majority
                                      ? sector_copy{vote.data, vote.ecc}
                                      : copies[vote.chosen];
        std::memcpy(out + data_at, taken.data, SECTOR_SIZE);
        std::memcpy(out + ecc_at, taken.ecc, 4);
        if (vote.outcome == vote_outcome::differ_lost)
            spoil_ecc(taken.data, out + ecc_at);
        if (vote.outcome == vote_outcome::differ_taken || vote.outcome == vote_outcome::differ_lost)
            on_finding(differ_finding(index, s, vote.outcome == vote_outcome::differ_taken
                                                    ? vote.agreeing : 0));
        for (int k = 0; k < n; ++k) {
            reading_summary& result = results[static_cast<size_t>(owners[k])];
            result.supplied += vote.lost[k];
            if (vote.outcome != vote_outcome::broken && vote.outcome != vote_outcome::differ_lost)
                count_difference(copies[k].data, out + data_at, result);
        }
    }
}

}  // namespace

merge_failure merge_readings(std::vector<reading_source>& readings, byte_channel& out,
                             std::vector<reading_summary>& results,
                             const std::function<void(const finding&)>& on_finding)
{
    const int count = static_cast<int>(readings.size());
    results.resize(readings.size());
    for (int k = 0; k < count; ++k)
        if (!start_reading(readings[static_cast<size_t>(k)], results[static_cast<size_t>(k)]))
            return {errno, readings[static_cast<size_t>(k)].name};
    for (uint64_t index = 0;; ++index) {
        const uint8_t* records[MAX_READINGS];
        int owners[MAX_READINGS];
        int n = 0;
        const reading_source* longest_tail = nullptr;
        for (int k = 0; k < count; ++k) {
            reading_source& r = readings[static_cast<size_t>(k)];
            if (r.end - r.used < PAGE_RECORD_SIZE && !r.ended && !refill(r))
                return {errno, r.name};
            if (r.end - r.used >= PAGE_RECORD_SIZE) {
                records[n] = r.bytes.data() + r.used;
                owners[n++] = k;
            } else if (!longest_tail || r.end - r.used > longest_tail->end - longest_tail->used) {
                longest_tail = &r;
            }
        }
        if (n == 0) {
            // Less than a record is left: the longest such tail ends the image.
            const size_t left = longest_tail ? longest_tail->end - longest_tail->used : 0;
            if (left == 0)
                return {};
            uint8_t* room = room_for(out, left);
            if (!room)
                return {errno, nullptr};
            std::memcpy(room, longest_tail->bytes.data() + longest_tail->used, left);
            add_bytes(out, left);
            return {};
        }
        // The record is combined in place, in the block that goes out.
        uint8_t* combined = room_for(out, PAGE_RECORD_SIZE);
        if (!combined)
            return {errno, nullptr};
        combine_record(records, owners, n, index, combined, results, on_finding);
        add_bytes(out, PAGE_RECORD_SIZE);
        for (int k = 0; k < n; ++k)
            readings[static_cast<size_t>(owners[k])].used += PAGE_RECORD_SIZE;
    }
}

FILE* combine_readings(const std::vector<const char*>& names, const std::vector<FILE*>& files,
                       std::vector<reading_summary>& results,
                       const std::function<void(const finding&)>& on_finding,
                       merge_failure& failure)
{
    report_spool spool;
    if (!open_spool(spool)) {
        failure = {errno, nullptr};
        return nullptr;
    }
    // The combined image is written on a thread of its own while the
    // readings are read and compared.
    const auto write = std::make_unique<background_write>();
    start_background_write(*write, fileno(spool.file));
    std::vector<reading_source> readings(files.size());
    results.assign(files.size(), {});
    for (size_t k = 0; k < files.size(); ++k) {
        readings[k].name = names[k];
        readings[k].in = files[k];
        results[k].file = names[k];
    }
    failure = merge_readings(readings, write->channel, results, on_finding);
    const bool written = finish_background_write(*write);
    if (failure.error == 0 && (!written || !spool_rewind(spool)))
        failure = {errno, nullptr};
    if (failure.error == 0)
        return spool.file;
    close_spool(spool);
    return nullptr;
}
