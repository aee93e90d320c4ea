#include "WindowsPluginFacts.h"

#include "platform/Paths.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr quint32 kMagic = 0x4F575046; // "OWPF"
constexpr quint32 kVersion = 1;

// The record of one plug-in file: named by a hash of its full path.
std::optional<QString> RecordPath(const QString& path)
{
    const std::optional<QString> work = platform::PrivateWorkFolder();
    if (!work)
        return std::nullopt;
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha1).toHex().left(32);
    return *work + QStringLiteral("/windows-plugins/") + QString::fromLatin1(hash) + QStringLiteral(".facts");
}

// What tells this state of the file from an earlier one.
struct FileStamp {
    QByteArray path;
    qint64 size = -1;
    qint64 modified = 0;
};

std::optional<FileStamp> StampOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return FileStamp{QFile::encodeName(path), info.size(), info.lastModified().toMSecsSinceEpoch()};
}

// Removes the records of plug-in files that are gone, so that records do not
// pile up for plug-ins deleted or moved long ago.
void ForgetVanishedPlugins(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.facts")}, QDir::Files)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QDataStream in(&file);
        in.setVersion(QDataStream::Qt_6_0);
        quint32 magic = 0, version = 0;
        QByteArray path;
        in >> magic >> version >> path;
        const bool vanished = in.status() != QDataStream::Ok || magic != kMagic || version != kVersion
                              || !QFileInfo(QFile::decodeName(path)).isFile();
        file.close();
        if (vanished)
            QFile::remove(dir.filePath(name));
    }
}

} // namespace

std::optional<WindowsPluginFacts> RememberedWindowsPluginFacts(const QString& path)
{
    const std::optional<QString> record = RecordPath(path);
    const std::optional<FileStamp> stamp = StampOf(path);
    if (!record || !stamp)
        return std::nullopt;
    QFile file(*record);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0, version = 0;
    FileStamp kept;
    WindowsPluginFacts facts;
    in >> magic >> version;
    if (magic != kMagic || version != kVersion)
        return std::nullopt;
    in >> kept.path >> kept.size >> kept.modified >> facts.entryMask >> facts.apiVersion >> facts.pluginInfo
        >> facts.patterns >> facts.formatNames;
    if (in.status() != QDataStream::Ok || kept.path != stamp->path || kept.size != stamp->size
        || kept.modified != stamp->modified || facts.patterns.size() != facts.formatNames.size())
        return std::nullopt;
    return facts;
}

bool RememberWindowsPluginFacts(const QString& path, const WindowsPluginFacts& facts)
{
    const std::optional<QString> record = RecordPath(path);
    const std::optional<FileStamp> stamp = StampOf(path);
    if (!record || !stamp || !QDir().mkpath(QFileInfo(*record).absolutePath()))
        return false;
    ForgetVanishedPlugins(QFileInfo(*record).absolutePath());
    QSaveFile file(*record);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << kVersion << stamp->path << stamp->size << stamp->modified << facts.entryMask << facts.apiVersion
        << facts.pluginInfo << facts.patterns << facts.formatNames;
    return out.status() == QDataStream::Ok && file.commit();
}
