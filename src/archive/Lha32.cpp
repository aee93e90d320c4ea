#include "Lha32.h"

#include "ArchiverErrors.h"

#include <memory>

namespace {

std::unique_ptr<TArchiverDll>& LhaBinding()
{
    static std::unique_ptr<TArchiverDll> binding;
    return binding;
}

} // namespace

TLha32::TLha32()
{
    LoadClassDLL();
}

TArchiverDll* TLha32::Binding()
{
    return LhaBinding().get();
}

void TLha32::LoadClassDLL()
{
    auto& binding = LhaBinding();
    if (binding)
        return;
    binding = std::make_unique<TArchiverDll>(QStringLiteral("LHA 形式書庫"), QStringLiteral("Unlha"),
                                             QStringLiteral("UNLHA32.DLL"));
    binding->LoadDLL();
}

void TLha32::FreeClassDLL()
{
    LhaBinding().reset();
}

TArchiverDll& TLha32::LhaDll()
{
    if (!LhaBinding()) {
        try {
            LoadClassDLL();
        } catch (const ENoArchiverDLL&) {
            // The binding stays; the operation's own load reports it.
        }
    }
    return *LhaBinding();
}

QString TLha32::BuildCommand(const QString& word, const TArchiverOptions& o, const QString& archive,
                             const QString& folder, const TFileList& files, bool useResFile) const
{
    TCmdOpt cmd;
    cmd.Add(QStringLiteral("-+"));
    if (word == QLatin1String("x") && o.jse == -1)
        throw EAssertionFailed(QStringLiteral("jse オプションが設定されていません。"));
    if (o.jso == -1)
        throw EAssertionFailed(QStringLiteral("jso オプションが設定されていません。"));
    cmd.AddInt(QStringLiteral("a"), o.a);
    cmd.AddInt(QStringLiteral("c"), o.c);
    cmd.AddInt(QStringLiteral("e"), o.e);
    cmd.AddInt(QStringLiteral("f"), o.f);
    cmd.AddInt(QStringLiteral("h"), o.h);
    cmd.AddInt(QStringLiteral("i"), o.i);
    cmd.AddInt(QStringLiteral("l"), o.l);
    cmd.AddInt(QStringLiteral("m"), o.m);
    cmd.AddInt(QStringLiteral("n"), HasOwnerWindow() ? 1 : o.n);
    cmd.AddInt(QStringLiteral("o"), o.o);
    cmd.AddInt(QStringLiteral("p"), o.p);
    cmd.AddInt(QStringLiteral("r"), o.r);
    cmd.AddInt(QStringLiteral("s"), o.s);
    cmd.AddInt(QStringLiteral("t"), o.t);
    cmd.AddInt(QStringLiteral("u"), o.u);
    cmd.AddDir(QStringLiteral("w"), o.w);
    cmd.AddInt(QStringLiteral("x"), o.x);
    cmd.AddInt(QStringLiteral("y"), o.y);
    cmd.AddInt(QStringLiteral("z"), o.z);
    cmd.AddInt(QStringLiteral("jc"), o.jc);
    cmd.AddInt(QStringLiteral("jd"), o.jd);
    cmd.AddInt(QStringLiteral("je"), o.je);
    cmd.AddInt(QStringLiteral("jf"), o.jf);
    cmd.AddInt(QStringLiteral("jh"), o.jh);
    cmd.AddInt(QStringLiteral("ji"), o.ji);
    cmd.AddInt(QStringLiteral("jm"), o.jm);
    cmd.AddInt(QStringLiteral("jn"), o.jn);
    cmd.AddStr(QStringLiteral("jo"), o.jo);
    cmd.AddStr(QStringLiteral("job"), o.job);
    cmd.AddInt(QStringLiteral("jp"), o.jp);
    cmd.AddInt(QStringLiteral("jr"), o.jr);
    cmd.AddInt(QStringLiteral("jsb"), o.jsb);
    cmd.AddInt(QStringLiteral("jsc"), o.jsc);
    cmd.AddInt(QStringLiteral("jsd"), o.jsd);
    cmd.AddInt(QStringLiteral("jse"), o.jse);
    cmd.AddInt(QStringLiteral("jsf"), o.jsf);
    cmd.AddInt(QStringLiteral("jsl"), o.jsl);
    cmd.AddInt(QStringLiteral("jso"), o.jso);
    cmd.AddInt(QStringLiteral("jss"), o.jss);
    cmd.AddInt(QStringLiteral("jst"), o.jst);
    cmd.AddInt(QStringLiteral("jsv"), o.jsv);
    cmd.AddInt(QStringLiteral("jsz"), o.jsz);
    cmd.AddInt(QStringLiteral("jw"), o.jw);
    cmd.AddFiles(QStringLiteral("jx"), TFileList{o.jx});
    cmd.AddInt(QStringLiteral("jyc"), o.jyc);
    cmd.AddInt(QStringLiteral("jyd"), o.jyd);
    cmd.AddInt(QStringLiteral("jyk"), o.jyk);
    cmd.AddInt(QStringLiteral("jyn"), o.jyn);
    cmd.AddInt(QStringLiteral("jyo"), o.jyo);
    cmd.AddStr(QStringLiteral("jz"), o.jz);
    cmd.AddInt(QStringLiteral("ga"), o.ga);
    cmd.AddInt(QStringLiteral("gd"), o.gd);
    cmd.AddInt(QStringLiteral("ge"), o.ge);
    cmd.AddInt(QStringLiteral("gf"), o.gf);
    cmd.AddInt(QStringLiteral("gj"), o.gj);
    cmd.AddInt(QStringLiteral("gm"), o.gm);
    cmd.AddInt(QStringLiteral("gn"), o.gn);
    cmd.AddInt(QStringLiteral("go"), o.go);
    cmd.AddInt(QStringLiteral("gp"), o.gp);
    cmd.AddStr(QStringLiteral("gr"), o.gr);
    cmd.AddInt(QStringLiteral("gs"), o.gs);
    cmd.AddInt(QStringLiteral("gu"), o.gu);
    cmd.AddInt(QStringLiteral("gw"), o.gw);
    cmd.Add(o.UserOptions);
    AddArchiveAndDir(cmd, archive, folder);
    AddFileList(cmd, o, useResFile, files);
    return word + cmd.Text();
}

