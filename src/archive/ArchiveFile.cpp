#include "ArchiveFile.h"

#include "Arj32.h"
#include "ArchiverErrors.h"
#include "Bga32.h"
#include "Cab32.h"
#include "Lha32.h"
#include "Rar32.h"
#include "SevenZip32.h"
#include "platform/FileExtension.h"
#include "Tar32.h"
#include "Zip32.h"

#include <QFile>

#include <atomic>

namespace {

std::atomic<unsigned> g_arcExtractMessage{0};

// True when the file starts with the 7z signature.
bool IsSevenZipFile(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(6) == QByteArray("7z\xBC\xAF\x27\x1C", 6);
}

// Comic-book archives are ZIP, RAR, 7z or TAR files under names of their
// own; which one a file is, its content says.
bool IsComicBookExtension(const QString& ext)
{
    for (const char* e : {".cbz", ".cbr", ".cb7", ".cbt"})
        if (ext == QLatin1String(e))
            return true;
    return false;
}

} // namespace

TArchiverType DetectArchiverTypeByContents(const QString& name)
{
    TArchiverType result = TArchiverType(TTar32::GetTarType(name));
    if (TRar32::IsRarFile(name))
        result = atRar;
    if (TArj32::IsArjFile(name))
        result = atArj;
    if (TZip32::IsZipFile(name))
        result = atZip;
    if (TBGA32::IsBgaFile(name))
        result = atBga;
    if (TCab32::IsCabFile(name))
        result = atCab;
    if (TLha32::IsLhaFile(name))
        result = atLha;
    if (IsSevenZipFile(name))
        result = at7z;
    return result;
}

TArchiverType DetectArchiverType(const QString& name, bool byExtension)
{
    if (!byExtension)
        return DetectArchiverTypeByContents(name);
    const QString ext = platform::FileExtension(name, {.lowerCase = true});
    if (ext == QLatin1String(".lzh"))
        return atLha;
    if (ext == QLatin1String(".zip") || ext == QLatin1String(".jar"))
        return atZip;
    if (ext == QLatin1String(".cab"))
        return atCab;
    if (ext == QLatin1String(".arj"))
        return atArj;
    for (const char* e : {".tar", ".a", ".lib", ".deb", ".rpm", ".cpio"})
        if (ext == QLatin1String(e))
            return atTar;
    for (const char* e : {".tgz", ".gz", ".z", ".taz"})
        if (ext == QLatin1String(e))
            return atTgz;
    if (ext == QLatin1String(".bz2"))
        return atBZ2;
    if (ext == QLatin1String(".rar"))
        return atRar;
    if (ext == QLatin1String(".gza") || ext == QLatin1String(".bza"))
        return atBga;
    if (ext == QLatin1String(".gca"))
        return atGCA;
    if (ext == QLatin1String(".7z"))
        return at7z;
    if (ext == QLatin1String(".exe") || IsComicBookExtension(ext))
        return DetectArchiverTypeByContents(name);
    return atNone;
}

std::unique_ptr<TArchiver> CreateArchiver(TArchiverType type)
{
    switch (type) {
    case atLha:
        return std::make_unique<TLha32>();
    case atZip:
        return std::make_unique<TZip32>();
    case atCab:
        return std::make_unique<TCab32>();
    case atArj:
        return std::make_unique<TArj32>();
    case atTar:
        return std::make_unique<TTar32>();
    case atTgz:
        return std::make_unique<TTgz32>();
    case atBZ2:
        return std::make_unique<TBZ232>();
    case atRar:
        return std::make_unique<TRar32>();
    case atBga:
        return std::make_unique<TBGA32>();
    case at7z:
        return std::make_unique<TSevenZip32>();
    default:
        return nullptr;
    }
}

TArchiveFile::TArchiveFile(QObject* owner)
    : QObject(owner),
      m_options(std::make_unique<TArchiverOptions>()),
      m_fileName(UnsetMarker())
{
}

