#pragma once
// The base of the per-format handlers: each turns an operation and a set of
// options into one command line of its library's command language and runs
// it through the format's binding.
#include "ArchiverDll.h"
#include "ArchiverOptions.h"
#include "CmdOpt.h"

#include <QString>

#include <cstdint>

class TArchiver {
public:
    TArchiver() = default;
    TArchiver(const TArchiver&) = delete;
    TArchiver& operator=(const TArchiver&) = delete;
    virtual ~TArchiver() = default;

    // The format's library (class-level in the handlers). The base raises
    // EArchiver "Abstract method 'TArchiver.LoadDLL' was called".
    virtual void LoadDLL();
    virtual void FreeDLL();

    virtual TArchiveHandle OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode);
    virtual int FindFirst(TArchiveHandle handle, TEntryInfo& entry, const QString& wildcard);
    virtual int FindNext(TArchiveHandle handle, TEntryInfo& entry);
    virtual int CloseArc(TArchiveHandle handle);

    // output is the buffer for the library's result message: its length in
    // characters is the size offered to the library, and it comes back
    // holding what the library wrote (padded with code 0 to that length).
    virtual int Extract(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                        const QString& destDir, const TFileList& files, bool useResFile, QString& output) = 0;
    // destDir is the folder the files are taken from.
    virtual int Pack(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                     const QString& destDir, const TFileList& files, bool useResFile, QString& output);
    virtual int Delete(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                       const QString& destDir, const TFileList& files, bool useResFile, QString& output);
    virtual int Update(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                       const QString& destDir, const TFileList& files, bool useResFile, QString& output);
    virtual int MakeSfx(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                        const QString& destDir, QString& output);
    virtual int ExtractMem(TWindowHandle window, const QString& archive, const TArchiverOptions& options,
                           const QString& entryName, unsigned char* buffer, std::uint32_t size, std::uint32_t& written);
    virtual int CheckArc(const QString& archive, int level, int extra);
    // Remembers the window (and hands it to the library); true when the
    // library accepted it. The base only remembers it and gives false.
    virtual bool SetOwnerWindow(TWindowHandle window, std::uintptr_t value);
    virtual bool KillOwnerWindow(TWindowHandle window);

    // The command line of the last operation.
    QString CommandLine;

    TWindowHandle OwnerWindow() const { return m_ownerWindow; }
    bool HasOwnerWindow() const { return m_ownerWindow != 0; }

protected:
    // AddStr(no name, archive), then AddDir(no name, folder).
    static void AddArchiveAndDir(TCmdOpt& cmd, const QString& archive, const QString& folder);
    // The response file when asked for and named, else the quoted names;
    // then, always, UserFileList.
    static int AddFileList(TCmdOpt& cmd, const TArchiverOptions& options, bool useResFile, const TFileList& files);
    // Runs a finished command line through a command entry, converting the
    // output buffer as described for Extract.
    template <typename Call> int RunCommand(TWindowHandle window, const QString& cmdLine, QString& output, Call call);

    TWindowHandle m_ownerWindow = 0;
};

template <typename Call>
int TArchiver::RunCommand(TWindowHandle window, const QString& cmdLine, QString& output, Call call)
{
    CommandLine = cmdLine;
    const qsizetype n = output.size();
    const std::uint32_t size = n > 0 && n <= qsizetype(UINT32_MAX) ? std::uint32_t(n) : 0;
    QByteArray bytes(qsizetype(size) + 1, '\0');
    if (size > 0) {
        const QByteArray current = output.toUtf8();
        const qsizetype keep = std::min<qsizetype>(qstrnlen(current.constData(), current.size()), size);
        memcpy(bytes.data(), current.constData(), size_t(keep));
    }
    const int rc = call(window, cmdLine, size ? bytes.data() : nullptr, size);
    if (size > 0) {
        bytes[qsizetype(size)] = '\0';
        QString text = QString::fromUtf8(bytes.constData(), qstrnlen(bytes.constData(), size));
        if (text.size() < n)
            text += QString(n - text.size(), QChar(0));
        output = text.left(n);
    }
    return rc;
}

// Helpers shared by the handlers.
QString MakeAbsolutePath(const QString& path);
// The path with its extension (from the last dot of the file name) replaced.
QString ChangeFileExt(const QString& path, const QString& ext);
// The folder and the name joined by exactly one "/"; the name alone when the
// folder is empty.
QString JoinPath(const QString& folder, const QString& name);
// Looks for a file on the default search path: the program's folder, its
// library folder when installed, the current folder, then the folders of
// PATH. Empty when not found.
QString SearchPathFor(const QString& fileName);
// Writes the files one after the other into output. The output is built
// beside its final place and renamed over it, so a failure never leaves a
// truncated file and an input may also be the output. Raises EFCreateError.
void ConcatenateFiles(const QString& output, const QStringList& inputs);
