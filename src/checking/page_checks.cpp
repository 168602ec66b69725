// Checks on one page record.

#include "page_checks.h"

#include <bit>
#include <cstring>

namespace {

// The data of sector s of a record.
uint8_t* sector_data(const page_record& r, int s)
{
    return r.data + SECTOR_SIZE * static_cast<size_t>(s);
}

}  // namespace

bool all_zero(const uint8_t* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

bool data_zero_as(const page_record& r, page_kind kind)
{
    const size_t from = zero_data_from(kind);
    return all_zero(r.data + from, PAGE_DATA_SIZE - from);
}

status_expectation marking_of(uint32_t status)
{
    const uint32_t marked = status_word_of(page_kind::data, 0, block_marking::on);
    const uint32_t unmarked = status_word_of(page_kind::data, 0, block_marking::off);
    if (std::popcount(status ^ marked) <= 1)
        return status_expectation::marked;
    if (std::popcount(status ^ unmarked) <= 1)
        return status_expectation::unmarked;
    return status_expectation::unknown;
}

bool looks_marked(uint32_t status)
{
    return std::popcount(status) > 16;
}

int flips_from_fill(const page_record& r, const page_decoding& d)
{
    // The ECC words are judged by the decoding: a flipped bit in one of them
    // still leaves a fill page.
    for (int s = 0; s < SECTORS_PER_PAGE; ++s)
        if (d.sector[s].outcome != ecc_outcome::uncorrectable &&
            !all_zero(sector_data(r, s), SECTOR_SIZE))
            return NOT_ZERO_PAGE;
    return word_flips_from(r, page_kind::fill, block_marking::off);
}

int word_flips_from(const page_record& r, page_kind kind, block_marking marking)
{
    return words_of(r).status_bits_from(kind, r.page, marking) + words_of(r).zero_word_bits();
}

bool looks_like_fill(const page_record& r, const page_decoding& d)
{
    return words_of(r).tag() == 0 && flips_from_fill(r, d) <= 1;
}

finding& add_finding(page_findings& out, const page_record& r, page_kind kind,
                     finding_kind what)
{
    finding& f = out.items[out.count++];
    f = finding{};
    f.what = what;
    f.record = r.index;
    f.offset = r.file_index * PAGE_RECORD_SIZE;
    f.block = r.block;
    f.page = r.page;
    f.kind = kind;
    return f;
}

page_decoding decode_page(const page_record& r)
{
    page_decoding d;
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        uint8_t* sector = sector_data(r, s);
        const uint32_t stored = words_of(r).ecc_word(s);
        const uint32_t computed = computeECC(sector);
        d.syndrome[s] = stored ^ computed;
        if (stored == computed)
            continue;  // clean, as nearly every sector
        d.sector[s] = decode_ecc(stored, computed);
        if (d.sector[s].outcome == ecc_outcome::data_bit)
            sector[d.sector[s].byte] ^= static_cast<uint8_t>(1u << d.sector[s].bit);
        else if (d.sector[s].outcome == ecc_outcome::uncorrectable)
            d.uncorrectable = true;
    }
    return d;
}

void check_sectors(const page_record& r, page_kind kind, const page_decoding& d,
                   page_findings& out)
{
    for (int s = 0; s < SECTORS_PER_PAGE; ++s) {
        const ecc_decoding& e = d.sector[s];
        finding_kind what;
        if (e.outcome == ecc_outcome::data_bit)
            what = finding_kind::corrected_data;
        else if (e.outcome == ecc_outcome::code_bit)
            what = finding_kind::corrected_code;
        else if (e.outcome == ecc_outcome::uncorrectable)
            what = finding_kind::uncorrectable;
        else
            continue;
        finding& f = add_finding(out, r, kind, what);
        f.sector = s;
        f.byte = s * static_cast<int>(SECTOR_SIZE) + e.byte;
        f.bit = e.bit;
        f.word = SPARE_ECC_WORD + s;
        f.found = d.syndrome[s];
    }
}

void check_spare(const page_record& r, page_kind kind, status_expectation status,
                 page_findings& out)
{
    const uint32_t tag = words_of(r).tag();
    const uint32_t want_tag = tag_of(kind, r.block, r.page);
    if (tag != want_tag) {
        finding& f = add_finding(out, r, kind, finding_kind::page_tag);
        f.found = tag;
        f.expected = want_tag;
    }
    const uint32_t word = words_of(r).status_word();
    const bool undecided = status == status_expectation::unknown && kind == page_kind::data &&
                           page_carries_status_word(r.page);
    const block_marking marking =
        status == status_expectation::marked ? block_marking::on : block_marking::off;
    const uint32_t want_status = status_word_of(kind, r.page, marking);
    if (undecided || word != want_status) {
        finding& f = add_finding(
            out, r, kind, undecided ? finding_kind::status_word_value : finding_kind::status_word);
        f.word = SPARE_STATUS_WORD;
        f.found = word;
        f.expected = want_status;
    }
    for (int n = FIRST_ZERO_SPARE_WORD; n < END_ZERO_SPARE_WORD; ++n) {
        const uint32_t value = words_of(r).word(n);
        if (value != 0) {
            finding& f = add_finding(out, r, kind, finding_kind::spare_word);
            f.word = n;
            f.found = value;
        }
    }
}

void check_content(const page_record& r, page_kind kind, const page_decoding& d,
                   page_findings& out)
{
    if (d.uncorrectable || data_zero_as(r, kind))
        return;
    const bool holds_size = data_content_of(kind) == data_content::header_size;
    add_finding(out, r, kind,
                holds_size ? finding_kind::header_not_zero : finding_kind::data_not_zero);
}
