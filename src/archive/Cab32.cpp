#include "Cab32.h"

namespace {

std::unique_ptr<TArchiverDll> g_binding;
const TBindingInfo kBindingInfo{u"CAB 形式書庫", u"Cab", u"CAB32.DLL"};

} // namespace

TCab32::TCab32() : TSingleLibraryArchiver(g_binding, kBindingInfo) {}

TArchiverDll* TCab32::Binding()
{
    return g_binding.get();
}

void TCab32::LoadClassDLL()
{
    LoadBinding(g_binding, kBindingInfo);
}

void TCab32::FreeClassDLL()
{
    g_binding.reset();
}

QString TCab32::BuildCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                             const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    if (o.c == 1)
        cmd.Add(QStringLiteral("-o"));
    if (o.n > 0 || HasOwnerWindow())
        cmd.Add(QStringLiteral("-i"));
    if (o.r > 0)
        cmd.Add(QStringLiteral("-r"));
    cmd.AddDir(QStringLiteral("h"), o.w);
    if (o.x == 0)
        cmd.Add(QStringLiteral("-j"));
    if (o.ji > 0)
        cmd.Add(QStringLiteral("-q"));
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archive, folder);
    AddFileList(cmd, o, useResFile, files);
    return word + cmd.Text();
}

int TCab32::Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, const TFileList& files, bool, QString& output)
{
    const QString cmd = BuildCommand(QStringLiteral("-x"), options, MakeAbsolutePath(archive), destDir, files,
                                     options.ResFileUsage.Contains(ruOnUnpack));
    return Run(window, cmd, output);
}

int TCab32::Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                 const TFileList& files, bool, QString& output)
{
    const QString cmd =
        BuildCommand(QStringLiteral("-a"), options, archive, destDir, files, options.ResFileUsage.Contains(ruOnPack));
    return Run(window, cmd, output);
}

int TCab32::MakeSfx(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, QString& output)
{
    const QString cmd = BuildCommand(QStringLiteral("-f"), options, archive, destDir, TFileList{}, false);
    return Run(window, cmd, output);
}

int TCab32::ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                       const QString& entryName, unsigned char* buffer, std::uint32_t size, std::uint32_t& written)
{
    CommandLine = BuildCommand(QString(), options, archive, QString(), TFileList{entryName}, false);
    return Dll().ExtractMem(window, CommandLine, buffer, size, &written);
}

bool TCab32::IsCabFile(const QString& fileName)
{
    return OpensAsArchive(g_binding, kBindingInfo, fileName);
}
