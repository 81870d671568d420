#include "app/startup.h"

#include <QApplication>
#include <QFont>
#include <QHeaderView>
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

QStringList textFamiliesFirst(platform::CodePage codePage)
{
    using platform::CodePage;
    // WenQuanYi Micro Hei (Debian fonts-wqy-microhei) holds every Han character of GBK and
    // Big5 and every Hangul syllable; a Noto CJK face of the same language serves as well.
    const QString wenQuanYi = QStringLiteral("WenQuanYi Micro Hei");
    switch (codePage) {
    case CodePage::Cp932:
        return {};
    case CodePage::Cp936:
        return {wenQuanYi, QStringLiteral("Noto Sans CJK SC")};
    case CodePage::Cp950:
        return {wenQuanYi, QStringLiteral("Noto Sans CJK TC")};
    case CodePage::Cp949:
        return {QStringLiteral("NanumGothic"), QStringLiteral("Noto Sans CJK KR"), wenQuanYi};
    case CodePage::Cp1252:
    case CodePage::Cp1251:
    case CodePage::Utf8:
        break;
    }
    return {QStringLiteral("DejaVu Sans")};
}

void useTextFonts(platform::CodePage codePage)
{
    const QFont programFont = QApplication::font();
    QFont font = programFont;
    const QStringList first = textFamiliesFirst(codePage);
    if (!first.isEmpty()) {
        // The program's font and its substitutes follow, for what the first faces lack.
        const QString base = font.family();
        font.setFamilies(first + QStringList {base} + QFont::substitutes(base));
    }
    QApplication::setFont(font, "QAbstractItemView");
    QApplication::setFont(font, "TagFieldEdit");
    // The column captions are the program's own words: its own font, as everywhere else. A
    // header takes its view's font unless it has one of its own.
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets) {
        if (auto *header = qobject_cast<QHeaderView *>(widget))
            header->setFont(programFont);
    }
}

} // namespace app
