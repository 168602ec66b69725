// The report as one JSON document: {"image", "layout", "findings", "map"
// (with --map), "summary"}.  Every value is written by nlohmann-json, each
// piece as it comes, so that memory does not grow with the findings.
#ifndef PAGESMITH_JSON_WRITER_H
#define PAGESMITH_JSON_WRITER_H

#include <cstdio>
#include <memory>
#include <string>

#include "report_writer.h"

// Writes the report as one JSON document.
class json_writer : public report_writer {
public:
    // Writes to `stream` the report on the image named `image_name`.
    json_writer(FILE* stream, std::string image_name, report_detail detail, map_request map);
    ~json_writer() override;
    bool takes_findings() const override;
    bool takes_map() const override;
    bool write_layout(const found_layout& layout) override;
    bool write_note(const layout_note& note) override;
    bool write_finding(const finding& f) override;
    bool write_run(const map_run& run) override;
    bool write_summary(const check_summary& summary) override;

private:
    // Where the document stands: each part opens when the first piece of
    // it comes.
    enum class part { layout, findings, map, done };
    // Writes what comes before the pieces of `next`.
    bool open(part next);
    // Writes text to the stream.
    bool put(const std::string& text);

    struct pending_layout;
    FILE* stream_;
    std::string image_name_;
    report_detail detail_;
    map_request map_;
    part part_ = part::layout;
    bool first_piece_ = true;                  // no piece written in this part yet
    std::unique_ptr<pending_layout> layout_;   // the layout object, until written
};

#endif
