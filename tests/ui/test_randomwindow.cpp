// A seeded random walk through the whole main window: its buttons, menu and popup entries,
// header clicks, selections, clicks on rows, keys, the split bar and the window's size, and
// every dialog filled in and closed at random, with the scripted modal interface answering
// every question at random, over a temporary tree of a few hundred small audio files. After
// every action no file's audio may be gone unless a confirmed delete or overwrite took it, no
// row may name a path that is neither there nor logged as moved or deleted, and the window
// must be usable again.
//
// A seed gives the same walk on every run. By default it runs 8000 actions or 60 seconds,
// whichever ends first, and prints the seed and the number of actions done. By hand:
// BELLWICK_RANDOM_SEED picks another seed, BELLWICK_RANDOM_ACTIONS and
// BELLWICK_RANDOM_SECONDS make the walk longer (with the action count set, time is unbounded
// unless the seconds are set too), and BELLWICK_RANDOM_VERBOSE=1 prints every action as it
// runs, for a walk that crashes.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include "app/Unit5.h"
#include "editing/Unit3.h"
#include "editing/Unit6.h"
#include "editing/exportpreview.h"
#include "editing/tagfieldedit.h"
#include "fileops/Unit2.h"
#include "lists/filelistview.h"
#include "lists/row.h"
#include "platform/paths.h"
#include "platform/scopeguard.h"
#include "platform/textcodec.h"
#include "search/Unit4.h"
#include "tags/id3v2layout.h"
#include "tests/support/mainwindowfixture.h"
#include "widgets/BrowsDlg.h"
#include "widgets/SplitPnl.h"
#include "widgets/URLLabel.h"
#include "widgets/folderchooser.h"
#include "widgets/previewdialog.h"

using namespace std::string_literals;
using testing_support::readBytes;
using testing_support::ScriptedModal;
using testing_support::text;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t DefaultSeed = 20240615;
constexpr long DefaultActions = 8000;
constexpr double DefaultSeconds = 60;
// Bounds that keep each action cheap: beyond them scans and copies are cancelled at the
// folder chooser and searches only mark.
constexpr int MaxResultRows = 1500;
constexpr int MaxWorkRows = 600;
constexpr std::size_t MaxTreeFiles = 1500;
// Below this many files, deletes have thinned the tree out and new files come in.
constexpr std::size_t MinTreeFiles = 200;
// How many of the last actions a failure shows.
constexpr std::size_t LogLength = 80;
constexpr int LinesPerAction = 12;

// The offscreen platform says at every popup and dialog that it cannot raise windows or grab
// the keyboard; those lines are dropped, the rest passed on.
QtMessageHandler otherHandler = nullptr;

void dropPlatformNotes(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        otherHandler(type, context, message);
}

long long envNumber(const char *name, long long fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? std::strtoll(value, nullptr, 0) : fallback;
}

// A path for the log: relative to the tree, bytes outside printable ASCII escaped.
std::string shown(const std::string &path, const std::string &root)
{
    std::string relative
        = path.compare(0, root.size(), root) == 0 ? path.substr(root.size()) : path;
    if (relative.empty())
        relative = "/";
    std::string out;
    for (const unsigned char c : relative) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out.size() > 60 ? out.substr(0, 40) + "..." + out.substr(out.size() - 17) : out;
}

// The parts of a file's bytes that may be the audio of a file of the starting tree: all of
// it (a file without a tag) and all but its last 128 bytes when those are a tag.
std::vector<std::string> audioParts(const std::string &bytes)
{
    std::vector<std::string> parts {bytes};
    if (bytes.size() >= 128 && bytes.compare(bytes.size() - 128, 3, "TAG") == 0)
        parts.push_back(bytes.substr(0, bytes.size() - 128));
    // An ID3v2 tag the export put before the audio is no audio either.
    if (const std::size_t head = tags::id3v2TagSize(bytes); head > 0 && head <= bytes.size()) {
        for (std::string &part : audioParts(bytes.substr(head)))
            parts.push_back(std::move(part));
    }
    return parts;
}

// A file's audio may be held by several files (copies); they all have one mode.
constexpr int ModesDiffer = -1;

struct TreeState
{
    std::vector<std::string> folders;           // the root first, then in walk order
    std::vector<std::string> files;             // regular files
    std::unordered_map<std::string, int> audio; // what may be audio -> the holders' mode
};

// Walks the tree without following links; reads only regular files (a FIFO must not block).
// Works on folder descriptors: the walk runs after every action and its path lookups would
// otherwise take most of the test's time.
void walk(int folderFd, const std::string &folder, TreeState &state)
{
    state.folders.push_back(folder);
    std::vector<std::pair<std::string, unsigned char>> entries;
    if (DIR *dir = ::fdopendir(::dup(folderFd))) {
        while (const dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                entries.emplace_back(name, entry->d_type);
        }
        ::closedir(dir);
    }
    std::sort(entries.begin(), entries.end());
    for (const auto &[name, type] : entries) {
        bool isFolder = type == DT_DIR;
        bool isFile = type == DT_REG;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            isFolder = S_ISDIR(st.st_mode);
            isFile = S_ISREG(st.st_mode);
        }
        const std::string path = folder + "/" + name;
        if (isFolder) {
            const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
            if (fd >= 0) {
                walk(fd, path, state);
                ::close(fd);
            }
        } else if (isFile) {
            state.files.push_back(path);
            const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
            if (fd < 0)
                continue;
            struct stat st;
            if (::fstat(fd, &st) != 0)
                st.st_mode = 0;
            const int mode = static_cast<int>(st.st_mode & 07777);
            std::string bytes;
            char buffer[4096];
            ssize_t got;
            while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
                bytes.append(buffer, static_cast<std::size_t>(got));
            ::close(fd);
            for (std::string &part : audioParts(bytes)) {
                const auto [at, isNew] = state.audio.emplace(std::move(part), mode);
                if (!isNew && at->second != mode)
                    at->second = ModesDiffer;
            }
        }
    }
}

TreeState walk(const std::string &root)
{
    TreeState state;
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        walk(fd, root, state);
        ::close(fd);
    }
    return state;
}

// Tag texts in CP932, some with a trail byte 0x5C, half-width kana, an IBM-row code, bytes
// that are not CP932, zero bytes inside and padding to trim.
const std::vector<std::string> TagTexts = {"", "Song", "  padded  ", "\x88\xa4\x82\xcc\x89\xcc",
    "\x83\x65\x83\x58\x83\x67", "\x95\x5c\x8e\xa6", "\xb1\xb2\xb3", "\xee\xf9\x82\xa0", "\xff\xa0?",
    "ab\0\0cd"s, "LOVE SONG", "glove", "\x93\xfa\x96\x7b\x8c\xea", "x\\y"};