TArchiveFile::~TArchiveFile() = default;

void TArchiveFile::SetFileName(const QString& name)
{
    SetArchiverType(DetectArchiverType(name, true));
    m_fileName = name;
}

void TArchiveFile::SetArchiverType(TArchiverType type)
{
    if (m_designing) {
        m_type = type;
        return;
    }
    switch (type) {
    case atNone:
        return;
    case atAutoDetect:
        m_type = type;
        return;
    case atYz1:
    case atGCA:
    case atBel:
        if (m_reading) {
            m_type = type;
            return;
        }
        throw EArchiver(QStringLiteral("書庫の形式を特定できませんでした。"));
    default: {
        std::unique_ptr<TArchiver> handler = CreateArchiver(type);
        if (!handler)
            return;
        m_archiver = std::move(handler);
        m_type = type;
        return;
    }
    }
}

void TArchiveFile::SetOutputSize(int n)
{
    m_output = QString(qMax(n, 0), QChar(0));
}

QString TArchiveFile::Output() const
{
    const qsizetype end = m_output.indexOf(QChar(0));
    return end < 0 ? m_output : m_output.left(end);
}

unsigned TArchiveFile::ArcExtractMessage()
{
    return g_arcExtractMessage.load();
}

void TArchiveFile::CheckArchiver() const
{
    if (!m_archiver)
        throw EArchiver(QStringLiteral("書庫の形式を判別できません。"));
}

void TArchiveFile::BeginProgress()
{
    if (!OnProgress)
        return;
    try {
        if (g_arcExtractMessage.load() == 0)
            g_arcExtractMessage = arcmsg::RegisterWindowMessage(QStringLiteral("wm_arcextract"));
        if (!m_progressWindow) {
            m_progressWindow = std::make_unique<arcmsg::TMessageWindow>(
                [this](arcmsg::TWindowHandle w, unsigned msg, arcmsg::WPARAM wp, arcmsg::LPARAM lp) {
                    return ProgressWndProc(w, msg, wp, lp);
                });
        }
        m_archiver->SetOwnerWindow(m_progressWindow->Handle(), 0);
    } catch (...) {
        // Progress is a courtesy: extraction goes on without it.
    }
}

void TArchiveFile::EndProgress()
{
    if (!OnProgress || !m_progressWindow)
        return;
    try {
        m_archiver->KillOwnerWindow(m_progressWindow->Handle());
    } catch (...) {
    }
}

arcmsg::LRESULT TArchiveFile::ProgressWndProc(arcmsg::TWindowHandle window, unsigned msg, arcmsg::WPARAM wParam,
                                              arcmsg::LPARAM lParam)
{
    const unsigned progressMessage = g_arcExtractMessage.load();
    if (progressMessage != 0 && msg == progressMessage && std::intptr_t(wParam) >= 0) {
        bool abort = false;
        DoProgress(std::int32_t(wParam), reinterpret_cast<void*>(lParam), abort);
        return abort ? 1 : 0;
    }
    return arcmsg::DefWindowProc(window, msg, wParam, lParam);
}

void TArchiveFile::DoProgress(std::int32_t state, void* lpEis, bool& abort)
{
    if (OnProgress)
        OnProgress(this, state, lpEis, abort);
}

std::int32_t TArchiveFile::Extract(TWindowHandle handle, const TArchiverOptions* options, const QString& destDir,
                                   const TFileList& files)
{
    CheckArchiver();
    BeginProgress();
    const TArchiverOptions& opts = options ? *options : *m_options;
    std::int32_t rc;
    try {
        rc = m_archiver->Extract(handle, m_fileName, opts, destDir, files, opts.ResFileUsage.Contains(ruOnUnpack),
                                 m_output);
    } catch (...) {
        m_commandLine = m_archiver->CommandLine;
        EndProgress();
        throw;
    }
    m_commandLine = m_archiver->CommandLine;
    EndProgress();
    return rc;
}
