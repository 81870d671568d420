#include "app/startup.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {

bool installJapaneseInterface(QTranslator &translator)
{
    const bool translated = translator.load(
        QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (translated)
        QCoreApplication::installTranslator(&translator);

    const QString family = QString::fromUtf8("ＭＳ Ｐゴシック");
    QFont::insertSubstitutions(family,
        {QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
            QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic")});
    QFont font(family);
    font.setPixelSize(12);
    QApplication::setFont(font);
    return translated;
}

} // namespace app
