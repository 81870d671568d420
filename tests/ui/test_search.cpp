#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <tuple>

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "app/Unit1.h"
#include "lists/filelistview.h"
#include "search/Unit4.h"
#include "search/searchmatch.h"
#include "search/searchstep.h"
#include "tests/support/mainwindowfixture.h"
#include "tests/support/scriptedmodal.h"

namespace {

lists::Row row(const std::string &name, const std::string &title, const std::string &genre = {})
{
    lists::Row r;
    r.subItem(lists::SubItem::Path) = "/music/" + name;
    r.subItem(lists::SubItem::Title) = title;
    r.subItem(lists::SubItem::Genre) = genre;
    return r;
}

class Search : public testing_support::MainWindowTest
{
protected:
    Search()
    {
        form.ListView1->appendRows({row("a.mp3", "LOVE SONG", "Pop"), row("b.mp3", "Glove"),
            row("c.mp3", "\x88\xa4\x82\xcc\x89\xcc", "Pop")});
    }

    // The next search dialog gets `fill` done to it, then the button or key given.
    void onSearch(std::function<void(TForm4 *)> fill)
    {
        modal.onDialog([fill](QDialog *d) {
            auto *dialog = qobject_cast<TForm4 *>(d);
            EXPECT_EQ(dialog->Edit1->text(), QString()); // every launch starts empty
            EXPECT_EQ(dialog->ComboBox3->currentIndex(), 0);
            fill(dialog);
            return dialog->result();
        });
    }
};

} // namespace

TEST_F(Search, MatchingRowsAreSelectedAndAddedToTheWorkList)
{
    onSearch([](TForm4 *d) {
        d->Edit6->setText(QStringLiteral("love"));
        d->Button1->click();
    });
    form.Button2Click(form.Button2);
    EXPECT_EQ(form.ListView1->selectionFlags(), (std::vector<bool> {true, true, false}));
    ASSERT_EQ(form.ListView2->rowCount(), 2);
    EXPECT_EQ(form.ListView2->row(1).path(), "/music/b.mp3");
    // Again: rows already in the work list are added again.
    onSearch([](TForm4 *d) {
        d->Edit6->setText(QString::fromUtf8("愛")); // matches the Shift-JIS title
        d->ComboBox1->setCurrentText(QStringLiteral("Pop"));
        d->ComboBox2->setCurrentIndex(1);
        d->Button1->click();
    });
    form.Button2Click(form.Button2);
    EXPECT_EQ(form.ListView1->selectionFlags(), (std::vector<bool> {false, false, true}));
    EXPECT_EQ(form.ListView2->rowCount(), 3);
}

TEST_F(Search, MarkingOnlySelects)
{
    onSearch([](TForm4 *d) {
        d->ComboBox1->setCurrentText(QStringLiteral("Pop"));
        d->ComboBox3->setCurrentIndex(1);
        d->Button1->click();
    });
    form.Button2Click(form.Button2);
    EXPECT_EQ(form.ListView1->selectionFlags(), (std::vector<bool> {true, false, true}));
    EXPECT_EQ(form.ListView2->rowCount(), 0);
}

TEST_F(Search, CancelEscapeAndCloseBoxKeepTheSelectionAndAddNothing)
{
    form.ListView1->setSelected(1, true);
    onSearch([](TForm4 *d) {
        d->Edit6->setText(QStringLiteral("love"));
        d->Button2->click();
    });
    form.Button2Click(form.Button2);
    onSearch([](TForm4 *d) {
        d->Edit6->setText(QStringLiteral("love"));
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(d, &escape);
    });
    form.Button2Click(form.Button2);
    onSearch([](TForm4 *d) {
        d->show();
        d->close();
    });
    form.Button2Click(form.Button2);
    EXPECT_EQ(form.ListView1->selectionFlags(), (std::vector<bool> {false, true, false}));
    EXPECT_EQ(form.ListView2->rowCount(), 0);
}

TEST_F(Search, EnterStartsTheSearchAndAnEmptyListEndsAtOnce)
{
    EXPECT_TRUE(form.Form4->Button1->isDefault());
    EXPECT_EQ(form.Form4->ComboBox1->count(), 149);
    form.ListView1->clear();
    onSearch([](TForm4 *d) {
        d->ComboBox2->setCurrentIndex(1);
        d->Button1->click();
    });
    form.Button2Click(form.Button2);
    EXPECT_EQ(form.ListView2->rowCount(), 0);
}

TEST(SearchStep, SelectsExactlyTheMatchingRowsOfItsListWithoutAWindow)
{
    FileListView list(FileListView::Role::ResultList);
    list.appendRows({row("a.mp3", "LOVE SONG", "Pop"), row("b.mp3", "Glove"), row("c.mp3", "x")});
    list.setSelected(2, true);
    search::ListSearch step(list);
    search::Conditions conditions;
    conditions.text(tags::TextField::Title) = std::string("love");
    step.run(conditions);
    EXPECT_EQ(list.selectionFlags(), (std::vector<bool> {true, true, false}));

    // The dialog's start button runs its step with the conditions the boxes hold.
    TForm4 dialog(nullptr, step);
    dialog.Edit1->setText(QStringLiteral("c.mp3"));
    dialog.Button1->click();
    EXPECT_EQ(list.selectionFlags(), (std::vector<bool> {false, false, true}));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(SearchDialog, GivesTheSearchThatClosedItAndStartsEmptyEachTime)
{
    // A step that fails on the title "fail": the dialog then stays open until its close box.
    struct Step final : search::ISearchStep
    {
        void run(const search::Conditions &c) override
        {
            if (c.text(tags::TextField::Title) == "fail")
                throw std::runtime_error("failed");
        }
    } step;
    // The title, the "検索後の処理" index, "検索開始" (else "キャンセル"), and what it gives:
    // nothing when cancelled, else whether the rows go to the work list.
    const std::tuple<const char *, int, bool, std::optional<bool>> cases[]
        = {{"love", 0, true, true}, {"", 1, true, false}, {"love", 0, false, std::nullopt},
            {"fail", 0, true, std::nullopt}};
    testing_support::ScriptedModal modal;
    const platform::ScopedModal modalGuard(modal);
    modal.unqueuedAnswer = [](const auto &) { return platform::IDOK; };
    TForm4 dialog(nullptr, step);
    for (const auto &[title, after, start, add] : cases) {
        modal.onDialog([&, title = title, after = after, start = start](QDialog *d) {
            auto *search = static_cast<TForm4 *>(d);
            search->setResult(0); // as exec() starts
            EXPECT_EQ(search->Edit6->text(), QString());
            EXPECT_EQ(search->ComboBox3->currentIndex(), 0);
            search->Edit6->setText(QString::fromUtf8(title));
            search->ComboBox3->setCurrentIndex(after);
            (start ? search->Button1 : search->Button2)->click();
            if (search->result() != QDialog::Accepted)
                search->reject();
            return search->result();
        });
        const std::optional<TForm4::Choice> choice = dialog.ask();
        ASSERT_EQ(choice.has_value(), add.has_value()) << title;
        if (choice) {
            EXPECT_EQ(choice->conditions.text(tags::TextField::Title), std::string(title));
            EXPECT_EQ(choice->addToWorkList, *add);
        }
    }
}
