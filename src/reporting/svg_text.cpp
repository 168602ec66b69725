// Text in the picture: escaped for XML and shortened to fit.
#include "svg_text.h"

#include <vector>

namespace {

// The replacement character, for bytes that are not UTF-8.
const char REPLACEMENT[] = "\xEF\xBF\xBD";

// U+FFFE and U+FFFF: valid UTF-8, but characters that XML does not allow.
const char NONCHARACTER_FFFE[] = "\xEF\xBF\xBE";
const char NONCHARACTER_FFFF[] = "\xEF\xBF\xBF";

// The ellipsis that stands for the middle of a shortened text.
const char ELLIPSIS[] = "\xE2\x80\xA6";

// Length of the UTF-8 sequence that starts at text[i], or 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF
// included).
size_t sequence_length(const std::string& text, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    if (byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF)
            return 0;
    return length;
}

// The characters of `text`, each a valid UTF-8 sequence; a byte that
// starts none is a character of its own.
std::vector<std::string> characters(const std::string& text)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = sequence_length(text, i);
        out.push_back(text.substr(i, length ? length : 1));
        i += length ? length : 1;
    }
    return out;
}

}  // namespace

std::string xml_text(const std::string& text)
{
    std::string out;
    for (const std::string& c : characters(text)) {
        const unsigned char first = static_cast<unsigned char>(c[0]);
        if (c == "&")
            out += "&amp;";
        else if (c == "<")
            out += "&lt;";
        else if (c == ">")
            out += "&gt;";
        else if (c == "\"")
            out += "&quot;";
        else if (first < 0x20 || first == 0x7F)
            out += '?';
        else if ((first >= 0x80 && sequence_length(c, 0) == 0) || c == NONCHARACTER_FFFE ||
                 c == NONCHARACTER_FFFF)
            out += REPLACEMENT;
        else
            out += c;
    }
    return out;
}

std::string shortened(const std::string& text, size_t most)
{
    const std::vector<std::string> chars = characters(text);
    if (chars.size() <= most || most < 2)
        return text;
    const size_t kept = most - 1;
    const size_t head = kept / 3;
    std::string out;
    for (size_t i = 0; i < head; ++i)
        out += chars[i];
    out += ELLIPSIS;
    for (size_t i = chars.size() - (kept - head); i < chars.size(); ++i)
        out += chars[i];
    return out;
}
