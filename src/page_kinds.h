// How the reports show each kind of page: the one table of it.
#ifndef PAGESMITH_PAGE_KINDS_H
#define PAGESMITH_PAGE_KINDS_H

#include "image_layout.h"

// Everything the reports say of one kind of page.
struct page_kind_look {
    const char* name;    // in report lines and JSON: "bad-block"
    const char* label;   // in the picture's legend: "bad block"
    char letter;         // on the text map
    const char* colour;  // its cells in the picture
    int precedence;      // when cells of several blocks merge, the lowest shows
};

// The look of each kind of page.
constexpr page_kind_look look_of(page_kind kind)
{
    switch (kind) {
    case page_kind::data: return {"data", "data", 'D', "#4e9a57", 2};
    case page_kind::header: return {"header", "header", 'H', "#3d6fb6", 1};
    case page_kind::bad_block: return {"bad-block", "bad block", 'B', "#6b6b6b", 0};
    case page_kind::fill: return {"fill", "fill", 'F', "#e4e4e4", 3};
    case page_kind::erased: return {"erased", "erased", 'E', "#ffffff", 4};
    }
    return {nullptr, nullptr, '?', nullptr, PAGE_KIND_COUNT};
}

// True when every kind has a look, and precedences are distinct.
constexpr bool every_kind_has_a_look()
{
    for (int a = 0; a < PAGE_KIND_COUNT; ++a) {
        const page_kind_look look = look_of(static_cast<page_kind>(a));
        if (!look.name || !look.label || !look.colour || look.precedence >= PAGE_KIND_COUNT)
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