const std::vector<std::string> Years = {"", "1999", "2009", "20\0\0"s, "ab9", "9"};

// Texts typed into the dialogs' fields: ASCII, Japanese, spaces, too long for a field,
// and characters that CP932 cannot hold.
const std::vector<QString> TypedTexts
    = {QString(), QStringLiteral("love"), QStringLiteral("  "), text("愛"), text("テスト曲"),
        text("表示"), text("〜−"), text("ｱｲｳ"), text("é😀"), QStringLiteral("LOVE SONG"),
        QStringLiteral("9"), text("日本語のとても長いタイトルは三十バイトを超える"),
        QStringLiteral("a\\b"), QStringLiteral("mp3")};

// Runs its action at the next handling of waiting events. Posted rather than timed, so that
// a seed gives the same walk on every run.
class NextEventStep final : public QObject
{
public:
    std::function<void()> action;
    void post() { QCoreApplication::postEvent(this, new QEvent(QEvent::User)); }
    void cancel() { QCoreApplication::removePostedEvents(this); }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        if (action)
            action();
        return true;
    }
};

const std::vector<int> Keys = {Qt::Key_Delete, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape,
    Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Space, Qt::Key_Up, Qt::Key_Down, Qt::Key_Home,
    Qt::Key_End, Qt::Key_PageDown, Qt::Key_A};

class RandomWindow : public testing_support::MainWindowTest
{
protected:
    RandomWindow()
        : seed(static_cast<std::uint64_t>(envNumber("BELLWICK_RANDOM_SEED", DefaultSeed)))
        , rng(seed)
    {
        const long long actions = envNumber("BELLWICK_RANDOM_ACTIONS", 0);
        maxActions = actions > 0 ? actions : DefaultActions;
        const long long seconds
            = envNumber("BELLWICK_RANDOM_SECONDS", actions > 0 ? 0 : DefaultSeconds);
        budget = seconds > 0
            ? std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(seconds))
            : Clock::duration::max();
        verbose = envNumber("BELLWICK_RANDOM_VERBOSE", 0) != 0;
    }

    // Random choices.
    int pick(int n) { return n <= 1 ? 0 : static_cast<int>(rng() % static_cast<unsigned>(n)); }
    bool chance(int percent) { return pick(100) < percent; }
    template<typename T> const T &any(const std::vector<T> &items)
    {
        return items[static_cast<std::size_t>(pick(static_cast<int>(items.size())))];
    }
    FileListView *anyList() { return chance(50) ? form.ListView1 : form.ListView2; }
    std::string listName(const FileListView *list) const
    {
        return list == form.ListView1 ? "result list" : "work list";
    }

    void buildTree();
    void addTreeFile(const std::string &relative, bool tagged, mode_t mode = 0644);
    // Adds new files across the tree's folders when deletes have thinned it out.
    void restock();
    void run();
    // One random action; `nested` ones run inside a scan's event step.
    void act(bool nested);
    void clickButton();
    void triggerMenuEntry();
    void useEditMenu(bool undo);
    void usePopupMenu();
    void clickHeader();
    void changeSelection();
    void clickRow(bool twice);
    void pressKeyInList();
    void pressKeyInFocus();
    void scanWithInterruptions();
    void dragSplitBar();
    void resizeWindow();

    // The scripted modal interface's random answers.
    int answerBox(const ScriptedModal::Question &question);
    int answerDialog(QDialog *dialog);
    void chooseFolder(FolderChooser *chooser);
    void fillNewFolder(TForm2 *dialog);
    void fillTagEditor(TForm3 *dialog);
    void fillSearch(TForm4 *dialog);
    void fillVersionBox(TForm5 *dialog);
    void fillBulkSetting(TForm6 *dialog);
    void fillExportPreview(ExportPreviewDialog *dialog);
    void typeInto(QLineEdit *edit);
    void pressKeyIn(QDialog *dialog, const std::vector<int> &keys);
    void closePopups();
    void topUpDialogs();

    // What the run owes: files' audio, rows' paths, the window's state.
    void check(const char *when);
    void checkWindowState();
    void note(const std::string &line);
    std::string where(const std::string &path) const { return shown(path, tree.root()); }
    void failed(const std::string &what);

    std::uint64_t seed;
    std::mt19937_64 rng;
    long maxActions;
    Clock::duration budget;
    bool verbose;

    TreeState state; // as the last check saw it
    struct Origin
    {
        std::string path;
        int mode;
    };
    std::unordered_map<std::string, Origin> owed; // audio -> the file that started with it
    int filesMade = 0;
    std::unordered_set<std::string> mayVanish; // taken by a confirmed step just now
    std::set<std::string> movedOrDeleted;      // paths a confirmed step took away
    std::string chosenFolder;                  // the last confirmed chooser's
    bool fileOperationRan = false;
    std::size_t dialogsQueued = 0;
    std::size_t spawnsChecked = 0;
    int confirmedLosses = 0;
    long actionNumber = 0;
    std::deque<std::string> log;
    long loggedAction = -1;
    int linesOfAction = 0;
    int unlogged = 0;
    std::map<std::string, int> counts;
    NextEventStep interrupter;
    int interruptionsLeft = 0;
};

void RandomWindow::note(const std::string &line)
{
    std::string entry = "#" + std::to_string(actionNumber) + " " + line;
    if (verbose)
        std::cout << entry << std::endl;
    // The log keeps the first lines of each action: a copy of hundreds of files asks hundreds
    // of questions.
    if (actionNumber != loggedAction) {
        if (unlogged > 0)
            log.push_back("#" + std::to_string(loggedAction) + "   ... and "
                + std::to_string(unlogged) + " more lines");
        loggedAction = actionNumber;
        linesOfAction = 0;
        unlogged = 0;
    }
    if (++linesOfAction > LinesPerAction) {
        ++unlogged;
        return;
    }
    log.push_back(std::move(entry));
    while (log.size() > LogLength)
        log.pop_front();
}

void RandomWindow::failed(const std::string &what)
{
    std::ostringstream out;
    out << what << "\nseed " << seed << ", action " << actionNumber << "; the last actions:\n";
    for (const std::string &line : log)
        out << "  " << line << "\n";
    if (unlogged > 0)
        out << "  ... and " << unlogged << " more lines\n";
    ADD_FAILURE() << out.str();
}

