#pragma once
// Shared plumbing of the handlers whose format has one library of its own
// (CAB, TAR, RAR, BGA, 7z): the process-wide binding, loading it on
// creation and the operations that only pass through to it.
#include "Archiver.h"

#include <memory>

struct TBindingInfo {
    const char16_t* description;
    const char16_t* prefix;
    const char16_t* fileName;
};

class TSingleLibraryArchiver : public TArchiver {
public:
    TArchiveHandle OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode) override;
    int FindFirst(TArchiveHandle handle, TEntryInfo& entry, const QString& wildcard) override;
    int FindNext(TArchiveHandle handle, TEntryInfo& entry) override;
    int CloseArc(TArchiveHandle handle) override;
    int CheckArc(const QString& archive, int level, int extra) override;
    bool SetOwnerWindow(TWindowHandle window, std::uintptr_t value) override;
    bool KillOwnerWindow(TWindowHandle window) override;

protected:
    explicit TSingleLibraryArchiver(std::unique_ptr<TArchiverDll>& binding, const TBindingInfo& info);

    // The class-level load: creates the binding when missing, stores it and
    // loads the library.
    static void LoadBinding(std::unique_ptr<TArchiverDll>& binding, const TBindingInfo& info);
    // The binding, created when missing (a failed load leaves it in place;
    // the call that follows reports the missing library).
    static TArchiverDll& EnsureBinding(std::unique_ptr<TArchiverDll>& binding, const TBindingInfo& info);

    TArchiverDll& Dll() const { return EnsureBinding(m_binding, m_info); }
    int Run(TWindowHandle window, const QString& cmdLine, QString& output);
    // Content test shared by CAB, ARJ, RAR and BGA: OpenArchive succeeds.
    static bool OpensAsArchive(std::unique_ptr<TArchiverDll>& binding, const TBindingInfo& info,
                               const QString& fileName);

private:
    std::unique_ptr<TArchiverDll>& m_binding;
    TBindingInfo m_info;
};
