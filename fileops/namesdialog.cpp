#include "fileops/namesdialog.h"

#include <array>

#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>

#include "platform/paths.h"
#include "platform/textcodec.h"
#include "widgets/errorreport.h"
#include "widgets/previewdialog.h"

namespace fileops {

const char *const NameFormatHelp
    = "項目: %title% %artist% %album% %year% %genre% %comment%\n"
      "%track%: トラック番号 (2 桁)  %name%: 元のファイル名 (拡張子なし)  %%: % の文字";

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

const char *stateText(NameState state)
{
    switch (state) {
    case NameState::Changes:
        return "変更";
    case NameState::Unchanged:
        return "変更なし";
    case NameState::Conflict:
        return "競合";
    case NameState::Refused:
        break;
    }
    return "不可";
}

QString shownName(const std::string &path)
{
    return QString::fromStdString(platform::shownPath(platform::fileNamePart(path)));
}

} // namespace

std::optional<NamesChoice> askNamesFromTags(QWidget *parent, const std::vector<std::string> &paths,
    const std::string &format, bool replaceFatCharacters)
{
    widgets::PreviewDialog dialog(
        {text("タグからファイル名を付ける"), text("書式(&F):"), text(NameFormatHelp),
            text("FAT で使えない文字も置き換える"),
            {text("状態"), text("ファイル名"), text("新しい名前"), text("理由")}},
        parent);
    dialog.line()->setText(QString::fromStdString(format));
    dialog.check()->setChecked(replaceFatCharacters);
    dialog.table()->setTextElideMode(Qt::ElideMiddle);
    dialog.table()->setColumnWidth(0, 70);
    dialog.table()->setColumnWidth(1, 200);
    dialog.table()->setColumnWidth(2, 220);

    NamesChoice choice;
    dialog.setPlanner([&](platform::IRunControl &control) {
        choice.format = dialog.line()->text().toStdString();
        choice.replaceFatCharacters = dialog.check()->isChecked();
        const NameFormat parsed = parseNameFormat(choice.format);
        if (!parsed.error.empty()) {
            dialog.setError(QString::fromStdString(parsed.error));
            return true;
        }
        choice.plan = planNamesFromTags(
            paths, parsed, {platform::tagCodePage(), choice.replaceFatCharacters}, control);
        if (choice.plan.stopped)
            return false;
        std::array<std::size_t, 4> counts {};
        std::vector<widgets::PreviewModel::Row> rows;
        rows.reserve(choice.plan.rows.size());
        for (const NamePlanRow &row : choice.plan.rows) {
            ++counts[static_cast<std::size_t>(row.state)];
            rows.push_back({{text(stateText(row.state)), shownName(row.path),
                                row.newPath.empty() ? QString() : shownName(row.newPath),
                                widgets::shownMessage(row.why)},
                row.state == NameState::Changes});
        }
        dialog.setRows(std::move(rows),
            text("変更 %1  変更なし %2  競合 %3  不可 %4")
                .arg(counts[0])
                .arg(counts[1])
                .arg(counts[2])
                .arg(counts[3]));
        return true;
    });
    if (!dialog.ask())
        return std::nullopt;
    return choice;
}

} // namespace fileops
