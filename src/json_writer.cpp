#include "json_writer.h"

#include <nlohmann/json.hpp>

#include "page_kinds.h"
#include "report_words.h"

using nlohmann::json;

// The layout object, held until the notes are in.
struct json_writer::pending_layout {
    found_layout layout;
    json object;
};

namespace {

// A value as JSON text; bytes that are not UTF-8 become U+FFFD, so the text
// is valid JSON whatever a name holds.
std::string text_of(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A number, or null when the field does not apply.
json number_if(unsigned fields, unsigned field, uint64_t value)
{
    return (fields & field) != 0 ? json(value) : json(nullptr);
}

// A page kind's name, or null when the field does not apply.
json kind_if(unsigned fields, unsigned field, page_kind kind)
{
    return fields & field ? json(page_kind_name(kind)) : json(nullptr);
}

// The object of one finding: every field, null where the kind has none.
json finding_object(const finding& f, const found_layout& layout)
{
    const finding_traits traits = finding_traits_of(f.what);
    const unsigned has = traits.fields;
    json o;
    o["finding"] = traits.name;
    o["record"] = number_if(has, FIELD_RECORD | FIELD_PLACE, f.record);
    o["block"] = number_if(has, FIELD_RECORD | FIELD_PLACE, f.block);
    o["page"] = number_if(has, FIELD_PAGE, static_cast<uint64_t>(f.page));
    o["kind"] = kind_if(has, FIELD_RECORD, f.kind);
    o["sector"] = number_if(has, FIELD_SECTOR, static_cast<uint64_t>(f.sector));
    o["byte"] = number_if(has, FIELD_BYTE, static_cast<uint64_t>(f.byte));
    o["bit"] = number_if(has, FIELD_BIT, static_cast<uint64_t>(f.bit));
    o["word"] = number_if(has, FIELD_WORD, static_cast<uint64_t>(f.word));
    o["found"] = number_if(has, FIELD_FOUND, f.found);
    o["expected"] = number_if(has, FIELD_EXPECTED, f.expected);
    o["after"] = kind_if(has, FIELD_AFTER, f.other);
    o["text"] = describe_finding(f, layout);
    return o;
}

// The layout object, without its notes.
json layout_object(const found_layout& layout)
{
    json o;
    o["options"] = layout_options(layout);
    o["header"] = layout.header == header_pages::present;
    o["status_words"] = layout.status_words;
    o["fill"] = layout.fill;
    o["bad_blocks"] = layout.bad_blocks;
    o["bad_block_count"] = layout.bad_block_count;
    o["input_size"] = layout.input_size ? json(*layout.input_size) : json(nullptr);
    o["notes"] = json::array();
    return o;
}

// The summary object.
json summary_object(const check_summary& summary)
{
    json o;
    o["records"] = summary.records;
    o["blocks"] = blocks_of(summary);
    o["data"] = summary.kinds[static_cast<int>(page_kind::data)];
    o["header"] = summary.kinds[static_cast<int>(page_kind::header)];
    o["bad_block"] = summary.kinds[static_cast<int>(page_kind::bad_block)];
    o["fill"] = summary.kinds[static_cast<int>(page_kind::fill)];
    o["erased"] = summary.kinds[static_cast<int>(page_kind::erased)];
    o["outside"] = summary.outside;
    o["sectors"] = summary.sectors;
    o["corrected"] = summary.corrected;
    o["uncorrectable"] = summary.uncorrectable;
    o["other_problems"] = summary.problems;
    o["status"] = check_status(summary);
    return o;
}

}  // namespace

json_writer::json_writer(FILE* stream, std::string image_name, report_detail detail,
                         map_request map)
    : stream_(stream), image_name_(std::move(image_name)), detail_(detail), map_(map)
{
}

json_writer::~json_writer() = default;

bool json_writer::takes_findings() const
{
    return detail_ == report_detail::findings;
}

bool json_writer::takes_map() const
{
    return map_ == map_request::present;
}

bool json_writer::put(const std::string& text)
{
    return std::fwrite(text.data(), 1, text.size(), stream_) == text.size();
}

bool json_writer::open(part next)
{
    std::string text;
    if (part_ == part::layout) {
        text = "{\"image\":" + text_of(json(image_name_)) +
               ",\"layout\":" + text_of(layout_->object) + ",\"findings\":[";
        part_ = part::findings;
        first_piece_ = true;
    }
    if (part_ == part::findings && next != part::findings && takes_map()) {
        text += "],\"map\":[";
        part_ = part::map;
        first_piece_ = true;
    }
    if (next == part::done)
        text += "]";
    else if (!first_piece_)
        text += ",";
    first_piece_ = false;
    return put(text);
}

bool json_writer::write_layout(const found_layout& layout)
{
    layout_ = std::make_unique<pending_layout>(pending_layout{layout, layout_object(layout)});
    return true;
}

bool json_writer::write_note(const layout_note& note)
{
    layout_->object["notes"].push_back(describe_note(note));
    return true;
}

bool json_writer::write_finding(const finding& f)
{
    if (!takes_findings())
        return true;
    return open(part::findings) && put(text_of(finding_object(f, layout_->layout)));
}

bool json_writer::write_run(const map_run& run)
{
    if (!takes_map())
        return true;
    json o;
    o["first"] = run.first;
    o["last"] = run.last;
    o["pages"] = map_chars(run.cells);
    return open(part::map) && put(text_of(o));
}

bool json_writer::write_summary(const check_summary& summary)
{
    return open(part::done) && put(",\"summary\":" + text_of(summary_object(summary)) + "}\n") &&
           std::fflush(stream_) == 0 && !std::ferror(stream_);
}
