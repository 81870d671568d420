#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <utility>

#include <QString>

#include "platform/error.h"

namespace widgets {

// The application title: the executable's file name cut before its first ".", its first
// letter raised to upper case and every later letter lowered ("bellwick" gives "Bellwick").
// Set once at start-up and read by the message boxes that carry it. It is kept here rather
// than as the application's display name, which X11 would append to every window caption.
QString applicationTitle();
QString titleFromExecutableName(const std::string &fileName);
void setApplicationTitle(const QString &title);

// The general error report: a critical box captioned with the application title showing the
// text, with "." added when its last character sorts after ".".
void showErrorReport(const QString &text);
QString errorReportText(const QString &text);
// The same for a message that may name a path: the path shown as the lists show it, decoded
// name by name with marks for what cannot be seen, so no byte of it breaks the message.
void showErrorReport(const platform::PathMessage &message);
QString shownMessage(const platform::PathMessage &message);

// A count with its thousands grouped by commas ("1,204"), whatever the user's locale.
QString groupedCount(std::size_t count);
// The lines of a report that names files, each after a line break: the first ten of
// `count`, then "ほか N 個" for the rest.
QString reportLines(std::size_t count, const std::function<QString(std::size_t)> &line);

// The box of a tag write whose file has gone: "ファイルが開けません", caption "エラー".
void showFileMissingBox();

// Runs a handler and turns any error that leaves it into the general error report, so no
// exception ever travels through Qt's event loop. Gives false when an error was reported.
template<typename F> bool guarded(F &&handler)
{
    try {
        std::forward<F>(handler)();
        return true;
    } catch (const platform::Error &error) {
        showErrorReport(error.message());
    } catch (const std::exception &error) {
        showErrorReport(QString::fromUtf8(error.what()));
    } catch (...) {
        showErrorReport(QStringLiteral("Unknown error"));
    }
    return false;
}

} // namespace widgets
