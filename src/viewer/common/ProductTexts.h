#pragma once
// Fixed texts of the program.
#include <QString>

namespace MainTexts {
inline const QString ProductName = QStringLiteral("ミレット");
inline const QString Version = QStringLiteral("Ver\u30003.41");
inline const QString ArchiveExtensions =
    QStringLiteral("*.lzh,*.zip,*.cab,*.arj,*.rar,*.gca,*.bza,*.gza,*.bel,*.tgz,*.taz,*.gz,z,*.bz2,*.tar,*.cpio,*.ar,"
                   // 7z archives and the comic-book names (ZIP, RAR, 7z, TAR by content)
                   "*.7z,*.cbz,*.cbr,*.cb7,*.cbt");
inline const QString ExcludedExtensions = QStringLiteral("*.wav,*.mid,*.mp3,*.avi,*.mov,*.au,*.asf,*.mpg,*.wma,*.aif");
inline const QString Searching = QStringLiteral("ただいま、画像を検索中です。");
inline const QString NoImages = QStringLiteral("表示する画像はありません。");
inline const QString Undecodable = QStringLiteral("表示不可");
} // namespace MainTexts
