// List operations on 100,000 rows, offscreen, each timed from the action to the repainted
// list; the sort against std::stable_sort over the same rows' precomputed keys.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QPushButton>
#include <QTreeView>

#include "bench/benchtree.h"
#include "bench/listtiming.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "lists/rowsort.h"
#include "tests/support/mainwindowaccess.h"

using testing_support::MainWindowAccess;

namespace {

std::vector<lists::Row> makeRows(std::size_t n)
{
    std::vector<lists::Row> rows(n);
    unsigned state = 12345;
    const auto next = [&state] { return state = state * 1103515245u + 12345u; };
    for (std::size_t i = 0; i < n; ++i) {
        lists::Row &row = rows[i];
        const std::string name = "track" + std::to_string(next() % 100000) + ".mp3";
        row.subItem(lists::SubItem::Title)
            = (next() % 3 ? "Song " : "\x88\xa4 ") + std::to_string(next() % 50000);
        row.subItem(lists::SubItem::Artist) = "Artist " + std::to_string(next() % 2000);
        row.subItem(lists::SubItem::Path) = "/music/album" + std::to_string(i / 100) + "/" + name;
    }
    return rows;
}

int met = 0, goals = 0;

void figure(const char *name, double seconds, double goal)
{
    ++goals;
    char text[64];
    std::snprintf(text, sizeof text, "< %.0f ms", goal * 1000);
    met += bench::report(name, seconds * 1000, "ms", text, seconds < goal);
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const bench::TemporaryStateFolders states; // tag writes never reach the user's journal
    QApplication app(argc, argv);
    const std::size_t n = 100000;
    MainWindowAccess form;
    form.resize(1000, 800);
    form.show();
    form.ListView1->appendRows(makeRows(n));
    QApplication::processEvents();
    FileListView *list = form.ListView1;

    // Reference: std::stable_sort over precomputed normalised keys with std::string's <.
    const auto title = static_cast<std::size_t>(lists::SubItem::Title);
    long long start = bench::nowNanoseconds();
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        keys.emplace_back(lists::sortKeyText(list->row(static_cast<int>(i)).subItems[title]), i);
    std::stable_sort(
        keys.begin(), keys.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    const double reference = bench::secondsSince(start);

    start = bench::nowNanoseconds();
    const std::vector<std::size_t> order
        = lists::sortedOrder(list->model()->rows(), lists::Column::Title, 1);
    const double sortOnly = bench::secondsSince(start);
    bench::report("stable_sort_reference", reference * 1000, "ms", "reference", true);
    figure("sort_itself", sortOnly, 0.15);
    ++goals;
    met += bench::report(
        "sort_vs_reference", sortOnly / reference, "x", "<= 1.5", sortOnly <= 1.5 * reference);

    figure("sort_ascending",
        bench::timedOnList(list, [&] { form.ListView1ColumnClick(list, title + 1); }), 0.5);
    figure("sort_reversal",
        bench::timedOnList(list, [&] { form.ListView1ColumnClick(list, title + 1); }), 0.5);
    figure("select_all", bench::timedOnList(list, [&] { form.Button11Click(form.Button12); }), 0.5);
    std::vector<bool> alternate(n);
    for (std::size_t i = 0; i < n; i += 2)
        alternate[i] = true;
    list->setSelectionFlags(alternate);
    figure("invert_alternate", bench::timedOnList(list, [&] { form.Button10Click(form.Button13); }),
        0.5);
    figure("remove_50000_alternate", bench::timedOnList(list, [&] { list->removeSelectedRows(); }),
        0.5);
    list->appendRows(makeRows(n / 2));
    list->selectAll();
    figure("transfer_100000",
        bench::timedOnList(form.ListView2, [&] { form.ListView2DragDrop(form.ListView2, list); }),
        0.5);
    std::printf("rows: result %d, work %d\n", list->rowCount(), form.ListView2->rowCount());
    std::printf("goals met: %d/%d\n", met, goals);
    return 0;
}
