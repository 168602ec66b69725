// The report as text lines.
#include "text_writer.h"

#include <string>

#include "block_health.h"
#include "health_words.h"
#include "image_map.h"
#include "reading_words.h"
#include "repair_words.h"
#include "report_words.h"

namespace {

// Writes the report as lines of text.
class text_writer : public report_writer {
public:
    text_writer(FILE* stream, const char* prefix, report_detail detail, map_request map,
                health_request health)
        : stream_(stream), prefix_(prefix), detail_(detail), map_(map), health_(health)
    {
    }

    bool takes_findings() const override { return detail_ == report_detail::findings; }

    bool takes_map() const override
    {
        return detail_ == report_detail::findings && map_ == map_request::present;
    }

    bool takes_blocks() const override { return false; }

    bool write_layout(const found_layout& layout) override
    {
        layout_ = layout;
        return detail_ == report_detail::summary_only || put_line(describe_layout(layout));
    }

    bool write_note(const layout_note& note) override
    {
        return detail_ == report_detail::summary_only || put_line("note: " + describe_note(note));
    }

    bool write_finding(const finding& f) override
    {
        return !takes_findings() || put_line(describe_finding(f, layout_));
    }

    bool write_block(uint64_t, const std::string&) override { return true; }

    bool write_run(const map_run& run) override
    {
        if (!takes_map())
            return true;
        const std::string outside = describe_outside(run);
        return put_line(describe_run(run)) && (outside.empty() || put_line(outside));
    }

    bool write_summary(const check_summary& summary) override
    {
        if (takes_findings() && summary.readings.size() > 1)
            for (const std::string& line : describe_readings(summary.readings))
                if (!put_line(line))
                    return false;
        if (takes_findings() && health_ == health_request::present)
            for (const block_health& block : worn_blocks(summary.health))
                if (!put_line(describe_health(block)))
                    return false;
        if (takes_findings())
            for (const std::string& line : describe_lost(summary.lost))
                if (!put_line(line))
                    return false;
        if (summary.repair.file && !put_line(describe_repair(summary.repair)))
            return false;
        return put_line(describe_summary(summary)) && std::fflush(stream_) == 0 &&
               !std::ferror(stream_);
    }

private:
    // Writes one line.
    bool put_line(const std::string& text)
    {
        const std::string line = prefix_ + text + "\n";
        return std::fwrite(line.data(), 1, line.size(), stream_) == line.size();
    }

    FILE* stream_;
    const char* prefix_;
    report_detail detail_;
    map_request map_;
    health_request health_;
    found_layout layout_;  // completes the findings that compare it with a claim
};

}  // namespace

std::unique_ptr<report_writer> make_text_writer(FILE* stream, const char* prefix,
                                                report_detail detail, map_request map,
                                                health_request health)
{
    return std::make_unique<text_writer>(stream, prefix, detail, map, health);
}