void RandomWindow::addTreeFile(const std::string &relative, bool tagged, mode_t mode)
{
    // A frame header, the file's number (so every audio part is unique) and bytes without
    // "T", so no untagged file's last 128 bytes can pass for a tag.
    const int number = filesMade++;
    char id[16];
    std::snprintf(id, sizeof id, "#%06d#", number);
    std::string audio = "\xFF\xFB\x90\x64"s + id;
    const int extra = pick(180);
    for (int i = 0; i < extra; ++i) {
        char c = static_cast<char>(rng() & 0xFF);
        audio += c == 'T' ? 't' : c;
    }
    std::string bytes = audio;
    if (tagged) {
        std::string tag = testing_support::tagBytes(any(TagTexts), any(TagTexts), any(TagTexts),
            any(Years), any(TagTexts), static_cast<unsigned char>(pick(256)));
        if (chance(20)) {
            // ID3v1.1: a track number after a zero byte at the end of the comment.
            tag[125] = '\0';
            tag[126] = static_cast<char>(1 + pick(20));
        }
        bytes += tag;
    }
    tree.file(relative, bytes, mode);
    owed.emplace(audio, Origin {tree.path(relative), static_cast<int>(mode)});
}

void RandomWindow::buildTree()
{
    const auto many = [this](const std::string &folder, int count,
                          const std::function<std::string(int)> &name, mode_t mode) {
        for (int i = 0; i < count; ++i)
            addTreeFile(folder.empty() ? name(i) : folder + "/" + name(i), !chance(30), mode);
    };
    const std::vector<std::string> extensions = {".mp3", ".MP3", ".Mp3", ".mp2", ".MP2"};
    many(
        "a-rock", 60, [&](int i) { return "track" + std::to_string(i) + any(extensions); }, 0644);
    many(
        "b jazz", 40,
        [&](int i) {
            return (i % 3 == 0          ? " lead "
                           : i % 3 == 1 ? "two  spaces "
                                        : "trail ")
                + std::to_string(i) + (i % 3 == 2 ? " .mp3" : ".MP3");
        },
        0644);
    many(
        "-dash", 20, [&](int i) { return (i % 2 ? "-n" : "--help") + std::to_string(i) + ".mp3"; },
        0644);
    many(
        "c/deep/deeper", 30, [&](int i) { return "d" + std::to_string(i) + ".mp2"; }, 0644);
    many(
        "c/\x82\xa0\x82\xa2"s, 30,
        [&](int i) {
            const char *stems[] = {"\x83\x65\x83\x58\x83\x67", "\x95\x5c", "\xb1\xb2"};
            return stems[i % 3] + std::to_string(i) + ".mp3";
        },
        0644);
    many(
        "c/\xff\xfe-bad"s, 20,
        [&](int i) {
            const char *stems[] = {"\xff\xfe", "\x80", "caf\xe9"};
            return stems[i % 3] + std::to_string(i) + ".mp3";
        },
        0644);
    many(
        "d-long", 20,
        [&](int i) { return std::string(200 + i * 2, 'L') + std::to_string(i) + ".mp3"; }, 0644);
    many(
        "e-readonly", 40, [&](int i) { return "ro" + std::to_string(i) + ".mp3"; }, 0444);
    many(
        "", 20, [&](int i) { return "top" + std::to_string(i) + ".mp3"; }, 0644);
    // Names that collide: the same name in several folders, names differing only in case.
    for (const char *folder : {"a-rock", "b jazz", "-dash", "c/deep", "e-readonly", ""}) {
        addTreeFile(std::string(folder) + (*folder ? "/" : "") + "same.mp3", chance(50));
        addTreeFile(std::string(folder) + (*folder ? "/" : "") + "Twin.mp3", chance(50));
        addTreeFile(std::string(folder) + (*folder ? "/" : "") + "twin.MP3", chance(50), 0444);
    }
    // Odd names and files the scan passes over.
    for (const std::string &name : {".mp3"s, "new\nline.mp3"s, "-"s, "x.mp3.bak"s, "y.mp4"s,
             "noext"s, "it's \"quoted\".mp3"s, "$(no).mp3"s})
        addTreeFile("a-rock/" + name, chance(50));
    for (int i = 0; i < 20; ++i) {
        const std::string name = "c/ro" + std::to_string(i) + ".mp3";
        addTreeFile(name, true, i % 2 ? 0444 : 0400);
    }
    ::chmod(tree.path("e-readonly").c_str(), 0555);
    // The last folder of the root holds what a scan cannot open; its notes stay untouched.
    tree.file("~traps/notes.txt", "notes, never listed");
    owed.emplace("notes, never listed", Origin {tree.path("~traps/notes.txt"), 0644});
    tree.folder("~traps/dir.mp3");
    ::mkfifo(tree.path("~traps/fifo.mp3").c_str(), 0644);
}

void RandomWindow::restock()
{
    const std::vector<std::string> extensions = {".mp3", ".MP3", ".mp2"};
    const std::size_t count = 2 * MinTreeFiles - state.files.size();
    note("restock " + std::to_string(count) + " files");
    for (std::size_t i = 0; i < count; ++i) {
        const std::string &folder = any(state.folders);
        const std::string relative
            = folder.size() > tree.root().size() ? folder.substr(tree.root().size() + 1) + "/" : "";
        addTreeFile(relative + "new" + std::to_string(filesMade) + any(extensions), !chance(30),
            chance(10) ? 0444 : 0644);
    }
    state = walk(tree.root());
}

void RandomWindow::topUpDialogs()
{
    // Every dialog of the window comes to answerDialog; a few stay queued ahead, since one
    // action can show two (the folder chooser, then the new-folder dialog).
    while (dialogsQueued < modal.dialogsShown.size() + 3) {
        modal.onDialog([this](QDialog *dialog) { return answerDialog(dialog); });
        ++dialogsQueued;
    }
}

