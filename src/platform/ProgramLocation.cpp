#include "ProgramLocation.h"

#include <QDir>
#include <QFileInfo>

namespace platform {
namespace {

QString prefixOf(const QString& programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/.."));
}

} // namespace

QString ProgramFilePath()
{
    static const QString path = [] {
        QFileInfo info(QStringLiteral("/proc/self/exe"));
        return info.canonicalFilePath();
    }();
    return path;
}

QString ProgramDir()
{
    const QString file = ProgramFilePath();
    if (file.isEmpty())
        return {};
    return QFileInfo(file).absolutePath();
}

bool IsInstalledLayout(const QString& programDir)
{
    if (programDir.isEmpty() || QFileInfo(programDir).fileName() != QLatin1String("bin"))
        return false;
    return QFileInfo(prefixOf(programDir) + QStringLiteral("/lib/orvanto")).isDir();
}

QString LibraryDirFor(const QString& programDir)
{
    if (IsInstalledLayout(programDir))
        return prefixOf(programDir) + QStringLiteral("/lib/orvanto");
    return programDir;
}

QString DataDirFor(const QString& programDir)
{
    if (IsInstalledLayout(programDir))
        return prefixOf(programDir) + QStringLiteral("/share/orvanto");
    return programDir;
}

bool IsInstalledProgram()
{
    static const bool installed = IsInstalledLayout(ProgramDir());
    return installed;
}

QString ProgramLibraryDir()
{
    return LibraryDirFor(ProgramDir());
}

QString ProgramDataDir()
{
    return DataDirFor(ProgramDir());
}

} // namespace platform
