// Qt's own texts and the Windows font names, on the offscreen platform with
// the translations and fonts the install script provides.
#include "dialogs/JapaneseUi.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLibraryInfo>
#include <QPushButton>
#include <QRawFont>
#include <gtest/gtest.h>

TEST(JapaneseUi, QtStandardButtonsReadJapanese)
{
    if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm")))
        GTEST_SKIP() << "Qt's Japanese translations (qt6-translations-l10n) are not installed";
    ASSERT_TRUE(InstallQtJapaneseTranslations(*qApp));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Open
                             | QDialogButtonBox::Yes | QDialogButtonBox::No);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(buttons.button(QDialogButtonBox::Open)->text(), QStringLiteral("開く"));
    EXPECT_TRUE(buttons.button(QDialogButtonBox::Yes)->text().startsWith(QStringLiteral("はい")));
    // Qt's own file dialog too.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

TEST(JapaneseUi, WindowsFontNamesDrawLatinAndKanaFromOneJapaneseFont)
{
    if (!QFontDatabase::families().contains(QStringLiteral("IPAPGothic")))
        GTEST_SKIP() << "the IPA fonts (fonts-ipafont-gothic) are not installed";
    const QStringList chosen = MapWindowsFontNames();
    EXPECT_TRUE(chosen.contains(QStringLiteral("IPAPGothic")));
    const struct {
        const char16_t* name;
        const char* family;
    } cases[] = {{u"ＭＳ Ｐゴシック", "IPAPGothic"},
                 {u"ＭＳ ゴシック", "IPAGothic"},
                 {u"メイリオ", "IPAPGothic"},
                 {u"MS PGothic", "IPAPGothic"}};
    for (const auto& c : cases) {
        const QFont font(QString::fromUtf16(c.name), 9);
        const QFontInfo info(font);
        EXPECT_EQ(info.family(), QString::fromLatin1(c.family)) << QString::fromUtf16(c.name).toStdString();
        // The one font holds both scripts, so no fallback font is mixed in.
        const QRawFont raw = QRawFont::fromFont(font);
        EXPECT_TRUE(raw.supportsCharacter(QLatin1Char('A')));
        EXPECT_TRUE(raw.supportsCharacter(QChar(0x3042))); // あ
    }
}
