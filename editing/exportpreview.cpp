#include "editing/exportpreview.h"

#include <chrono>

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "lists/columns.h"
#include "platform/error.h"
#include "platform/modal.h"
#include "platform/paths.h"
#include "platform/textcodec.h"

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString shown(const std::string &utf8)
{
    return QString::fromStdString(platform::withInvisibleMarked(utf8));
}

// The preview's columns after the file and its state, in the order of ExportField.
constexpr int FirstTextColumn = 2;

const char *stateCaption(tags::ExportState state)
{
    switch (state) {
    case tags::ExportState::NewTag:
        return "新しいタグ";
    case tags::ExportState::AddFrames:
        return "フレームを追加";
    case tags::ExportState::ReplaceFrames:
        return "フレームを置き換え";
    case tags::ExportState::Nothing:
        return "書き出すものなし";
    case tags::ExportState::Refused:
        break;
    }
    return "書き出せません";
}

// A slice of reading, so that events are handled between slices.
constexpr std::chrono::milliseconds ReadSlice(20);

} // namespace

ExportPreviewDialog::ExportPreviewDialog(QWidget *parent)
    : QDialog(parent)
    , List(new QTreeWidget(this))
    , OverwriteBox(new QCheckBox(text("既存の ID3v2 フレームを上書きする"), this))
    , Summary(new QLabel(this))
    , WriteButton(new QPushButton(text("書き出す"), this))
    , CancelButton(new QPushButton(text("キャンセル"), this))
    , m_reader(new QTimer(this))
{
    setWindowTitle(text("ID3v2 タグに書き出す"));
    QStringList headers {text(lists::columnSpec(lists::Column::FileName).caption), text("状態")};
    for (const lists::Column column :
        {lists::Column::Title, lists::Column::Artist, lists::Column::Album, lists::Column::Year,
            lists::Column::Genre, lists::Column::Comment})
        headers << text(lists::columnSpec(column).caption);
    headers << text("Track");
    List->setHeaderLabels(headers);
    List->setRootIsDecorated(false);
    List->setUniformRowHeights(true);
    List->setSelectionMode(QAbstractItemView::NoSelection);
    List->header()->setStretchLastSection(false);
    List->setColumnWidth(0, 200);
    List->setColumnWidth(1, 300);
    Summary->setWordWrap(true);
    Summary->setTextFormat(Qt::PlainText);

    WriteButton->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(OverwriteBox);
    buttons->addStretch();
    buttons->addWidget(WriteButton);
    buttons->addWidget(CancelButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(List);
    layout->addWidget(Summary);
    layout->addLayout(buttons);
    resize(960, 480);

    connect(OverwriteBox, &QCheckBox::toggled, this, [this] { showStates(); });
    connect(WriteButton, &QPushButton::clicked, this, [this] {
        m_accepted = true;
        accept();
    });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    m_reader->setInterval(0);
    connect(m_reader, &QTimer::timeout, this, [this] { readSome(); });
}

std::optional<tags::ExportOptions> ExportPreviewDialog::ask(
    const std::vector<std::string> &paths, platform::CodePage codePage)
{
    m_paths = paths;
    m_previews.clear();
    m_previews.reserve(paths.size());
    m_codePage = codePage;
    m_accepted = false;
    OverwriteBox->setChecked(false);
    List->clear();
    showStates();
    m_reader->start();
    platform::modal().execDialog(this);
    m_reader->stop();
    if (!m_accepted)
        return std::nullopt;
    tags::ExportOptions options;
    options.codePage = codePage;
    options.overwrite = OverwriteBox->isChecked();
    return options;
}

void ExportPreviewDialog::readSome()
{
    const auto until = std::chrono::steady_clock::now() + ReadSlice;
    const std::size_t first = m_previews.size();
    while (m_previews.size() < m_paths.size() && std::chrono::steady_clock::now() < until) {
        const std::string &path = m_paths[m_previews.size()];
        Preview preview;
        try {
            const tags::ExportSource source = tags::readExportSource(path);
            for (const bool overwrite : {false, true}) {
                tags::ExportOptions options;
                options.codePage = m_codePage;
                options.overwrite = overwrite;
                tags::ExportPlan plan = tags::planExport(source, options);
                preview.states[overwrite] = plan.state;
                preview.refusals[overwrite] = std::move(plan.refusal);
                preview.changes[overwrite] = plan.changes;
                preview.texts = std::move(plan.texts);
            }
        } catch (const platform::Error &error) {
            preview.states = {tags::ExportState::Refused, tags::ExportState::Refused};
            preview.refusals[0] = preview.refusals[1] = error.message().withPathBytes();
        }
        m_previews.push_back(std::move(preview));
    }
    for (std::size_t i = first; i < m_previews.size(); ++i)
        showRow(i);
    if (m_previews.size() == m_paths.size())
        m_reader->stop();
    showStates(first);
}

void ExportPreviewDialog::showRow(std::size_t index)
{
    const Preview &preview = m_previews[index];
    auto *item = new QTreeWidgetItem;
    // The name as the lists show it; the whole path where the pointer rests on it.
    const std::string &path = m_paths[index];
    item->setText(0, QString::fromStdString(platform::shownPath(platform::fileNamePart(path))));
    item->setToolTip(0, QString::fromStdString(platform::shownPath(path)));
    for (std::size_t field = 0; field < tags::ExportFieldCount; ++field) {
        QString cell = shown(preview.texts.texts[field]);
        if (preview.texts.truncated[field])
            cell += text(" (") + text(tags::TruncatedMark) + text(")");
        item->setText(FirstTextColumn + static_cast<int>(field), cell);
    }
    List->addTopLevelItem(item);
}

void ExportPreviewDialog::showStates(std::size_t from)
{
    const std::size_t overwrite = OverwriteBox->isChecked() ? 1 : 0;
    std::array<std::size_t, 5> counts {};
    for (std::size_t i = 0; i < m_previews.size(); ++i) {
        const Preview &preview = m_previews[i];
        const tags::ExportState state = preview.states[overwrite];
        ++counts[static_cast<std::size_t>(state)];
        if (i < from)
            continue;
        QString caption = text(stateCaption(state));
        if (state == tags::ExportState::Refused && !preview.refusals[overwrite].empty())
            caption += text(": ") + shown(preview.refusals[overwrite]);
        else if (state != tags::ExportState::Refused) {
            // A character cut by an old tagger is said where it shows whatever the widths.
            for (std::size_t field = 0; field < tags::ExportFieldCount; ++field) {
                if (preview.texts.truncated[field])
                    caption += text(" (") + text(tags::TruncatedMark) + text(": ")
                        + List->headerItem()->text(FirstTextColumn + static_cast<int>(field))
                        + text(")");
            }
        }
        QTreeWidgetItem *item = List->topLevelItem(static_cast<int>(i));
        if (!item)
            continue;
        item->setText(1, caption);
        item->setToolTip(1, caption);
        // A text whose frame the tag keeps is not written: shown greyed.
        for (std::size_t field = 0; field < tags::ExportFieldCount; ++field) {
            const bool kept = preview.changes[overwrite][field] == tags::FrameChange::Kept;
            const int column = FirstTextColumn + static_cast<int>(field);
            item->setForeground(column,
                List->palette().brush(
                    kept ? QPalette::Disabled : QPalette::Active, QPalette::Text));
            item->setToolTip(column, kept ? text("既存のフレームを残します") : item->text(column));
        }
    }
    QString summary = text("新しいタグ %1、フレームを追加 %2、フレームを置き換え %3、"
                           "書き出すものなし %4、書き出せません %5")
                          .arg(counts[0])
                          .arg(counts[1])
                          .arg(counts[2])
                          .arg(counts[3])
                          .arg(counts[4]);
    const bool whole = m_previews.size() == m_paths.size();
    if (!whole)
        summary += text("  (読み込み中 %1 / %2)").arg(m_previews.size()).arg(m_paths.size());
    Summary->setText(summary);
    // Written only from a whole preview, and only when a file would get a frame.
    WriteButton->setEnabled(whole && counts[0] + counts[1] + counts[2] > 0);
}
