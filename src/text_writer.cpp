#include "text_writer.h"

#include "report_words.h"

text_writer::text_writer(FILE* stream, const char* prefix, report_detail detail,
                         map_request map)
    : stream_(stream), prefix_(prefix), detail_(detail), map_(map)
{
}

bool text_writer::takes_findings() const
{
    return detail_ == report_detail::findings;
}

bool text_writer::takes_map() const
{
    return detail_ == report_detail::findings && map_ == map_request::present;
}

bool text_writer::put_line(const std::string& text)
{
    const std::string line = prefix_ + text + "\n";
    return std::fwrite(line.data(), 1, line.size(), stream_) == line.size();
}

bool text_writer::write_layout(const found_layout& layout)
{
    layout_ = layout;
    return detail_ == report_detail::summary_only || put_line(describe_layout(layout));
}

bool text_writer::write_note(const layout_note& note)
{
    return detail_ == report_detail::summary_only || put_line("note: " + describe_note(note));
}

bool text_writer::write_finding(const finding& f)
{
    return !takes_findings() || put_line(describe_finding(f, layout_));
}

bool text_writer::write_run(const map_run& run)
{
    return !takes_map() || put_line(describe_run(run));
}

bool text_writer::write_summary(const check_summary& summary)
{
    return put_line(describe_summary(summary)) && std::fflush(stream_) == 0 &&
           !std::ferror(stream_);
}
