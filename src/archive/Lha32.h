#pragma once
// LHA archives through UNLHA32.DLL.
#include "Archiver.h"

class TLha32 : public TArchiver {
public:
    // Loads UNLHA32.DLL (first time in the process).
    TLha32();

    // The format's process-wide binding: created and loaded on first need;
    // nullptr before that.
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
    int Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
             const TFileList& files, bool useResFile, QString& output) override;
    int Delete(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
               const TFileList& files, bool useResFile, QString& output) override;
    int Update(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
               const TFileList& files, bool useResFile, QString& output) override;
    int MakeSfx(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                QString& output) override;
    int ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                   const QString& entryName, unsigned char* buffer, std::uint32_t size,
                   std::uint32_t& written) override;
    int CheckArc(const QString& archive, int level, int extra) override;
    bool SetOwnerWindow(TWindowHandle window, std::uintptr_t value) override;
    bool KillOwnerWindow(TWindowHandle window) override;

    // The LHA command line: the word (may be empty) followed by the switches,
    // UserOptions, the archive and folder and the file list. Raises
    // EAssertionFailed when jse (word "x") or jso is unset.
    QString BuildCommand(const QString& word, const TArchiverOptions& options, const QString& archive,
                         const QString& folder, const TFileList& files, bool useResFile) const;

    // Content test: the LHA library accepts the file.
    static bool IsLhaFile(const QString& fileName);

protected:
    struct NoLoad {};
    // For derived formats that load a library of their own.
    explicit TLha32(NoLoad) {}

    // The LHA library's binding, created and loaded when missing (the ARJ
    // handler runs its other operations on it).
    static TArchiverDll& LhaDll();
};
