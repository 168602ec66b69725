// The kinds of finding and the one table that says everything about each:
// how it counts, which fields it carries, and its words.
#ifndef PAGESMITH_FINDING_KINDS_H
#define PAGESMITH_FINDING_KINDS_H

#include <cstdint>

// The kinds of finding; finding_traits_of says everything else about each.
enum class finding_kind : uint8_t {
    corrected_data,       // one data bit flipped: byte, bit
    corrected_code,       // one bit of the stored ECC word flipped: word, bit
    uncorrectable,        // found: the syndrome (stored XOR recomputed word)
    page_tag,             // found, expected: the page tag
    status_word,          // found, expected: the block status word
    status_word_value,    // found: a status word that is neither allowed value
    spare_word,           // word, found: a spare word that must be zero
    header_not_zero,      // a header page holds more than its size
    data_not_zero,        // a bad-block or fill page holds data
    header_size_differs,  // found: this header's size, expected: the first one's
    out_of_place,         // other: the kind of the record before
    ends_inside_fill,     // page: the last fill page
    ends_after,           // other: the kind of the last record
    partial_record,       // found: bytes after the last whole record
    header_size_misfit,   // found: the header size, expected: bytes of data pages
    too_many_bad_blocks,  // found: more bad blocks than the converter can list
    layout_header,        // found: 1 when the image has header pages, against the claim
    layout_bad_blocks,    // found: a block where the image and -B differ;
                          // expected: 1 when the image has it bad
    layout_marking,       // -B given, and data pages carry no status word
    erased_bit,           // byte, bit: a bit that reads 0 in an erased page
    records_missing,      // found: records of the image that the file leaves out
    records_repeated,     // found: records the file holds twice
    erased_inside,        // found: erased records where the image goes on
    foreign_block,        // found: a block of the file that is not the image's
    not_records,          // found: records of the file that do not read as records
    data_pages_missing,   // found: data pages missing; expected: the input size
    image_cut,            // record: where the file ends; found, expected: as above
    not_an_image,         // found: records in the file
    size_unproven,        // found: the header size, expected: bytes of data pages;
                          // a size -F may have stored, or data pages lost
    layout_forced_size,   // found: the header size, expected: the size -F claims
    padded_or_lost,       // found: an erased block inside the image that nothing
                          // confirms for a bad block
    skipped_or_lost,      // found: a block that the page tags step over, which nothing
                          // confirms for a bad block that the dump left out
    chip_bad_inside,      // found: a block the chip marks bad, erased inside the
                          // image, that nothing confirms for a bad block
    zeroed_record,        // a record all zero, tag included, among data pages
    records_swapped,      // a record and the next stand in the file in each
                          // other's place
    stray_records,        // found: file records whose tags break the run of the
                          // image's; expected: the first of them
    size_or_no_header,    // found: the size of a page read as a header page
                          // that no later block confirms; expected: bytes of
                          // data pages, which the size does not fit
    image_starts_later,   // found: the byte of the file where the image starts
    zeroed_or_tag_flip,   // a record all zero, tag included, among data pages,
                          // where the data page's tag has one bit set
    readings_differ,      // found: readings that agree with the sector taken, 0
                          // when none is (lost): several readings correct a
                          // sector to different bytes
};

// How a finding counts in the summary.
enum class finding_class { corrected, uncorrectable, problem };

// Number of finding classes, for tables indexed by class.
constexpr int FINDING_CLASS_COUNT = 3;

// Fields of a finding, as bits of finding_traits::fields: those that apply
// to a kind are the ones its reports show.
enum finding_field : unsigned {
    FIELD_RECORD = 1u << 0,    // record, block, the record's offset and its kind
    FIELD_PAGE = 1u << 1,      // page
    FIELD_SECTOR = 1u << 2,    // sector
    FIELD_BYTE = 1u << 3,      // byte of the data area
    FIELD_BIT = 1u << 4,       // bit
    FIELD_WORD = 1u << 5,      // spare word number
    FIELD_FOUND = 1u << 6,     // the value found
    FIELD_EXPECTED = 1u << 7,  // the value expected
    FIELD_AFTER = 1u << 8,     // the kind of a neighbouring record
    FIELD_PLACE = 1u << 9,     // record and block without the record's kind
};

// Whether a finding of a kind stops a repair: the image leaves open what it
// holds (two readings, a claim it differs from, data that may not stand
// where it seems), and the repair waits for the claim or the reading that
// settles it.
enum class repair_stop : uint8_t {
    never,
    always,
    far_tag,  // when the page tag found is more than one bit from the one expected,
              // or is the tag of a following page (a record left out before it)
};

// Everything about one kind of finding.
struct finding_traits {
    const char* name;          // name in the JSON report; null past the last kind
    finding_class counts_as;   // how the summary counts it
    unsigned fields;           // the finding_field bits that apply
    const char* text;          // its text, as report_words fills it in
    repair_stop stops_repair = repair_stop::never;  // whether a repair waits
};

