// The picture of the map, written as the report's third form.
#include "svg_writer.h"

#include "map_svg.h"
#include "report_words.h"

namespace {

// Gathers the blocks, and draws them with the layout and the summary.
class svg_writer : public report_writer {
public:
    svg_writer(FILE* out, const std::string& image_name, health_request health)
        : out_(out), image_name_(image_name), health_(health)
    {
    }

    bool takes_findings() const override { return false; }

    bool takes_map() const override { return false; }

    bool takes_blocks() const override { return true; }

    bool write_layout(const found_layout&) override { return true; }

    bool write_note(const layout_note&) override { return true; }

    bool write_finding(const finding&) override { return true; }

    bool write_block(uint64_t block, const std::string& cells) override
    {
        svg_block(map_, block, cells);
        return true;
    }

    bool write_run(const map_run&) override { return true; }

    bool write_summary(const check_summary& summary) override
    {
        const bool shaded = health_ == health_request::present;
        const svg_texts texts = {image_name_, describe_layout(summary.layout),
                                 describe_summary_parts(summary),
                                 shaded ? &summary.map_health : nullptr};
        return write_svg(out_, map_, texts);
    }

private:
    FILE* out_;
    std::string image_name_;
    health_request health_;
    svg_map map_;  // the rows so far
};

}  // namespace

std::unique_ptr<report_writer> make_svg_writer(FILE* out, const std::string& image_name,
                                               health_request health)
{
    return std::make_unique<svg_writer>(out, image_name, health);
}
