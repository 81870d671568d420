#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QString>

#include "platform/modal.h"
#include "tests/support/mainwindowaccess.h"
#include "tests/support/scopedenv.h"
#include "tests/support/scriptedmodal.h"
#include "tests/support/testtree.h"

class FileListView;

namespace testing_support {

// A caption or message as the window shows it, from the UTF-8 of the test's source.
inline QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// The main window as widget tests drive it: the scripted modal interface installed, a
// temporary tree, the application title set, and the window with its five dialogs made.
// Fixtures of the window's behaviour derive from it and add what their cases share.
class MainWindowTest : public ::testing::Test
{
protected:
    MainWindowTest();

    // The rows' captions and full paths, in list order.
    static std::vector<std::string> captions(const FileListView *list);
    static std::vector<std::string> paths(const FileListView *list);

    // Writes a file into the tree and appends its row to the list, the tag read from the
    // file as a scan reads it. Gives the file's full path.
    std::string addFile(
        FileListView *list, const std::string &name, const std::string &bytes, mode_t mode = 0644);
    // Appends a row per path: the tag read from the file, or empty tag cells when there is no
    // file (a row whose file has gone since).
    static void addRows(FileListView *list, const std::vector<std::string> &paths);
    // Adds the given rows to the list's selection.
    static void select(FileListView *list, std::initializer_list<int> rows);

    // Shows the window and waits until it is active, for cases that need focus, keys and
    // the mouse.
    void showWindow();

    ScriptedModal modal;
    platform::ScopedModal modalGuard {modal};
    TempTree tree;
    // Each case's own tag journal, made before the window opens it: no case sees another's
    // batches in its edit menu.
    TempTree journalTree;
    ScopedEnv stateHome {"XDG_STATE_HOME", journalTree.path("state")};
    ScopedEnv cacheHome {"XDG_CACHE_HOME", journalTree.path("cache")};
    MainWindowAccess form;
};

} // namespace testing_support
