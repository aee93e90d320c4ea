#include "Arj32.h"

#include "ArchiverErrors.h"

#include <memory>

namespace {

std::unique_ptr<TArchiverDll>& ArjBinding()
{
    static std::unique_ptr<TArchiverDll> binding;
    return binding;
}

TArchiverDll& ArjDll()
{
    if (!ArjBinding()) {
        try {
            TArj32::LoadClassDLL();
        } catch (const ENoArchiverDLL&) {
        }
    }
    return *ArjBinding();
}

} // namespace

TArj32::TArj32() : TLha32(NoLoad{})
{
    LoadClassDLL();
}

TArchiverDll* TArj32::Binding()
{
    return ArjBinding().get();
}

void TArj32::LoadClassDLL()
{
    auto& binding = ArjBinding();
    if (binding)
        return;
    binding = std::make_unique<TArchiverDll>(QStringLiteral("ARJ 形式書庫"), QStringLiteral("Unarj"),
                                             QStringLiteral("UNARJ32J.DLL"));
    binding->LoadDLL();
}

void TArj32::FreeClassDLL()
{
    ArjBinding().reset();
}

TArchiveHandle TArj32::OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode)
{
    return ArjDll().OpenArc(window, MakeAbsolutePath(archive), mode);
}

int TArj32::FindFirst(TArchiveHandle handle, TEntryInfo& entry, const QString& wildcard)
{
    return ArjDll().FindFirst(handle, wildcard, entry);
}

int TArj32::FindNext(TArchiveHandle handle, TEntryInfo& entry)
{
    return ArjDll().FindNext(handle, entry);
}

int TArj32::CloseArc(TArchiveHandle handle)
{
    return ArjDll().CloseArc(handle);
}

int TArj32::Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                    const QString& destDir, const TFileList& files, bool useResFile, QString& output)
{
    const QString cmd = BuildCommand(QStringLiteral("x"), options, archive, destDir, files, useResFile);
    TArchiverDll& dll = ArjDll();
    return RunCommand(window, cmd, output, [&dll](TWindowHandle w, const QString& c, char* out, std::uint32_t n) {
        return dll.Command(w, c, out, n);
    });
}

int TArj32::CheckArc(const QString& archive, int level, int extra)
{
    return ArjDll().CheckArc(archive, level + extra);
}

bool TArj32::SetOwnerWindow(TWindowHandle window, std::uintptr_t value)
{
    if (TLha32::Binding())
        TLha32::SetOwnerWindow(window, value);
    const bool accepted = ArjDll().SetOwnerWindowEx(window, reinterpret_cast<void*>(value)) != 0;
    m_ownerWindow = window;
    return accepted;
}

bool TArj32::KillOwnerWindow(TWindowHandle window)
{
    m_ownerWindow = 0;
    const bool result = ArjDll().KillOwnerWindowEx(window) != 0;
    if (TLha32::Binding())
        TLha32::KillOwnerWindow(window);
    return result;
}

bool TArj32::IsArjFile(const QString& fileName)
{
    try {
        LoadClassDLL();
        TArchiverDll& dll = ArjDll();
        TArchiveHandle handle = dll.OpenArc(0, MakeAbsolutePath(fileName), 0x800002);
        dll.CloseArc(handle);
        return handle != 0;
    } catch (const EArchiver&) {
        return false;
    }
}
