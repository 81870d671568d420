// What the status line shows while a long operation runs, and a close request meanwhile.

#include "app/statusprogress.h"
#include "tests/ui/desktopwindow.h"

using namespace desktop_window;
using Progress = DesktopWindow;

TEST(StatusProgress, TextNamesTheStepTheCountAndThePath)
{
    EXPECT_EQ(app::StatusProgress::text(text("コピー中"), {3, 10, "/music/a.mp3"}),
        text("コピー中 3 / 10: /music/a.mp3"));
    // A name that is not UTF-8 is shown, never dropped.
    EXPECT_FALSE(app::StatusProgress::text(text("削除中"), {1, 1, "/m/\xff.mp3"})
                     .endsWith(QStringLiteral(": /m/")));
}

TEST_F(Progress, ACopyShowsItsProgressDefersACloseAndRestoresTheStatusLine)
{
    addWorkRows({"src/a.mp3", "src/b.mp3", "src/c.mp3"});
    const std::string target = tree.folder("dst");
    form.setProgressStepInterval(0);
    form.StatusBar1->setText(QStringLiteral("before"));
    bool closedDuringRun = false;
    PaintWatch watch(form.StatusBar1, [&] {
        // A close request while the copy runs waits for its end.
        form.close();
        closedDuringRun = !form.isVisible();
    });
    chooseFolder(target);
    form.Button3->click();
    EXPECT_FALSE(closedDuringRun);
    EXPECT_EQ(testing_support::listNames(target).size(), 3u);
    EXPECT_FALSE(form.isVisible()); // closed once the copy had ended
    EXPECT_EQ(form.StatusBar1->text(), QStringLiteral("before"));
    const std::vector<QString> expected
        = {text("コピー中 1 / 3: ") + QString::fromStdString(tree.path("src/a.mp3")),
            text("コピー中 2 / 3: ") + QString::fromStdString(tree.path("src/b.mp3")),
            text("コピー中 3 / 3: ") + QString::fromStdString(tree.path("src/c.mp3"))};
    EXPECT_EQ(watch.texts, expected);
}

TEST_F(Progress, MoveAndDeleteShowTheirOwnProgress)
{
    form.setProgressStepInterval(0);
    PaintWatch watch(form.StatusBar1);
    addWorkRows({"src/a.mp3"});
    chooseFolder(tree.folder("dst"));
    form.Button4->click();
    addWorkRows({"src/b.mp3"});
    form.ListView2->selectAll();
    modal.answer(platform::IDYES);
    form.Button5->click();
    ASSERT_EQ(watch.texts.size(), 2u);
    EXPECT_EQ(
        watch.texts[0], text("移動中 1 / 1: ") + QString::fromStdString(tree.path("src/a.mp3")));
    EXPECT_EQ(
        watch.texts[1], text("削除中 1 / 1: ") + QString::fromStdString(tree.path("src/b.mp3")));
    EXPECT_TRUE(form.StatusBar1->text().isEmpty());
    EXPECT_TRUE(form.isVisible());
}

TEST_F(Progress, ProgressIsShownAtMostOncePerStep)
{
    PaintWatch watch(form.StatusBar1);
    app::StatusProgress progress(*form.StatusBar1, text("削除中"), std::chrono::hours(1));
    for (std::size_t i = 1; i <= 50; ++i)
        progress.progress({i, 50, "/x.mp3"});
    EXPECT_EQ(watch.texts.size(), 1u);
    EXPECT_EQ(form.StatusBar1->text(), text("削除中 1 / 50: /x.mp3"));
}

TEST_F(Progress, BulkTagSettingShowsItsProgressAndRestoresTheStatusLine)
{
    std::vector<std::string> paths;
    for (const char *name : {"a.mp3", "b.mp3"}) {
        paths.push_back(tree.file(name, testing_support::audioBytes(100, 1)));
        form.ListView1->appendRows({lists::makeRow(paths.back(), tags::ReadTag(paths.back()))});
    }
    form.ListView1->selectAll();
    form.setProgressStepInterval(0);
    form.StatusBar1->setText(QStringLiteral("before"));
    PaintWatch watch(form.StatusBar1);
    modal.onDialog([](QDialog *d) {
        auto *bulk = qobject_cast<TForm6 *>(d);
        bulk->Edit2->setText(QStringLiteral("New"));
        bulk->Edit2->setModified(true);
        bulk->Button1->click();
        return bulk->result();
    });
    form.N17->trigger();
    const std::vector<QString> expected
        = {text("タグ書き込み中 1 / 2: ") + QString::fromStdString(paths[0]),
            text("タグ書き込み中 2 / 2: ") + QString::fromStdString(paths[1])};
    EXPECT_EQ(watch.texts, expected);
    EXPECT_EQ(form.StatusBar1->text(), QStringLiteral("before"));
    EXPECT_EQ(form.ListView1->row(1).subItem(lists::SubItem::Title), "New");
}
