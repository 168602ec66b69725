// One interface for every form of pagecheck's report: text, JSON and the
// picture.  The check hands a writer, in this order: the layout, its notes,
// the findings (with the map's blocks as they complete), the runs of the
// map and the summary, each as values; the words and the syntax are the
// writer's business.
#ifndef PAGESMITH_REPORT_WRITER_H
#define PAGESMITH_REPORT_WRITER_H

#include <cstdint>
#include <string>

#include "findings.h"
#include "image_map.h"

// Whether the report lists everything or only the summary (-q).
enum class report_detail { findings, summary_only };

// Whether the report holds the map (--map).
enum class map_request { absent, present };

// Whether the text report lists the blocks that wear (--health).
enum class health_request { absent, present };

// A form of the report.  Each call returns false on a write error, with
// errno set.
class report_writer {
public:
    virtual ~report_writer() = default;
    // True when the writer shows findings; false lets the caller drop them.
    virtual bool takes_findings() const = 0;
    // True when the writer shows the map's runs.
    virtual bool takes_map() const = 0;
    // True when the writer shows the map block by block.
    virtual bool takes_blocks() const = 0;
    // The layout the image shows; first.
    virtual bool write_layout(const found_layout& layout) = 0;
    // One note on the layout; after the layout.
    virtual bool write_note(const layout_note& note) = 0;
    // One finding; after the notes.
    virtual bool write_finding(const finding& f) = 0;
    // One block of the map and its pages' cells, first to last; among the
    // findings.
    virtual bool write_block(uint64_t block, const std::string& cells) = 0;
    // One run of the map; after the findings.
    virtual bool write_run(const map_run& run) = 0;
    // The summary; last.  Flushes the report.
    virtual bool write_summary(const check_summary& summary) = 0;
};

#endif