int RandomWindow::answerBox(const ScriptedModal::Question &question)
{
    if ((question.flags & 0xF) != platform::MB_YESNO) {
        note("  box: " + question.text.toStdString());
        return platform::IDOK;
    }
    // Clearing a list is agreed to less often than the rest, so the lists fill up.
    const bool isClear = question.text.endsWith(text("クリアしてよろしいですね？"));
    const bool yes = chance(isClear ? 25 : 55);
    note("  " + question.text.toStdString() + (yes ? " -> yes" : " -> no"));
    if (!yes)
        return platform::IDNO;
    if (question.text == text("選択されたファイルを削除して構いませんか？")) {
        // The delete takes the work list's selected rows: their files may go.
        const std::vector<bool> selected = form.ListView2->selectionFlags();
        for (std::size_t i = 0; i < selected.size(); ++i) {
            if (!selected[i])
                continue;
            const std::string &path = form.ListView2->row(static_cast<int>(i)).path();
            movedOrDeleted.insert(path);
            struct stat st;
            if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                for (std::string &part : audioParts(readBytes(path)))
                    mayVanish.insert(std::move(part));
            }
        }
        fileOperationRan = true;
    } else if (question.text.endsWith(text(" は既に存在します。上書きしますか？"))) {
        // The row being copied is the work list's first selected row; what its destination
        // holds now may go, unless the destination is the source itself.
        const int first = form.ListView2->firstSelectedRow();
        if (first < 0) {
            failed("an overwrite question with no selected work row");
            return platform::IDNO;
        }
        const std::string &source = form.ListView2->row(first).path();
        const std::string destination
            = platform::AddBackslash(chosenFolder) + std::string(platform::fileNamePart(source));
        struct stat from;
        struct stat to;
        // Without a source file there is nothing to copy, so nothing may be replaced.
        const bool hasSource = ::stat(source.c_str(), &from) == 0 && S_ISREG(from.st_mode);
        const bool same = hasSource && ::stat(destination.c_str(), &to) == 0
            && from.st_dev == to.st_dev && from.st_ino == to.st_ino;
        if (hasSource && !same && ::lstat(destination.c_str(), &to) == 0 && S_ISREG(to.st_mode)) {
            for (std::string &part : audioParts(readBytes(destination)))
                mayVanish.insert(std::move(part));
        }
    }
    return platform::IDYES;
}

