// The report as one JSON document.
#include "json_writer.h"

#include <nlohmann/json.hpp>

#include "page_kinds.h"
#include "reading_words.h"
#include "repair_words.h"
#include "report_words.h"

using nlohmann::json;

namespace {

// The version of the document's form: a new member keeps it, a changed or
// dropped one raises it.
constexpr int JSON_REPORT_VERSION = 1;

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
    o["offset"] = number_if(has, FIELD_RECORD, f.offset);
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
    o["chip_bad_blocks"] = json::array();
    for (const chip_mark& mark : layout.chip_bad)
        o["chip_bad_blocks"].push_back(mark.file_block);
    o["input_size"] = layout.input_size ? json(*layout.input_size) : json(nullptr);
    o["image_start"] = layout.image_start;
    o["notes"] = json::array();
    return o;
}

// The list of lost input ranges; those past the ones listed count as one
// more entry, with why "unlisted".
json lost_object(const lost_list& lost)
{
    json list = json::array();
    for (const lost_range& range : lost.ranges)
        list.push_back({{"offset", range.offset}, {"length", range.length},
                        {"why", loss_cause_name(range.why)}});
    if (lost.unlisted)
        list.push_back({{"offset", nullptr}, {"length", lost.unlisted_bytes},
                        {"why", "unlisted"}});
    return list;
}

// One block's health.
json block_object(const block_health& block)
{
    json o;
    o["block"] = block.block;
    o["kind"] = block_use_name(block.use);
    o["corrected"] = block.corrected;
    o["uncorrectable"] = block.uncorrectable;
    o["erased_bits"] = block.erased_bits;
    return o;
}

// One of several readings: its share of the combined image.
json reading_object(const reading_summary& reading)
{
    json o;
    o["file"] = reading.file;
    o["image_start"] = reading.image_start;
    o["supplied"] = reading.supplied;
    o["stuck_bits"] = json::array();
    for (const stuck_bit& s : stuck_bits(reading))
        o["stuck_bits"].push_back({{"bit", s.bit}, {"reads", s.reads}, {"sectors", s.sectors}});
    return o;
}

// What --repair did: null when it was not asked for.
json repair_object(const repair_outcome& repair)
{
    if (!repair.file)
        return nullptr;
    json o;
    o["file"] = repair.file;
    o["written"] = repair.obstacle == repair_obstacle::none;
    o["options"] = repair.obstacle == repair_obstacle::none ? json(repair.options) : json();
    o["obstacle"] = repair.obstacle == repair_obstacle::none
                        ? json()
                        : json(repair_obstacle_name(repair.obstacle));
    o["count"] = repair.count;
    return o;
}

// The summary object.
json summary_object(const check_summary& summary)
{
    json o;
    o["records"] = summary.records;
    o["blocks"] = blocks_of(summary);
    for (int k = 0; k < PAGE_KIND_COUNT; ++k)
        o[look_of(static_cast<page_kind>(k)).key] = summary.kinds[k];
    o["outside"] = summary.outside;
    o["sectors"] = summary.sectors;
    o["corrected"] = summary.corrected;
    o["uncorrectable"] = summary.uncorrectable;
    o["other_problems"] = summary.problems;
    o["status"] = check_status(summary);
    return o;
}

// Writes the report as one JSON document.
class json_writer : public report_writer {
public:
    json_writer(FILE* stream, const std::string& image_name, report_detail detail,
                map_request map)
        : stream_(stream), image_name_(image_name), detail_(detail), map_(map)
    {
    }

    bool takes_findings() const override { return detail_ == report_detail::findings; }

    bool takes_map() const override { return map_ == map_request::present; }

    bool takes_blocks() const override { return false; }

    bool write_layout(const found_layout& layout) override
    {
        layout_ = layout;
        layout_object_ = layout_object(layout);
        return true;
    }

    bool write_note(const layout_note& note) override
    {
        layout_object_["notes"].push_back(describe_note(note));
        return true;
    }

    bool write_finding(const finding& f) override
    {
        return !takes_findings() ||
               (open(part::findings) && put(text_of(finding_object(f, layout_))));
    }

    bool write_block(uint64_t, const std::string&) override { return true; }

    bool write_run(const map_run& run) override
    {
        if (!takes_map())
            return true;
        json o;
        o["first"] = run.first;
        o["last"] = run.last;
        o["pages"] = map_chars(run.cells);
        o["outside"] = run.outside;
        return open(part::map) && put(text_of(o));
    }

    bool write_summary(const check_summary& summary) override
    {
        return open(part::done) && put(",\"lost\":" + text_of(lost_object(summary.lost))) &&
               write_readings(summary.readings) && write_blocks(summary.health) &&
               put(",\"repair\":" + text_of(repair_object(summary.repair))) &&
               put(",\"summary\":" + text_of(summary_object(summary)) + "}\n") &&
               std::fflush(stream_) == 0 && !std::ferror(stream_);
    }

private:
    // Where the document stands: each part opens when its first piece comes.
    enum class part { layout, findings, map, done };

    // Writes what comes before the next piece of `next`: the head of the
    // document, the map's start, a comma, or the end of the last list.
    bool open(part next)
    {
        std::string text;
        if (part_ == part::layout) {
            text = "{\"version\":" + std::to_string(JSON_REPORT_VERSION) +
                   ",\"image\":" + text_of(json(image_name_)) +
                   ",\"layout\":" + text_of(layout_object_) + ",\"findings\":[";
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

    // Writes the "readings" list, when there are several.
    bool write_readings(const std::vector<reading_summary>& readings)
    {
        if (readings.size() < 2)
            return true;
        json list = json::array();
        for (const reading_summary& r : readings)
            list.push_back(reading_object(r));
        return put(",\"readings\":" + text_of(list));
    }

    // Writes the "blocks" list, one block at a time.
    bool write_blocks(const std::vector<block_health>& blocks)
    {
        bool written = put(",\"blocks\":[");
        for (size_t i = 0; written && i < blocks.size(); ++i)
            written = (i == 0 || put(",")) && put(text_of(block_object(blocks[i])));
        return written && put("]");
    }

    // Writes text to the stream.
    bool put(const std::string& text)
    {
        return std::fwrite(text.data(), 1, text.size(), stream_) == text.size();
    }

    FILE* stream_;
    std::string image_name_;
    report_detail detail_;
    map_request map_;
    part part_ = part::layout;
    bool first_piece_ = true;  // no piece written in this part yet
    found_layout layout_;      // completes the findings that compare it with a claim
    json layout_object_;       // written with the first piece after it
};

}  // namespace

std::unique_ptr<report_writer> make_json_writer(FILE* stream, const std::string& image_name,
                                                report_detail detail, map_request map)
{
    return std::make_unique<json_writer>(stream, image_name, detail, map);
}
