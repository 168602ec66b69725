#include "check_result.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

void count_finding(check_summary& summary, const finding& f)
{
    switch (class_of(f.what)) {
    case finding_class::corrected: ++summary.corrected; break;
    case finding_class::uncorrectable: ++summary.uncorrectable; break;
    case finding_class::problem: ++summary.problems; break;
    }
}

int check_status(const check_summary& summary)
{
    return summary.problems != 0 || summary.uncorrectable != 0 ? 1 : 0;
}

void report_finding(const check_sink& sink, check_summary& summary, const finding& f)
{
    count_finding(summary, f);
    if (sink.on_finding)
        sink.on_finding(f);
}

namespace {

// A finding about the image as a whole.
finding image_finding(finding_kind what)
{
    finding f{};
    f.what = what;
    return f;
}

// The finding about how the image ends, when that is not after a data page
// or after page 63 of the fill pages.
std::optional<finding> ending_finding(const checker_state& checker)
{
    if (!checker.have_previous || checker.previous == page_kind::data)
        return std::nullopt;
    if (checker.previous == page_kind::fill) {
        if (checker.previous_page == PAGES_PER_BLOCK - 1)
            return std::nullopt;
        finding f = image_finding(finding_kind::ends_inside_fill);
        f.page = checker.previous_page;
        return f;
    }
    finding f = image_finding(finding_kind::ends_after);
    f.other = checker.previous;
    return f;
}

// The input size that the header pages give: the unique S with data bytes
// - PAGE_DATA_SIZE < S <= data bytes whose low 32 bits equal the header size
// (the converter stores only those).  None when no such S exists.
std::optional<uint64_t> size_from_header(const checker_state& checker)
{
    if (!checker.header_size || checker.data_pages == 0)
        return std::nullopt;
    const uint64_t data_bytes = checker.data_pages * PAGE_DATA_SIZE;
    const uint32_t cut = static_cast<uint32_t>(data_bytes) - *checker.header_size;
    if (cut >= PAGE_DATA_SIZE)
        return std::nullopt;
    return data_bytes - cut;
}

// True when a header size was read that fits no input size.
bool header_size_misfits(const checker_state& checker)
{
    return checker.header_size && checker.data_pages != 0 && !size_from_header(checker);
}

// Appends a formatted note to the layout.
__attribute__((format(printf, 2, 3)))
void add_note(image_layout& layout, const char* format, ...)
{
    char text[320];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    layout.notes.emplace_back(text);
}

// True when `list` holds `block` before its first free slot.
bool lists(const optional_bad_blocks& list, uint64_t block)
{
    return block <= INT32_MAX && bad_block_slot(list, static_cast<int64_t>(block)) >= 0;
}

// Compares the bad blocks the image shows with those the claim lists; the
// first block where they differ makes one finding.
void compare_bad_blocks(const checker_state& checker, const image_layout& layout,
                        const layout_claim& claim, const check_sink& sink,
                        check_summary& summary)
{
    finding f = image_finding(finding_kind::layout_bad_blocks);
    const auto unlisted = std::find_if(layout.bad_blocks.begin(), layout.bad_blocks.end(),
                                       [&](uint64_t b) { return !lists(claim.bad_blocks, b); });
    if (unlisted != layout.bad_blocks.end()) {
        f.found = *unlisted;
        f.expected = 1;
        report_finding(sink, summary, f);
        return;
    }
    if (!claim.bad_blocks || checker.data_pages == 0)
        return;
    for (int32_t listed : *claim.bad_blocks) {
        if (listed == -1)
            break;
        const auto block = static_cast<uint64_t>(listed);
        if (block <= checker.last_data_block &&
            std::find(layout.bad_blocks.begin(), layout.bad_blocks.end(), block) ==
                layout.bad_blocks.end()) {
            f.found = block;
            f.expected = 0;
            report_finding(sink, summary, f);
            return;
        }
    }
}

// Compares the layout with what the command line claims of it.
void compare_with_claim(const checker_state& checker, const image_layout& layout,
                        const layout_claim& claim, const check_sink& sink,
                        check_summary& summary)
{
    if (!claim.header)
        return;
    const bool header_known = layout.header || checker.data_pages != 0;
    if (header_known && (*claim.header == header_pages::present) != layout.header) {
        finding f = image_finding(finding_kind::layout_header);
        f.found = layout.header;
        report_finding(sink, summary, f);
    }
    compare_bad_blocks(checker, layout, claim, sink, summary);
    if (claim.bad_blocks && checker.status == status_expectation::unmarked)
        report_finding(sink, summary, image_finding(finding_kind::layout_marking));
}

}  // namespace

