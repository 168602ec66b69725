// Text in the picture: escaped for XML, kept as UTF-8, and shortened to fit.
#ifndef PAGESMITH_SVG_TEXT_H
#define PAGESMITH_SVG_TEXT_H

#include <cstddef>
#include <string>

// `text` as XML character data: the characters XML reserves escaped,
// valid UTF-8 kept as it is, control characters as '?', and bytes that are
// not UTF-8, and U+FFFE and U+FFFF (which XML does not allow), as U+FFFD.
std::string xml_text(const std::string& text);

// `text` shortened to at most `most` characters (UTF-8 code points) by
// putting "…" in place of its middle; its end, which names a file, keeps
// the larger part.
std::string shortened(const std::string& text, size_t most);

#endif
