// The words of every report line.
#include "report_words.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "finding_texts.h"
#include "page_kinds.h"

namespace {

// Appends a printf-style text to `text`.
__attribute__((format(printf, 2, 3)))
void append(std::string& text, const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0)
        text.append(buffer, static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n)
                                                                    : sizeof buffer - 1);
}

// "-B" and the bad blocks of the layout, as the converter takes them; "..."
// stands for those past the ones kept.
std::string bad_block_options(const found_layout& layout)
{
    std::string text = "-B";
    for (uint64_t block : layout.bad_blocks)
        append(text, " %" PRIu64, block);
    if (layout.bad_block_count > layout.bad_blocks.size())
        text += " ...";
    return text;
}

// The value that a finding text names in braces.
uint64_t field_value(const finding& f, text_value value)
{
    switch (value) {
    case text_value::sector: return static_cast<uint64_t>(f.sector);
    case text_value::byte: return static_cast<uint64_t>(f.byte);
    case text_value::bit: return static_cast<uint64_t>(f.bit);
    case text_value::word: return static_cast<uint64_t>(f.word);
    case text_value::page: return static_cast<uint64_t>(f.page);
    case text_value::block: return f.block;
    case text_value::record: return f.record;
    case text_value::found: return f.found;
    case text_value::expected: return f.expected;
    case text_value::unmarked: return status_word_of(f.kind, f.page, block_marking::off);
    case text_value::marked: return status_word_of(f.kind, f.page, block_marking::on);
    case text_value::header_size_bytes: return HEADER_SIZE_BYTES;
    case text_value::last_data_byte: return PAGE_DATA_SIZE - 1;
    case text_value::max_bad_blocks: return MAX_BAD_BLOCKS;
    case text_value::after:
    case text_value::bad_block_options: return 0;  // words, filled in by fill_in
    }
    return 0;
}

// Appends the words of one brace of a finding text, [begin, end) without
// the braces.
void fill_in(std::string& text, const finding& f, const found_layout& layout, const char* begin,
             const char* end)
{
    // The table's texts are checked when the program is built: each brace
    // names a known value, in a form given below.
    const char* name_ends = name_end(begin);
    const text_value value = text_field_named(begin, name_ends)->value;
    if (value == text_value::after) {
        text += page_kind_name(f.other);
        return;
    }
    if (value == text_value::bad_block_options) {
        text += layout.bad_block_count ? "with " + bad_block_options(layout) : "without -B";
        return;
    }
    const uint64_t number = field_value(f, value);
    if (*name_ends == '?') {
        const char* bar = std::find(name_ends, end, '|');
        text += number ? std::string(name_ends + 1, bar) : std::string(bar + 1, end);
    } else if (*name_ends == ':' && name_ends[1] == 'd') {
        append(text, "%" PRId32, static_cast<int32_t>(static_cast<uint32_t>(number)));
    } else if (*name_ends == ':') {
        append(text, "0x%08" PRIx32, static_cast<uint32_t>(number));
    } else {
        append(text, "%" PRIu64, number);
    }
}

// Appends a finding's text from the table, its braces filled in.
void fill_text(std::string& text, const finding& f, const found_layout& layout)
{
    for (const char* p = finding_traits_of(f.what).text; *p;) {
        const char* open = std::strchr(p, '{');
        if (!open) {
            text += p;
            return;
        }
        text.append(p, open);
        const char* close = std::strchr(open, '}');
        fill_in(text, f, layout, open + 1, close);
        p = close + 1;
    }
}

// "block N" or "blocks N-M" for `count` blocks from `first`.
}  // namespace

std::string blocks_text(uint64_t first, uint64_t count)
{
    std::string text;
    if (count == 1)
        append(text, "block %" PRIu64, first);
    else
        append(text, "blocks %" PRIu64 "-%" PRIu64, first, first + count - 1);
    return text;
}

std::string describe_finding(const finding& f, const found_layout& layout)
{
    std::string text;
    if (is_about_record(f.what))
        append(text, "block %" PRIu64 " page %d (%s)", f.block, f.page, page_kind_name(f.kind));
    fill_text(text, f, layout);
    return text;
}

