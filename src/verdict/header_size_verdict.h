// What the header size tells once the data pages are counted: the input
// size (past 4 GiB too), a size that -F stored when claimed, or the
// findings of a size that fits neither.
#ifndef PAGESMITH_HEADER_SIZE_VERDICT_H
#define PAGESMITH_HEADER_SIZE_VERDICT_H

#include <cstdint>
#include <optional>

#include "check_sink.h"
#include "record_check.h"

// How the file lost data pages of the image, if it did.
enum class page_loss { none, inside, cut };

// The input size that the header pages give for the data pages checked.
std::optional<uint64_t> size_from_header(const checker_state& checker);

// True when a header size was read that fits no input size.
bool header_size_misfits(const checker_state& checker);

// Settles what the header size tells once the data pages are counted: the
// input size, a size that -F stored, or the findings of a size that fits
// neither.  A size that -F may have stored is read as one only when -F
// claims it: lost data pages look the same.
void settle_header_size(const checker_state& checker, page_loss loss, const layout_claim& claim,
                        const check_sink& sink, check_summary& summary);

#endif
