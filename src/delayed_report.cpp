#include "delayed_report.h"

#include <cerrno>
#include <cstdint>
#include <type_traits>

// Findings are kept as their bytes.
static_assert(std::is_trivially_copyable_v<finding>);

namespace {

// The fixed part of a spooled map run; its cells follow.
struct run_head {
    uint64_t first;
    uint64_t last;
    uint64_t cells;
};

// Reads back the next run; false at the end.
bool read_run(report_spool& spool, map_run& run)
{
    run_head head;
    if (!spool_read(spool, &head, sizeof head))
        return false;
    run.first = head.first;
    run.last = head.last;
    run.cells.resize(head.cells);
    return spool_read(spool, run.cells.data(), run.cells.size()) == run.cells.size();
}

// Fails a release whose spool could not be read back to its end.
bool read_to_end(const report_spool& spool)
{
    if (!spool_failed(spool))
        return true;
    if (errno == 0)
        errno = EIO;
    return false;
}

}  // namespace

delayed_report::delayed_report(report_writer& inner) : inner_(inner) {}

delayed_report::~delayed_report()
{
    close_spool(findings_);
    close_spool(runs_);
}

bool delayed_report::open()
{
    return (!inner_.takes_findings() || open_spool(findings_)) &&
           (!inner_.takes_map() || open_spool(runs_));
}

bool delayed_report::takes_findings() const
{
    return inner_.takes_findings();
}

bool delayed_report::takes_map() const
{
    return inner_.takes_map();
}

bool delayed_report::write_layout(const found_layout& layout)
{
    layout_ = layout;
    return true;
}

bool delayed_report::write_note(const layout_note& note)
{
    notes_.push_back(note);
    return true;
}

bool delayed_report::write_finding(const finding& f)
{
    return !findings_.file || spool_write(findings_, &f, sizeof f);
}

bool delayed_report::write_run(const map_run& run)
{
    if (!runs_.file)
        return true;
    const run_head head = {run.first, run.last, run.cells.size()};
    return spool_write(runs_, &head, sizeof head) &&
           spool_write(runs_, run.cells.data(), run.cells.size());
}

bool delayed_report::release()
{
    if (!inner_.write_layout(layout_))
        return false;
    for (const layout_note& note : notes_)
        if (!inner_.write_note(note))
            return false;
    if (findings_.file) {
        if (!spool_rewind(findings_))
            return false;
        finding f;
        while (spool_read(findings_, &f, sizeof f))
            if (!inner_.write_finding(f))
                return false;
        if (!read_to_end(findings_))
            return false;
    }
    if (runs_.file) {
        if (!spool_rewind(runs_))
            return false;
        map_run run;
        while (read_run(runs_, run))
            if (!inner_.write_run(run))
                return false;
        if (!read_to_end(runs_))
            return false;
    }
    return true;
}

bool delayed_report::write_summary(const check_summary& summary)
{
    return release() && inner_.write_summary(summary);
}
