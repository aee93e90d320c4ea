#include "SevenZip32.h"

#include "ArchiverErrors.h"

#include <QFileInfo>

namespace {

std::unique_ptr<TArchiverDll> g_binding;
const TBindingInfo kBindingInfo{u"7z 形式書庫", u"SevenZip", u"7-zip32.dll"};

QString& SfxModuleName()
{
    static QString name;
    return name;
}

QString& SfxConfigName()
{
    static QString name;
    return name;
}

} // namespace

TSevenZip32::TSevenZip32() : TSingleLibraryArchiver(g_binding, kBindingInfo) {}

TArchiverDll* TSevenZip32::Binding()
{
    return g_binding.get();
}

void TSevenZip32::LoadClassDLL()
{
    LoadBinding(g_binding, kBindingInfo);
}

void TSevenZip32::FreeClassDLL()
{
    g_binding.reset();
}

QStringList TSevenZip32::SfxModules()
{
    return {QStringLiteral("7z.sfx"), QStringLiteral("7zC.sfx"), QStringLiteral("7zCon.sfx"), QStringLiteral("7zS.sfx"),
            QStringLiteral("7zSD.sfx")};
}

QString TSevenZip32::SfxModule()
{
    return SfxModuleName();
}

void TSevenZip32::SetSfxModule(const QString& name)
{
    SfxModuleName() = name;
}

QString TSevenZip32::SfxConfigFile()
{
    return SfxConfigName();
}

void TSevenZip32::SetSfxConfigFile(const QString& fileName)
{
    SfxConfigName() = fileName;
}

QString TSevenZip32::RegistryFolder()
{
    return QString();
}

QString TSevenZip32::BuildCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                                  const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    const bool extract = word == QLatin1String("x");
    if (extract) {
        if (o.m == 2)
            cmd.Add(QStringLiteral("-aou"));
        else if (o.jn > 0)
            cmd.Add(QStringLiteral("-aos"));
        else if (o.c > 0)
            cmd.Add(QStringLiteral("-aoa"));
    }
    if (o.n > 0)
        cmd.Add(QStringLiteral("-hide"));
    if (o.r == 0)
        cmd.Add(QStringLiteral("-r-"));
    if (o.r > 1)
        cmd.Add(QStringLiteral("-r"));
    cmd.AddDir(QStringLiteral("w"), o.w);
    if (o.y > 0)
        cmd.Add(QStringLiteral("-y"));
    cmd.AddFiles(QStringLiteral("x!"), TFileList{o.jx});
    cmd.AddDir(QStringLiteral("o"), folder);
    cmd.Add(o.UserOptions);
    cmd.AddStr(QString(), archive);
    AddFileList(cmd, o, useResFile, files);
    const QString finalWord = extract && o.x == 0 ? QStringLiteral("e") : word;
    return finalWord + cmd.Text();
}

int TSevenZip32::Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                         const QString& destDir, const TFileList& files, bool, QString& output)
{
    return Run(
        window,
        BuildCommand(QStringLiteral("x"), options, archive, destDir, files, options.ResFileUsage.Contains(ruOnUnpack)),
        output);
}

int TSevenZip32::Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                      const QString& destDir, const TFileList& files, bool, QString& output)
{
    return Run(
        window,
        BuildCommand(QStringLiteral("u"), options, archive, destDir, files, options.ResFileUsage.Contains(ruOnPack)),
        output);
}

int TSevenZip32::Delete(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString&,
                        const TFileList& files, bool, QString& output)
{
    return Run(window,
               BuildCommand(QStringLiteral("d"), options, archive, QString(), files,
                            options.ResFileUsage.Contains(ruOnRemoveItem)),
               output);
}

int TSevenZip32::MakeSfx(TWindowHandle, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                         QString&)
{
    const QString registryFolder = RegistryFolder();
    if (options.gw <= 0)
        throw EArchiver(QStringLiteral("16bit SFX を作成することはできません。"));
    if (SfxModuleName().isEmpty())
        SfxModuleName() = SfxModules().first();
    const QString module = SfxModuleName();
    QString stub;
    if (!registryFolder.isEmpty()) {
        const QString candidate = JoinPath(registryFolder, module);
        if (QFileInfo(candidate).isFile())
            stub = candidate;
    }
    if (stub.isEmpty())
        stub = SearchPathFor(module);
    if (stub.isEmpty())
        throw ESfxNoRequiredFile(QStringLiteral("7z"), QString(), module);
    QString target = ChangeFileExt(archive, QStringLiteral(".exe"));
    if (!destDir.isEmpty())
        target = JoinPath(destDir, QFileInfo(target).fileName());
    QStringList inputs{stub};
    if (!SfxConfigName().isEmpty())
        inputs << SfxConfigName();
    inputs << archive;
    ConcatenateFiles(target, inputs);
    return 0;
}
