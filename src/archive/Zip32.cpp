#include "Zip32.h"

#include "ArchiverErrors.h"

#include <QFile>
#include <QFileInfo>

#include <memory>

namespace {

std::unique_ptr<TZipDll>& ZipBinding()
{
    static std::unique_ptr<TZipDll> binding;
    return binding;
}

TZipDll& ZipDll()
{
    TZip32::LoadClassDLL();
    return *ZipBinding();
}

} // namespace

TZip32::TZip32()
{
    LoadClassDLL();
}

TZipDll* TZip32::Binding()
{
    return ZipBinding().get();
}

void TZip32::LoadClassDLL()
{
    auto& binding = ZipBinding();
    if (binding)
        return;
    binding = std::make_unique<TZipDll>();
    binding->LoadDLL();
}

void TZip32::FreeClassDLL()
{
    ZipBinding().reset();
}

QString TZip32::BuildUnzipCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                                  const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    cmd.NameConverter = EscapeZipName;
    if (o.c == 1)
        cmd.Add(QStringLiteral("-o"));
    if (o.n > 0 || HasOwnerWindow())
        cmd.Add(QStringLiteral("--i"));
    if (o.x == 0)
        cmd.Add(QStringLiteral("-j"));
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archive, folder);
    AddFileList(cmd, o, useResFile, files);
    return word + cmd.Text();
}

QString TZip32::BuildZip32jCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                                   const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    cmd.NameConverter = EscapeZipName;
    if (o.a > 0)
        cmd.Add(QStringLiteral("-S"));
    if (o.a < 2)
        cmd.Add(QStringLiteral("-D"));
    if (o.l > 0)
        cmd.Add(QStringLiteral("-v"));
    if (o.n > 0)
        cmd.Add(QStringLiteral("-q"));
    if (o.r > 0)
        cmd.Add(QStringLiteral("-r"));
    if (o.n > 0)
        cmd.Add(QStringLiteral("-o"));
    if (o.u > 0)
        cmd.Add(QStringLiteral("-u"));
    if (o.x == 0)
        cmd.Add(QStringLiteral("-j"));
    if (o.jc > 0)
        cmd.Add(QStringLiteral("-FF"));
    if (o.ji > 0)
        cmd.Add(QStringLiteral("-k"));
    cmd.AddInt(QString(), o.jm);
    if (o.gd > 0)
        cmd.Add(QStringLiteral("-J"));
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archive, folder);
    AddFileList(cmd, o, useResFile, files);
    return word + cmd.Text();
}

QString TZip32::BuildLmzipPackCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                                      const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    if (o.c == 1)
        cmd.Add(QStringLiteral("-o"));
    if (o.x == 0)
        cmd.Add(QStringLiteral("-j"));
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archive, folder);
    AddFileList(cmd, o, useResFile, files);
    return word + cmd.Text();
}

int TZip32::RunZip(TWindowHandle window, const QString& cmdLine, QString& output)
{
    TZipDll& dll = ZipDll();
    return RunCommand(window, cmdLine, output, [&dll](TWindowHandle w, const QString& c, char* out, std::uint32_t n) {
        return dll.Zip(w, c, out, n);
    });
}

TArchiveHandle TZip32::OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode)
{
    return ZipDll().OpenArc(window, MakeAbsolutePath(archive), mode);
}

int TZip32::FindFirst(TArchiveHandle handle, TEntryInfo& entry, const QString& wildcard)
{
    return ZipDll().FindFirst(handle, wildcard, entry);
}

int TZip32::FindNext(TArchiveHandle handle, TEntryInfo& entry)
{
    return ZipDll().FindNext(handle, entry);
}

int TZip32::CloseArc(TArchiveHandle handle)
{
    return ZipDll().CloseArc(handle);
}

int TZip32::Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, const TFileList& files, bool useResFile, QString& output)
{
    TZipDll& dll = ZipDll();
    dll.LoadDLL(); // a library put in place since the last try is found now
    if (!dll.IsLoaded(TZipDll::zmUnzip32) && !dll.IsLoaded(TZipDll::zmLmzip32))
        throw EArchiver(QStringLiteral("ZIP 形式書庫の解凍には UNZIP32.DLL または LMZIP32.DLL が必要です。"));
    const QString cmd = BuildUnzipCommand(QStringLiteral("-x"), options, archive, destDir, files, useResFile);
    return RunCommand(window, cmd, output, [&dll](TWindowHandle w, const QString& c, char* out, std::uint32_t n) {
        return dll.UnZip(w, c, out, n);
    });
}

