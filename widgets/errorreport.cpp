#include "widgets/errorreport.h"

#include <QCoreApplication>

#include "platform/modal.h"
#include "platform/textcodec.h"

namespace widgets {

namespace {
QString title;
} // namespace

QString titleFromExecutableName(const std::string &fileName)
{
    QString name = QString::fromStdString(fileName.substr(0, fileName.find('.')));
    if (name.isEmpty())
        return name;
    return name.left(1).toUpper() + name.mid(1).toLower();
}

QString applicationTitle()
{
    return title;
}

void setApplicationTitle(const QString &newTitle)
{
    title = newTitle;
}

QString errorReportText(const QString &text)
{
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        return text + QLatin1Char('.');
    return text;
}

void showErrorReport(const QString &text)
{
    platform::modal().messageBox(nullptr, errorReportText(text), applicationTitle(),
        platform::MB_OK | platform::MB_ICONERROR);
}

QString shownMessage(const platform::PathMessage &message)
{
    return QString::fromStdString(
        message.before + platform::shownPath(message.path) + message.after);
}

QString groupedCount(std::size_t count)
{
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return QString::fromStdString(digits);
}

QString reportLines(std::size_t count, const std::function<QString(std::size_t)> &line)
{
    constexpr std::size_t Shown = 10;
    QString lines;
    for (std::size_t i = 0; i < count && i < Shown; ++i)
        lines += QLatin1Char('\n') + line(i);
    if (count > Shown)
        lines
            += QLatin1Char('\n') + QString::fromUtf8("ほか %1 個").arg(groupedCount(count - Shown));
    return lines;
}

void showErrorReport(const platform::PathMessage &message)
{
    showErrorReport(shownMessage(message));
}

void showFileMissingBox()
{
    platform::modal().messageBox(nullptr, QString::fromUtf8("ファイルが開けません"),
        QString::fromUtf8("エラー"), platform::MB_OK | platform::MB_ICONEXCLAMATION);
}

} // namespace widgets
