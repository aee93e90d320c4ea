#include "Tar32.h"

#include "ArchiverErrors.h"
#include "ArchiverOptions.h"

#include <QFileInfo>

namespace {

std::unique_ptr<TArchiverDll> g_binding;
const TBindingInfo kBindingInfo{u"tar/tgz/taz/bz2 形式書庫", u"Tar", u"TAR32.DLL"};

} // namespace

TTar32::TTar32() : TSingleLibraryArchiver(g_binding, kBindingInfo) {}

TArchiverDll* TTar32::Binding()
{
    return g_binding.get();
}

void TTar32::LoadClassDLL()
{
    LoadBinding(g_binding, kBindingInfo);
}

void TTar32::FreeClassDLL()
{
    g_binding.reset();
}

QString TTar32::BuildCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                             const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    cmd.SpaceSeparated = true;
    if (o.a > 0)
        cmd.Add(QStringLiteral("-AH"));
    if (o.a == 0)
        cmd.Add(QStringLiteral("-I"));
    if (!HasOwnerWindow() && o.n > 0)
        cmd.Add(QStringLiteral("--display-dialog=0"));
    if (o.o > 0)
        cmd.Add(QStringLiteral("-g"));
    cmd.AddInt(QStringLiteral("-check-all-path="), o.p);
    cmd.AddInt(QStringLiteral("-use-directory="), o.x);
    switch (Compression()) {
    case tcGzip:
        cmd.Add(o.jm > 0 ? QStringLiteral("-z") + QString::number(o.jm) : QStringLiteral("-z"));
        break;
    case tcBzip2:
        cmd.Add(o.jm > 0 ? QStringLiteral("-B") + QString::number(o.jm) : QStringLiteral("-B"));
        break;
    case tcNone:
        break;
    }
    cmd.Add(o.UserOptions);
    if (!archive.isEmpty())
        cmd.AddStr(QStringLiteral("f"), archive);
    if (!folder.isEmpty())
        cmd.AddDir(QStringLiteral("o"), folder);
    AddFileList(cmd, o, useResFile, files);
    return word + cmd.Text();
}

int TTar32::Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, const TFileList& files, bool, QString& output)
{
    const QString cmd =
        BuildCommand(QStringLiteral("x"), options, archive, destDir, files, options.ResFileUsage.Contains(ruOnUnpack));
    return Run(window, cmd, output);
}

int TTar32::Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                 const TFileList& files, bool, QString& output)
{
    const QString cmd =
        BuildCommand(QStringLiteral("c"), options, archive, destDir, files, options.ResFileUsage.Contains(ruOnPack));
    return Run(window, cmd, output);
}

int TTar32::MakeSfx(TWindowHandle, const QString& archive, const TArchiverOptions&, const QString& destDir, QString&)
{
    if (Compression() == tcBzip2)
        throw EArchiver(QStringLiteral("BZ2 形式書庫は自己解凍形式にできません。"));
    const QString stubName = QStringLiteral("kmtarsef.exe");
    const QString stub = SearchPathFor(stubName);
    if (stub.isEmpty())
        throw ESfxNoRequiredFile(QStringLiteral("tar/tgz"), QString(), stubName);
    QString target = ChangeFileExt(archive, QStringLiteral(".EXE"));
    if (!destDir.isEmpty())
        target = JoinPath(destDir, QFileInfo(target).fileName());
    ConcatenateFiles(target, {stub, archive});
    return 0;
}

int TTar32::ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                       const QString& entryName, unsigned char* buffer, std::uint32_t size, std::uint32_t& written)
{
    CommandLine = BuildCommand(QString(), options, archive, QString(), TFileList{entryName}, false);
    return Dll().ExtractMem(window, CommandLine, buffer, size, &written);
}

int TTar32::GetTarType(const QString& fileName)
{
    try {
        LoadBinding(g_binding, kBindingInfo);
        const int code = g_binding->GetArchiveType(fileName);
        if (code == 1)
            return atTar;
        if (code >= 2 && code <= 5)
            return atTgz;
        if (code == 6 || code == 7)
            return atBZ2;
        return atNone;
    } catch (const EArchiver&) {
        return atNone;
    }
}
