#pragma once

#include <functional>
#include <vector>

#include <QAbstractTableModel>
#include <QDialog>
#include <QStringList>

#include "platform/runcontrol.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace widgets {

// The rows of a preview: one text per column, and whether the row would be acted on.
class PreviewModel final : public QAbstractTableModel
{
public:
    struct Row
    {
        QStringList cells;
        bool acts = false;
    };

    explicit PreviewModel(QStringList headers, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setRows(std::vector<Row> rows);

private:
    QStringList m_headers;
    std::vector<Row> m_rows;
};

// A dialog that previews what a command will do to each file before it is done: a line for
// the command's format, the placeholders it takes, an optional check box, the table of rows
// and "実行" / "キャンセル". The preview is made anew by the planner each time the format or
// the box changes (after a short pause in the typing); a planner run keeps the dialog
// answering and stops as soon as the format changes again or the dialog closes. "実行" is
// pressable only while a complete preview with a row to act on is shown.
class PreviewDialog final : public QDialog
{
    Q_OBJECT

public:
    struct Texts
    {
        QString title;
        QString lineCaption;  // "書式(&F):"
        QString placeholders; // the list of placeholders, shown under the line
        QString checkCaption; // empty: no check box
        QStringList headers;
    };
    // Makes the rows for the format and box as they are now; gives false when it was stopped.
    using Planner = std::function<bool(platform::IRunControl &)>;

    PreviewDialog(const Texts &texts, QWidget *parent);

    QLineEdit *line() const { return m_line; }
    QCheckBox *check() const { return m_check; }
    QTableView *table() const { return m_table; }
    QPushButton *runButton() const { return m_run; }
    QLabel *summaryLabel() const { return m_summary; }

    void setPlanner(Planner planner) { m_planner = std::move(planner); }
    // Called by the planner with its complete rows and the summary line.
    void setRows(std::vector<PreviewModel::Row> rows, const QString &summary);
    // A format that cannot be used: no rows, its message, nothing to run.
    void setError(const QString &message);

    // Makes the first preview and runs the dialog; true when "実行" closed it with the
    // preview of the format as it stands.
    bool ask();

    // Plans again now (the tests' way past the typing pause).
    void planNow();

protected:
    void done(int result) override;

private:
    class PlanControl;
    void inputsChanged();

    PreviewModel *m_model;
    QLineEdit *m_line;
    QCheckBox *m_check = nullptr;
    QLabel *m_placeholders;
    QTableView *m_table;
    QLabel *m_summary;
    QPushButton *m_run;
    QPushButton *m_cancel;
    QTimer *m_pause;
    Planner m_planner;
    bool m_planning = false;
    bool m_stale = false;    // the inputs changed since the running plan began
    bool m_again = false;    // and the pause after the change has passed
    bool m_closing = false;  // done() was asked for
    bool m_complete = false; // the rows are a whole preview of the inputs as they stand
    bool m_acts = false;     // and one of them would be acted on
};

} // namespace widgets
