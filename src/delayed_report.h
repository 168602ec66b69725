// The report's layout comes first, but is known only at the end of the
// check.  A delayed report takes the pieces as the check finds them, keeps
// the findings and map runs in spools, and hands everything to the real
// writer in its order once the summary is in: nothing reaches the report's
// stream before then.
#ifndef PAGESMITH_DELAYED_REPORT_H
#define PAGESMITH_DELAYED_REPORT_H

#include <vector>

#include "report_spool.h"
#include "report_writer.h"

// A report writer that holds the pieces back for `inner`.
class delayed_report : public report_writer {
public:
    explicit delayed_report(report_writer& inner);
    ~delayed_report() override;
    delayed_report(const delayed_report&) = delete;
    delayed_report& operator=(const delayed_report&) = delete;
    // Makes the spools the inner writer needs: none when it takes neither
    // findings nor the map.  False with errno set when a temporary file
    // cannot be made; call before reading anything.
    bool open();
    bool takes_findings() const override;
    bool takes_map() const override;
    bool write_layout(const found_layout& layout) override;
    bool write_note(const layout_note& note) override;
    bool write_finding(const finding& f) override;
    bool write_run(const map_run& run) override;
    bool write_summary(const check_summary& summary) override;

private:
    // Hands the spooled findings, then the spooled runs, to the inner writer.
    bool release();

    report_writer& inner_;
    found_layout layout_;
    std::vector<layout_note> notes_;
    report_spool findings_;
    report_spool runs_;
};

#endif
