#pragma once

#include <string>

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// A modal folder chooser: the instruction text above a tree of folders, a status line, OK
// and Cancel. The tree is listed from path bytes, lazily as folders are expanded, so a
// folder whose name is not valid UTF-8 can be chosen too.
class FolderChooser final : public QDialog
{
    Q_OBJECT

public:
    // `root` empty: the tree starts at "/".
    FolderChooser(const QString &caption, const std::string &root, bool showStatusLine,
        QWidget *parent = nullptr);

    // Expands the tree down to `path` and selects it; false when it is not in the tree.
    bool selectPath(const std::string &path);
    // The selected folder's path bytes and shown name (empty when nothing is selected).
    std::string selectedPath() const;
    QString selectedName() const;

    void setStatusText(const QString &text);
    QString statusText() const;
    QPushButton *okButton() const { return m_ok; }

Q_SIGNALS:
    void selectionChanged(const std::string &path);

private:
    QTreeWidgetItem *addFolderItem(
        QTreeWidgetItem *parent, const std::string &path, const std::string &name);
    void populate(QTreeWidgetItem *item);

    QTreeWidget *m_tree;
    QLabel *m_status;
    QPushButton *m_ok;
    std::string m_root;
};
