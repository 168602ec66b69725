// The report held back in spools until the layout is known.
#include "delayed_report.h"

#include <cerrno>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "report_spool.h"

// Findings are kept as their bytes.
static_assert(std::is_trivially_copyable_v<finding>);

namespace {

// The fixed part of a spooled map run; its cells follow, then the offsets
// of the records not the image's.
struct run_head {
    uint64_t first;
    uint64_t last;
    uint64_t cells;
    uint64_t outside;
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
    run.outside.resize(head.outside);
    const size_t outside_bytes = run.outside.size() * sizeof(uint64_t);
    return spool_read(spool, run.cells.data(), run.cells.size()) == run.cells.size() &&
           spool_read(spool, run.outside.data(), outside_bytes) == outside_bytes;
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

// Holds the pieces back, then hands them on in the report's order.
class delayed_report : public report_writer {
public:
    explicit delayed_report(report_writer& inner) : inner_(inner) {}

    ~delayed_report() override
    {
        close_spool(findings_);
        close_spool(runs_);
    }

    delayed_report(const delayed_report&) = delete;
    delayed_report& operator=(const delayed_report&) = delete;

    // Makes the spools the inner writer needs.  False with errno set.
    bool open()
    {
        return (!inner_.takes_findings() || open_spool(findings_)) &&
               (!inner_.takes_map() || open_spool(runs_));
    }

    bool takes_findings() const override { return inner_.takes_findings(); }

    bool takes_map() const override { return inner_.takes_map(); }

    bool takes_blocks() const override { return inner_.takes_blocks(); }

    bool write_layout(const found_layout& layout) override
    {
        layout_ = layout;
        return true;
    }

    bool write_note(const layout_note& note) override
    {
        notes_.push_back(note);
        return true;
    }

    bool write_finding(const finding& f) override
    {
        return !findings_.file || spool_write(findings_, &f, sizeof f);
    }

    // The blocks are gathered by the writers that take them, not printed:
    // they pass straight on.
    bool write_block(uint64_t block, const std::string& cells) override
    {
        return inner_.write_block(block, cells);
    }

    bool write_run(const map_run& run) override
    {
        if (!runs_.file)
            return true;
        const run_head head = {run.first, run.last, run.cells.size(), run.outside.size()};
        return spool_write(runs_, &head, sizeof head) &&
               spool_write(runs_, run.cells.data(), run.cells.size()) &&
               spool_write(runs_, run.outside.data(), run.outside.size() * sizeof(uint64_t));
    }

    bool write_summary(const check_summary& summary) override
    {
        return release() && inner_.write_summary(summary);
    }

private:
    // Hands the layout, the notes, the spooled findings and the spooled
    // runs to the inner writer.
    bool release()
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

    report_writer& inner_;
    report_spool findings_;
    report_spool runs_;
    found_layout layout_;
    std::vector<layout_note> notes_;
};

}  // namespace

std::unique_ptr<report_writer> make_delayed_report(report_writer& inner)
{
    auto report = std::make_unique<delayed_report>(inner);
    if (report->open())
        return report;
    const int saved = errno;
    report.reset();
    errno = saved;
    return nullptr;
}
