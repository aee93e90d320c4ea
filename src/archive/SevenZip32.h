#pragma once
// 7z archives through 7-zip32.dll.
#include "SimpleArchiver.h"

#include <QStringList>

class TSevenZip32 : public TSingleLibraryArchiver {
public:
    TSevenZip32();

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

    // The word "x" becomes "e" when x = 0.
    QString BuildCommand(const QString& word, const TArchiverOptions& options, const QString& archive,
                         const QString& folder, const TFileList& files, bool useResFile) const;

    // The SFX modules known to the unit, and the one in use (empty until
    // chosen; the first MakeSfx picks "7z.sfx" when nothing was chosen).
    static QStringList SfxModules();
    static QString SfxModule();
    static void SetSfxModule(const QString& name);
    // A configuration file written between the module and the archive;
    // none by default.
    static QString SfxConfigFile();
    static void SetSfxConfigFile(const QString& fileName);

    // The 7-Zip installation folder from the system registry. Linux has no
    // such registry, so it is always empty there.
    static QString RegistryFolder();
};
