#pragma once
// RAR archives through UNRAR32.DLL (extraction only).
#include "SimpleArchiver.h"

class TRar32 : public TSingleLibraryArchiver {
public:
    TRar32();

    static TArchiverDll* Binding();
    static void LoadClassDLL();
    static void FreeClassDLL();
    void LoadDLL() override { LoadClassDLL(); }
    void FreeDLL() override { FreeClassDLL(); }

    int Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                const TFileList& files, bool useResFile, QString& output) override;
    int ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                   const QString& entryName, unsigned char* buffer, std::uint32_t size,
                   std::uint32_t& written) override;

    QString BuildCommand(const QString& word, const TArchiverOptions& options, const QString& archive,
                         const QString& folder, const TFileList& files, bool useResFile) const;

    static bool IsRarFile(const QString& fileName);
};
