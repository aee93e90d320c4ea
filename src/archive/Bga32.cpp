#include "Bga32.h"

#include "ArchiverErrors.h"

#include <QFileInfo>

namespace {

std::unique_ptr<TArchiverDll> g_binding;
const TBindingInfo kBindingInfo{u"BGA 形式書庫", u"Bga", u"BGA32.DLL"};

} // namespace

TBGA32::TBGA32() : TSingleLibraryArchiver(g_binding, kBindingInfo) {}

TArchiverDll* TBGA32::Binding()
{
    return g_binding.get();
}

void TBGA32::LoadClassDLL()
{
    LoadBinding(g_binding, kBindingInfo);
}

void TBGA32::FreeClassDLL()
{
    g_binding.reset();
}

QString TBGA32::BuildCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                             const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    cmd.AddBool(QStringLiteral("a"), o.a > 0);
    cmd.Add(o.c <= 0 ? QStringLiteral("-n") : QStringLiteral("-o"));
    cmd.AddBool(QStringLiteral("i"), o.n > 0 || HasOwnerWindow());
    cmd.AddBool(QStringLiteral("r"), o.r > 0);
    cmd.AddBool(QStringLiteral("j"), o.x <= 0);
    cmd.AddInt(QStringLiteral("l"), o.jm);
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archive, folder);
    AddFileList(cmd, o, useResFile, files);
    return word + cmd.Text();
}

int TBGA32::Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, const TFileList& files, bool useResFile, QString& output)
{
    return Run(window, BuildCommand(QStringLiteral("x"), options, archive, destDir, files, useResFile), output);
}

int TBGA32::Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                 const TFileList& files, bool useResFile, QString& output)
{
    return Run(window, BuildCommand(QStringLiteral("a"), options, archive, destDir, files, useResFile), output);
}

int TBGA32::Delete(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString&,
                   const TFileList& files, bool, QString& output)
{
    return Run(window,
               BuildCommand(QStringLiteral("d"), options, archive, QString(), files,
                            options.ResFileUsage.Contains(ruOnRemoveItem)),
               output);
}

int TBGA32::MakeSfx(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, QString& output)
{
    return Run(window, BuildCommand(QStringLiteral("s"), options, archive, destDir, TFileList{}, false), output);
}

int TBGA32::CheckArc(const QString& archive, int level, int extra)
{
    return Dll().CheckArc(archive, (level == 2 ? 1 : level) + extra);
}

bool TBGA32::IsBgaFile(const QString& fileName)
{
    try {
        LoadClassDLL();
    } catch (const EArchiver&) {
        return false;
    }
    if (!QFileInfo::exists(MakeAbsolutePath(fileName)))
        return false;
    return OpensAsArchive(g_binding, kBindingInfo, fileName);
}
