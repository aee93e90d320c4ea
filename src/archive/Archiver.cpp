#include "Archiver.h"

#include "ArchiverErrors.h"
#include "platform/ProgramLocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

void TArchiver::LoadDLL()
{
    throw EArchiver(QStringLiteral("Abstract method 'TArchiver.LoadDLL' was called"));
}

void TArchiver::FreeDLL()
{
    throw EArchiver(QStringLiteral("Abstract method 'TArchiver.FreeDLL' was called"));
}

TArchiveHandle TArchiver::OpenArc(TWindowHandle, const QString&, std::uint32_t)
{
    return 0;
}

int TArchiver::FindFirst(TArchiveHandle, TEntryInfo&, const QString&)
{
    return -1;
}

int TArchiver::FindNext(TArchiveHandle, TEntryInfo&)
{
    return -1;
}

int TArchiver::CloseArc(TArchiveHandle)
{
    return 0;
}

int TArchiver::Pack(TWindowHandle, const QString&, const TArchiverOptions&, const QString&, const TFileList&, bool,
                    QString&)
{
    throw EArchiver(QStringLiteral("この形式では書庫ファイルの作成をサポートしておりません。"));
}

int TArchiver::Delete(TWindowHandle, const QString&, const TArchiverOptions&, const QString&, const TFileList&, bool,
                      QString&)
{
    throw EArchiver(QStringLiteral("この形式の書庫ではファイルの削除をサポートしておりません。"));
}

int TArchiver::Update(TWindowHandle, const QString&, const TArchiverOptions&, const QString&, const TFileList&, bool,
                      QString&)
{
    throw EArchiver(QStringLiteral("この形式の書庫では書庫の更新をサポートしておりません。"));
}

int TArchiver::MakeSfx(TWindowHandle, const QString&, const TArchiverOptions&, const QString&, QString&)
{
    throw EArchiver(QStringLiteral("この形式では自己解凍書庫の作成をサポートしておりません。"));
}

int TArchiver::ExtractMem(TWindowHandle, const QString&, const TArchiverOptions&, const QString&, unsigned char*,
                          std::uint32_t, std::uint32_t&)
{
    throw EArchiver(QStringLiteral("この形式ではメモリへの展開をサポートしておりません。"));
}

int TArchiver::CheckArc(const QString&, int, int)
{
    throw EArchiver(QStringLiteral("この形式では書庫チェック機能をサポートしておりません。"));
}

bool TArchiver::SetOwnerWindow(TWindowHandle window, std::uintptr_t)
{
    m_ownerWindow = window;
    return false;
}

bool TArchiver::KillOwnerWindow(TWindowHandle)
{
    m_ownerWindow = 0;
    return false;
}

void TArchiver::AddArchiveAndDir(TCmdOpt& cmd, const QString& archive, const QString& folder)
{
    cmd.AddStr(QString(), archive);
    cmd.AddDir(QString(), folder);
}

int TArchiver::AddFileList(TCmdOpt& cmd, const TArchiverOptions& options, bool useResFile, const TFileList& files)
{
    int count;
    if (useResFile && !IsUnset(options.ResFileName) && !options.ResFileName.isEmpty())
        count = cmd.AddResFile(files, options.ResFileName);
    else
        count = cmd.AddFiles(QString(), files);
    cmd.Add(options.UserFileList);
    return count;
}

QString MakeAbsolutePath(const QString& path)
{
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString ChangeFileExt(const QString& path, const QString& ext)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot > slash)
        return path.left(dot) + ext;
    return path + ext;
}

QString JoinPath(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    QString f = folder;
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    QString n = name;
    while (n.startsWith(QLatin1Char('/')))
        n.remove(0, 1);
    if (f == QLatin1String("/"))
        return f + n;
    return f + QLatin1Char('/') + n;
}

QString SearchPathFor(const QString& fileName)
{
    if (fileName.isEmpty())
        return QString();
    if (fileName.contains(QLatin1Char('/')))
        return QFileInfo(fileName).isFile() ? MakeAbsolutePath(fileName) : QString();
    QStringList folders;
    const QString programDir = platform::ProgramDir();
    if (!programDir.isEmpty())
        folders << programDir;
    const QString libraryDir = platform::ProgramLibraryDir();
    if (!libraryDir.isEmpty() && libraryDir != programDir)
        folders << libraryDir;
    folders << QDir::currentPath();
    const QString path = qEnvironmentVariable("PATH");
    for (const QString& folder : path.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders << folder;
    for (const QString& folder : folders) {
        const QString candidate = JoinPath(folder, fileName);
        if (QFileInfo(candidate).isFile())
            return MakeAbsolutePath(candidate);
    }
    return QString();
}

void ConcatenateFiles(const QString& output, const QStringList& inputs)
{
    QSaveFile out(output);
    auto fail = [&](const QString& reason) {
        out.cancelWriting();
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\". %2").arg(output, reason));
    };
    if (!out.open(QIODevice::WriteOnly))
        fail(out.errorString());
    for (const QString& input : inputs) {
        QFile in(input);
        if (!in.open(QIODevice::ReadOnly))
            fail(QStringLiteral("%1: %2").arg(input, in.errorString()));
        while (!in.atEnd()) {
            const QByteArray chunk = in.read(1 << 20);
            if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
                fail(QStringLiteral("%1: %2").arg(input, in.errorString()));
            if (out.write(chunk) != chunk.size())
                fail(out.errorString());
        }
    }
    if (!out.commit())
        fail(out.errorString());
}
