#pragma once
#include <algorithm>
#include <cstdint>

// A rectangle as GDI has it: right and bottom lie just outside.
struct RECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

inline bool IsRectEmpty(const RECT* r)
{
    return !r || r->right <= r->left || r->bottom <= r->top;
}

// Stands in for IntersectRect: the common part of a and b, or an all-zero
// rectangle (and false) when they do not overlap.
inline bool IntersectRect(RECT* out, const RECT* a, const RECT* b)
{
    const RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
                 std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        *out = RECT{0, 0, 0, 0};
        return false;
    }
    *out = r;
    return true;
}
