#include "SpecialFolders.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextStream>

namespace platform {
namespace {

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString writable(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    return path.isEmpty() ? QDir::homePath() : withoutTrailingSlash(path);
}

// The XDG templates folder from user-dirs.dirs; the home folder when it is
// not configured, as xdg-user-dir answers.
QString templatesFolder()
{
    const QString home = withoutTrailingSlash(QDir::homePath());
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!configHome.startsWith(QLatin1Char('/')))
        configHome = home + QStringLiteral("/.config");
    QFile file(configHome + QStringLiteral("/user-dirs.dirs"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return home;
    static const QRegularExpression line(
        QStringLiteral("^\\s*XDG_TEMPLATES_DIR\\s*=\\s*\"((?:[^\"\\\\]|\\\\.)*)\"\\s*$"));
    QString result;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QRegularExpressionMatch match = line.match(in.readLine());
        if (!match.hasMatch())
            continue;
        QString value = match.captured(1);
        value.replace(QRegularExpression(QStringLiteral("\\\\(.)")), QStringLiteral("\\1"));
        if (value.startsWith(QLatin1String("$HOME")))
            value = home + value.mid(5);
        if (value.startsWith(QLatin1Char('/')))
            result = withoutTrailingSlash(value); // the last assignment wins
    }
    return result.isEmpty() ? home : result;
}

} // namespace

QString SpecialFolderPath(int csidl)
{
    switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY:
        return writable(QStandardPaths::DesktopLocation);
    case CSIDL_PROGRAMS:
    case CSIDL_STARTMENU:
        return writable(QStandardPaths::ApplicationsLocation);
    case CSIDL_PERSONAL:
        return writable(QStandardPaths::DocumentsLocation);
    case CSIDL_TEMPLATES:
        return templatesFolder();
    case CSIDL_DRIVES:
        return QStringLiteral("/");
    case CSIDL_CONTROLS:
    case CSIDL_PRINTERS:
    case CSIDL_FAVORITES:
    case CSIDL_STARTUP:
    case CSIDL_RECENT:
    case CSIDL_SENDTO:
    case CSIDL_BITBUCKET:
    case CSIDL_NETWORK:
    case CSIDL_NETHOOD:
    case CSIDL_FONTS:
    case CSIDL_APPDATA:
    case CSIDL_PRINTHOOD:
        return withoutTrailingSlash(QDir::homePath());
    default:
        return {};
    }
}

} // namespace platform
