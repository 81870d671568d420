#pragma once

#include <QStringList>

#include "platform/textcodec.h"

class QTranslator;

namespace app {

// Qt's Japanese translations for the standard buttons ("はい(&Y)", "いいえ(&N)"), whatever
// the user's locale, and the program's font "ＭＳ Ｐゴシック" at 12 pixels with its
// substitutions. Gives whether the translations were found.
bool installJapaneseInterface(QTranslator &translator);

// The faces the lists and the tag fields try before the program's font, for tag texts in
// `codePage`: the Chinese or Korean one for GBK, Big5 and CP949 (else their Han characters
// take Japanese forms and Hangul a face found by chance), DejaVu Sans for the Western and
// Cyrillic code pages and UTF-8 (else Latin, Greek and Cyrillic are drawn full width by the
// Japanese font), none for CP932.
QStringList textFamiliesFirst(platform::CodePage codePage);
// Gives the lists and the tag fields the fonts for tag texts in `codePage`.
void useTextFonts(platform::CodePage codePage);

} // namespace app