std::string describe_note(const layout_note& note)
{
    std::string text;
    switch (note.what) {
    case note_kind::zero_page_fill:
        if (note.block == 0)
            return "block 0 page 0 is all zero and fill pages follow: read as a fill page, "
                   "since an input of up to 2048 zero bytes gives the same image as an empty one";
        append(text, "block %" PRIu64 " page 0 is all zero and fill pages follow: the page tag "
                     "wraps to 0 there, so it reads as a fill page, though a last input page "
                     "of zero bytes gives the same image", note.block);
        return text;
    case note_kind::header_choice: {
        const bool as_header = note.chosen == header_pages::present;
        append(text, "page 0 of block %" PRIu64 " looks like a header page holding %" PRIu64
                     " and no later block tells: ", note.block, note.size);
        if (note.more == 0)
            text += "read as a header page (a data page would fit as well)";
        else
            append(text, "read as a %s page (as a %s page it gives %" PRIu64 " more finding%s)",
                   as_header ? "header" : "data", as_header ? "data" : "header", note.more,
                   plural(note.more));
        return text;
    }
    case note_kind::erased_tail:
    {
        const uint64_t first_block = note.record / PAGES_PER_BLOCK;
        const uint64_t last_block = (note.record + note.count - 1) / PAGES_PER_BLOCK;
        append(text, "records %" PRIu64 "-%" PRIu64 " (%s) are erased: the image ends before them",
               note.record, note.record + note.count - 1,
               blocks_text(first_block, last_block - first_block + 1).c_str());
        return text;
    }
    case note_kind::padded_blocks:
        text = blocks_text(note.block, note.count);
        text += note.count == 1 ? " is erased inside the image: a bad block that the dump padded"
                                : " are erased inside the image: bad blocks that the dump padded";
        return text;
    case note_kind::skipped_blocks:
        text = blocks_text(note.block, note.count);
        text += note.count == 1 ? " is not in the file (the page tags step over it): a bad block "
                                  "that the dump left out"
                                : " are not in the file (the page tags step over them): bad "
                                  "blocks that the dump left out";
        return text;
    case note_kind::header_before_data:
        append(text, "page 0 of block %" PRIu64 " looks like a header page holding %" PRIu64
                     ", data pages follow it and no later block tells: read as a header page",
               note.block, note.size);
        return text;
    case note_kind::holes_not_put:
        append(text, "the recovered input went where it cannot be gone back over (a pipe): "
                     "after each of the %" PRIu64 " lost block(s) it stands 63 pages early",
               note.count);
        return text;
    case note_kind::size_past_4gib:
        append(text, "the header pages hold the low 32 bits of the input size: with data "
                     "pages missing, %" PRIu64 " bytes is the smallest size that fits, and "
                     "every 4 GiB more fits as well: read as the smallest", note.size);
        return text;
    case note_kind::chip_bad:
        append(text, "block %" PRIu64 " of the file is marked bad by the chip (a bad-block "
                     "marker in page 0 or 1)", note.block);
        return text;
    }
    return text;
}

std::string layout_options(const found_layout& layout)
{
    std::string options;
    if (layout.header == header_pages::present)
        options += " -h";
    if (layout.forced_header_size)
        append(options, " -F %" PRId32, *layout.forced_header_size);
    if (layout.status_words)
        options += " -b";
    if (layout.bad_block_count) {
        options += ' ';
        options += bad_block_options(layout);
    }
    if (layout.fill)
        options += " -f";
    return options.empty() ? "no options" : options.substr(1);
}

std::string describe_layout(const found_layout& layout)
{
    std::string text = "layout: " + layout_options(layout);
    if (layout.input_size)
        append(text, ", input %" PRIu64 " bytes", *layout.input_size);
    else
        text += ", input size unknown";
    return text;
}

const char* plural(uint64_t count)
{
    return count == 1 ? "" : "s";
}

summary_words describe_summary_parts(const check_summary& summary)
{
    summary_words words;
    const uint64_t blocks = blocks_of(summary);
    append(words.pages, "summary: %" PRIu64 " record%s, %" PRIu64 " block%s;", summary.records,
           plural(summary.records), blocks, plural(blocks));
    // The kinds a converter writes, then those only a read-back file holds,
    // at the end of the line and only when there are any.
    const char* separator = "";
    for (int k = 0; k < PAGE_KIND_COUNT; ++k) {
        const page_kind kind = static_cast<page_kind>(k);
        if (look_of(kind).summary != summary_place::pages)
            continue;
        append(words.pages, "%s %" PRIu64 " %s", separator, summary.kinds[k],
               page_kind_name(kind));
        separator = ",";
    }
    words.pages += " pages;";
    append(words.sectors,
           "%" PRIu64 " sectors checked, %" PRIu64 " corrected, %" PRIu64
           " uncorrectable; %" PRIu64 " other problem%s",
           summary.sectors, summary.corrected, summary.uncorrectable, summary.problems,
           plural(summary.problems));
    for (int k = 0; k < PAGE_KIND_COUNT; ++k) {
        const page_kind kind = static_cast<page_kind>(k);
        if (look_of(kind).summary == summary_place::when_any && summary.kinds[k] != 0)
            append(words.sectors, "; %" PRIu64 " %s page%s", summary.kinds[k],
                   page_kind_name(kind), plural(summary.kinds[k]));
    }
    if (summary.outside)
        append(words.sectors, "; %" PRIu64 " record%s not the image's", summary.outside,
               plural(summary.outside));
    return words;
}

std::string describe_summary(const check_summary& summary)
{
    const summary_words words = describe_summary_parts(summary);
    return words.pages + " " + words.sectors;
}

std::vector<std::string> describe_lost(const lost_list& lost)
{
    std::vector<std::string> lines;
    for (const lost_range& range : lost.ranges) {
        std::string text;
        append(text, "lost: input bytes %" PRIu64 "-%" PRIu64 " (%" PRIu64 " bytes): %s",
               range.offset, range.offset + range.length - 1, range.length,
               loss_cause_name(range.why));
        lines.push_back(text);
    }
    if (lost.unlisted) {
        std::string text;
        append(text, "lost: %" PRIu64 " more ranges (%" PRIu64 " bytes), not listed",
               lost.unlisted, lost.unlisted_bytes);
        lines.push_back(text);
    }
    return lines;
}
