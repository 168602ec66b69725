// The text report: the layout line and its notes first, then one line per
// finding, the map when asked for, and the summary line last.
#ifndef PAGESMITH_TEXT_WRITER_H
#define PAGESMITH_TEXT_WRITER_H

#include <cstdio>
#include <string>

#include "report_writer.h"

// Writes the report as lines of text.
class text_writer : public report_writer {
public:
    // Writes to `stream`, each line starting with `prefix`.
    text_writer(FILE* stream, const char* prefix, report_detail detail, map_request map);
    bool takes_findings() const override;
    bool takes_map() const override;
    bool write_layout(const found_layout& layout) override;
    bool write_note(const layout_note& note) override;
    bool write_finding(const finding& f) override;
    bool write_run(const map_run& run) override;
    bool write_summary(const check_summary& summary) override;

private:
    // Writes one line.
    bool put_line(const std::string& text);

    FILE* stream_;
    const char* prefix_;
    report_detail detail_;
    map_request map_;
    found_layout layout_;  // completes the findings that compare it with a claim
};

#endif
