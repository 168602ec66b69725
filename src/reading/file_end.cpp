// How the end of a file is reported: records that read as none, a cut, and
// a file that is no image at all.
#include "file_end.h"

#include "image_verdict.h"
#include "readback_report.h"
#include "record_look.h"

bool report_file_end(const readback_state& state, uint64_t records, const check_sink& sink,
                     check_summary& summary)
{
    if (records != 0 && state.image_records == 0) {
        finding f{};
        f.what = finding_kind::not_an_image;
        f.found = records;
        report_finding(sink, summary, f);
        return true;
    }
    if (state.junk) {
        finding f = event_finding(finding_kind::not_records, state.next, state.junk);
        f.expected = state.junk_from;
        report_finding(sink, summary, f);
    }
    return false;
}

void report_cut(const check_sink& sink, uint64_t next)
{
    const uint64_t end = (next / PAGES_PER_BLOCK + 1) * PAGES_PER_BLOCK;
    report_absent(sink, next, end, page_kind::data);
}

// True when the window is full and nothing in it shows an image: no record
// stands where its page tag says, and none was checked.  Any image shows
// one long before: its data and bad-block pages carry their tags.
bool shows_no_image(const record_window& window, const readback_state& placing,
                    const check_summary& summary)
{
    return window.full() && placing.anchors == 0 && placing.image_records == 0 &&
           summary.records == 0;
}

// Hands on every record of the file not yet checked, to its end, as not
// the image's: a file that is no image gives one finding, whatever its size.
void pass_over_rest(record_window& window, window_reader& reader, const check_sink& sink,
                    check_summary& summary)
{
    for (;;) {
        for (; window.checked < window.read; ++window.checked) {
            decoded_record& r = window.at(window.checked);
            r.origin = record_origin::outside;
            report_other(r, sink, summary);
        }
        window.placed = window.checked;
        if (reader.state != file_state::open)
            return;
        read_more(reader, window);
        for (; window.read < reader.loaded; ++window.read) {
            decoded_record& r = window.at(window.read);
            r.file_index = window.read;
            look_at(r);
        }
    }
}
