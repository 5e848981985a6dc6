#pragma once

// A rectangle in pixels, as window code passes it around: left and top
// inclusive; right and bottom are the client size for a client rectangle.

#include <cstdint>

struct RECT {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
