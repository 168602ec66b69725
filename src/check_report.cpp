#include "check_report.h"

#include <cinttypes>
#include <cstdarg>

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
std::string bad_block_options(const image_layout& layout)
{
    std::string text = "-B";
    for (uint64_t block : layout.bad_blocks)
        append(text, " %" PRIu64, block);
    if (layout.bad_block_count > layout.bad_blocks.size())
        text += " ...";
    return text;
}

// Appends what a finding about a record says after "block B page P (kind)".
void append_record_finding(std::string& text, const finding& f)
{
    const auto found = static_cast<uint32_t>(f.found);
    const auto expected = static_cast<uint32_t>(f.expected);
    switch (f.what) {
    case finding_kind::corrected_data:
        append(text, " sector %d: corrected byte %d bit %d", f.sector, f.byte, f.bit);
        break;
    case finding_kind::corrected_code:
        append(text, " sector %d: ECC word spare[%d] bit %d flipped, data intact", f.sector,
               f.word, f.bit);
        break;
    case finding_kind::uncorrectable:
        append(text, " sector %d: uncorrectable, syndrome 0x%08" PRIx32, f.sector, found);
        break;
    case finding_kind::page_tag:
        append(text, ": page tag 0x%08" PRIx32 ", expected 0x%08" PRIx32, found, expected);
        break;
    case finding_kind::status_word:
        append(text, ": block status word 0x%08" PRIx32 ", expected 0x%08" PRIx32, found,
               expected);
        break;
    case finding_kind::status_word_value:
        append(text, ": block status word 0x%08" PRIx32 ", expected 0x%08" PRIx32
                     " or 0x%08" PRIx32,
               found, status_word_of(f.kind, f.page, block_marking::off),
               status_word_of(f.kind, f.page, block_marking::on));
        break;
    case finding_kind::spare_word:
        append(text, ": spare[%d] = 0x%08" PRIx32 ", expected 0", f.word, found);
        break;
    case finding_kind::header_not_zero:
        append(text, ": bytes %zu-%zu are not zero", HEADER_SIZE_BYTES, PAGE_DATA_SIZE - 1);
        break;
    case finding_kind::data_not_zero:
        text += ": data area is not zero";
        break;
    case finding_kind::header_size_differs:
        append(text, ": header size %" PRIu32 ", the first header page holds %" PRIu32, found,
               expected);
        break;
    case finding_kind::out_of_place:
        append(text, ": out of place after a %s page", page_kind_name(f.other));
        break;
    default:
        break;
    }
}

// Appends the text of a finding about the image as a whole.
void append_image_finding(std::string& text, const finding& f, const image_layout& layout)
{
    switch (f.what) {
    case finding_kind::ends_inside_fill:
        append(text, "image ends inside the fill pages, at page %d", f.page);
        break;
    case finding_kind::ends_after:
        append(text, "image ends after a %s page, before any data page that follows it",
               page_kind_name(f.other));
        break;
    case finding_kind::partial_record:
        append(text, "trailing partial record of %" PRIu64 " bytes", f.found);
        break;
    case finding_kind::header_size_misfit:
        append(text, "header size %" PRIu64 " does not fit the %" PRIu64
                     " bytes of data pages; nothing is cut",
               f.found, f.expected);
        break;
    case finding_kind::too_many_bad_blocks:
        append(text, "%" PRIu64 " bad blocks, more than the %d that pagesmith can list",
               f.found, MAX_BAD_BLOCKS);
        break;
    case finding_kind::layout_header:
        text += f.found ? "page 0 of every block is a header page: made with -h?"
                        : "no block starts with a header page: made without -h?";
        break;
    case finding_kind::layout_bad_blocks:
        append(text, f.expected ? "block %" PRIu64 " is a bad block, which -B does not list"
                                : "block %" PRIu64 " is not a bad block, though -B lists it",
               f.found);
        text += layout.bad_block_count ? ": made with " + bad_block_options(layout) + "?"
                                       : ": made without -B?";
        break;
    case finding_kind::layout_marking:
        text += "data pages 0 and 1 carry no block status word, which -B implies: made "
                "without -B?";
        break;
    default:
        break;
    }
}

}  // namespace

const char* page_kind_name(page_kind kind)
{
    static const char* const names[PAGE_KIND_COUNT] = {"data", "header", "bad-block", "fill"};
    return names[static_cast<int>(kind)];
}

std::string describe_finding(const finding& f, const image_layout& layout)
{
    std::string text;
    if (!is_about_record(f.what)) {
        append_image_finding(text, f, layout);
        return text;
    }
    append(text, "block %" PRIu64 " page %d (%s)", f.block, f.page, page_kind_name(f.kind));
    append_record_finding(text, f);
    return text;
}

std::string layout_options(const image_layout& layout)
{
    std::string options;
    if (layout.header)
        options += " -h";
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

std::string describe_layout(const image_layout& layout)
{
    std::string text = "layout: " + layout_options(layout);
    if (layout.input_size)
        append(text, ", input %" PRIu64 " bytes", *layout.input_size);
    else
        text += ", input size unknown";
    return text;
}

std::string describe_summary(const check_summary& summary)
{
    const uint64_t blocks = (summary.records + PAGES_PER_BLOCK - 1) / PAGES_PER_BLOCK;
    const uint64_t* kinds = summary.kinds;
    std::string text;
    append(text,
           "summary: %" PRIu64 " records, %" PRIu64 " blocks; %" PRIu64 " data, %" PRIu64
           " header, %" PRIu64 " bad-block, %" PRIu64 " fill pages; %" PRIu64
           " sectors checked, %" PRIu64 " corrected, %" PRIu64 " uncorrectable; %" PRIu64
           " other problems",
           summary.records, blocks, kinds[static_cast<int>(page_kind::data)],
           kinds[static_cast<int>(page_kind::header)],
           kinds[static_cast<int>(page_kind::bad_block)],
           kinds[static_cast<int>(page_kind::fill)], summary.sectors, summary.corrected,
           summary.uncorrectable, summary.problems);
    return text;
}
