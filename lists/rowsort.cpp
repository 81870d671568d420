#include "lists/rowsort.h"

#include <algorithm>
#include <cstring>

#include "platform/bytetext.h"

namespace lists {

std::string sortKeyText(std::string_view text)
{
    std::string key = platform::asciiUpper(platform::trimmedView(text));
    if (key.empty())
        key = " ";
    return key;
}

int compareSortKeys(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n); // memcmp is unsigned
    return c > 0 ? 1 : (c < 0 ? -1 : 0);
}

int CompareSortText(std::string_view a, std::string_view b, int order)
{
    return compareSortKeys(sortKeyText(a), sortKeyText(b)) * order;
}

std::vector<std::size_t> sortedOrder(const std::vector<Row> &rows, Column sortKey, int order)
{
    // The comparison depends only on each text's normalised form: compute it once per row.
    std::vector<std::string> keys;
    keys.reserve(rows.size());
    for (const Row &row : rows)
        keys.push_back(sortKeyText(row.columnText(sortKey)));
    std::vector<std::size_t> indices(rows.size());
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = i;
    mergeSortIndices(indices, [&keys, order](std::size_t a, std::size_t b) {
        return compareSortKeys(keys[a], keys[b]) * order;
    });
    return indices;
}

} // namespace lists
