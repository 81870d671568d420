#pragma once

class QTranslator;

namespace app {

// Qt's Japanese translations for the standard buttons ("はい(&Y)", "いいえ(&N)"), whatever
// the user's locale, and the program's font "ＭＳ Ｐゴシック" at 12 pixels with its
// substitutions. Gives whether the translations were found.
bool installJapaneseInterface(QTranslator &translator);

} // namespace app