int TZip32::Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                 const TFileList& files, bool useResFile, QString& output)
{
    TZipDll& dll = ZipDll();
    dll.LoadDLL();
    if (dll.IsLoaded(TZipDll::zmZip32j)) {
        const QString cmd = BuildZip32jCommand(QString(), options, archive, destDir, files, useResFile);
        return RunZip(window, cmd, output);
    }
    if (!dll.IsLoaded(TZipDll::zmLmzip32))
        throw EArchiver(QStringLiteral("ZIP 形式書庫の作成には ZIP32J.DLL または LMZIP32.DLL が必要です。"));

    const QString cmd = BuildLmzipPackCommand(QStringLiteral("-ru"), options, archive, QString(), files, useResFile);
    // The library builds the archive afresh. The old archive is moved aside
    // rather than deleted, and put back when the library fails, so a failed
    // run does not lose it.
    const QString absolute = MakeAbsolutePath(archive);
    QString backup;
    if (QFileInfo::exists(absolute)) {
        for (int k = 0; k < 1000 && backup.isEmpty(); ++k) {
            const QString candidate = absolute + QStringLiteral(".orvanto-old") + (k ? QString::number(k) : QString());
            if (!QFileInfo::exists(candidate))
                backup = candidate;
        }
        if (backup.isEmpty() || !QFile::rename(absolute, backup))
            throw EFCreateError(QStringLiteral("Cannot create file \"%1\".").arg(absolute));
    }
    int rc;
    try {
        rc = RunZip(window, cmd, output);
    } catch (...) {
        if (!backup.isEmpty()) {
            QFile::remove(absolute);
            QFile::rename(backup, absolute);
        }
        throw;
    }
    if (!backup.isEmpty()) {
        if (rc != 0) {
            QFile::remove(absolute);
            QFile::rename(backup, absolute);
        } else {
            QFile::remove(backup);
        }
    }
    return rc;
}

int TZip32::Delete(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString&,
                   const TFileList& files, bool useResFile, QString& output)
{
    const QString cmd = BuildZip32jCommand(QStringLiteral("-d"), options, archive, QString(), files, useResFile);
    return RunZip(window, cmd, output);
}

int TZip32::Update(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                   const QString& destDir, const TFileList& files, bool useResFile, QString& output)
{
    const QString cmd = BuildZip32jCommand(QStringLiteral("-f"), options, archive, destDir, files, useResFile);
    return RunZip(window, cmd, output);
}

int TZip32::MakeSfx(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, QString& output)
{
    TZipDll& dll = ZipDll();
    dll.LoadDLL();
    if (!dll.IsLoaded(TZipDll::zmZip32j))
        throw ESfxNoRequiredFile(QStringLiteral("zip"), QString(), QStringLiteral("ZIP32J.DLL"));
    const bool gui = options.gw > 0;
    const QString stubName = gui ? QStringLiteral("sfx32gui.dat") : QStringLiteral("sfx16.dat");
    const QString stub = SearchPathFor(stubName);
    if (stub.isEmpty())
        throw ESfxNoRequiredFile(QStringLiteral("zip"), gui ? QStringLiteral("Win32") : QStringLiteral("DOS"),
                                 stubName);
    QString target = ChangeFileExt(archive, QStringLiteral(".EXE"));
    if (!destDir.isEmpty())
        target = JoinPath(destDir, QFileInfo(target).fileName());
    ConcatenateFiles(target, {stub, archive});
    return RunZip(window, QStringLiteral("-A ") + target, output);
}

int TZip32::ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                       const QString& entryName, unsigned char* buffer, std::uint32_t size, std::uint32_t& written)
{
    CommandLine = BuildUnzipCommand(QString(), options, archive, QString(), TFileList{QStringList{entryName}}, false);
    return ZipDll().ExtractMem(window, CommandLine, buffer, size, &written);
}

int TZip32::CheckArc(const QString& archive, int level, int)
{
    return ZipDll().CheckArc(archive, level);
}

bool TZip32::SetOwnerWindow(TWindowHandle window, std::uintptr_t value)
{
    const bool accepted = ZipDll().SetOwnerWindowEx(window, reinterpret_cast<void*>(value)) != 0;
    m_ownerWindow = window;
    return accepted;
}

bool TZip32::KillOwnerWindow(TWindowHandle window)
{
    m_ownerWindow = 0;
    return ZipDll().KillOwnerWindowEx(window) != 0;
}

bool TZip32::IsZipFile(const QString& fileName)
{
    try {
        TZipDll& dll = ZipDll();
        const QString path = MakeAbsolutePath(fileName);
        if (dll.CheckArc(path, 24) <= 0 || !QFileInfo::exists(path))
            return false;
        TArchiveHandle handle = dll.OpenArc(0, path, 0x800002);
        if (!handle)
            return false;
        dll.CloseArc(handle);
        return true;
    } catch (const EArchiver&) {
        return false;
    }
}
