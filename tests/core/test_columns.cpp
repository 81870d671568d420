// The table of columns against the tag codec, and the cells a row gets after a write.

#include <gtest/gtest.h>

#include "cli/clioptions.h"
#include "lists/row.h"

using namespace std::string_literals;

TEST(Columns, TagFieldsAreTheCodecsAndEveryNameFindsItsColumn)
{
    for (const lists::ColumnSpec &spec : lists::Columns) {
        SCOPED_TRACE(spec.name);
        EXPECT_EQ(lists::columnNamed(spec.name), spec.column);
        if (spec.tagPart == lists::TagPart::Text) {
            EXPECT_EQ(tags::spanOf(spec.textField).offset, spec.span.offset);
            EXPECT_EQ(tags::spanOf(spec.textField).width, spec.span.width);
        }
    }
    EXPECT_EQ(lists::columnNamed("Title"), std::nullopt); // names are lower case
    EXPECT_EQ(lists::columnNamed("path"), std::nullopt);
}

// Restored files show their tag as the scan shows a tag read from a file.
TEST(Columns, ATagsCellsAreTheScannedRowsTexts)
{
    const auto record = [](std::string title, std::string comment, std::uint8_t genre) {
        tags::TTagRecord tag {"TAG", title, "Artist  ", "", "1999", comment, genre};
        return tag;
    };
    const tags::TTagRecord cases[] = {
        {}, // no tag
        record(" \tPadded\0\0"s, "C"s + std::string(29, ' '), 17),
        record("A\0\0B"s, "Track comment"s + std::string(15, '\0') + "\0\x07"s, 255),
        record("x", "y", 200), // a code with no name
    };
    for (const tags::TTagRecord &tag : cases) {
        const lists::Row row = lists::makeRow("/m/a.mp3", tag);
        const lists::CellChanges cells = lists::cellsAfter(lists::shownMerge(tag));
        ASSERT_EQ(cells.size(), 6u);
        for (const auto &[item, text] : cells)
            EXPECT_EQ(text, row.subItem(item)) << static_cast<int>(item);
    }
}

TEST(Columns, TheCompanionNamesColumnsAndFieldsInItsMessages)
{
    EXPECT_EQ(cli::columnNames(false), "name, title, artist, album, year, genre or comment");
    EXPECT_EQ(cli::columnNames(true), "title, artist, album, year, genre or comment");
}
