#pragma once

#include <string>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A modal folder chooser: the instruction text above a tree of folders, a status line, a
// path line, OK and Cancel. The tree is listed from path bytes, lazily as folders are
// expanded, so a folder whose name is not valid UTF-8 can be chosen too. It starts at the
// user's music folder, else the home folder, when the tree holds it. The path line shows the
// selected folder's path; what the user touched last is the choice: a path typed there (Ctrl+L
// goes to it) is selected at Enter or OK, and confirmed when it is an existing folder and OK is
// enabled, while a click in the tree puts the clicked folder's path back on the line.
class FolderChooser final : public QDialog
{
    Q_OBJECT

public:
    // `root` empty: the tree starts at "/".
    FolderChooser(const QString &caption, const std::string &root, bool showStatusLine,
        QWidget *parent = nullptr);

    // Expands the tree down to `path` and selects it; false when it is not in the tree.
    bool selectPath(const std::string &path);
    // Selects `path`, or else its nearest parent that is in the tree.
    void selectNearest(const std::string &path);
    // The folder a path typed in the path line names: "~" and "~/..." in the home folder,
    // other relative paths from the current folder. As text, cleaned of "." and "..".
    static QString typedPath(const QString &text);
    // The path bytes of that folder. A name as the line showed it for the selected folder
    // keeps that folder's bytes; any other name takes the bytes of the entry of its folder
    // that shows as it (a name in the tag code page), else its own UTF-8.
    std::string typedPathBytes(const QString &text) const;
    // The selected folder's path bytes and shown name (empty when nothing is selected).
    std::string selectedPath() const;
    QString selectedName() const;

    void setStatusText(const QString &text);
    QString statusText() const;
    QPushButton *okButton() const { return m_ok; }
    QLineEdit *pathLine() const { return m_pathLine; }

Q_SIGNALS:
    void selectionChanged(const std::string &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Enter in the path line, or OK: a typed path is selected first, refused with a message
    // on the status line when it names no folder; then the selection is confirmed when OK is
    // enabled.
    void confirm();
    QTreeWidgetItem *addFolderItem(
        QTreeWidgetItem *parent, const std::string &path, const std::string &name);
    void populate(QTreeWidgetItem *item);

    QTreeWidget *m_tree;
    QLabel *m_status;
    QPushButton *m_ok;
    QLineEdit *m_pathLine;
    // The user changed the path line since the selection last set it.
    bool m_pathEdited = false;
    std::string m_root;
};