// The traits of each kind of finding: the one table of them.  Its texts
// name fields in braces: {sector}, {byte}, {bit}, {word}, {page}, {found},
// {expected} in decimal; {found:x}, {expected:x} as 0x%08x; {found:d},
// {expected:d} as the signed 32-bit decimal that -F takes; {after}, the
// neighbour's kind; {found?A|B} and {expected?A|B}, A when the value is not
// 0, else B; and a few values of the layout (see report_words).  A finding
// about a record starts with "block B page P (kind)", which its text
// continues.
constexpr finding_traits finding_traits_of(finding_kind kind)
{
    using enum finding_kind;
    constexpr unsigned IN_SECTOR = FIELD_RECORD | FIELD_PAGE | FIELD_SECTOR;
    constexpr unsigned IN_RECORD = FIELD_RECORD | FIELD_PAGE;
    constexpr finding_class CORRECTED = finding_class::corrected;
    constexpr finding_class PROBLEM = finding_class::problem;
    constexpr repair_stop ALWAYS = repair_stop::always;
    switch (kind) {
    case corrected_data:
        return {"corrected_data", CORRECTED, IN_SECTOR | FIELD_BYTE | FIELD_BIT,
                " sector {sector}: corrected byte {byte} bit {bit}"};
    case corrected_code:
        return {"corrected_code", CORRECTED, IN_SECTOR | FIELD_BIT | FIELD_WORD,
                " sector {sector}: ECC word spare[{word}] bit {bit} flipped, data intact"};
    case uncorrectable:
        return {"uncorrectable", finding_class::uncorrectable, IN_SECTOR | FIELD_FOUND,
                " sector {sector}: uncorrectable, syndrome {found:x}"};
    case page_tag:
        return {"page_tag", PROBLEM, IN_RECORD | FIELD_FOUND | FIELD_EXPECTED,
                ": page tag {found:x}, expected {expected:x}", repair_stop::far_tag};
    case status_word:
        return {"status_word", PROBLEM,
                IN_RECORD | FIELD_WORD | FIELD_FOUND | FIELD_EXPECTED,
                ": block status word {found:x}, expected {expected:x}"};
    case status_word_value:
        return {"status_word_value", PROBLEM, IN_RECORD | FIELD_WORD | FIELD_FOUND,
                ": block status word {found:x}, expected {unmarked:x} or {marked:x}"};
    case spare_word:
        return {"spare_word", PROBLEM,
                IN_RECORD | FIELD_WORD | FIELD_FOUND | FIELD_EXPECTED,
                ": spare[{word}] = {found:x}, expected 0"};
    case header_not_zero:
        return {"header_not_zero", PROBLEM, IN_RECORD,
                ": bytes {header_size_bytes}-{last_data_byte} are not zero"};
    case data_not_zero:
        return {"data_not_zero", PROBLEM, IN_RECORD, ": data area is not zero"};
    case header_size_differs:
        return {"header_size_differs", PROBLEM, IN_RECORD | FIELD_FOUND | FIELD_EXPECTED,
                ": header size {found}, the first header page holds {expected}", ALWAYS};
    case out_of_place:
        return {"out_of_place", PROBLEM, IN_RECORD | FIELD_AFTER,
                ": out of place after a {after} page", ALWAYS};
    case ends_inside_fill:
        return {"ends_inside_fill", PROBLEM, FIELD_PAGE,
                "image ends inside the fill pages, at page {page}", ALWAYS};
    case ends_after:
        return {"ends_after", PROBLEM, FIELD_AFTER,
                "image ends after a {after} page, before any data page that follows it", ALWAYS};
    case partial_record:
        return {"partial_record", PROBLEM, FIELD_FOUND,
                "trailing partial record of {found} bytes", ALWAYS};
    case header_size_misfit:
        return {"header_size_misfit", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "header size {found} does not fit the {expected} bytes of data pages; "
                "nothing is cut", ALWAYS};
    case too_many_bad_blocks:
        return {"too_many_bad_blocks", PROBLEM, FIELD_FOUND,
                "{found} bad blocks, more than the {max_bad_blocks} that pagesmith can list", ALWAYS};
    case layout_header:
        return {"layout_header", PROBLEM, FIELD_FOUND,
                "{found?page 0 of every block is a header page: made with -h?"
                "|no block starts with a header page: made without -h?}", ALWAYS};
    case layout_bad_blocks:
        return {"layout_bad_blocks", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "block {found} {expected?is a bad block, which -B does not list"
                "|is not a bad block, though -B lists it}: made {bad_block_options}?", ALWAYS};
    case layout_marking:
        return {"layout_marking", PROBLEM, 0,
                "data pages 0 and 1 carry no block status word, which -B implies: "
                "made without -B?", ALWAYS};
    case erased_bit:
        return {"erased_bit", CORRECTED, IN_SECTOR | FIELD_BYTE | FIELD_BIT,
                " sector {sector}: record byte {byte} bit {bit} reads 0 in an erased page"};
    case records_missing:
        return {"records_missing", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_FOUND,
                "{found} record(s) from block {block} page {page} on are not in the file: "
                "the page tags step over them"};
    case records_repeated:
        return {"records_repeated", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_FOUND,
                "{found} record(s) at block {block} page {page} stand in the file twice: "
                "read once"};
    case erased_inside:
        return {"erased_inside", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_FOUND,
                "{found} erased record(s) from block {block} page {page} on, inside the image"};
    case foreign_block:
        return {"foreign_block", PROBLEM, FIELD_PLACE | FIELD_FOUND,
                "block {found} of the file is not the image's, and the blocks after it stand "
                "one block after their page tags: it was skipped when the image was written "
                "(a bad block of the chip?), and a boot loader that checks page tags rejects "
                "what follows; make the image with -B {found}"};
    case not_records:
        return {"not_records", PROBLEM, FIELD_PLACE | FIELD_FOUND | FIELD_EXPECTED,
                "{found} record(s) of the file from record {expected} on do not read as page "
                "records (their spare words 2-11 are not zero): left out"};
    case data_pages_missing:
        return {"data_pages_missing", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "the header pages say {expected} bytes of input; {found} data page(s) are "
                "missing"};
    case image_cut:
        return {"image_cut", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_FOUND | FIELD_EXPECTED,
                "the file ends before block {block} page {page}: the header pages say "
                "{expected} bytes of input; {found} data page(s) are missing"};
    case not_an_image:
        return {"not_an_image", PROBLEM, FIELD_FOUND,
                "not an image: none of its {found} record(s) reads as a page record", ALWAYS};
    case size_unproven:
        return {"size_unproven", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "header size {found} does not fit the {expected} bytes of data pages: data "
                "lost, or made with -F {found:d}; claim -F {found:d} if it was", ALWAYS};
    case layout_forced_size:
        return {"layout_forced_size", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "the header pages hold {found}, not the {expected:d} that -F claims", ALWAYS};
    case padded_or_lost:
        return {"padded_or_lost", PROBLEM, FIELD_FOUND,
                "block {found} is erased inside the image: a bad block that the dump padded, "
                "or lost data: claim -B {found} if it is listed bad", ALWAYS};
    case skipped_or_lost:
        return {"skipped_or_lost", PROBLEM, FIELD_FOUND,
                "block {found} is not in the file (the page tags step over it): a bad block "
                "that the dump left out, or lost data: claim -B {found} if it is listed bad", ALWAYS};
    case chip_bad_inside:
        return {"chip_bad_inside", PROBLEM, FIELD_FOUND,
                "block {found} is marked bad by the chip and erased inside the image: read as "
                "a bad block that the dump padded; claim -B {found} if it is listed bad", ALWAYS};
    case records_swapped:
        return {"records_swapped", PROBLEM, FIELD_PLACE | FIELD_PAGE,
                "the records of block {block} page {page} and the next page stand in the file "
                "in each other's place: read in tag order"};
    case stray_records:
        return {"stray_records", PROBLEM, FIELD_PLACE | FIELD_FOUND | FIELD_EXPECTED,
                "{found} record(s) of the file from record {expected} on carry the page tags "
                "of other places, and the records after them go on in sequence: not the "
                "image's, left out"};
    case zeroed_record:
        return {"zeroed_record", PROBLEM, IN_RECORD,
                ": all zero, page tag 0, and a data page follows: the record was zeroed"};
    case size_or_no_header:
        return {"size_or_no_header", PROBLEM, FIELD_FOUND | FIELD_EXPECTED,
                "header size {found} does not fit the {expected} bytes of data pages: data "
                "lost, or made with -F {found:d}, or made without -h (claim --no-header if it "
                "was)", ALWAYS};
    case zeroed_or_tag_flip:
        return {"zeroed_or_tag_flip", PROBLEM, IN_RECORD,
                ": all zero, page tag 0: the record was zeroed, or a page of zero bytes "
                "whose tag lost its one bit; its bytes are listed as lost", ALWAYS};
    case readings_differ:
        return {"readings_differ", PROBLEM, FIELD_PLACE | FIELD_PAGE | FIELD_SECTOR | FIELD_FOUND,
                "block {block} page {page} sector {sector}: the readings correct it to different "
                "bytes{found?; most of them agree, and that is taken|; no majority agrees: lost}"};
    case image_starts_later:
        return {"image_starts_later", PROBLEM, FIELD_FOUND,
                "the image starts at byte {found} of the file: the bytes before it are not "
                "the image's, and records of the file are counted from there"};
    }
    return {nullptr, PROBLEM, 0, nullptr};
}

// Number of finding kinds: they are numbered from 0, and the table knows
// each of them.
constexpr int FINDING_KIND_COUNT = [] {
    int n = 0;
    while (finding_traits_of(static_cast<finding_kind>(n)).name)
        ++n;
    return n;
}();

// True when the finding is about one record (or one sector of it) rather
// than the whole image.
constexpr bool is_about_record(finding_kind what)
{
    return (finding_traits_of(what).fields & FIELD_RECORD) != 0;
}

// How a finding of this kind counts.
constexpr finding_class class_of(finding_kind what)
{
    return finding_traits_of(what).counts_as;
}

#endif
