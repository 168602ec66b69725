// What the texts of the finding table may name in braces, and their check
// at compile time: every brace names a value that the report can fill in,
// from a field that applies to the kind, in a form it knows.
#ifndef PAGESMITH_FINDING_TEXTS_H
#define PAGESMITH_FINDING_TEXTS_H

#include <cstdint>

#include "finding_kinds.h"

// A value a finding text names in braces.
enum class text_value : uint8_t {
    sector, byte, bit, word, page, block, record, found, expected,
    unmarked,           // the status word of an unmarked page of the kind, at its page
    marked,             // that of a marked one
    header_size_bytes,  // bytes of the header page that hold the size
    last_data_byte,     // the last byte of a data area
    max_bad_blocks,     // the converter's list of bad blocks
    after,              // the neighbouring record's kind, as a word
    bad_block_options,  // the layout's -B options, or "without -B"
};

// One name a text may put in braces: its value, and the fields of a finding
// that must apply for it (0: a constant, the layout's, or the record's place).
struct text_field {
    const char* name;
    text_value value;
    unsigned needs;
};

// The names, the one table of them.
constexpr text_field TEXT_FIELDS[] = {
    {"sector", text_value::sector, FIELD_SECTOR},
    {"byte", text_value::byte, FIELD_BYTE},
    {"bit", text_value::bit, FIELD_BIT},
    {"word", text_value::word, FIELD_WORD},
    {"page", text_value::page, 0},
    {"block", text_value::block, 0},
    {"record", text_value::record, 0},
    {"found", text_value::found, FIELD_FOUND},
    {"expected", text_value::expected, FIELD_EXPECTED},
    {"unmarked", text_value::unmarked, 0},
    {"marked", text_value::marked, 0},
    {"header_size_bytes", text_value::header_size_bytes, 0},
    {"last_data_byte", text_value::last_data_byte, 0},
    {"max_bad_blocks", text_value::max_bad_blocks, 0},
    {"after", text_value::after, FIELD_AFTER},
    {"bad_block_options", text_value::bad_block_options, 0},
};

// The end of the name that a brace opened before `p` holds: the first '}',
// ':' or '?' (or the text's end).
constexpr const char* name_end(const char* p)
{
    while (*p && *p != '}' && *p != ':' && *p != '?')
        ++p;
    return p;
}

// The entry of TEXT_FIELDS named by [begin, end), or null.
constexpr const text_field* text_field_named(const char* begin, const char* end)
{
    for (const text_field& field : TEXT_FIELDS) {
        const char* a = begin;
        const char* b = field.name;
        while (a != end && *b && *a == *b) {
            ++a;
            ++b;
        }
        if (a == end && !*b)
            return &field;
    }
    return nullptr;
}

// True when every brace of `text` names an entry of TEXT_FIELDS whose
// fields are among `fields`, bare, with the form ":x" or ":d", or with a
// choice "?A|B", and nothing else stands in braces.
constexpr bool text_is_sound(const char* text, unsigned fields)
{
    for (const char* p = text; *p; ++p) {
        if (*p == '}')
            return false;
        if (*p != '{')
            continue;
        const char* end = name_end(p + 1);
        const text_field* field = text_field_named(p + 1, end);
        if (!field || (field->needs & fields) != field->needs)
            return false;
        if (*end == ':') {
            if ((end[1] != 'x' && end[1] != 'd') || end[2] != '}')
                return false;
            end += 2;
        } else if (*end == '?') {
            bool bar = false;
            for (; *end && *end != '}'; ++end)
                bar = bar || *end == '|';
            if (!bar)
                return false;
        }
        if (*end != '}')
            return false;
        p = end;
    }
    return true;
}

// True when the text of every kind of finding is sound.
constexpr bool every_text_is_sound()
{
    for (int k = 0; k < FINDING_KIND_COUNT; ++k) {
        const finding_traits traits = finding_traits_of(static_cast<finding_kind>(k));
        if (!text_is_sound(traits.text, traits.fields))
            return false;
    }
    return true;
}

static_assert(every_text_is_sound(), "a finding text names a value it cannot show");

#endif
