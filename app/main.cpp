#include <csignal>

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/Unit1.h"
#include "app/errorreport.h"

int main(int argc, char *argv[])
{
    // A user's file-size limit must make a write fail with EFBIG, never kill the program.
    std::signal(SIGXFSZ, SIG_IGN);

    QApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("bellwick"));
    app::setApplicationTitle(app::titleFromExecutableName(
        QCoreApplication::applicationFilePath().section(QLatin1Char('/'), -1).toStdString()));

    // Standard buttons in Japanese, whatever the user's locale.
    QTranslator translator;
    if (translator.load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&translator);

    const QString family = QString::fromUtf8("ＭＳ Ｐゴシック");
    QFont::insertSubstitutions(family, {QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                                        QStringLiteral("Noto Sans CJK JP"),
                                        QStringLiteral("VL PGothic")});
    QFont font(family);
    font.setPixelSize(12);
    QApplication::setFont(font);

    TForm1 form;
    form.createDialogs();
    form.show();
    return application.exec();
}
