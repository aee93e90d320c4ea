#pragma once
// ARJ archives: extraction and checks through UNARJ32J.DLL with the LHA
// command language; the other operations are the LHA handler's.
#include "Lha32.h"

class TArj32 : public TLha32 {
public:
    // Loads UNARJ32J.DLL (first time in the process).
    TArj32();

    static TArchiverDll* Binding();
    static void LoadClassDLL();
    static void FreeClassDLL();

    void LoadDLL() override { LoadClassDLL(); }
    void FreeDLL() override { FreeClassDLL(); }

    TArchiveHandle OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode) override;
    int FindFirst(TArchiveHandle handle, TEntryInfo& entry, const QString& wildcard) override;
    int FindNext(TArchiveHandle handle, TEntryInfo& entry) override;
    int CloseArc(TArchiveHandle handle) override;

    int Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                const TFileList& files, bool useResFile, QString& output) override;
    int CheckArc(const QString& archive, int level, int extra) override;
    bool SetOwnerWindow(TWindowHandle window, std::uintptr_t value) override;
    bool KillOwnerWindow(TWindowHandle window) override;

    static bool IsArjFile(const QString& fileName);
};
