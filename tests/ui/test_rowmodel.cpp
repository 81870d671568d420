// The row model under Qt's model checker while its rows are appended, removed in batches,
// sorted and reset, with both views of a list attached to it.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QTreeView>

#include "lists/filelistview.h"
#include "lists/row.h"
#include "lists/rowmodel.h"
#include "lists/rowsort.h"

namespace {

// The checker's findings: in its Warning mode it reports through the "qt.modeltest" category.
std::vector<std::string> checkerReports;
QtMessageHandler otherHandler = nullptr;

void collectCheckerReports(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.category && std::strcmp(context.category, "qt.modeltest") == 0) {
        if (type != QtDebugMsg)
            checkerReports.push_back(text.toStdString());
        return;
    }
    otherHandler(type, context, text);
}

lists::Row row(const std::string &name, const std::string &title = {})
{
    lists::Row r;
    r.subItem(lists::SubItem::Title) = title;
    r.subItem(lists::SubItem::Path) = "/music/" + name;
    return r;
}

std::vector<lists::Row> rows(std::initializer_list<const char *> names)
{
    std::vector<lists::Row> result;
    for (const char *name : names)
        result.push_back(row(name));
    return result;
}

class RowModelChecked : public ::testing::Test
{
protected:
    RowModelChecked()
    {
        checkerReports.clear();
        otherHandler = qInstallMessageHandler(collectCheckerReports);
        checker = std::make_unique<QAbstractItemModelTester>(
            &model, QAbstractItemModelTester::FailureReportingMode::Warning);
    }
    ~RowModelChecked() override
    {
        checker.reset();
        qInstallMessageHandler(otherHandler);
    }
    void TearDown() override
    {
        for (const std::string &report : checkerReports)
            ADD_FAILURE() << "model checker: " << report;
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const lists::Row &r : model.rows())
            result.emplace_back(r.caption());
        return result;
    }

    FileListView list {FileListView::Role::ResultList}; // the model with both views on it
    RowModel &model = *list.model();
    std::unique_ptr<QAbstractItemModelTester> checker;
};

using Names = std::vector<std::string>;

} // namespace

TEST_F(RowModelChecked, AppendsOfNoRowOneRowAndManyRows)
{
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.appendRows({});
    EXPECT_EQ(inserted.count(), 0); // an empty insertion would be an invalid range
    model.appendRows(rows({"a"}));
    std::vector<lists::Row> many;
    for (int i = 0; i < 1000; ++i)
        many.push_back(row("m" + std::to_string(i)));
    model.appendRows(std::move(many));
    ASSERT_EQ(model.rowCount(), 1001);
    EXPECT_EQ(model.row(0).caption(), "a");
    EXPECT_EQ(model.row(1000).caption(), "m999");
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 1);
    EXPECT_EQ(inserted[1][2].toInt(), 1000);
}

TEST_F(RowModelChecked, BatchRemovalTakesTheFlaggedRowsAndKeepsTheOrderOfTheRest)
{
    model.appendRows(rows({"a", "b", "c", "d", "e", "f"}));
    model.removeFlaggedRows(std::vector<bool> {true, false, true, false, false, true});
    EXPECT_EQ(names(), (Names {"b", "d", "e"}));
    model.removeFlaggedRows(
        std::vector<bool> {false, true}); // shorter than the list: the rest stays
    EXPECT_EQ(names(), (Names {"b", "e"}));
    model.removeFlaggedRows(
        std::vector<bool> {false, false, true, true}); // longer: the extra is unused
    EXPECT_EQ(names(), (Names {"b", "e"}));
    model.removeFlaggedRows(std::vector<bool> {});
    EXPECT_EQ(names(), (Names {"b", "e"}));
    model.removeFlaggedRows(std::vector<bool> {true, true});
    EXPECT_TRUE(names().empty());
    model.removeFlaggedRows(std::vector<bool> {true});
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(RowModelChecked, CellChangesReachTheCellsColumn)
{
    model.appendRows(rows({"a", "b"}));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setSubItem(1, lists::SubItem::Title, "T");
    model.setSubItem(0, lists::SubItem::Genre, "Blues");
    model.setSubItem(0, lists::SubItem::Path, "/music/z"); // a rename: the file-name column
    ASSERT_EQ(changed.count(), 3);
    EXPECT_EQ(changed[0][0].toModelIndex(), model.index(1, 1));
    EXPECT_EQ(changed[1][0].toModelIndex(), model.index(0, 5));
    EXPECT_EQ(changed[2][0].toModelIndex(), model.index(0, 0));
    EXPECT_EQ(model.data(model.index(1, 1)).toString(), QStringLiteral("T"));
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QStringLiteral("z"));
}

