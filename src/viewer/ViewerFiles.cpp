#include "ViewerFiles.h"

#include "viewer/common/SharedHelpers.h"
#include "platform/FileExtension.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "viewer/common/ProductTexts.h"

#include <QFileInfo>

namespace {

// The extension lower-cased with its dot.
const platform::ExtensionRule kViewerExtension{.lowerCase = true};

} // namespace

bool IsArchiveName(const QString& path)
{
    const QString ext = platform::FileExtension(path, kViewerExtension);
    return !ext.isEmpty() && MainTexts::ArchiveExtensions.contains(ext);
}

bool IsExcludedName(const QString& path)
{
    const QString ext = platform::FileExtension(path, kViewerExtension);
    return !ext.isEmpty() && MainTexts::ExcludedExtensions.contains(ext);
}

bool IsImageName(const QString& path, const QString& graphicFilter)
{
    const QString ext = platform::FileExtension(path, kViewerExtension);
    return !ext.isEmpty() && graphicFilter.contains(ext);
}

QString ApplicationName(const QString& appPath)
{
    QString name = appPath;
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.left(dot);
    const int slash = name.lastIndexOf(QLatin1Char('/'));
    return slash >= 0 ? name.mid(slash + 1) : name;
}

QStringList LaunchArguments(const QString& appPath, const QString& imagePath)
{
    const QString fileName = appPath.mid(appPath.lastIndexOf(QLatin1Char('/')) + 1).toLower();
    if (fileName == QLatin1String("gmask.exe"))
        return imagePath.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return {imagePath};
}

QString UnpackFolderFor(const QString& workFolder, const QString& archivePath)
{
    const QString base = IncludeBackslash(workFolder)
                         + ReplaceChar(QFileInfo(archivePath).fileName(), QLatin1Char('.'), QLatin1Char('_'));
    QString candidate = base;
    for (int n = 1; platform::DirectoryExists(candidate) || platform::FileExists(candidate); ++n)
        candidate = base + NumberSuffix(n);
    return candidate;
}

QString WorkFolderFor(const QString& base, qint64 pid)
{
    return IncludeBackslash(base) + QStringLiteral("picture-") + QString::number(pid);
}

void RemoveStaleWorkFolders(const QString& base)
{
    // "picture" and "picture-<pid>" of programs that are no longer running.
    // A folder of a running instance is left alone: it holds that
    // instance's unpacked archives.
    const QString prefix = QStringLiteral("picture-");
    for (const platform::DirEntry& entry : platform::ListDirectory(base)) {
        if (!entry.isDir)
            continue;
        bool stale = entry.name == QLatin1String("picture");
        if (!stale && entry.name.startsWith(prefix)) {
            bool ok = false;
            const qint64 pid = entry.name.mid(prefix.size()).toLongLong(&ok);
            stale = !ok || !platform::ProcessExists(pid);
        }
        if (stale)
            DeleteFolderTree(IncludeBackslash(base) + entry.name);
    }
}

int CountFilesBelow(const QString& folder)
{
    int count = 0;
    for (const platform::DirEntry& entry : platform::ListDirectory(folder))
        count += entry.isDir ? CountFilesBelow(IncludeBackslash(folder) + entry.name) : 1;
    return count;
}
