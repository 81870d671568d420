#include "widgets/folderchooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/stat.h>

#include "platform/folderlisting.h"
#include "platform/paths.h"
#include "platform/textcodec.h"

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int PopulatedRole = Qt::UserRole + 1;

std::string pathOf(const QTreeWidgetItem *item)
{
    return item->data(0, PathRole).toByteArray().toStdString();
}

// The names of an absolute path, in order.
std::vector<std::string> splitPath(const std::string &path)
{
    std::vector<std::string> names;
    for (std::size_t at = 0; at < path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at)
            names.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return names;
}

} // namespace

FolderChooser::FolderChooser(
    const QString &caption, const std::string &root, bool showStatusLine, QWidget *parent)
    : QDialog(parent)
    , m_tree(new QTreeWidget(this))
    , m_status(new QLabel(this))
    , m_pathLine(new QLineEdit(this))
    , m_root(root.empty() ? std::string("/") : root)
{
    setWindowTitle(QString::fromUtf8("フォルダの参照"));
    resize(420, 440);
    auto *layout = new QVBoxLayout(this);
    auto *instruction = new QLabel(caption, this);
    instruction->setWordWrap(true);
    instruction->setTextFormat(Qt::PlainText);
    layout->addWidget(instruction);
    m_status->setTextFormat(Qt::PlainText);
    m_status->setVisible(showStatusLine);
    layout->addWidget(m_status);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_pathLine);
    m_pathLine->installEventFilter(this);
    connect(m_pathLine, &QLineEdit::textEdited, this, [this] { m_pathEdited = true; });
    auto *toPathLine = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(toPathLine, &QShortcut::activated, this, [this] {
        m_pathLine->setFocus(Qt::ShortcutFocusReason);
        m_pathLine->selectAll();
    });
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &FolderChooser::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    QTreeWidgetItem *top = addFolderItem(nullptr, m_root, m_root);
    populate(top);
    top->setExpanded(true);
    connect(m_tree, &QTreeWidget::itemExpanded, this, &FolderChooser::populate);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        const std::string path = current ? pathOf(current) : std::string();
        m_pathLine->setText(QString::fromStdString(platform::fileNameToUtf8(path)));
        m_pathEdited = false;
        Q_EMIT selectionChanged(path);
    });
    // A click on the folder that is already selected replaces a typed line too.
    connect(m_tree, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem *item) {
        if (m_pathEdited && item == m_tree->currentItem()) {
            m_pathLine->setText(QString::fromStdString(platform::fileNameToUtf8(pathOf(item))));
            m_pathEdited = false;
        }
    });

    // The chooser's own starting place; never "/" unless the user goes there.
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const std::string start
        = QFile::encodeName(!music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath())
              .toStdString();
    selectPath(start);
}

QString FolderChooser::typedPath(const QString &text)
{
    QString path = text.trimmed();
    if (path == QLatin1String("~"))
        path = QDir::homePath();
    else if (path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    else if (!path.startsWith(QLatin1Char('/')))
        path = QDir::currentPath() + QLatin1Char('/') + path;
    return QDir::cleanPath(path);
}

std::string FolderChooser::typedPathBytes(const QString &text) const
{
    const std::vector<std::string> selected = splitPath(selectedPath());
    bool asSelected = true;
    std::string path;
    std::size_t index = 0;
    for (const QString &name : typedPath(text).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const std::string shown = name.toStdString();
        asSelected = asSelected && index < selected.size()
            && platform::fileNameToUtf8(selected[index]) == shown;
        std::string bytes = asSelected ? selected[index] : shown;
        ++index;
        struct stat st;
        if (!asSelected && ::lstat((path + '/' + bytes).c_str(), &st) != 0) {
            // Not there as UTF-8: an entry whose name shows as the typed one.
            std::vector<platform::FolderEntry> entries;
            platform::listFolder(path.empty() ? std::string("/") : path, entries);
            for (const platform::FolderEntry &entry : entries) {
                if (platform::fileNameToUtf8(entry.name) == shown) {
                    bytes = entry.name;
                    break;
                }
            }
        }
        path += '/' + bytes;
    }
    return path.empty() ? std::string("/") : path;
}

void FolderChooser::selectNearest(const std::string &path)
{
    std::string at = path;
    while (!selectPath(at)) {
        const std::size_t slash = at.find_last_of('/');
        if (slash == std::string::npos || at.size() <= 1)
            return;
        at = slash == 0 ? std::string("/") : at.substr(0, slash);
    }
}

bool FolderChooser::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in the path line confirms as OK does; the line keeps it from the default button.
    if (watched == m_pathLine && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            confirm();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FolderChooser::confirm()
{
    // A line the user did not edit stands for the selected folder's own bytes.
    const std::string path = m_pathEdited ? typedPathBytes(m_pathLine->text()) : selectedPath();
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)
        || !selectPath(path)) {
        m_status->setText(
            QString::fromUtf8("フォルダが見つかりません: %1").arg(m_pathLine->text()));
        m_status->setVisible(true);
        return;
    }
    m_pathLine->setText(QString::fromStdString(platform::fileNameToUtf8(path)));
    m_pathEdited = false;
    if (m_ok->isEnabled())
        accept();
}

QTreeWidgetItem *FolderChooser::addFolderItem(
    QTreeWidgetItem *parent, const std::string &path, const std::string &name)
{
    auto *item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    item->setText(0, QString::fromStdString(platform::fileNameToUtf8(name)));
    item->setData(0, PathRole, QByteArray::fromStdString(path));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void FolderChooser::populate(QTreeWidgetItem *item)
{
    if (item->data(0, PopulatedRole).toBool())
        return;
    item->setData(0, PopulatedRole, true);
    const std::string path = pathOf(item);
    std::vector<platform::FolderEntry> entries;
    platform::listFolder(path, entries);
    const std::string prefix = platform::AddBackslash(path);
    for (const platform::FolderEntry &entry : entries) {
        struct stat st;
        const std::string child = prefix + entry.name;
        if (platform::isFolder(child, entry, &st))
            addFolderItem(item, child, entry.name);
    }
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

bool FolderChooser::selectPath(const std::string &path)
{
    QTreeWidgetItem *item = m_tree->topLevelItem(0);
    const std::string root = platform::AddBackslash(m_root);
    if (path != m_root) {
        if (path.compare(0, root.size(), root) != 0)
            return false;
        std::size_t at = root.size();
        while (at < path.size()) {
            const std::size_t slash = path.find('/', at);
            const std::size_t end = slash == std::string::npos ? path.size() : slash;
            if (end > at) {
                populate(item);
                const std::string wanted = path.substr(0, end);
                QTreeWidgetItem *found = nullptr;
                for (int i = 0; i < item->childCount() && !found; ++i) {
                    if (pathOf(item->child(i)) == wanted)
                        found = item->child(i);
                }
                if (!found)
                    return false;
                item->setExpanded(true);
                item = found;
            }
            at = end + 1;
        }
    }
    m_tree->setCurrentItem(item);
    m_tree->scrollToItem(item);
    return true;
}

std::string FolderChooser::selectedPath() const
{
    const QTreeWidgetItem *item = m_tree->currentItem();
    return item ? pathOf(item) : std::string();
}

QString FolderChooser::selectedName() const
{
    const QTreeWidgetItem *item = m_tree->currentItem();
    return item ? item->text(0) : QString();
}

void FolderChooser::setStatusText(const QString &text)
{
    m_status->setText(text);
}

QString FolderChooser::statusText() const
{
    return m_status->text();
}