void RandomWindow::closePopups()
{
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

void RandomWindow::pressKeyIn(QDialog *dialog, const std::vector<int> &keys)
{
    // The dialog's focus widget, which has the focus whenever the dialog is active.
    QWidget *target = dialog->focusWidget();
    if (!target)
        target = dialog;
    const int key = any(keys);
    note("  key " + QKeySequence(key).toString().toStdString() + " in "
        + target->metaObject()->className());
    QTest::keyClick(target, static_cast<Qt::Key>(key));
    closePopups();
}

void RandomWindow::typeInto(QLineEdit *edit)
{
    if (!edit->isEnabled())
        return;
    edit->setFocus();
    const QString typed = any(TypedTexts);
    const int way = pick(3);
    note("  "
        + std::string(way == 0 ? "type"
                : way == 1     ? "compose"
                               : "paste")
        + " \"" + typed.toStdString() + "\" into the field at " + std::to_string(edit->y()));
    switch (way) {
    case 0: // keys, one character at a time; the keyboard types ASCII here
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        for (const QChar c : typed) {
            const char ascii = c.toLatin1();
            QTest::keyClick(edit,
                std::isalnum(static_cast<unsigned char>(ascii)) || ascii == ' ' ? ascii : 'x');
        }
        break;
    case 1: { // an input method's commit
        edit->selectAll();
        QInputMethodEvent commit;
        commit.setCommitString(typed);
        QApplication::sendEvent(edit, &commit);
        break;
    }
    default: // a paste over the whole field
        edit->setText(typed);
        edit->setModified(true);
        break;
    }
}

int RandomWindow::answerDialog(QDialog *dialog)
{
    // As exec() would: the result starts at 0 and the dialog shows until it is closed.
    dialog->setResult(0);
    dialog->show();
    if (auto *chooser = qobject_cast<FolderChooser *>(dialog))
        chooseFolder(chooser);
    else if (auto *newFolder = qobject_cast<TForm2 *>(dialog))
        fillNewFolder(newFolder);
    else if (auto *editor = qobject_cast<TForm3 *>(dialog))
        fillTagEditor(editor);
    else if (auto *search = qobject_cast<TForm4 *>(dialog))
        fillSearch(search);
    else if (auto *version = qobject_cast<TForm5 *>(dialog))
        fillVersionBox(version);
    else if (auto *bulk = qobject_cast<TForm6 *>(dialog))
        fillBulkSetting(bulk);
    else if (auto *exportPreview = qobject_cast<ExportPreviewDialog *>(dialog))
        fillExportPreview(exportPreview);
    else if (auto *preview = qobject_cast<widgets::PreviewDialog *>(dialog)) {
        // The name tools rename and write files the walk's model does not follow: looked at,
        // and left by Escape.
        preview->planNow();
        note("  preview: Escape");
        QTest::keyClick(preview, Qt::Key_Escape);
    } else
        failed("a dialog nobody expected: " + dialog->windowTitle().toStdString());
    closePopups();
    if (dialog->isVisible()) {
        note("  closed by its close box");
        dialog->close();
    }
    if (dialog->isVisible())
        dialog->hide();
    return dialog->result();
}

void RandomWindow::chooseFolder(FolderChooser *chooser)
{
    QString instruction;
    for (const QLabel *label : chooser->findChildren<QLabel *>())
        instruction += label->text();
    const bool isScan = instruction.contains(text("MP3ファイル"));
    const bool isCopy = instruction.contains(text("コピー先"));
    const bool isMove = instruction.contains(text("移動先"));
    bool cancel = chance(15);
    if (isScan && form.ListView1->rowCount() > MaxResultRows)
        cancel = true;
    if ((isCopy || isMove) && state.files.size() > MaxTreeFiles)
        cancel = true;
    auto *buttons = chooser->findChild<QDialogButtonBox *>();
    if (cancel) {
        if (chance(50)) {
            note("  chooser: cancel");
            buttons->button(QDialogButtonBox::Cancel)->click();
        } else {
            note("  chooser: Escape");
            QTest::keyClick(chooser, Qt::Key_Escape);
        }
        return;
    }
    const std::string folder = any(state.folders);
    if (!chooser->selectPath(folder)) {
        failed("the chooser cannot select " + where(folder));
        chooser->reject();
        return;
    }
    if (chance(30)) {
        note("  chooser: " + where(folder) + ", Enter");
        auto *folders = chooser->findChild<QTreeWidget *>();
        folders->setFocus();
        QTest::keyClick(folders, Qt::Key_Return);
    }
    if (chooser->isVisible()) {
        note("  chooser: " + where(folder) + ", OK");
        chooser->okButton()->click();
    }
    if (chooser->result() != QDialog::Accepted)
        return;
    chosenFolder = folder;
    if (isCopy || isMove) {
        fileOperationRan = true;
        // Copy and move take the selected work rows, or every row when none is selected.
        if (isMove) {
            const bool none = !form.ListView2->hasSelection();
            for (int i = 0; i < form.ListView2->rowCount(); ++i) {
                if (none || form.ListView2->isSelected(i))
                    movedOrDeleted.insert(form.ListView2->row(i).path());
            }
        }
    }
}

void RandomWindow::fillNewFolder(TForm2 *dialog)
{
    for (int attempt = 0; attempt < 3 && dialog->isVisible(); ++attempt) {
        // Names that succeed, that exist already, that are empty, nested, too long or odd;
        // none leads out of the tree.
        const std::vector<QString> names = {dialog->Edit1->text(),
            QStringLiteral("new%1").arg(pick(1000)), text("新しいフォルダ"), QString(),
            QStringLiteral("nested/inner"), QStringLiteral("a-rock/sub%1").arg(pick(50)),
            QString(300, QLatin1Char('n')), QStringLiteral("-x"), QStringLiteral(" spaced "),
            text("曲%1").arg(pick(20)), QStringLiteral("folder%1.mp3").arg(pick(5))};
        const QString name = any(names);
        dialog->Edit1->setText(name);
        switch (pick(5)) {
        case 0:
        case 1:
            note("  new folder: \"" + name.toStdString().substr(0, 40) + "\", 作成");
            dialog->Button1->click();
            break;
        case 2:
            note("  new folder: \"" + name.toStdString().substr(0, 40) + "\", Enter");
            dialog->Edit1->setFocus();
            QTest::keyClick(dialog->Edit1, Qt::Key_Return);
            break;
        case 3:
            note("  new folder: cancel");
            dialog->Button2->click();
            break;
        default:
            note("  new folder: Escape");
            QTest::keyClick(dialog->Edit1, Qt::Key_Escape);
            break;
        }
    }
}

void RandomWindow::fillTagEditor(TForm3 *dialog)
{
    const std::vector<QLineEdit *> fields
        = {dialog->Edit2, dialog->Edit3, dialog->Edit6, dialog->Edit4, dialog->Edit5};
    for (int steps = pick(5); steps > 0; --steps) {
        switch (pick(4)) {
        case 0:
        case 1:
            typeInto(any(fields));
            break;
        case 2:
            dialog->ComboBox1->setCurrentIndex(pick(dialog->ComboBox1->count()));
            note("  genre \"" + dialog->ComboBox1->currentText().toStdString() + "\"");
            break;
        default:
            pressKeyIn(dialog, {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Tab, Qt::Key_Backtab});
            break;
        }
    }
    switch (pick(4)) {
    case 0:
    case 1:
        note("  tag editor: セーブ");
        dialog->Button1->click();
        break;
    case 2:
        note("  tag editor: キャンセル");
        dialog->Button2->click();
        break;
    default:
        return; // the close box
    }
    // A save that failed leaves the editor open: then cancel, or the close box.
    if (dialog->isVisible() && chance(50)) {
        note("  tag editor: キャンセル");
        dialog->Button2->click();
    }
}

void RandomWindow::fillSearch(TForm4 *dialog)
{
    // Conditions cut from rows, so that searches find something, or typed at random.
    const auto fromRow = [this](lists::SubItem item) {
        if (form.ListView1->rowCount() == 0)
            return QString();
        const lists::Row &row = form.ListView1->row(pick(form.ListView1->rowCount()));
        const std::string bytes = item == lists::SubItem::Path
            ? std::string(platform::fileNamePart(row.path()))
            : row.subItem(item);
        const std::size_t from = static_cast<std::size_t>(pick(static_cast<int>(bytes.size())));
        const std::string part = bytes.substr(from, static_cast<std::size_t>(1 + pick(4)));
        if (item == lists::SubItem::Path)
            return QString::fromStdString(
                platform::withInvisibleMarked(platform::fileNameToUtf8(part)));
        return QString::fromStdString(platform::withInvisibleMarked(platform::tagTextToUtf8(part)));
    };
    const std::pair<QLineEdit *, lists::SubItem> fields[] = {
        {dialog->Edit1, lists::SubItem::Path},
        {dialog->Edit6, lists::SubItem::Title},
        {dialog->Edit2, lists::SubItem::Artist},
        {dialog->Edit3, lists::SubItem::Album},
        {dialog->Edit4, lists::SubItem::Year},
        {dialog->Edit5, lists::SubItem::Comment},
    };
    std::string conditions;
    for (const auto &[edit, item] : fields) {
        if (chance(25)) {
            edit->setText(chance(60) ? fromRow(item) : any(TypedTexts));
            conditions += " \"" + edit->text().toStdString() + "\"";
        } else {
            conditions += " -";
        }
    }
    if (chance(20))
        dialog->ComboBox1->setCurrentIndex(pick(dialog->ComboBox1->count()));
    dialog->ComboBox2->setCurrentIndex(pick(2));
    dialog->ComboBox3->setCurrentIndex(chance(70) ? 0 : 1);
    if (form.ListView2->rowCount() > MaxWorkRows)
        dialog->ComboBox3->setCurrentIndex(1);
    note("  search for" + conditions + " genre \"" + dialog->ComboBox1->currentText().toStdString()
        + "\", " + (dialog->ComboBox2->currentIndex() ? "AND" : "OR") + ", "
        + (dialog->ComboBox3->currentIndex() ? "mark" : "add"));
    switch (pick(6)) {
    case 0:
    case 1:
        note("  search: 検索開始");
        dialog->Button1->click();
        break;
    case 2:
        note("  search: Enter");
        dialog->Edit6->setFocus();
        QTest::keyClick(dialog->Edit6, Qt::Key_Return);
        break;
    case 3:
        note("  search: キャンセル");
        dialog->Button2->click();
        break;
    case 4:
        note("  search: Escape");
        QTest::keyClick(dialog, Qt::Key_Escape);
        break;
    default:
        break; // the close box
    }
}

void RandomWindow::fillVersionBox(TForm5 *dialog)
{
    if (chance(40)) {
        note("  version box: the address");
        QTest::mouseClick(dialog->URLLabel1, Qt::LeftButton);
    }
    switch (pick(4)) {
    case 0:
        note("  version box: 閉じる");
        dialog->Button1->click();
        break;
    case 1:
        note("  version box: Enter");
        QTest::keyClick(dialog, Qt::Key_Return);
        break;
    case 2:
        note("  version box: Escape");
        QTest::keyClick(dialog, Qt::Key_Escape);
        break;
    default:
        break;
    }
}

void RandomWindow::fillExportPreview(ExportPreviewDialog *dialog)
{
    if (chance(50)) {
        dialog->OverwriteBox->click();
        note(dialog->OverwriteBox->isChecked() ? "  export: overwrite ticked"
                                               : "  export: overwrite unticked");
    }
    switch (pick(3)) {
    case 0:
        note("  export: 書き出す");
        dialog->WriteButton->click();
        break;
    case 1:
        note("  export: キャンセル");
        dialog->CancelButton->click();
        break;
    default:
        note("  export: Escape");
        QTest::keyClick(dialog, Qt::Key_Escape);
        break;
    }
}

void RandomWindow::fillBulkSetting(TForm6 *dialog)
{
    const std::vector<QLineEdit *> fields
        = {dialog->Edit2, dialog->Edit3, dialog->Edit6, dialog->Edit4, dialog->Edit5};
    const std::vector<QCheckBox *> boxes = {dialog->CheckBox1, dialog->CheckBox2, dialog->CheckBox3,
        dialog->CheckBox4, dialog->CheckBox5, dialog->CheckBox6};
    for (int steps = pick(5); steps > 0; --steps) {
        switch (pick(4)) {
        case 0:
            typeInto(any(fields));
            break;
        case 1: {
            QCheckBox *box = any(boxes);
            box->click();
            note("  erase box at " + std::to_string(box->y())
                + (box->isChecked() ? " ticked" : " unticked"));
            break;
        }
        case 2:
            if (dialog->ComboBox1->isEnabled()) {
                dialog->ComboBox1->setCurrentIndex(pick(dialog->ComboBox1->count()));
                note("  genre \"" + dialog->ComboBox1->currentText().toStdString() + "\"");
            }
            break;
        default:
            pressKeyIn(dialog, {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Space});
            break;
        }
    }
    switch (pick(6)) {
    case 0:
    case 1:
        note("  bulk setting: セーブ");
        dialog->Button1->click();
        break;
    case 2:
        note("  bulk setting: Enter");
        QTest::keyClick(dialog, Qt::Key_Return);
        break;
    case 3:
        note("  bulk setting: キャンセル");
        dialog->Button2->click();
        break;
    case 4:
        note("  bulk setting: Escape");
        QTest::keyClick(dialog, Qt::Key_Escape);
        break;
    default:
        break;
    }
}

void RandomWindow::clickButton()
{
    // The commands that fill the lists and act on files come up more often.
    const std::vector<QPushButton *> buttons = {form.Button1, form.Button1, form.Button2,
        form.Button2, form.Button2, form.Button12, form.Button13, form.Button14, form.Button6,
        form.Button8, form.Button3, form.Button3, form.Button4, form.Button4, form.Button5,
        form.Button5, form.Button11, form.Button10, form.Button9, form.Button7};
    QPushButton *button = any(buttons);
    note("click " + button->text().toStdString()
        + (button->parentWidget() == form.Panel1 ? " (result bar)" : " (work bar)"));
    ++counts["button"];
    button->click();
}

void RandomWindow::triggerMenuEntry()
{
    const std::vector<QAction *> entries = {form.N13, form.N16, form.N16, form.N15, form.About1,
        form.N13, form.Undo1, form.Undo1, form.Redo1};
    QAction *entry = chance(3) ? form.Exit1 : any(entries);
    if (entry == form.Undo1 || entry == form.Redo1) {
        useEditMenu(entry == form.Undo1);
        return;
    }
    note("menu " + entry->text().toStdString());
    ++counts["menu entry"];
    if (entry == form.N16) {
        // The open-file dialog gives a few existing files, sometimes none (cancelled).
        std::vector<std::string> files;
        for (int n = pick(5); n > 0 && !state.files.empty(); --n)
            files.push_back(any(state.files));
        if (chance(3))
            files.push_back(tree.path("~traps/fifo.mp3"));
        for (const std::string &file : files)
            note("  add " + where(file));
        const std::size_t before = modal.fileRequests.size();
        modal.chooseFiles(files);
        entry->trigger();
        if (modal.fileRequests.size() != before + 1)
            failed("ファイル追加 did not ask for files");
        return;
    }
    entry->trigger();
}

void RandomWindow::useEditMenu(bool undo)
{
    // Undo and redo put back tags of files the batches wrote, or write them again: only the
    // last 128 bytes and the size by a tag's 128 bytes, with the mode kept, so what the
    // check owes (audio and modes) holds through them as through any write.
    ++counts[undo ? "undo" : "redo"];
    switch (pick(3)) {
    case 0: {
        // The shortcut, in whatever has the focus, whether the menu was ever opened or not.
        QWidget *target = form.focusWidget() ? form.focusWidget() : &form;
        const bool shifted = !undo && chance(50);
        note(std::string("key ")
            + (undo           ? "Ctrl+Z"
                    : shifted ? "Ctrl+Shift+Z"
                              : "Ctrl+Y")
            + " in " + target->metaObject()->className());
        QTest::keyClick(target, undo || shifted ? Qt::Key_Z : Qt::Key_Y,
            shifted ? Qt::ControlModifier | Qt::ShiftModifier : Qt::ControlModifier);
        break;
    }
    case 1: {
        // The menu by the keys: a greyed entry is passed over.
        form.Edit1->popup(form.mapToGlobal(QPoint(40, 0)));
        note("edit menu: " + form.Undo1->text().toStdString()
            + (form.Undo1->isEnabled() ? "" : " (greyed)") + ", " + form.Redo1->text().toStdString()
            + (form.Redo1->isEnabled() ? "" : " (greyed)"));
        if (chance(20)) {
            note("  Escape");
            QTest::keyClick(form.Edit1, Qt::Key_Escape);
            break;
        }
        const int downs = undo ? 1 : 2;
        note("  Down x" + std::to_string(downs) + ", Enter");
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(form.Edit1, Qt::Key_Down);
        QTest::keyClick(form.Edit1, Qt::Key_Return);
        break;
    }
    default: {
        QAction *entry = undo ? form.Undo1 : form.Redo1;
        note("menu " + entry->text().toStdString());
        entry->trigger();
        break;
    }
    }
    form.Edit1->hide();
}

void RandomWindow::usePopupMenu()
{
    FileListView *list = anyList();
    QAbstractItemView *view = list->currentView();
    QMenu *menu = list == form.ListView1 ? form.PopupMenu1 : form.PopupMenu2;
    const QPoint at(10 + pick(200), 10 + pick(100));
    QContextMenuEvent request(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &request);
    ++counts["popup entry"];
    std::vector<QAction *> entries;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator())
            entries.push_back(action);
    }
    QAction *entry = any(entries);
    if (!menu->isVisible())
        failed("the popup menu of the " + listName(list) + " did not open");
    switch (pick(5)) {
    case 0:
        note("popup of the " + listName(list) + ": Escape");
        QTest::keyClick(menu, Qt::Key_Escape);
        break;
    case 1: {
        // Down to an entry and Enter: a greyed entry is passed over by the keys.
        const int downs = 1 + pick(static_cast<int>(entries.size()));
        note("popup of the " + listName(list) + ": Down x" + std::to_string(downs) + ", Enter");
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(menu, Qt::Key_Down);
        if (menu->activeAction())
            note("  (" + menu->activeAction()->text().toStdString() + ")");
        QTest::keyClick(menu, Qt::Key_Return);
        break;
    }
    default:
        note("popup of the " + listName(list) + ": " + entry->text().toStdString()
            + (entry->isEnabled() ? "" : " (greyed)"));
        menu->hide();
        entry->trigger();
        break;
    }
    menu->hide();
}

