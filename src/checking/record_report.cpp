// How each checked record is handed on.
#include "record_report.h"

#include "image_verdict.h"

void count_record(check_summary& summary)
{
    ++summary.records;
    summary.sectors += SECTORS_PER_PAGE;
}

void report_record(const check_sink& sink, check_summary& summary, const page_record& r,
                   page_kind kind, const page_findings& found, uint64_t input_page)
{
    count_record(summary);
    ++summary.kinds[static_cast<int>(kind)];
    checked_page page = {r.index, r.block, r.page, kind, r.data, {}, page_place::image,
                         r.file_index, input_page};
    for (int i = 0; i < found.count; ++i) {
        report_finding(sink, summary, found.items[i]);
        ++page.findings[static_cast<int>(class_of(found.items[i].what))];
    }
    if (sink.on_page)
        sink.on_page(page);
}
