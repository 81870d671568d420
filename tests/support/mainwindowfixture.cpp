#include "tests/support/mainwindowfixture.h"

#include <QTest>

#include "lists/filelistview.h"
#include "lists/row.h"
#include "tags/tagfile.h"
#include "widgets/errorreport.h"

namespace testing_support {

MainWindowTest::MainWindowTest()
{
    widgets::setApplicationTitle(QStringLiteral("Bellwick"));
    form.createDialogs();
}

std::vector<std::string> MainWindowTest::captions(const FileListView *list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list->rowCount(); ++i)
        names.emplace_back(list->row(i).caption());
    return names;
}

std::vector<std::string> MainWindowTest::paths(const FileListView *list)
{
    std::vector<std::string> result;
    for (int i = 0; i < list->rowCount(); ++i)
        result.push_back(list->row(i).path());
    return result;
}

std::string MainWindowTest::addFile(
    FileListView *list, const std::string &name, const std::string &bytes, mode_t mode)
{
    const std::string path = tree.file(name, bytes, mode);
    addRows(list, {path});
    return path;
}

void MainWindowTest::addRows(FileListView *list, const std::vector<std::string> &paths)
{
    std::vector<lists::Row> rows;
    for (const std::string &path : paths)
        rows.push_back(
            lists::makeRow(path, exists(path) ? tags::ReadTag(path) : tags::TTagRecord()));
    list->appendRows(std::move(rows));
}

void MainWindowTest::select(FileListView *list, std::initializer_list<int> rows)
{
    for (const int row : rows)
        list->setSelected(row, true);
}

void MainWindowTest::showWindow()
{
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form)) << "the main window did not become active";
}

} // namespace testing_support
