// The main window's file operations on the work list.

#include "fileops/filecommands.h"

#include <vector>

#include <QItemSelectionModel>
#include <QLineEdit>

#include "app/Unit1.h"
#include "fileops/Unit2.h"
#include "fileops/filetransfer.h"
#include "lists/filelistview.h"
#include "lists/rowmodel.h"
#include "platform/modal.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "widgets/BrowsDlg.h"

namespace fileops {

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Takes the selected rows of a list one by one, first selected row first, each to be
// removed or unselected when done, as if the list changed after every row. The changes
// reach the list in batches (apply()), so a pass over 100,000 rows is not quadratic.
class SelectedRowWalk
{
public:
    explicit SelectedRowWalk(FileListView &list)
        : m_list(list)
        , m_selected(list.selectionFlags())
        , m_done(m_selected.size(), false)
    { }

    // Moves to the next selected row; false when none is left.
    bool next()
    {
        while (m_at < m_selected.size() && !m_selected[m_at])
            ++m_at;
        return m_at < m_selected.size();
    }
    const lists::Row &row() const { return m_list.row(static_cast<int>(m_at)); }
    // Ends the current row: removed when done, else unselected.
    void finish(bool done)
    {
        m_selected[m_at] = false;
        if (done) {
            m_done[m_at] = true;
            m_hasDone = true;
        }
        m_changed = true;
        ++m_at;
    }
    // Brings the list to the state the rows ended so far give it.
    void apply()
    {
        if (!m_changed)
            return;
        if (m_hasDone) {
            std::vector<bool> selected;
            selected.reserve(m_selected.size());
            std::size_t at = 0;
            for (std::size_t i = 0; i < m_selected.size(); ++i) {
                if (m_done[i])
                    continue;
                if (i < m_at)
                    ++at;
                selected.push_back(m_selected[i]);
            }
            m_list.selectionModel()->clearSelection();
            m_list.model()->removeRows(m_done);
            m_selected = std::move(selected);
            m_done.assign(m_selected.size(), false);
            m_at = at;
            m_hasDone = false;
        }
        m_list.setSelectionFlags(m_selected);
        m_changed = false;
    }

private:
    FileListView &m_list;
    std::vector<bool> m_selected; // per row of the list as it is now
    std::vector<bool> m_done;
    std::size_t m_at = 0;
    bool m_hasDone = false;
    bool m_changed = false;
};

bool mayReplace(QWidget *parent, std::string_view name)
{
    const QString question = QString::fromStdString(platform::fileNameToUtf8(name))
        + text(" は既に存在します。上書きしますか？");
    return platform::modal().messageBox(
               parent, question, text("確認"), platform::MB_YESNO | platform::MB_DEFBUTTON2)
        == platform::IDYES;
}

} // namespace

void transferRows(FileListView &workList, const std::string &folder, Transfer kind, QWidget *parent)
{
    if (!workList.hasSelection())
        workList.selectAll();
    const std::string target = platform::AddBackslash(folder);
    SelectedRowWalk walk(workList);
    while (walk.next()) {
        const std::string source = walk.row().path();
        const std::string destination = target + std::string(platform::fileNamePart(source));
        bool go = true;
        if (fileExists(destination)) {
            // The user sees the list as it stands at this row.
            walk.apply();
            go = mayReplace(parent, platform::fileNamePart(destination));
        }
        const bool done = go
            && (kind == Transfer::Copy ? copyFile(source, destination)
                                       : moveFile(source, destination))
                == 0;
        walk.finish(done);
    }
    walk.apply();
}

void deleteRows(FileListView &workList)
{
    SelectedRowWalk walk(workList);
    while (walk.next())
        walk.finish(deleteFile(walk.row().path()) == 0);
    walk.apply();
}

void showNewFolderDialog(TForm2 &dialog)
{
    dialog.Edit1->setText(text("新しいフォルダ"));
    platform::modal().execDialog(&dialog);
}

} // namespace fileops

void TForm1::Button3Click(QObject *)
{
    BrowseDialog2->Caption = "コピー先のフォルダを指定してください。";
    if (!BrowseDialog2->Execute())
        return;
    fileops::transferRows(*ListView2, BrowseDialog2->Directory, fileops::Transfer::Copy, this);
}

void TForm1::Button4Click(QObject *)
{
    BrowseDialog2->Caption = "移動先のフォルダを指定してください。";
    if (!BrowseDialog2->Execute())
        return;
    fileops::transferRows(*ListView2, BrowseDialog2->Directory, fileops::Transfer::Move, this);
}

void TForm1::Button5Click(QObject *)
{
    // Asked also when nothing is selected; delete never falls back to every row.
    if (platform::modal().messageBox(this,
            QString::fromUtf8("選択されたファイルを削除して構いませんか？"),
            QString::fromUtf8("最終確認"),
            platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2)
        != platform::IDYES)
        return;
    fileops::deleteRows(*ListView2);
}

void TForm1::Button8Click(QObject *)
{
    BrowseDialog2->Caption = "新しいフォルダを作るフォルダを指定してください。";
    if (!BrowseDialog2->Execute())
        return;
    fileops::showNewFolderDialog(*Form2);
}
