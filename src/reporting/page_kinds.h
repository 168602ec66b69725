// How the reports show each kind of page: the one table of it.  The
// colours come from a palette that readers with red-green colour blindness
// tell apart (Okabe and Ito's), the same as in the image-format picture.
#ifndef PAGESMITH_PAGE_KINDS_H
#define PAGESMITH_PAGE_KINDS_H

#include "image_layout.h"

// Where the summary line counts a kind of page.
enum class summary_place {
    pages,     // among the page counts, always: the kinds a converter writes
    when_any,  // after the sector counts, only when there are any
};

// Everything the reports say of one kind of page.
struct page_kind_look {
    const char* name;    // in report lines and JSON values: "bad-block"
    const char* key;     // its count's key in the JSON summary: "bad_block"
    const char* label;   // in the picture's legend: "bad block"
    char letter;         // on the text map
    const char* colour;  // its cells in the picture
    int precedence;      // when cells of several blocks merge, the lowest shows
    summary_place summary;
};

// The look of each kind of page.
constexpr page_kind_look look_of(page_kind kind)
{
    switch (kind) {
    case page_kind::data:
        return {"data", "data", "data", 'D', "#0072B2", 2, summary_place::pages};
    case page_kind::header:
        return {"header", "header", "header", 'H', "#E69F00", 1, summary_place::pages};
    case page_kind::bad_block:
        return {"bad-block", "bad_block", "bad block", 'B', "#CC79A7", 0, summary_place::pages};
    case page_kind::fill:
        return {"fill", "fill", "fill", 'F', "#DDDDDD", 4, summary_place::pages};
    case page_kind::erased:
        return {"erased", "erased", "erased", 'E', "#FFFFFF", 5, summary_place::when_any};
    case page_kind::chip_bad:
        return {"chip-bad", "chip_bad", "marked bad by the chip", 'M', "#56B4E9", 3,
                summary_place::when_any};
    }
    return {nullptr, nullptr, nullptr, '?', nullptr, PAGE_KIND_COUNT, summary_place::pages};
}

// True when every kind has a look, and precedences are distinct.
constexpr bool every_kind_has_a_look()
{
    for (int a = 0; a < PAGE_KIND_COUNT; ++a) {
        const page_kind_look look = look_of(static_cast<page_kind>(a));
        if (!look.name || !look.key || !look.label || !look.colour ||
            look.precedence >= PAGE_KIND_COUNT)
            return false;
        for (int b = 0; b < a; ++b)
            if (look_of(static_cast<page_kind>(b)).precedence == look.precedence)
                return false;
    }
    return true;
}
static_assert(every_kind_has_a_look());

// Name of a page kind, as the reports write it.
constexpr const char* page_kind_name(page_kind kind)
{
    return look_of(kind).name;
}

#endif
