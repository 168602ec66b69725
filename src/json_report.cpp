#include "json_report.h"

#include <nlohmann/json.hpp>

#include "check_report.h"

using nlohmann::json;

namespace {

// Names of the finding kinds in the document, by finding_kind.
const char* const finding_names[] = {
    "corrected_data", "corrected_code",  "uncorrectable",       "page_tag",
    "status_word",    "status_word_value", "spare_word",        "header_not_zero",
    "data_not_zero",  "header_size_differs", "out_of_place",    "ends_inside_fill",
    "ends_after",     "partial_record",  "header_size_misfit",  "too_many_bad_blocks",
    "layout_header",  "layout_bad_blocks", "layout_marking",
};

// A value as JSON text; bytes that are not UTF-8 become U+FFFD, so the text
// is valid JSON whatever a name holds.
std::string text_of(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Adds one piece to a comma-separated spool.
bool spool_piece(report_spool& spool, uint64_t& count, const json& value)
{
    std::string piece = count++ == 0 ? std::string() : std::string(",");
    piece += text_of(value);
    return spool_text(spool, piece);
}

// The fields a finding fills, by kind of finding.
bool has_found(finding_kind k)
{
    return k != finding_kind::corrected_data && k != finding_kind::corrected_code &&
           k != finding_kind::header_not_zero && k != finding_kind::data_not_zero &&
           k != finding_kind::out_of_place && k != finding_kind::ends_inside_fill &&
           k != finding_kind::ends_after && k != finding_kind::layout_marking;
}
bool has_expected(finding_kind k)
{
    return k == finding_kind::page_tag || k == finding_kind::status_word ||
           k == finding_kind::spare_word || k == finding_kind::header_size_differs ||
           k == finding_kind::header_size_misfit;
}

// A number, or null when the field does not apply.
json number_if(bool applies, uint64_t value)
{
    return applies ? json(value) : json(nullptr);
}

// The object of one finding.
json finding_object(const finding& f, const image_layout& layout)
{
    const bool record = is_about_record(f.what);
    const finding_kind k = f.what;
    json o;
    o["finding"] = finding_names[static_cast<int>(k)];
    o["record"] = number_if(record, f.record);
    o["block"] = number_if(record, f.block);
    o["page"] = number_if(record || k == finding_kind::ends_inside_fill,
                          static_cast<uint64_t>(f.page));
    o["kind"] = record ? json(page_kind_name(f.kind)) : json(nullptr);
    o["sector"] = number_if(is_about_sector(k), static_cast<uint64_t>(f.sector));
    o["byte"] = number_if(k == finding_kind::corrected_data, static_cast<uint64_t>(f.byte));
    o["bit"] = number_if(k == finding_kind::corrected_data || k == finding_kind::corrected_code,
                         static_cast<uint64_t>(f.bit));
    o["word"] = number_if(k == finding_kind::corrected_code || k == finding_kind::spare_word ||
                              k == finding_kind::status_word ||
                              k == finding_kind::status_word_value,
                          static_cast<uint64_t>(f.word));
    o["found"] = number_if(has_found(k), f.found);
    o["expected"] = number_if(has_expected(k), f.expected);
    o["after"] = k == finding_kind::out_of_place || k == finding_kind::ends_after
                     ? json(page_kind_name(f.other))
                     : json(nullptr);
    o["text"] = describe_finding(f, layout);
    return o;
}

// The layout object.
json layout_object(const image_layout& layout)
{
    json o;
    o["options"] = layout_options(layout);
    o["header"] = layout.header;
    o["status_words"] = layout.status_words;
    o["fill"] = layout.fill;
    o["bad_blocks"] = layout.bad_blocks;
    o["bad_block_count"] = layout.bad_block_count;
    o["input_size"] = layout.input_size ? json(*layout.input_size) : json(nullptr);
    o["notes"] = layout.notes;
    return o;
}

// The summary object.
json summary_object(const check_summary& summary)
{
    const uint64_t* kinds = summary.kinds;
    json o;
    o["records"] = summary.records;
    o["blocks"] = (summary.records + PAGES_PER_BLOCK - 1) / PAGES_PER_BLOCK;
    o["data"] = kinds[static_cast<int>(page_kind::data)];
    o["header"] = kinds[static_cast<int>(page_kind::header)];
    o["bad_block"] = kinds[static_cast<int>(page_kind::bad_block)];
    o["fill"] = kinds[static_cast<int>(page_kind::fill)];
    o["sectors"] = summary.sectors;
    o["corrected"] = summary.corrected;
    o["uncorrectable"] = summary.uncorrectable;
    o["other_problems"] = summary.problems;
    o["status"] = check_status(summary);
    return o;
}

// Writes text to the report stream.
bool put(json_report& report, const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), report.stream) == text.size();
}

}  // namespace

void open_json_report(json_report& report, FILE* stream, bool with_findings, json_map map)
{
    report.stream = stream;
    report.with_findings = with_findings;
    report.map = map;
    if (with_findings)
        report.findings = open_spool(stream);
    if (map == json_map::present)
        report.runs = open_spool(stream);
}

bool json_finding(json_report& report, const finding& f)
{
    if (!report.with_findings)
        return true;
    return spool_piece(report.findings, report.finding_count, finding_object(f, report.layout));
}

bool json_map_run(json_report& report, const map_run& run, const std::string& chars)
{
    json o;
    o["first"] = run.first;
    o["last"] = run.last;
    o["pages"] = chars;
    return spool_piece(report.runs, report.run_count, o);
}

bool finish_json_report(json_report& report, const std::string& image_name,
                        const check_summary& summary)
{
    bool ok = put(report, "{\"image\":" + text_of(json(image_name)) + ",\"layout\":" +
                              text_of(layout_object(summary.layout)) + ",\"findings\":[") &&
              release_spool(report.findings, report.stream);
    if (ok && report.map == json_map::present)
        ok = put(report, "],\"map\":[") && release_spool(report.runs, report.stream);
    return ok && put(report, "],\"summary\":" + text_of(summary_object(summary)) + "}\n") &&
           std::fflush(report.stream) == 0 && !std::ferror(report.stream);
}
