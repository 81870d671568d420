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
