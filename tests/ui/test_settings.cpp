#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QTreeView>

#include "app/settingsfile.h"
#include "lists/filelistview.h"
#include "tests/support/codepage.h"
#include "tests/support/faultyfs.h"
#include "tests/support/mainwindowaccess.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"
#include "widgets/errorreport.h"

using testing_support::MainWindowAccess;

using testing_support::readBytes;

namespace {

class WindowSettings : public ::testing::Test
{
protected:
    WindowSettings()
        : guard(modal)
    {
        widgets::setApplicationTitle(QStringLiteral("Bellwick"));
        app::setSettingsPath(tree.path("BELWIK.INI"));
    }
    ~WindowSettings() override { app::setSettingsPath(std::string()); }

    testing_support::ScriptedModal modal;
    platform::ScopedModal guard;
    testing_support::TempTree tree;
};

} // namespace

TEST_F(WindowSettings, FirstRunThenARestartWithChangedSizesAndWidths)
{
    {
        MainWindowAccess form;
        EXPECT_EQ(form.size(), QSize(780, 540));
        EXPECT_EQ(form.ListView1->height(), 200);
    }
    std::string first = readBytes(tree.path("BELWIK.INI"));
    EXPECT_EQ(first.substr(0, 9), "[Window]\n");
    EXPECT_EQ(std::count(first.begin(), first.end(), '='), 19);
    EXPECT_NE(
        first.find("WIDTH=780\nHEIGHT=540\nVIEWHEIGHT=200\nColumns10=160"), std::string::npos);
    {
        MainWindowAccess form;
        form.resize(700, 500);
        form.ListView1->resize(form.ListView1->width(), 150);
        form.ListView1->reportView()->header()->resizeSection(2, 77);
        form.ListView2->reportView()->header()->resizeSection(6, 33);
    }
    {
        MainWindowAccess form;
        EXPECT_EQ(form.size(), QSize(700, 500));
        EXPECT_EQ(form.ListView1->height(), 150);
        EXPECT_EQ(form.ListView1->reportView()->header()->sectionSize(2), 77);
        EXPECT_EQ(form.ListView2->reportView()->header()->sectionSize(2), 120);
        EXPECT_EQ(form.ListView2->reportView()->header()->sectionSize(6), 33);
    }
    // A restart without changes writes the same bytes: no growth by a frame.
    const std::string second = readBytes(tree.path("BELWIK.INI"));
    {
        MainWindowAccess form;
    }
    EXPECT_EQ(readBytes(tree.path("BELWIK.INI")), second);
    EXPECT_TRUE(modal.questions.empty());
}

TEST_F(WindowSettings, ValuesThatWouldLeaveTheWindowUnusableAreClamped)
{
    tree.file("BELWIK.INI",
        "[Window]\nTOP=2147483647\nLEFT=-2147483648\nWIDTH=-5\nHEIGHT=99999\nVIEWHEIGHT=100000\n"
        "Columns10=-3\nColumns21=1e9\nColumns22=$7FFFFFFF\n");
    MainWindowAccess form;
    EXPECT_GE(form.width(), form.minimumWidth());
    EXPECT_GT(form.width(), 0);
    EXPECT_LE(form.height(), 4096);
    EXPECT_LT(form.ListView1->height(), form.height());
    EXPECT_EQ(form.ListView1->reportView()->header()->sectionSize(0), 0);
    EXPECT_EQ(form.ListView2->reportView()->header()->sectionSize(1), 130);
    EXPECT_EQ(form.ListView2->reportView()->header()->sectionSize(2), 4096);
    EXPECT_EQ(form.currentSettings()[0], 32767);
    EXPECT_EQ(form.currentSettings()[1], -32767);
}

TEST_F(WindowSettings, UnwritableFileGetsTheMessageOnceAndStaysAsItWas)
{
    const std::string old = "[Window]\nWIDTH=700\n";
    tree.file("BELWIK.INI", old);
    testing_support::FaultyFileSystem fs;
    modal.answer(platform::IDOK);
    {
        platform::ScopedFileSystem installed(fs);
        MainWindowAccess form;
        fs.fail(testing_support::FaultyFileSystem::Call::Rename, EROFS);
    } // the window writes its settings as it goes
    ASSERT_EQ(modal.questions.size(), 1u);
    EXPECT_EQ(modal.questions[0].text,
        QString::fromStdString(tree.path("BELWIK.INI") + " に書き込めません."));
    EXPECT_EQ(readBytes(tree.path("BELWIK.INI")), old);
    EXPECT_EQ(testing_support::listNames(tree.root()), std::vector<std::string> {"BELWIK.INI"});
}

TEST_F(WindowSettings, CodePageIsKeptInItsOwnSectionOnlyOnceChosen)
{
    const testing_support::CodePageScope scope(platform::CodePage::Cp932);
    const auto choose = [](MainWindowAccess &form, platform::CodePage codePage) {
        for (QAction *item : form.CodePageItems) {
            if (item->data().toInt() == static_cast<int>(codePage))
                item->trigger();
        }
    };
    {
        MainWindowAccess form;
        choose(form, platform::CodePage::Cp1251);
        choose(form, platform::CodePage::Cp932); // back before the end: nothing to keep
    }
    const std::string untouched = readBytes(tree.path("BELWIK.INI"));
    EXPECT_EQ(untouched.find("[Text]"), std::string::npos);
    EXPECT_EQ(std::count(untouched.begin(), untouched.end(), '='), 19);
    {
        MainWindowAccess form;
        choose(form, platform::CodePage::Cp1252);
    }
    EXPECT_EQ(readBytes(tree.path("BELWIK.INI")), untouched + "[Text]\nCODEPAGE=1252\n");
    {
        MainWindowAccess form;
        EXPECT_EQ(platform::tagCodePage(), platform::CodePage::Cp1252);
        EXPECT_TRUE(form.CodePageItems[1]->isChecked());
        choose(form, platform::CodePage::Cp932);
    }
    // Once in the file the key follows every choice, CP932 included.
    EXPECT_EQ(readBytes(tree.path("BELWIK.INI")), untouched + "[Text]\nCODEPAGE=932\n");
    for (const char *stored : {"65001", "0xFDE9", "1250", "abc", ""}) {
        tree.file("BELWIK.INI", untouched + "[Text]\nCODEPAGE=" + stored + "\n");
        MainWindowAccess form;
        const platform::CodePage expected
            = std::string(stored) == "65001" || std::string(stored) == "0xFDE9"
            ? platform::CodePage::Utf8
            : platform::CodePage::Cp932;
        EXPECT_EQ(platform::tagCodePage(), expected) << stored;
    }
    EXPECT_TRUE(modal.questions.empty());
}
