// What the header size tells once the data pages are counted.
#include "header_size_verdict.h"

#include "image_verdict.h"

namespace {

// The input size that the header pages give when data pages were lost:
// past the data pages checked.  None when no header page was read.
std::optional<uint64_t> size_past_pages(const checker_state& checker)
{
    if (!checker.header_size)
        return std::nullopt;
    return input_size_past(*checker.header_size, checker.data_pages);
}

// Reports the data pages missing when the file lost records or was cut, and
// the header pages say how many there were; returns the input size they
// say, or none.
std::optional<uint64_t> report_missing_pages(const checker_state& checker, page_loss loss,
                                             const check_sink& sink, check_summary& summary)
{
    const std::optional<uint64_t> size = size_past_pages(checker);
    if (loss == page_loss::none || !size)
        return std::nullopt;
    finding f = image_finding(loss == page_loss::cut ? finding_kind::image_cut
                                                     : finding_kind::data_pages_missing);
    f.record = checker.end;
    f.block = checker.end / PAGES_PER_BLOCK;
    f.page = static_cast<int>(checker.end % PAGES_PER_BLOCK);
    f.found = (*size + PAGE_DATA_SIZE - 1) / PAGE_DATA_SIZE - checker.data_pages;
    f.expected = *size;
    report_finding(sink, summary, f);
    if (*size > UINT32_MAX)
        summary.layout.notes.push_back({.what = note_kind::size_past_4gib, .size = *size});
    return size;
}

// True when the image ends where the converter ends one: after the last
// fill page of a block.
bool ends_complete(const checker_state& checker)
{
    return checker.have_previous && checker.previous == page_kind::fill &&
           checker.previous_page == PAGES_PER_BLOCK - 1;
}

// The size the converter's -F may have stored, when every header page holds
// the same size and nothing else, and it fits no input size (0 stands for
// the input size, so it is never stored in place of one).  A size beyond
// the data pages is also what an image cut short shows, so it is taken for
// one only when the image ends with its fill pages.  Lost data pages show
// the same: only a claim (-F) reads it as a forced size.
std::optional<int32_t> forced_size(const checker_state& checker)
{
    if (!header_size_misfits(checker) || checker.header_pages_disagree ||
        *checker.header_size == 0)
        return std::nullopt;
    const uint64_t data_bytes = checker.data_pages * PAGE_DATA_SIZE;
    if (*checker.header_size > data_bytes && !ends_complete(checker))
        return std::nullopt;
    return static_cast<int32_t>(*checker.header_size);
}

}  // namespace

// The input size that the header pages give for the data pages checked.
std::optional<uint64_t> size_from_header(const checker_state& checker)
{
    if (!checker.header_size)
        return std::nullopt;
    return input_size_fitting(*checker.header_size, checker.data_pages);
}

// True when a header size was read that fits no input size.
bool header_size_misfits(const checker_state& checker)
{
    return checker.header_size && checker.data_pages != 0 && !size_from_header(checker);
}

// Settles what the header size tells once the data pages are counted: the
// input size, a size that -F stored, or the findings of a size that fits
// neither.  A size that -F may have stored is read as one only when -F
// claims it: lost data pages look the same.
void settle_header_size(const checker_state& checker, page_loss loss, const layout_claim& claim,
                        const check_sink& sink, check_summary& summary)
{
    found_layout& layout = summary.layout;
    if (claim.forced_size && checker.header_size) {
        if (*checker.header_size == static_cast<uint32_t>(*claim.forced_size)) {
            // The size tells nothing of the input, unless it fits it.
            if (header_size_misfits(checker))
                layout.forced_header_size = claim.forced_size;
            else
                layout.input_size = size_from_header(checker);
            return;
        }
        finding f = image_finding(finding_kind::layout_forced_size);
        f.found = *checker.header_size;
        f.expected = static_cast<uint32_t>(*claim.forced_size);
        report_finding(sink, summary, f);
    }
    // Damage, such as pages appended to the image, also makes the size
    // misfit: only an image with no other problem may hold a forced size.
    const bool sound = summary.problems == 0 && summary.uncorrectable == 0;
    const std::optional<uint64_t> cut_size = report_missing_pages(checker, loss, sink, summary);
    if (!cut_size && header_size_misfits(checker)) {
        const bool assumed = std::any_of(layout.notes.begin(), layout.notes.end(),
                                         [](const layout_note& n) {
                                             return n.what == note_kind::header_before_data;
                                         });
        finding f = image_finding(assumed ? finding_kind::size_or_no_header
                                  : sound && forced_size(checker) ? finding_kind::size_unproven
                                                                  : finding_kind::header_size_misfit);
        f.found = *checker.header_size;
        f.expected = checker.data_pages * PAGE_DATA_SIZE;
        report_finding(sink, summary, f);
    }
    layout.input_size = cut_size ? cut_size : size_from_header(checker);
    // A size past the data pages that no reading explains says what was lost.
    layout.size_said = layout.input_size ? layout.input_size : size_past_pages(checker);
}
