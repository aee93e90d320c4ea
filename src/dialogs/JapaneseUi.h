#pragma once
// The Japanese face of the program as a whole: Qt's own texts (standard
// buttons, file and colour dialogs) in Japanese, and the Windows font names
// the windows ask for mapped to the Japanese fonts installed here.
#include <QStringList>

class QCoreApplication;

// Loads Qt's Japanese translations into the application. Gives false when
// they are not installed (the Qt texts then stay English).
bool InstallQtJapaneseTranslations(QCoreApplication& app);

// Maps "ＭＳ Ｐゴシック", "ＭＳ ゴシック", "メイリオ" and their Latin
// spellings to the installed Japanese fonts, so that one font draws both
// Latin letters and kana. Gives the families chosen (empty when none of the
// known Japanese fonts is installed).
QStringList MapWindowsFontNames();
