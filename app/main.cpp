#include <csignal>

#include <QApplication>
#include <QTranslator>

#include "app/Unit1.h"
#include "app/errorreport.h"
#include "app/startup.h"

int main(int argc, char *argv[])
{
    // A user's file-size limit must make a write fail with EFBIG, never kill the program.
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("bellwick"));
    app::setApplicationTitle(app::titleFromExecutableName(
        QCoreApplication::applicationFilePath().section(QLatin1Char('/'), -1).toStdString()));

    QTranslator translator;
    app::installJapaneseInterface(translator);

    TForm1 form;
    form.createDialogs();
    form.show();
    return application.exec();
}
