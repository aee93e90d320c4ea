#include "DynamicLibrary.h"

#include "ProgramLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <dlfcn.h>
#include <link.h>

namespace platform {
namespace {

thread_local QString g_lastError;

QStringList& extraFolders()
{
    static QStringList folders;
    return folders;
}

void* openExact(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    dlerror();
    void* handle = dlopen(encoded.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = dlerror();
        g_lastError = err ? QString::fromLocal8Bit(err) : QStringLiteral("cannot load %1").arg(path);
    }
    return handle;
}

} // namespace

QString SharedObjectName(const QString& libraryName)
{
    if (libraryName.contains(QLatin1Char('/')))
        return libraryName;
    if (!libraryName.endsWith(QLatin1String(".dll"), Qt::CaseInsensitive))
        return libraryName;
    QString base = libraryName.left(libraryName.size() - 4).toLower();
    return QStringLiteral("lib") + base + QStringLiteral(".so");
}

QString FindLibraryFile(const QString& libraryName)
{
    if (libraryName.isEmpty())
        return {};
    const QString mapped = SharedObjectName(libraryName);
    if (mapped.contains(QLatin1Char('/')))
        return mapped;
    if (mapped == libraryName) {
        // A plain file name that is not a ".dll" name: relative to the
        // current folder like any other file the program opens.
        if (QFileInfo::exists(mapped))
            return QFileInfo(mapped).absoluteFilePath();
    }

    QStringList folders;
    const QString libraryDir = ProgramLibraryDir();
    if (!libraryDir.isEmpty())
        folders << libraryDir;
    folders << extraFolders();
    for (const QString& folder : folders) {
        const QString candidate = folder + QLatin1Char('/') + mapped;
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return mapped; // left to the system's own search
}

LibraryHandle LoadLibrary(const QString& libraryName)
{
    g_lastError.clear();
    if (libraryName.isEmpty()) {
        g_lastError = QStringLiteral("empty library name");
        return nullptr;
    }
    return openExact(FindLibraryFile(libraryName));
}

void* GetProcAddress(LibraryHandle library, const char* name)
{
    if (!library || !name)
        return nullptr;
    return dlsym(library, name);
}

bool FreeLibrary(LibraryHandle library)
{
    if (!library)
        return false;
    return dlclose(library) == 0;
}

QString GetModuleFileName(LibraryHandle library)
{
    if (!library)
        return {};
    link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
        return {};
    const QString name = QFile::decodeName(map->l_name);
    const QString canonical = QFileInfo(name).canonicalFilePath();
    return canonical.isEmpty() ? name : canonical;
}

QString LastLibraryError()
{
    return g_lastError;
}

void AddLibrarySearchFolder(const QString& folder)
{
    if (!extraFolders().contains(folder))
        extraFolders().append(folder);
}

} // namespace platform
