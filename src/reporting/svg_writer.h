// The picture of the map as a form of the report: an SVG of the image's
// blocks, gathered as the check goes and drawn with the summary.
#ifndef PAGESMITH_SVG_WRITER_H
#define PAGESMITH_SVG_WRITER_H

#include <cstdio>
#include <memory>
#include <string>

#include "report_writer.h"

// A writer of the picture of `image_name` to `out`, its rows shaded by the
// blocks' health when `health` asks for it.
std::unique_ptr<report_writer> make_svg_writer(FILE* out, const std::string& image_name,
                                               health_request health);

#endif