namespace {

auto CommandOf(TCustomArchiverDll& dll)
{
    return [&dll](TWindowHandle w, const QString& c, char* out, std::uint32_t size) {
        return dll.Command(w, c, out, size);
    };
}

} // namespace

TArchiveHandle TLha32::OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode)
{
    return LhaDll().OpenArc(window, MakeAbsolutePath(archive), mode);
}

int TLha32::FindFirst(TArchiveHandle handle, TEntryInfo& entry, const QString& wildcard)
{
    return LhaDll().FindFirst(handle, wildcard, entry);
}

int TLha32::FindNext(TArchiveHandle handle, TEntryInfo& entry)
{
    return LhaDll().FindNext(handle, entry);
}

int TLha32::CloseArc(TArchiveHandle handle)
{
    return LhaDll().CloseArc(handle);
}

int TLha32::Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, const TFileList& files, bool, QString& output)
{
    const QString cmd =
        BuildCommand(QStringLiteral("x"), options, archive, destDir, files, options.ResFileUsage.Contains(ruOnUnpack));
    return RunCommand(window, cmd, output, CommandOf(LhaDll()));
}

int TLha32::Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                 const TFileList& files, bool, QString& output)
{
    const QString cmd =
        BuildCommand(QStringLiteral("u"), options, archive, destDir, files, options.ResFileUsage.Contains(ruOnPack));
    return RunCommand(window, cmd, output, CommandOf(LhaDll()));
}

int TLha32::Delete(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString&,
                   const TFileList& files, bool, QString& output)
{
    const QString cmd = BuildCommand(QStringLiteral("d"), options, archive, QString(), files,
                                     options.ResFileUsage.Contains(ruOnRemoveItem));
    return RunCommand(window, cmd, output, CommandOf(LhaDll()));
}

int TLha32::Update(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                   const QString& destDir, const TFileList& files, bool, QString& output)
{
    const QString cmd =
        BuildCommand(QStringLiteral("f"), options, archive, destDir, files, options.ResFileUsage.Contains(ruOnUpdate));
    return RunCommand(window, cmd, output, CommandOf(LhaDll()));
}

int TLha32::MakeSfx(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, QString& output)
{
    const QString cmd = BuildCommand(QStringLiteral("s"), options, archive, destDir, TFileList{}, false);
    return RunCommand(window, cmd, output, CommandOf(LhaDll()));
}

int TLha32::ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                       const QString& entryName, unsigned char* buffer, std::uint32_t size, std::uint32_t& written)
{
    CommandLine = BuildCommand(QString(), options, archive, QString(), TFileList{entryName}, false);
    return LhaDll().ExtractMem(window, CommandLine, buffer, size, &written);
}

int TLha32::CheckArc(const QString& archive, int level, int extra)
{
    return LhaDll().CheckArc(archive, level + extra);
}

bool TLha32::SetOwnerWindow(TWindowHandle window, std::uintptr_t value)
{
    const bool accepted = LhaDll().SetOwnerWindowEx(window, reinterpret_cast<void*>(value)) != 0;
    m_ownerWindow = window;
    return accepted;
}

bool TLha32::KillOwnerWindow(TWindowHandle window)
{
    m_ownerWindow = 0;
    return LhaDll().KillOwnerWindowEx(window) != 0;
}

bool TLha32::IsLhaFile(const QString& fileName)
{
    try {
        LoadClassDLL();
        TArchiverDll& dll = LhaDll();
        const QString path = MakeAbsolutePath(fileName);
        if (dll.CheckArc(path, 16) == 0)
            return false;
        TArchiveHandle handle = dll.OpenArc(0, path, 0x800002);
        dll.CloseArc(handle);
        return handle != 0;
    } catch (const EArchiver&) {
        return false;
    }
}
