#pragma once
// ZIP archives through UNZIP32.DLL (unpacking), ZIP32J.DLL (packing) or
// LMZIP32.DLL (both).
#include "Archiver.h"

class TZip32 : public TArchiver {
public:
    // Creates the ZIP binding on first need and loads whichever of the three
    // libraries are present (none is no error here).
    TZip32();

    static TZipDll* Binding();
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

    // The unzip command line (Extract, ExtractMem).
    QString BuildUnzipCommand(const QString& word, const TArchiverOptions& options, const QString& archive,
                              const QString& folder, const TFileList& files, bool useResFile) const;
    // The ZIP32J command line (Pack, Delete, Update).
    QString BuildZip32jCommand(const QString& word, const TArchiverOptions& options, const QString& archive,
                               const QString& folder, const TFileList& files, bool useResFile) const;
    // The LMZIP32 packing command line.
    QString BuildLmzipPackCommand(const QString& word, const TArchiverOptions& options, const QString& archive,
                                  const QString& folder, const TFileList& files, bool useResFile) const;

    static bool IsZipFile(const QString& fileName);

private:
    int RunZip(TWindowHandle window, const QString& cmdLine, QString& output);
};
