#include "text_report.h"

#include "check_report.h"

namespace {

// Writes one line of the report.
bool put_line(const text_report& report, const std::string& text)
{
    const std::string line = report.prefix + text + "\n";
    return std::fwrite(line.data(), 1, line.size(), report.stream) == line.size();
}

}  // namespace

void open_text_report(text_report& report, FILE* stream, const char* prefix,
                      report_detail detail)
{
    report.stream = stream;
    report.prefix = prefix;
    report.detail = detail;
    if (detail == report_detail::summary_only)
        return;
    report.findings = open_spool(stream);
    report.map = open_spool(stream);
}

bool text_finding(text_report& report, const finding& f)
{
    if (report.detail == report_detail::summary_only)
        return true;
    return spool_text(report.findings, report.prefix + describe_finding(f, report.layout) + "\n");
}

bool text_map_line(text_report& report, const std::string& line)
{
    if (report.detail == report_detail::summary_only)
        return true;
    return spool_text(report.map, report.prefix + line + "\n");
}

bool finish_text_report(text_report& report, const check_summary& summary)
{
    if (report.detail == report_detail::findings) {
        if (!put_line(report, describe_layout(summary.layout)))
            return false;
        for (const std::string& note : summary.layout.notes)
            if (!put_line(report, "note: " + note))
                return false;
        if (!release_spool(report.findings, report.stream) ||
            !release_spool(report.map, report.stream))
            return false;
    }
    return put_line(report, describe_summary(summary)) && std::fflush(report.stream) == 0 &&
           !std::ferror(report.stream);
}