void RandomWindow::clickHeader()
{
    FileListView *list = anyList();
    if (list->viewStyle() != FileListView::ViewStyle::Report) {
        changeSelection();
        return;
    }
    QHeaderView *header = list->reportView()->header();
    const int column = pick(lists::ColumnCount);
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    note("header " + std::to_string(column) + " of the " + listName(list));
    ++counts["header click"];
    if (header->isVisible() && x >= 0 && x < header->viewport()->width())
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    else
        Q_EMIT header->sectionClicked(column);
}

void RandomWindow::changeSelection()
{
    FileListView *list = anyList();
    const int rows = list->rowCount();
    ++counts["selection"];
    switch (pick(5)) {
    case 0: {
        const int percent = pick(101);
        std::vector<bool> flags(static_cast<std::size_t>(rows));
        for (std::size_t i = 0; i < flags.size(); ++i)
            flags[i] = chance(percent);
        note("select about " + std::to_string(percent) + "% of the " + listName(list));
        list->setSelectionFlags(flags);
        break;
    }
    case 1:
        note("unselect the " + listName(list));
        list->setSelectionFlags({});
        break;
    case 2:
        if (rows > 0) {
            const int row = pick(rows);
            note("select row " + std::to_string(row) + " of the " + listName(list));
            list->setSelected(row, true);
        }
        break;
    case 3:
        if (rows > 0) {
            const int row = pick(rows);
            note("unselect row " + std::to_string(row) + " of the " + listName(list));
            list->setSelected(row, false);
        }
        break;
    default:
        note("select all of the " + listName(list) + " (view)");
        list->selectAll();
        break;
    }
}

