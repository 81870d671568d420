#include "widgets/folderchooser.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

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

} // namespace

FolderChooser::FolderChooser(
    const QString &caption, const std::string &root, bool showStatusLine, QWidget *parent)
    : QDialog(parent)
    , m_tree(new QTreeWidget(this))
    , m_status(new QLabel(this))
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
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    QTreeWidgetItem *top = addFolderItem(nullptr, m_root, m_root);
    populate(top);
    top->setExpanded(true);
    connect(m_tree, &QTreeWidget::itemExpanded, this, &FolderChooser::populate);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *current) {
        Q_EMIT selectionChanged(current ? pathOf(current) : std::string());
    });
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
