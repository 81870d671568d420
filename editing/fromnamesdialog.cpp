#include "editing/fromnamesdialog.h"

#include <array>

#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

#include "lists/columns.h"
#include "platform/paths.h"
#include "platform/textcodec.h"
#include "widgets/errorreport.h"
#include "widgets/previewdialog.h"

namespace editing {

const char *const NamePatternHelp
    = "項目: %title% %artist% %album% %year% %comment% %genre% %track%  %skip%: 読み飛ばす  "
      "%%: % の文字\n/ の数だけ上のフォルダ名も使います。ファイル名は拡張子を除いて使います。";

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

const char *stateText(FromNameState state)
{
    switch (state) {
    case FromNameState::Matches:
        return "一致";
    case FromNameState::NoMatch:
        return "一致しません";
    case FromNameState::Refused:
        break;
    }
    return "不可";
}

// The preview's field columns, after the state and the file: the list's tag columns in their
// order, then the track.
std::vector<NameField> fieldColumns()
{
    std::vector<NameField> fields;
    for (const lists::ColumnEntry &entry : lists::Columns) {
        if (entry.tagPart == lists::TagPart::Text)
            fields.push_back(static_cast<NameField>(entry.textField));
        else if (entry.tagPart == lists::TagPart::Genre)
            fields.push_back(NameField::Genre);
    }
    fields.push_back(NameField::Track);
    return fields;
}

QStringList headers()
{
    QStringList headers = {text("状態"), text("ファイル")};
    for (const NameField field : fieldColumns())
        headers.push_back(text(captionOf(field)));
    headers.push_back(text("理由"));
    return headers;
}

// "Song (4)", "長い題名… (30) 切り詰め": the text, its bytes in the code page, the cut.
QString fieldCell(const FieldFromName &field)
{
    if (field.field == NameField::Track)
        return QString::number(static_cast<unsigned char>(field.bytes.at(0)));
    QString cell = QString::fromStdString(platform::withInvisibleMarked(field.text));
    if (field.field != NameField::Genre)
        cell += QStringLiteral(" (%1)").arg(field.bytes.size());
    if (field.isTruncated)
        cell += text(" 切り詰め");
    return cell;
}

} // namespace

std::optional<FromNamesChoice> askTagsFromNames(
    QWidget *parent, const std::vector<std::string> &paths, const std::string &pattern)
{
    widgets::PreviewDialog dialog({text("ファイル名からタグを読む"), text("パターン(&P):"),
                                      text(NamePatternHelp), {}, headers()},
        parent);
    dialog.line()->setText(QString::fromStdString(pattern));
    dialog.resize(1120, 480);
    // Narrow field columns, so that the reason stays in view; a cut text keeps its mark.
    QTableView *table = dialog.table();
    table->setTextElideMode(Qt::ElideMiddle);
    table->setColumnWidth(0, 80);
    table->setColumnWidth(1, 160);
    int at = 2;
    for (const NameField field : fieldColumns()) {
        const bool narrow = field == NameField::Year || field == NameField::Track;
        const bool wide = field == NameField::Title;
        table->setColumnWidth(at++, wide ? 150 : narrow ? 45 : field == NameField::Genre ? 60 : 85);
    }

    const std::vector<NameField> columns = fieldColumns();
    FromNamesChoice choice;
    dialog.setPlanner([&](platform::IRunControl &control) {
        choice.pattern = dialog.line()->text().toStdString();
        const NamePattern parsed = parseNamePattern(choice.pattern);
        if (!parsed.error.empty()) {
            dialog.setError(QString::fromStdString(parsed.error));
            return true;
        }
        choice.plan = planTagsFromNames(paths, parsed, platform::tagCodePage(), control);
        if (choice.plan.stopped)
            return false;
        std::array<std::size_t, 3> counts {};
        std::vector<widgets::PreviewModel::Row> rows;
        rows.reserve(choice.plan.rows.size());
        for (const FromNameRow &row : choice.plan.rows) {
            ++counts[static_cast<std::size_t>(row.state)];
            QStringList cells = {text(stateText(row.state)),
                QString::fromStdString(platform::shownPath(platform::fileNamePart(row.path)))};
            for (const NameField column : columns) {
                QString cell;
                for (const FieldFromName &field : row.fields) {
                    if (field.field == column)
                        cell = fieldCell(field);
                }
                cells.push_back(cell);
            }
            cells.push_back(
                row.state == FromNameState::Matches ? QString() : widgets::shownMessage(row.why));
            rows.push_back({cells, row.state == FromNameState::Matches});
        }
        dialog.setRows(std::move(rows),
            text("一致 %1  一致しません %2  不可 %3").arg(counts[0]).arg(counts[1]).arg(counts[2]));
        return true;
    });
    if (!dialog.ask())
        return std::nullopt;
    return choice;
}

} // namespace editing
