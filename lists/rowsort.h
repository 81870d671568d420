#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "lists/row.h"

namespace lists {

// The sort text of a cell: bytes of 0x20 or less stripped from both ends, ASCII letters
// folded to upper case, and a blank text made " ".
std::string sortKeyText(std::string_view text);

// Compares two texts as the lists order them: normalised as above, then unsigned bytes up
// to the shorter length. A text that is a prefix of the other compares equal (no
// tie-break by length), so this is not a strict ordering. Gives +order when a sorts after
// b, -order when before, 0 when equal.
int CompareSortText(std::string_view a, std::string_view b, int order);
// The same on texts already normalised by sortKeyText.
int compareSortKeys(std::string_view a, std::string_view b);

// The new order of rows sorted by the texts of column `sortKey` and `order` (+1 ascending, -1
// descending): element i is the old index of the new row i. A merge sort of our own: it ends within
// bounds for any comparison results, and rows that compare equal keep their order.
std::vector<std::size_t> sortedOrder(const std::vector<Row> &rows, Column sortKey, int order);

// Stable merge sort of indices by a three-way comparison (positive: a after b).
template<typename Compare> void mergeSortIndices(std::vector<std::size_t> &items, Compare compare)
{
    std::vector<std::size_t> buffer(items.size());
    std::size_t *from = items.data();
    std::size_t *to = buffer.data();
    const std::size_t n = items.size();
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t left = 0; left < n; left += 2 * width) {
            const std::size_t mid = std::min(left + width, n);
            const std::size_t right = std::min(left + 2 * width, n);
            std::size_t i = left, j = mid, k = left;
            // Take from the right run only when its head sorts strictly before the left's.
            while (i < mid && j < right)
                to[k++] = compare(from[i], from[j]) > 0 ? from[j++] : from[i++];
            while (i < mid)
                to[k++] = from[i++];
            while (j < right)
                to[k++] = from[j++];
        }
        std::swap(from, to);
    }
    if (from != items.data())
        std::copy(from, from + n, items.data());
}

} // namespace lists