void RandomWindow::clickRow(bool twice)
{
    FileListView *list = anyList();
    if (list->rowCount() == 0) {
        changeSelection();
        return;
    }
    QAbstractItemView *view = list->currentView();
    const int row = pick(list->rowCount());
    const QModelIndex index = view->model()->index(row, 0);
    view->scrollTo(index);
    const QRect rect = view->visualRect(index);
    const QPoint at = rect.center();
    if (!rect.isValid() || !view->viewport()->rect().contains(at)) {
        changeSelection();
        return;
    }
    const Qt::KeyboardModifiers modifiers = chance(60) ? Qt::NoModifier
        : chance(60)                                   ? Qt::ControlModifier
                                                       : Qt::ShiftModifier;
    note(std::string(twice ? "double-click" : "click") + " row " + std::to_string(row) + " of the "
        + listName(list)
        + (modifiers == Qt::ControlModifier      ? " with Ctrl"
                : modifiers == Qt::ShiftModifier ? " with Shift"
                                                 : ""));
    ++counts[twice ? "double-click" : "row click"];
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, modifiers, at);
    else
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, at);
}

void RandomWindow::pressKeyInList()
{
    FileListView *list = anyList();
    QAbstractItemView *view = list->currentView();
    view->setFocus();
    const int key = any(Keys);
    const Qt::KeyboardModifiers modifiers = key == Qt::Key_A ? Qt::ControlModifier
        : chance(20)                                         ? Qt::ShiftModifier
                                                             : Qt::NoModifier;
    note("key "
        + QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key)))
              .toString()
              .toStdString()
        + " in the " + listName(list));
    ++counts["key in a list"];
    QTest::keyClick(view, static_cast<Qt::Key>(key), modifiers);
}

void RandomWindow::pressKeyInFocus()
{
    // The window's focus widget, which has the focus whenever the window is active.
    QWidget *target = form.focusWidget();
    if (!target)
        target = &form;
    const int key = any(std::vector<int> {Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Return,
        Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space, Qt::Key_Delete});
    note("key " + QKeySequence(static_cast<Qt::Key>(key)).toString().toStdString() + " in "
        + target->metaObject()->className()
        + (qobject_cast<QPushButton *>(target)
                ? " " + static_cast<QPushButton *>(target)->text().toStdString()
                : std::string()));
    ++counts["key in the focus"];
    QTest::keyClick(target, static_cast<Qt::Key>(key));
}

void RandomWindow::scanWithInterruptions()
{
    // Commands that run between two files of a scan, from its event steps.
    note("scan with commands between its files");
    ++counts["scan with commands"];
    form.setEventStepInterval(0);
    interruptionsLeft = 1 + pick(4);
    interrupter.post();
    form.Button1->click();
    interrupter.cancel();
    form.setEventStepInterval(20);
}

void RandomWindow::act(bool nested)
{
    topUpDialogs();
    const int roll = pick(100);
    if (roll < 22)
        clickButton();
    else if (roll < 28)
        triggerMenuEntry();
    else if (roll < 42)
        usePopupMenu();
    else if (roll < 50)
        clickHeader();
    else if (roll < 66)
        changeSelection();
    else if (roll < 74)
        clickRow(false);
    else if (roll < 76)
        clickRow(true);
    else if (roll < 86)
        pressKeyInList();
    else if (roll < 95 || (roll >= 97 && nested))
        pressKeyInFocus();
    else if (roll < 96)
        dragSplitBar();
    else if (roll < 97)
        resizeWindow();
    else
        scanWithInterruptions();
    closePopups();
}

