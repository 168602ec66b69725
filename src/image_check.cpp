// The checking core: the walk over the records, the checks that span
// records (order, header sizes, the end of the image) and the counts.

#include "image_check.h"

#include <cerrno>
#include <optional>

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

namespace {

// Counts a finding and hands it on: the one way a finding is reported.
void report(const check_sink& sink, check_summary& summary, const finding& f)
{
    count_finding(summary, f);
    if (sink.on_finding)
        sink.on_finding(f);
}

// The record before the current one.
struct order_state {
    bool have_previous = false;
    page_kind previous = page_kind::data;
    int previous_page = 0;
};

// What the header pages held so far, and the data pages they describe.
struct header_state {
    std::optional<uint32_t> size;  // held by the first header page
    uint64_t data_pages = 0;
};

// Everything the walk keeps from one record to the next.
struct walk_state {
    status_expectation status = status_expectation::unknown;
    order_state order;
    header_state header;
};

// Adds a finding when a header page holds another size than the first one.
void check_header_size(header_state& header, const page_record& r, page_kind kind,
                       const page_decoding& d, page_findings& out)
{
    if (kind != page_kind::header || d.uncorrectable)
        return;
    const uint32_t size = header_size_of(r.data);
    if (!header.size) {
        header.size = size;
    } else if (size != *header.size) {
        finding& f = add_finding(out, r, kind, finding_kind::header_size_differs);
        f.found = size;
        f.expected = *header.size;
    }
}

// Adds a finding when the record may not follow the one before it.
void check_order(order_state& order, const page_record& r, page_kind kind,
                 page_findings& out)
{
    if (order.have_previous && !may_follow(order.previous, kind, r.page))
        add_finding(out, r, kind, finding_kind::out_of_place).other = order.previous;
    order.have_previous = true;
    order.previous = kind;
    order.previous_page = r.page;
}

// Checks one whole record and reports its findings, then the record.
void check_record(walk_state& walk, const expected_layout& layout, const page_record& r,
                  const look_ahead& next, const check_sink& sink, check_summary& summary)
{
    const page_decoding d = decode_page(r);
    const page_kind kind = classify(layout, r, d, next);
    walk.status = learn_status(walk.status, r, kind);
    page_findings found;
    check_sectors(r, kind, d, found);
    check_spare(r, kind, walk.status, found);
    check_content(r, kind, d, found);
    check_header_size(walk.header, r, kind, d, found);
    check_order(walk.order, r, kind, found);

    ++summary.records;
    ++summary.kinds[static_cast<int>(kind)];
    summary.sectors += SECTORS_PER_PAGE;
    checked_page page = {r.index, r.block, r.page, kind, r.data, {}};
    for (int i = 0; i < found.count; ++i) {
        report(sink, summary, found.items[i]);
        ++page.findings[static_cast<int>(class_of(found.items[i].what))];
    }
    if (kind == page_kind::data)
        ++walk.header.data_pages;
    if (sink.on_page)
        sink.on_page(page);
}

// A finding about the image as a whole.
finding image_finding(finding_kind what)
{
    finding f;
    f.what = what;
    return f;
}

// Reports how the image ends when that is not after a data page or after
// page 63 of the fill pages.
void check_ending(const order_state& order, const check_sink& sink, check_summary& summary)
{
    if (!order.have_previous || order.previous == page_kind::data)
        return;
    if (order.previous == page_kind::fill) {
        if (order.previous_page == PAGES_PER_BLOCK - 1)
            return;
        finding f = image_finding(finding_kind::ends_inside_fill);
        f.page = order.previous_page;
        report(sink, summary, f);
        return;
    }
    finding f = image_finding(finding_kind::ends_after);
    f.other = order.previous;
    report(sink, summary, f);
}

// Works out the input size from the header pages: the unique S with
// data bytes - PAGE_DATA_SIZE < S <= data bytes whose low 32 bits equal the
// header size (the converter stores only those).  A size that fits no such
// S is reported.
void find_input_size(const header_state& header, const expected_layout& layout,
                     const check_sink& sink, check_summary& summary)
{
    if (layout.header != header_pages::present || !header.size || header.data_pages == 0)
        return;
    const uint64_t data_bytes = header.data_pages * PAGE_DATA_SIZE;
    const uint32_t cut = static_cast<uint32_t>(data_bytes) - *header.size;
    if (cut < PAGE_DATA_SIZE) {
        summary.input_size = data_bytes - cut;
        return;
    }
    finding f = image_finding(finding_kind::header_size_misfit);
    f.found = *header.size;
    f.expected = data_bytes;
    report(sink, summary, f);
}

// Reads one record, or what is left of the image; a read error gives -1
// with errno set.
long read_record(FILE* in, uint8_t* buffer)
{
    const size_t n = std::fread(buffer, 1, PAGE_RECORD_SIZE, in);
    if (std::ferror(in))
        return -1;
    return static_cast<long>(n);
}

}  // namespace

int check_image(FILE* in, const expected_layout& layout, const check_sink& sink,
                check_summary& summary)
{
    uint8_t buffers[2][PAGE_RECORD_SIZE];
    walk_state walk;
    // A bad-block list comes with the status words (-B implies -b).
    if (layout.bad_blocks)
        walk.status = status_expectation::marked;
    int current = 0;
    long n = read_record(in, buffers[current]);
    for (uint64_t index = 0; n == static_cast<long>(PAGE_RECORD_SIZE); ++index) {
        uint8_t* next_buffer = buffers[1 - current];
        const long m = read_record(in, next_buffer);
        if (m < 0)
            return errno;
        look_ahead next;
        next.present = m == static_cast<long>(PAGE_RECORD_SIZE);
        next.tag = next.present ? spare_word(next_buffer + PAGE_DATA_SIZE, SPARE_TAG_WORD) : 0;
        const page_record r = {buffers[current], buffers[current] + PAGE_DATA_SIZE, index,
                               index / PAGES_PER_BLOCK,
                               static_cast<int>(index % PAGES_PER_BLOCK)};
        check_record(walk, layout, r, next, sink, summary);
        current = 1 - current;
        n = m;
    }
    if (n < 0)
        return errno;
    check_ending(walk.order, sink, summary);
    if (n > 0) {
        finding f = image_finding(finding_kind::partial_record);
        f.found = static_cast<uint64_t>(n);
        report(sink, summary, f);
    }
    find_input_size(walk.header, layout, sink, summary);
    return 0;
}
