// Binary search over a sorted table with middle = (low + high) / 2.
#pragma once

#include <cstddef>

// Index whose element equals the key, or -1. keyCompare(i) is negative when the key sorts before
// element i, zero when equal, positive after.
template <typename KeyCompare>
int binarySearch(size_t size, KeyCompare keyCompare)
{
    long low = 0;
    long high = static_cast<long>(size) - 1;
    while (low <= high) {
        const long middle = (low + high) / 2;
        const int c = keyCompare(static_cast<size_t>(middle));
        if (c == 0)
            return static_cast<int>(middle);
        if (c < 0)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}