void RandomWindow::dragSplitBar()
{
    // Press, one move and release on the bar between the lists, as the split bar's own
    // tests drag it; the lists' new sizes take effect before the next action.
    TSplitPanel *bar = form.SplitPanel1;
    const int by = pick(601) - 300;
    note("drag the split bar by " + std::to_string(by));
    ++counts["split bar"];
    const auto send
        = [bar](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
              QMouseEvent event(type, at, bar->mapToGlobal(at), button, buttons, Qt::NoModifier);
              QApplication::sendEvent(bar, &event);
          };
    const QPoint from(5, 2);
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, from + QPoint(0, by), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + QPoint(0, by), Qt::LeftButton, Qt::NoButton);
    QCoreApplication::sendPostedEvents();
}

void RandomWindow::resizeWindow()
{
    const QSize size(200 + pick(1000), 150 + pick(800));
    note("resize the window to " + std::to_string(size.width()) + " x "
        + std::to_string(size.height()));
    ++counts["window resize"];
    form.resize(size);
    QCoreApplication::sendPostedEvents();
}

void RandomWindow::check(const char *when)
{
    state = walk(tree.root());
    std::vector<std::string> lost;
    std::vector<std::string> changedMode;
    for (auto it = owed.begin(); it != owed.end();) {
        if (const auto found = state.audio.find(it->first); found != state.audio.end()) {
            // Copies carry the mode over and tag writes put it back, so every holder of a
            // file's audio keeps the mode that file had.
            if (found->second != it->second.mode)
                changedMode.push_back(where(it->second.path));
            ++it;
            continue;
        }
        if (mayVanish.count(it->first)) {
            note("  the audio of " + where(it->second.path) + " went by a confirmed step");
            ++confirmedLosses;
        } else {
            lost.push_back(where(it->second.path));
        }
        it = owed.erase(it);
    }
    mayVanish.clear();
    const auto report = [this, when](std::vector<std::string> &paths, const char *what) {
        if (paths.empty())
            return;
        std::sort(paths.begin(), paths.end());
        std::string which;
        for (std::size_t i = 0; i < paths.size() && i < 5; ++i)
            which += "\n  " + paths[i];
        failed(std::string(what) + " " + when + ": " + std::to_string(paths.size())
            + " files that started in the tree, among them:" + which);
    };
    report(lost, "audio lost");
    report(changedMode, "a mode changed");
    for (const FileListView *list : {form.ListView1, form.ListView2}) {
        for (int i = 0; i < list->rowCount(); ++i) {
            const std::string &path = list->row(i).path();
            if (!testing_support::exists(path) && !movedOrDeleted.count(path)) {
                failed(std::string("a row names a vanished file ") + when + ": row "
                    + std::to_string(i) + " of the " + listName(list) + ", " + where(path));
                return;
            }
        }
    }
    if (fileOperationRan && form.ListView2->hasSelection())
        failed(std::string("a file operation left work rows selected ") + when);
    fileOperationRan = false;
    for (; spawnsChecked < modal.spawned.size(); ++spawnsChecked) {
        const std::vector<std::string> &argv = modal.spawned[spawnsChecked];
        // A file goes to the opener as an absolute path, never as something like an option.
        const bool isAddress = argv.size() == 2 && argv[1].find("://") != std::string::npos;
        if (argv.size() != 2 || argv[0] != "xdg-open" || argv[1].empty()
            || (argv[1][0] != '/' && !isAddress))
            failed("the opener was given " + (argv.size() > 1 ? argv[1] : std::string("nothing")));
    }
}

void RandomWindow::checkWindowState()
{
    // However an action ends, the window is usable again and no dialog is left open.
    if (!form.Button1->isEnabled() || !form.N13->isEnabled())
        failed("the scan commands stayed greyed");
    if (QApplication::overrideCursor())
        failed("the hourglass stayed");
    if (!form.ListView1->updatesEnabled())
        failed("the result list stayed without drawing");
    if (!form.isEnabled())
        failed("the window stayed disabled");
    // Greyed entries take no shortcut: with the menu closed, undo and redo must take theirs.
    if (!form.Undo1->isEnabled() || !form.Redo1->isEnabled())
        failed("the edit menu's entries stayed greyed");
    for (const QWidget *dialog : std::initializer_list<const QWidget *> {
             form.Form2, form.Form3, form.Form4, form.Form5, form.Form6}) {
        if (dialog->isVisible())
            failed("a dialog stayed open: " + dialog->windowTitle().toStdString());
    }
}

void RandomWindow::run()
{
    std::cout << "[ RANDOM   ] seed " << seed << std::endl;
    buildTree();
    check("in the starting tree");
    ASSERT_FALSE(HasFailure());
    modal.unqueuedAnswer
        = [this](const ScriptedModal::Question &question) { return answerBox(question); };
    interrupter.action = [this] {
        if (!form.isScanning() || interruptionsLeft <= 0)
            return;
        --interruptionsLeft;
        act(true);
        check("during a scan");
        interrupter.post();
    };
    showWindow();
    otherHandler = qInstallMessageHandler(dropPlatformNotes);
    const platform::ScopeGuard restoreHandler([] { qInstallMessageHandler(otherHandler); });

    const Clock::time_point start = Clock::now();
    for (actionNumber = 1; actionNumber <= maxActions; ++actionNumber) {
        if (Clock::now() - start > budget) {
            --actionNumber;
            break;
        }
        act(false);
        if (!form.isVisible()) {
            note("the window is shown again");
            form.show();
            form.activateWindow();
            if (!QTest::qWaitForWindowActive(&form))
                failed("the window did not become active again");
        }
        check("after the action");
        checkWindowState();
        if (HasFailure())
            break;
        if (state.files.size() < MinTreeFiles)
            restock();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long done = std::min(actionNumber, maxActions);
    std::cout << "[ RANDOM   ] seed " << seed << ": " << done << " actions in " << seconds
              << " s; again: BELLWICK_RANDOM_SEED=" << seed << " BELLWICK_RANDOM_ACTIONS=" << done
              << "\n[ RANDOM   ]";
    for (const auto &[kind, count] : counts)
        std::cout << " " << kind << " " << count << ";";
    std::cout << " questions " << modal.questions.size() << "; dialogs "
              << modal.dialogsShown.size() << "; files now " << state.files.size() << "; rows "
              << form.ListView1->rowCount() << " + " << form.ListView2->rowCount()
              << "; audio taken by confirmed steps " << confirmedLosses << std::endl;
    RecordProperty("seed", std::to_string(seed));
    RecordProperty("actions", std::to_string(done));
}

} // namespace

TEST_F(RandomWindow, NoActionLosesAudioOrLeavesARowNamingNothing)
{
    run();
}
