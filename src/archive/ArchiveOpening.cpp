#include "ArchiveOpening.h"

#include "ArchiveFile.h"
#include "ArchiverErrors.h"
#include "ArchiverRemote.h"
#include "helper/HelperClient.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <utility>

namespace {

const char* const kLibraries[] = {
    "UNLHA32.DLL",  "UNZIP32.DLL", "ZIP32J.DLL",  "LMZIP32.DLL", "CAB32.DLL",
    "UNARJ32J.DLL", "TAR32.DLL",   "UNRAR32.DLL", "BGA32.DLL",   "7-ZIP32.DLL",
};

// Tells every archiver library how much the next extraction may write.
// Libraries run in the helper while isolation is on, else in the program.
void SetLibraryLimits(std::uint64_t bytes, std::uint64_t files)
{
    // The libraries take 0 as "no limit of their own": an exhausted budget
    // never reaches them (Unpack refuses first).
    for (const char* name : kLibraries) {
        const QString path = platform::FindLibraryFile(QString::fromLatin1(name));
        if (!QFileInfo(path).isFile())
            continue;
        if (helper::IsolationEnabled()) {
            archiveremote::SetExtractionLimits(QFileInfo(path).canonicalFilePath(), bytes, files);
            continue;
        }
        platform::LibraryHandle library = platform::LoadLibrary(path);
        if (!library)
            continue;
        using SetLimit = void (*)(std::uint64_t);
        if (auto set = reinterpret_cast<SetLimit>(platform::GetProcAddress(library, "OrvantoArchiverSetSizeBudget")))
            set(bytes);
        if (auto set = reinterpret_cast<SetLimit>(platform::GetProcAddress(library, "OrvantoArchiverSetFileBudget")))
            set(files);
        platform::FreeLibrary(library);
    }
}

struct Usage {
    std::uint64_t bytes = 0;
    std::uint64_t files = 0; // files and folders
};

Usage Measure(const QString& folder)
{
    Usage usage;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        ++usage.files;
        if (info.isFile() && !info.isSymLink())
            usage.bytes += static_cast<std::uint64_t>(info.size());
    }
    return usage;
}

QString NameOf(const QString& path)
{
    return QFileInfo(path).fileName();
}

} // namespace

int TArchiveOpening::RemovePartialFiles(const QString& folder)
{
    static const QRegularExpression partial(QStringLiteral("^\\.arc\\d+_\\d+\\.part$"));
    int removed = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (partial.match(it.fileName()).hasMatch() && QFile::remove(it.filePath()))
            ++removed;
    }
    return removed;
}

void TArchiveOpening::Tell(const QString& key, Result& result, const QString& text) const
{
    result.message = text;
    helper::FaultNotices::Report(key, text);
}

TArchiveOpening::Result TArchiveOpening::Refusal(const QString& archivePath, int depth)
{
    Result result;
    // An archive that holds copies of itself meets these limits at every
    // copy found: the opening tells each limit once, naming the first
    // archive it stopped.
    if (depth >= MaxDepth) {
        result.code = ARC_ERROR_NOT_SUPPORT;
        if (!std::exchange(m_toldDepth, true))
            Tell(QStringLiteral("arc-depth:") + archivePath, result,
                 QStringLiteral("書庫 %1 は書庫の中の書庫が %2 段を超えるため、展開しませんでした。")
                     .arg(NameOf(archivePath))
                     .arg(MaxDepth));
    } else if (m_bytesLeft == 0 || m_filesLeft == 0) {
        result.code = ARC_ERROR_SIZE_BUDGET;
        if (!std::exchange(m_toldBudget, true))
            Tell(QStringLiteral("arc-budget:") + archivePath, result,
                 QStringLiteral(
                     "一度に展開できる量（合計 4 GiB、10,000 ファイル）に達したため、書庫 %1 は展開しませんでした。")
                     .arg(NameOf(archivePath)));
    }
    return result;
}

TArchiveOpening::Result TArchiveOpening::Unpack(const QString& archivePath, const QString& folder, int depth,
                                                TWindowHandle window)
{
    Result result = Refusal(archivePath, depth);
    if (result.code != 0)
        return result;

    SetLibraryLimits(m_bytesLeft, m_filesLeft);
    const Usage before = Measure(folder);
    QString output;
    try {
        TArchiveFile archive;
        archive.SetFileName(archivePath);
        archive.SetOutputSize(4096);
        archive.Options().x = 0;
        archive.Options().c = 1;
        archive.Options().jse = 1;
        archive.Options().jso = 1;
        result.code = archive.Extract(window, nullptr, folder, TFileList());
        output = archive.Output();
    } catch (const EArchiver& error) {
        result.code = ARC_ERROR_NOT_SUPPORT;
        output = error.Message();
    } catch (const std::exception& error) {
        result.code = ARC_ERROR_NOT_SUPPORT;
        output = QString::fromLocal8Bit(error.what());
    }
    // Why the helper failed, before the next call to it forgets it.
    const QString helperFailure = archiveremote::LastHelperFailure();
    SetLibraryLimits(0, 0);
    result.output = output;

    if (result.code == ARC_ERROR_HELPER_FAILED || result.code == ARC_ERROR_USER_CANCEL)
        RemovePartialFiles(folder);
    const Usage after = Measure(folder);
    const std::uint64_t bytes = after.bytes > before.bytes ? after.bytes - before.bytes : 0;
    const std::uint64_t files = after.files > before.files ? after.files - before.files : 0;
    m_bytesLeft -= std::min(m_bytesLeft, bytes);
    m_filesLeft -= std::min(m_filesLeft, files);
    result.unpacked = files > 0;

    if (result.code == 0 || result.code == ARC_ERROR_USER_CANCEL)
        return result;
    const QString name = NameOf(archivePath);
    if (result.code == ARC_ERROR_SIZE_BUDGET || result.code == ARC_ERROR_TOO_MANY_FILES) {
        m_bytesLeft = result.code == ARC_ERROR_SIZE_BUDGET ? 0 : m_bytesLeft;
        m_filesLeft = result.code == ARC_ERROR_TOO_MANY_FILES ? 0 : m_filesLeft;
        const QString text = QStringLiteral(
            "一度に展開できる量（合計 4 GiB、10,000 ファイル）を超えるため、書庫 %1 の展開を途中で打ち切りました。");
        if (!std::exchange(m_toldBudget, true))
            Tell(QStringLiteral("arc-budget:") + archivePath, result, text.arg(name));
    } else if (result.code == ARC_ERROR_NEED_VOLUMES) {
        Tell(QStringLiteral("arc:") + archivePath, result,
             QStringLiteral("書庫 %1 は分割された書庫の一部です。展開するには残りの部分が必要です。").arg(name));
    } else if (result.code == ARC_ERROR_HELPER_FAILED) {
        Tell(QStringLiteral("arc:") + archivePath, result,
             QStringLiteral("書庫 %1 を展開する補助プログラムが%2。書庫が壊れている可能性があります。")
                 .arg(name, helperFailure.isEmpty() ? QStringLiteral("異常終了しました") : helperFailure));
    } else {
        Tell(QStringLiteral("arc:") + archivePath, result,
             (result.unpacked ? QStringLiteral("書庫 %1 は壊れているため、一部しか展開できませんでした。")
                              : QStringLiteral("書庫 %1 は壊れているか読めないため、展開できませんでした。"))
                 .arg(name));
    }
    return result;
}
