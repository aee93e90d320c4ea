#include "Rar32.h"

namespace {

std::unique_ptr<TArchiverDll> g_binding;
const TBindingInfo kBindingInfo{u"RAR 形式書庫", u"Unrar", u"UNRAR32.DLL"};

} // namespace

TRar32::TRar32() : TSingleLibraryArchiver(g_binding, kBindingInfo) {}

TArchiverDll* TRar32::Binding()
{
    return g_binding.get();
}

void TRar32::LoadClassDLL()
{
    LoadBinding(g_binding, kBindingInfo);
}

void TRar32::FreeClassDLL()
{
    g_binding.reset();
}

QString TRar32::BuildCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                             const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    if (o.c < 1)
        cmd.Add(QStringLiteral("-u"));
    if (o.m > 0)
        cmd.Add(QStringLiteral("-y"));
    if (o.p > 0)
        cmd.Add(QStringLiteral("-s"));
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archive, folder);
    AddFileList(cmd, o, useResFile, files);
    return word + cmd.Text();
}

int TRar32::Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, const TFileList& files, bool, QString& output)
{
    const QString word = options.x != 0 ? QStringLiteral("-x") : QStringLiteral("-e");
    const QString cmd = BuildCommand(word, options, archive, destDir, files, options.ResFileUsage.Contains(ruOnUnpack));
    return Run(window, cmd, output);
}

int TRar32::ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                       const QString& entryName, unsigned char* buffer, std::uint32_t size, std::uint32_t& written)
{
    CommandLine = BuildCommand(QString(), options, archive, QString(), TFileList{entryName}, false);
    return Dll().ExtractMem(window, CommandLine, buffer, size, &written);
}

bool TRar32::IsRarFile(const QString& fileName)
{
    return OpensAsArchive(g_binding, kBindingInfo, fileName);
}