// After a header click the views' current row (the keyboard's place, the anchor of
// Shift+click) must stay on its file, not on its row number.
TEST_F(RowModelChecked, ASortTakesPersistentIndexesAlongWithTheirRows)
{
    // The views keep their current row as a persistent index, as any user of the model may.
    model.appendRows(rows({"d", "b", "a", "c"}));
    const QPersistentModelIndex b(model.index(1, 3));
    const QPersistentModelIndex c(model.index(3, 0));
    list.selectionModel()->setCurrentIndex(model.index(0, 0), QItemSelectionModel::NoUpdate);
    list.setSelected(1, true);
    list.sortRows(lists::Column::FileName, 1);
    ASSERT_EQ(names(), (Names {"a", "b", "c", "d"}));
    EXPECT_EQ(b.row(), 1);
    EXPECT_EQ(b.column(), 3);
    EXPECT_EQ(c.row(), 2);
    EXPECT_EQ(list.reportView()->currentIndex().row(), 3);
    EXPECT_EQ(list.selectionFlags(), (std::vector<bool> {false, true, false, false}));
}

TEST_F(RowModelChecked, ARandomMixOfChangesAgreesWithAPlainList)
{
    // The same changes on the list and on a vector of rows with their selected flags.
    std::mt19937 random(7);
    const auto pick = [&random](int n) { return static_cast<int>(random() % n); };
    std::vector<lists::Row> expected;
    std::vector<bool> selected;
    int made = 0;
    using Style = FileListView::ViewStyle;
    for (int step = 0; step < 1500; ++step) {
        switch (pick(10)) {
        case 0:
        case 1:
        case 2: {
            std::vector<lists::Row> added;
            for (int n = pick(8); n > 0; --n) {
                // Titles that compare equal as prefixes, blank ones, and case twins.
                const char *titles[] = {"", "AB", "abc", " ab ", "B", "\x88\xa4"};
                added.push_back(row(std::to_string(made++ % 37), titles[pick(6)]));
            }
            expected.insert(expected.end(), added.begin(), added.end());
            selected.resize(expected.size(), false);
            list.appendRows(std::move(added));
            break;
        }
        case 3: {
            std::vector<bool> flags(expected.size());
            for (std::size_t i = 0; i < flags.size(); ++i)
                flags[i] = pick(4) == 0;
            list.setSelectionFlags(flags);
            selected = flags;
            break;
        }
        case 4: {
            std::vector<lists::Row> kept;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                if (!selected[i])
                    kept.push_back(expected[i]);
            }
            expected = std::move(kept);
            selected.assign(expected.size(), false);
            list.removeSelectedRows();
            break;
        }
        case 5: {
            std::vector<bool> flags(expected.size() + static_cast<std::size_t>(pick(3)));
            for (std::size_t i = 0; i < flags.size(); ++i)
                flags[i] = pick(3) == 0;
            std::vector<lists::Row> kept;
            for (std::size_t i = 0; i < expected.size(); ++i) {
                if (!flags[i])
                    kept.push_back(expected[i]);
            }
            expected = std::move(kept);
            selected.assign(expected.size(), false);
            list.selectionModel()->clearSelection();
            model.removeFlaggedRows(flags);
            break;
        }
        case 6:
        case 7: {
            const auto key = static_cast<lists::Column>(pick(3));
            const int order = pick(2) ? 1 : -1;
            const std::vector<std::size_t> order_ = lists::sortedOrder(expected, key, order);
            std::vector<lists::Row> sorted;
            std::vector<bool> flags;
            for (const std::size_t old : order_) {
                sorted.push_back(expected[old]);
                flags.push_back(selected[old]);
            }
            expected = std::move(sorted);
            selected = std::move(flags);
            list.sortRows(key, order);
            break;
        }
        case 8:
            if (pick(5) == 0) {
                expected.clear();
                selected.clear();
                list.clear();
            } else {
                list.setViewStyle(static_cast<Style>(pick(4)));
            }
            break;
        default:
            if (!expected.empty()) {
                const int at = pick(static_cast<int>(expected.size()));
                const std::string title = "t" + std::to_string(step);
                expected[static_cast<std::size_t>(at)].subItem(lists::SubItem::Title) = title;
                model.setSubItem(at, lists::SubItem::Title, title);
            }
            break;
        }
        ASSERT_EQ(model.rowCount(), static_cast<int>(expected.size())) << "step " << step;
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(model.rows()[i].subItems, expected[i].subItems) << "step " << step;
        ASSERT_EQ(list.selectionFlags(), selected) << "step " << step;
        ASSERT_TRUE(checkerReports.empty()) << "step " << step;
    }
}
