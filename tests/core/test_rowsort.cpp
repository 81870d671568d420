#include <gtest/gtest.h>

#include <random>

#include "lists/rowsort.h"

using lists::CompareSortText;
using namespace std::string_literals;

TEST(SortComparison, AwkwardCases)
{
    EXPECT_EQ(CompareSortText("abc", "ABC", 1), 0);
    EXPECT_EQ(CompareSortText("  abc ", "ABC", 1), 0);
    EXPECT_EQ(CompareSortText("ABC", "ABCD", 1), 0); // a prefix compares equal
    EXPECT_EQ(CompareSortText("ABCD", "ABC", -1), 0);
    EXPECT_LT(CompareSortText("", "a", 1), 0);  // blank first ascending
    EXPECT_GT(CompareSortText("", "a", -1), 0); // and last descending
    EXPECT_EQ(CompareSortText("", "  \x01", 1), 0);
    EXPECT_LT(CompareSortText("!", "", -1), 0);
    EXPECT_GT(CompareSortText("\x82\xa0"s, "Z", 1), 0); // bytes above 0x7F after letters
    EXPECT_LT(CompareSortText("1999", "2", 1), 0);      // years as text
    EXPECT_GT(CompareSortText("b", "A", 1), 0);
    EXPECT_LT(CompareSortText("b", "A", -1), 0);
}

TEST(MergeSort, StableAndWithinBoundsForAnyComparison)
{
    std::mt19937 random(7);
    for (int trial = 0; trial < 50; ++trial) {
        const std::size_t n = random() % 300;
        std::vector<std::size_t> items(n);
        for (std::size_t i = 0; i < n; ++i)
            items[i] = i;
        // An inconsistent comparison: random answers, not even antisymmetric.
        lists::mergeSortIndices(
            items, [&](std::size_t, std::size_t) { return static_cast<int>(random() % 3) - 1; });
        std::vector<std::size_t> sorted = items;
        std::sort(sorted.begin(), sorted.end());
        for (std::size_t i = 0; i < n; ++i)
            ASSERT_EQ(sorted[i], i); // a permutation: nothing lost, nothing doubled
    }
}

TEST(MergeSort, RowsByColumnKeepTheOrderOfEqualRows)
{
    std::vector<lists::Row> rows(6);
    const char *artists[] = {"b", "ABC", "a", "abcd", "", "B"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].subItem(lists::SubItem::Path) = std::to_string(i);
        rows[i].subItem(lists::SubItem::Artist) = artists[i];
    }
    const lists::Column artist = lists::Column::Artist;
    // "ABC", "a", "abcd" all compare equal with each other: they keep their order.
    EXPECT_EQ(lists::sortedOrder(rows, artist, 1), (std::vector<std::size_t> {4, 1, 2, 3, 0, 5}));
    EXPECT_EQ(lists::sortedOrder(rows, artist, -1), (std::vector<std::size_t> {0, 5, 1, 2, 3, 4}));
    EXPECT_EQ(lists::sortedOrder(rows, lists::Column::FileName, -1),
        (std::vector<std::size_t> {5, 4, 3, 2, 1, 0}));
}
