#include "WineRuntime.h"

#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

namespace {

bool IsExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString WineLoader(int bits)
{
    const char* variable = bits == 32 ? "ORVANTO_WINE32" : "ORVANTO_WINE64";
    if (qEnvironmentVariableIsSet(variable)) {
        const QString chosen = qEnvironmentVariable(variable);
        return IsExecutableFile(chosen) ? chosen : QString();
    }
    // Debian keeps the loaders out of PATH: /usr/lib/wine/wine64 (package
    // wine64) and /usr/lib/wine/wine (package wine32, i386).
    const QStringList candidates = bits == 32 ? QStringList{QStringLiteral("/usr/lib/wine/wine"),
                                                            QStringLiteral("/usr/lib/i386-linux-gnu/wine/wine")}
                                              : QStringList{QStringLiteral("/usr/lib/wine/wine64"),
                                                            QStringLiteral("/usr/lib/x86_64-linux-gnu/wine/wine64")};
    for (const QString& path : candidates) {
        if (IsExecutableFile(path))
            return path;
    }
    // Other distributions put them on the path; "wine" there may be a
    // launcher of either kind, so only the 64-bit name is taken.
    if (bits == 64) {
        const QString found = QStandardPaths::findExecutable(QStringLiteral("wine64"));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

std::optional<QString> WinePrefixFolder()
{
    const std::optional<QString> work = PrivateWorkFolder();
    if (!work)
        return std::nullopt;
    return *work + QStringLiteral("/wine");
}

std::vector<std::pair<QByteArray, QByteArray>> WineEnvironment(const QString& prefix)
{
    const QByteArray removed("\x01");
    return {
        {"WINEPREFIX", QFile::encodeName(prefix)},
        {"WINEARCH", "win64"},
        {"WINEDEBUG", "-all"},
        // No Mono or Gecko offer, no desktop menu entries, and none of the
        // device, plug-and-play and desktop services a console helper does
        // not use: they cost seconds at each start of Wine.
        {"WINEDLLOVERRIDES", "mscoree,mshtml,winemenubuilder.exe,winedevice.exe,plugplay.exe,explorer.exe="},
        {"DISPLAY", removed},
        {"WAYLAND_DISPLAY", removed},
        {"LC_ALL", "ja_JP.UTF-8"},
    };
}

} // namespace platform
