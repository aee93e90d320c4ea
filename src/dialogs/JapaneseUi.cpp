#include "dialogs/JapaneseUi.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

struct FontFamilyMap {
    QStringList windowsNames;
    QStringList installed; // in order of preference
};

// Proportional and fixed-pitch Japanese families Debian packages provide.
const QStringList kProportional = {QStringLiteral("IPAPGothic"),   QStringLiteral("IPAexGothic"),
                                   QStringLiteral("VL PGothic"),   QStringLiteral("Noto Sans CJK JP"),
                                   QStringLiteral("TakaoPGothic"), QStringLiteral("IPAGothic")};
const QStringList kFixed = {QStringLiteral("IPAGothic"), QStringLiteral("VL Gothic"),
                            QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("TakaoGothic"),
                            QStringLiteral("IPAPGothic")};
const QStringList kSerif = {QStringLiteral("IPAPMincho"), QStringLiteral("IPAexMincho"),
                            QStringLiteral("Noto Serif CJK JP"), QStringLiteral("IPAMincho")};

QList<FontFamilyMap> fontMaps()
{
    return {
        {{QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("MS UI Gothic"),
          QStringLiteral("メイリオ"), QStringLiteral("Meiryo"), QStringLiteral("Meiryo UI")},
         kProportional},
        {{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic")}, kFixed},
        {{QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("MS PMincho")}, kSerif + kProportional},
        {{QStringLiteral("ＭＳ 明朝"), QStringLiteral("MS Mincho")}, kSerif + kFixed},
    };
}

QStringList installedOf(const QStringList& wanted, const QStringList& families)
{
    QStringList found;
    for (const QString& family : wanted) {
        if (families.contains(family, Qt::CaseInsensitive))
            found.append(family);
    }
    return found;
}

} // namespace

bool InstallQtJapaneseTranslations(QCoreApplication& app)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool any = false;
    // The program's texts are Japanese whatever the user's language is, so
    // Qt's own texts follow them rather than the locale.
    for (const QString& name : {QStringLiteral("qtbase_ja"), QStringLiteral("qt_help_ja")}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(name, folder) && QCoreApplication::installTranslator(translator)) {
            any = true;
        } else {
            delete translator;
        }
    }
    return any;
}

QStringList MapWindowsFontNames()
{
    const QStringList families = QFontDatabase::families();
    QStringList chosen;
    for (const FontFamilyMap& map : fontMaps()) {
        const QStringList installed = installedOf(map.installed, families);
        if (installed.isEmpty())
            continue;
        for (const QString& name : map.windowsNames) {
            QFont::removeSubstitutions(name);
            QFont::insertSubstitutions(name, installed);
        }
        chosen.append(installed.first());
    }
    return chosen;
}
