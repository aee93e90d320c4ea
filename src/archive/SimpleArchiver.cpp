#include "SimpleArchiver.h"

#include "ArchiverErrors.h"

TSingleLibraryArchiver::TSingleLibraryArchiver(std::unique_ptr<TArchiverDll>& binding, const TBindingInfo& info)
    : m_binding(binding),
      m_info(info)
{
    LoadBinding(binding, info);
}

void TSingleLibraryArchiver::LoadBinding(std::unique_ptr<TArchiverDll>& binding, const TBindingInfo& info)
{
    if (binding)
        return;
    binding = std::make_unique<TArchiverDll>(QString::fromUtf16(info.description), QString::fromUtf16(info.prefix),
                                             QString::fromUtf16(info.fileName));
    binding->LoadDLL();
}

TArchiverDll& TSingleLibraryArchiver::EnsureBinding(std::unique_ptr<TArchiverDll>& binding, const TBindingInfo& info)
{
    if (!binding) {
        try {
            LoadBinding(binding, info);
        } catch (const ENoArchiverDLL&) {
        }
    }
    return *binding;
}

int TSingleLibraryArchiver::Run(TWindowHandle window, const QString& cmdLine, QString& output)
{
    TArchiverDll& dll = Dll();
    return RunCommand(window, cmdLine, output, [&dll](TWindowHandle w, const QString& c, char* out, std::uint32_t n) {
        return dll.Command(w, c, out, n);
    });
}

TArchiveHandle TSingleLibraryArchiver::OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode)
{
    return Dll().OpenArc(window, MakeAbsolutePath(archive), mode);
}

int TSingleLibraryArchiver::FindFirst(TArchiveHandle handle, TEntryInfo& entry, const QString& wildcard)
{
    return Dll().FindFirst(handle, wildcard, entry);
}

int TSingleLibraryArchiver::FindNext(TArchiveHandle handle, TEntryInfo& entry)
{
    return Dll().FindNext(handle, entry);
}

int TSingleLibraryArchiver::CloseArc(TArchiveHandle handle)
{
    return Dll().CloseArc(handle);
}

int TSingleLibraryArchiver::CheckArc(const QString& archive, int level, int extra)
{
    return Dll().CheckArc(archive, level + extra);
}

bool TSingleLibraryArchiver::SetOwnerWindow(TWindowHandle window, std::uintptr_t value)
{
    const bool accepted = Dll().SetOwnerWindowEx(window, reinterpret_cast<void*>(value)) != 0;
    m_ownerWindow = window;
    return accepted;
}

bool TSingleLibraryArchiver::KillOwnerWindow(TWindowHandle window)
{
    m_ownerWindow = 0;
    return Dll().KillOwnerWindowEx(window) != 0;
}

bool TSingleLibraryArchiver::OpensAsArchive(std::unique_ptr<TArchiverDll>& binding, const TBindingInfo& info,
                                            const QString& fileName)
{
    try {
        LoadBinding(binding, info);
        TArchiverDll& dll = *binding;
        TArchiveHandle handle = dll.OpenArc(0, MakeAbsolutePath(fileName), 0x800002);
        dll.CloseArc(handle);
        return handle != 0;
    } catch (const EArchiver&) {
        return false;
    }
}
