#pragma once
// The archive component: given an archive's name it chooses a format
// handler, holds the options of the operation and extracts the archive into
// a folder through the format's archiver library.
#include "Archiver.h"
#include "ArchiverOptions.h"
#include "CmdOpt.h"
#include "MessageWindow.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TArchiveFile;

// Progress from the library: State and the library's progress record are
// passed through untouched; setting Abort asks the library to stop.
using TArchiverProgressEvent = std::function<void(TArchiveFile* sender, std::int32_t state, void* lpEis, bool& abort)>;

// The format of a name: by extension (".exe" looks at the contents), or by
// contents alone when byExtension is false.
TArchiverType DetectArchiverType(const QString& name, bool byExtension = true);
// The content tests, in order, the last successful one winning; atNone when
// no library recognises the file.
TArchiverType DetectArchiverTypeByContents(const QString& name);

// A new handler for a format with one (atLha to atBga, at7z); nullptr for
// the others. Creating a handler loads its library.
std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type);

class TArchiveFile : public QObject {
    Q_OBJECT
public:
    explicit TArchiveFile(QObject* owner = nullptr);
    ~TArchiveFile() override;

    const QString& FileName() const { return m_fileName; }
    // Detects the format by extension and sets ArchiverType (which may
    // raise; the name then stays as it was), then stores the name.
    void SetFileName(const QString& name);

    TArchiverType ArchiverType() const { return m_type; }
    // Raises EArchiver "書庫の形式を特定できませんでした。" for atYz1, atGCA and
    // atBel, and whatever the new handler's creation raises.
    void SetArchiverType(TArchiverType type);

    int OutputSize() const { return int(m_output.size()); }
    void SetOutputSize(int n);
    // The text the library wrote into the output buffer (up to code 0).
    QString Output() const;

    TArchiverOptions& Options() { return *m_options; }
    const TArchiverOptions& Options() const { return *m_options; }

    const QString& CommandLine() const { return m_commandLine; }
    TArchiver* Archiver() const { return m_archiver.get(); }

    TArchiverProgressEvent OnProgress;

    // Extracts the files (all of them when the list gives no names) into
    // destDir with the given options, or with Options when none are given.
    // Returns the library's return code unchanged.
    std::int32_t Extract(TWindowHandle handle, const TArchiverOptions* options, const QString& destDir,
                         const TFileList& files);

    // The hidden progress window (0 until the first Extract with OnProgress).
    arcmsg::TWindowHandle ProgressWindow() const { return m_progressWindow ? m_progressWindow->Handle() : 0; }
    // The registered "wm_arcextract" message number (0 until registered).
    static unsigned ArcExtractMessage();

    // Component states: while designed a type is only stored; while read
    // from a stored form an unsupported type is stored instead of raising.
    void SetDesigning(bool on) { m_designing = on; }
    void SetReading(bool on) { m_reading = on; }

private:
    void CheckArchiver() const;
    void BeginProgress();
    void EndProgress();
    arcmsg::LRESULT ProgressWndProc(arcmsg::TWindowHandle window, unsigned msg, arcmsg::WPARAM wParam,
                                    arcmsg::LPARAM lParam);
    void DoProgress(std::int32_t state, void* lpEis, bool& abort);

    TArchiverType m_type = atAutoDetect;
    std::unique_ptr<TArchiver> m_archiver;
    std::unique_ptr<TArchiverOptions> m_options;
    QString m_fileName;
    QString m_commandLine;
    QString m_output;
    std::unique_ptr<arcmsg::TMessageWindow> m_progressWindow;
    bool m_designing = false;
    bool m_reading = false;
};
