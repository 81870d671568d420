#include <csignal>

#include <cstdlib>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTranslator>

#include "app/Unit1.h"
#include "app/settingsfile.h"
#include "app/startup.h"
#include "platform/quitsignals.h"
#include "widgets/errorreport.h"

int main(int argc, char *argv[])
{
    // A user's file-size limit must make a write fail with EFBIG, never kill the program.
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication application(argc, argv);
    platform::quitOnTerminationSignals();
    QGuiApplication::setDesktopFileName(QStringLiteral("bellwick"));
    widgets::setApplicationTitle(widgets::titleFromExecutableName(
        QCoreApplication::applicationFilePath().section(QLatin1Char('/'), -1).toStdString()));

    QTranslator translator;
    app::installJapaneseInterface(translator);

    // The settings file is chosen once: beside the executable, else the user's config folder.
    const QString executable = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    app::setSettingsPath(
        app::chooseSettingsPath(QFile::encodeName(QFileInfo(executable).path()).toStdString(),
            std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")));

    TForm1 form;
    form.createDialogs();
    form.show();
    return application.exec();
}