void note_zero_page_fill(image_layout& layout, const page_record& r, page_kind kind,
                         status_expectation status)
{
    if (kind != page_kind::fill || r.page != 0 || tag_of(page_kind::data, r.block, 0) != 0 ||
        status == status_expectation::marked)
        return;
    if (r.block == 0)
        add_note(layout, "block 0 page 0 is all zero and fill pages follow: read as a fill "
                         "page, since an input of up to 2048 zero bytes gives the same image "
                         "as an empty one");
    else
        add_note(layout, "block %" PRIu64 " page 0 is all zero and fill pages follow: the page "
                         "tag wraps to 0 there, so it reads as a fill page, though a last input "
                         "page of zero bytes gives the same image", r.block);
}

void note_header_choice(image_layout& layout, const layout_inference& inference,
                        bool as_header, uint64_t findings_as_header, uint64_t findings_as_data)
{
    const uint64_t block = inference.header_block;
    const uint32_t size = inference.header_size.value_or(0);
    const char* start = "page 0 of block %" PRIu64 " looks like a header page holding %" PRIu32
                        " and no later block tells";
    char head[160];
    std::snprintf(head, sizeof head, start, block, size);
    const uint64_t more = as_header ? findings_as_data - findings_as_header
                                    : findings_as_header - findings_as_data;
    if (more == 0)
        add_note(layout, "%s: read as a header page (a data page would fit as well)", head);
    else
        add_note(layout, "%s: read as a %s page (as a %s page it gives %" PRIu64
                         " more finding%s)", head, as_header ? "header" : "data",
                 as_header ? "data" : "header", more, more == 1 ? "" : "s");
}

uint64_t end_findings(const checker_state& checker, bool header)
{
    return (ending_finding(checker) ? 1 : 0) + (header && header_size_misfits(checker) ? 1 : 0);
}

void finish_check(const checker_state& checker, const layout_inference& inference,
                  const layout_claim& claim, uint64_t tail, const check_sink& sink,
                  check_summary& summary)
{
    if (const auto f = ending_finding(checker))
        report_finding(sink, summary, *f);
    if (tail > 0) {
        finding f = image_finding(finding_kind::partial_record);
        f.found = tail;
        report_finding(sink, summary, f);
    }
    image_layout& layout = summary.layout;
    layout.header = inference.header == header_reading::present;
    if (layout.header && header_size_misfits(checker)) {
        finding f = image_finding(finding_kind::header_size_misfit);
        f.found = *checker.header_size;
        f.expected = checker.data_pages * PAGE_DATA_SIZE;
        report_finding(sink, summary, f);
    }
    if (layout.header)
        layout.input_size = size_from_header(checker);
    else if (summary.records == 0 && tail == 0)
        layout.input_size = 0;
    layout.status_words = checker.status == status_expectation::marked;
    layout.fill = summary.kinds[static_cast<int>(page_kind::fill)] != 0;
    layout.bad_blocks = inference.bad_blocks;
    layout.bad_block_count = inference.bad_block_count;
    if (layout.bad_block_count > MAX_BAD_BLOCKS) {
        finding f = image_finding(finding_kind::too_many_bad_blocks);
        f.found = layout.bad_block_count;
        report_finding(sink, summary, f);
    }
    if (sink.on_layout)
        sink.on_layout(layout);
    compare_with_claim(checker, layout, claim, sink, summary);
}
