#include "Paths.h"

#include "FileNames.h"

#include "ProgramLocation.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

QByteArray encode(const QString& path)
{
    return EncodeFileName(path);
}

// realpath() without a fixed buffer; empty when the path cannot be resolved.
QString resolveFully(const QString& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(encode(path).constData(), nullptr), &std::free);
    if (!resolved)
        return {};
    return DecodeFileName(resolved.get());
}

// The current folder with its name's own bytes (QDir::currentPath loses
// bytes that are not UTF-8).
QString currentFolder()
{
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return cwd ? DecodeFileName(cwd.get()) : QDir::currentPath();
}

QString parentOf(const QString& folder)
{
    if (folder == QLatin1String("/"))
        return folder;
    const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : folder.left(slash);
}

QString join(const QString& folder, const QString& name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// Walks the components of an absolute path, resolving links as it goes, so
// that ".." after a link leads to the parent of the link's target, as the
// kernel would see it. Components past a missing one are taken as written.
QString resolveFolder(const QStringList& components)
{
    QString current = QStringLiteral("/");
    bool existing = true;
    for (const QString& part : components) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            current = parentOf(current);
            continue;
        }
        QString next = join(current, part);
        if (existing) {
            struct stat st;
            if (::lstat(encode(next).constData(), &st) != 0) {
                existing = false;
            } else if (S_ISLNK(st.st_mode)) {
                const QString target = resolveFully(next);
                if (!target.isEmpty())
                    next = target;
                else
                    existing = false; // a dangling link: keep its name
            }
        }
        current = next;
    }
    return current;
}

bool ownedPrivateFolder(const QString& folder)
{
    const QByteArray name = encode(folder);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    if (::lstat(name.constData(), &st) != 0)
        return false;
    if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid != ::geteuid())
        return false;
    if ((st.st_mode & 077) != 0 && ::chmod(name.constData(), 0700) != 0)
        return false;
    return true;
}

} // namespace

QString CanonicalPath(const QString& path)
{
    if (path.isEmpty())
        return {};
    QString absolute = path;
    if (!absolute.startsWith(QLatin1Char('/')))
        absolute = join(currentFolder(), path);

    QStringList components = absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (components.isEmpty())
        return QStringLiteral("/");
    const QString last = components.takeLast();
    if (last == QLatin1String(".") || last == QLatin1String("..")) {
        components.append(last);
        return resolveFolder(components);
    }
    return join(resolveFolder(components), last);
}

QString TempFolder()
{
    // $TMPDIR as given (even when it is missing: the callers then fail to
    // make their folders rather than falling back somewhere unexpected).
    const QString fromEnvironment = qEnvironmentVariable("TMPDIR");
    if (fromEnvironment.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(fromEnvironment);
    return QStringLiteral("/tmp");
}

namespace {

QString userSettingsFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !base.startsWith(QLatin1Char('/')))
        base = join(QDir::homePath(), QStringLiteral(".config"));
    return join(base, QStringLiteral("orvanto"));
}

} // namespace

QString SettingsFolder()
{
    // An installed program keeps its settings per user even where its
    // folder happens to be writable (root running /usr/bin/orvanto).
    const QString programDir = ProgramDir();
    if (!IsInstalledProgram() && !programDir.isEmpty() && ::access(encode(programDir).constData(), W_OK) == 0)
        return programDir;
    const QString folder = userSettingsFolder();
    QDir().mkpath(folder);
    return folder;
}

QStringList SettingsFolderCandidates()
{
    QStringList folders;
    if (const QString programDir = ProgramDir(); !programDir.isEmpty())
        folders << programDir;
    folders << userSettingsFolder();
    return folders;
}

std::optional<QString> PrivateWorkFolder()
{
    QString folder;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat st;
    if (runtime.startsWith(QLatin1Char('/')) && ::stat(encode(runtime).constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        folder = join(runtime, QStringLiteral("orvanto"));
    } else {
        folder = join(TempFolder(), QStringLiteral("orvanto-%1").arg(::geteuid()));
    }
    if (!ownedPrivateFolder(folder))
        return std::nullopt;
    return folder;
}

int MaxFileNameBytes(const QString& folder)
{
    constexpr int kCommonLimit = 255;
    const QByteArray native = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    errno = 0;
    const long limit = ::pathconf(native.constData(), _PC_NAME_MAX);
    if (limit <= 0 || limit > INT_MAX)
        return kCommonLimit;
    return static_cast<int>(limit);
}

} // namespace platform
