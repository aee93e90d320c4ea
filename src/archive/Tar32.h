#pragma once
// TAR archives, plain and compressed, through TAR32.DLL.
#include "SimpleArchiver.h"

class TTar32 : public TSingleLibraryArchiver {
public:
    TTar32();

    static TArchiverDll* Binding();
    static void LoadClassDLL();
    static void FreeClassDLL();
    void LoadDLL() override { LoadClassDLL(); }
    void FreeDLL() override { FreeClassDLL(); }

    int Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                const TFileList& files, bool useResFile, QString& output) override;
    int Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
             const TFileList& files, bool useResFile, QString& output) override;
    int MakeSfx(TWindowHandle window, const QString& archive, const TArchiverOptions& options, const QString& destDir,
                QString& output) override;
    int ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                   const QString& entryName, unsigned char* buffer, std::uint32_t size,
                   std::uint32_t& written) override;

    QString BuildCommand(const QString& word, const TArchiverOptions& options, const QString& archive,
                         const QString& folder, const TFileList& files, bool useResFile) const;

    // The TAR library's type code mapped to a format: 1 atTar, 2 to 5
    // atTgz, 6 and 7 atBZ2, anything else (and any failure) atNone.
    static int GetTarType(const QString& fileName);

protected:
    enum TCompression { tcNone, tcGzip, tcBzip2 };
    virtual TCompression Compression() const { return tcNone; }
};

// gzip or compress TAR.
class TTgz32 : public TTar32 {
protected:
    TCompression Compression() const override { return tcGzip; }
};

// bzip2 TAR.
class TBZ232 : public TTar32 {
protected:
    TCompression Compression() const override { return tcBzip2; }
};
