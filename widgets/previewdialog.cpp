#include "widgets/previewdialog.h"

#include <chrono>
#include <utility>

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/modal.h"

namespace widgets {

namespace {

// How long the typing may pause before the preview is made anew, and how often a plan lets
// the dialog answer.
constexpr int TypingPauseMs = 250;
constexpr std::chrono::milliseconds AnswerStep {30};

} // namespace

PreviewModel::PreviewModel(QStringList headers, QObject *parent)
    : QAbstractTableModel(parent)
    , m_headers(std::move(headers))
{ }

int PreviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int PreviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant PreviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Row &row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return index.column() < row.cells.size() ? row.cells[index.column()] : QString();
    // Rows that will not be acted on are greyed.
    if (role == Qt::ForegroundRole && !row.acts)
        return QPalette().brush(QPalette::Disabled, QPalette::Text);
    return {};
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section < m_headers.size())
        return m_headers[section];
    return {};
}

void PreviewModel::setRows(std::vector<Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

// Lets the dialog answer while a plan runs, and stops the plan once its inputs changed.
class PreviewDialog::PlanControl final : public platform::IRunControl
{
public:
    explicit PlanControl(PreviewDialog &dialog)
        : m_dialog(dialog)
        , m_last(std::chrono::steady_clock::now())
    { }

    void progress(const platform::RunProgress &progress) override
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < AnswerStep)
            return;
        m_last = now;
        m_dialog.m_summary->setText(
            QString::fromUtf8("プレビューを作成中 %1 / %2").arg(progress.done).arg(progress.total));
        QCoreApplication::processEvents();
    }
    bool stopRequested() override { return m_dialog.m_stale || m_dialog.m_closing; }

private:
    PreviewDialog &m_dialog;
    std::chrono::steady_clock::time_point m_last;
};

PreviewDialog::PreviewDialog(const Texts &texts, QWidget *parent)
    : QDialog(parent)
    , m_model(new PreviewModel(texts.headers, this))
    , m_line(new QLineEdit(this))
    , m_placeholders(new QLabel(texts.placeholders, this))
    , m_table(new QTableView(this))
    , m_summary(new QLabel(this))
    , m_run(new QPushButton(QString::fromUtf8("実行"), this))
    , m_cancel(new QPushButton(QString::fromUtf8("キャンセル"), this))
    , m_pause(new QTimer(this))
{
    setWindowTitle(texts.title);
    resize(760, 460);
    auto *lineCaption = new QLabel(texts.lineCaption, this);
    lineCaption->setBuddy(m_line);
    m_placeholders->setWordWrap(true);
    m_placeholders->setTextFormat(Qt::PlainText);
    m_summary->setTextFormat(Qt::PlainText);

    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setStretchLastSection(true);
    // The table is looked at, not typed into: Tab goes from the line to the buttons.
    m_table->setTabKeyNavigation(false);

    m_run->setDefault(true);
    m_run->setEnabled(false);
    m_cancel->setAutoDefault(false);
    connect(m_run, &QPushButton::clicked, this, [this] {
        if (m_complete && m_acts)
            accept();
    });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *lineRow = new QHBoxLayout;
    lineRow->addWidget(lineCaption);
    lineRow->addWidget(m_line, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_summary, 1);
    buttons->addWidget(m_run);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(lineRow);
    layout->addWidget(m_placeholders);
    if (!texts.checkCaption.isEmpty()) {
        m_check = new QCheckBox(texts.checkCaption, this);
        layout->addWidget(m_check);
        connect(m_check, &QCheckBox::toggled, this, &PreviewDialog::inputsChanged);
    }
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    setTabOrder(m_line, m_check ? static_cast<QWidget *>(m_check) : m_table);
    if (m_check)
        setTabOrder(m_check, m_table);
    setTabOrder(m_table, m_run);
    setTabOrder(m_run, m_cancel);

    m_pause->setSingleShot(true);
    m_pause->setInterval(TypingPauseMs);
    connect(m_pause, &QTimer::timeout, this, &PreviewDialog::planNow);
    connect(m_line, &QLineEdit::textChanged, this, &PreviewDialog::inputsChanged);
}

void PreviewDialog::inputsChanged()
{
    m_stale = m_planning;
    m_complete = false;
    m_run->setEnabled(false);
    m_pause->start();
}

void PreviewDialog::setRows(std::vector<PreviewModel::Row> rows, const QString &summary)
{
    m_acts = false;
    for (const PreviewModel::Row &row : rows)
        m_acts = m_acts || row.acts;
    m_model->setRows(std::move(rows));
    m_summary->setText(summary);
}

void PreviewDialog::setError(const QString &message)
{
    m_model->setRows({});
    m_acts = false;
    m_summary->setText(message);
}

void PreviewDialog::planNow()
{
    m_pause->stop();
    if (m_planning) {
        // Asked again from within the running plan: it stops, and the plan is made anew.
        m_stale = true;
        m_again = true;
        return;
    }
    if (!m_planner)
        return;
    m_planning = true;
    do {
        m_stale = false;
        m_again = false;
        m_complete = false;
        m_run->setEnabled(false);
        PlanControl control(*this);
        const bool whole = m_planner(control);
        m_complete = whole && !m_stale;
    } while (m_again && !m_closing);
    m_planning = false;
    m_run->setEnabled(m_complete && m_acts);
}

bool PreviewDialog::ask()
{
    m_closing = false;
    m_line->setFocus();
    m_line->selectAll();
    QTimer::singleShot(0, this, &PreviewDialog::planNow);
    return platform::modal().execDialog(this) == QDialog::Accepted && m_complete && m_acts;
}

void PreviewDialog::done(int result)
{
    m_closing = true;
    m_pause->stop();
    QDialog::done(result);
}

} // namespace widgets
