#pragma once
// BGA archives (GZA, BZA) through BGA32.DLL.
#include "SimpleArchiver.h"

class TBGA32 : public TSingleLibraryArchiver {
public:
    TBGA32();

    static TArchiverDll* Binding();
    static void LoadClassDLL();
    static void FreeClassDLL();
    void LoadDLL() override { LoadClassDLL(); }
    void FreeDLL() override { FreeClassDLL(); }

    int Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                const TFileList& files, bool useResFile, QString& output) override;
    int Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
             const TFileList& files, bool useResFile, QString& output) override;
    int Delete(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
               const TFileList& files, bool useResFile, QString& output) override;
    int MakeSfx(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                QString& output) override;
    // Check level 2 is sent as 1.
    int CheckArc(const QString& archive, int level, int extra) override;

    QString BuildCommand(const QString& word, const TArchiverOptions& options, const QString& archive,
                         const QString& folder, const TFileList& files, bool useResFile) const;

    static bool IsBgaFile(const QString& fileName);
};
