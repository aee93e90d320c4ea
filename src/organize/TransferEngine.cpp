#include "organize/TransferEngine.h"

#include "platform/FileNames.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "settings/Settings.h"
#include "viewer/ViewerSession.h"
#include "viewer/Navigation.h"
#include "viewer/common/SharedHelpers.h"

#include <QFile>

namespace {

// Clears the busy flag on every way out.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
};

} // namespace

PathParts SplitPath(const QString& path)
{
    PathParts parts;
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    parts.folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        parts.base = name;
    } else {
        parts.base = name.left(dot);
        parts.extension = name.mid(dot);
    }
    return parts;
}

QString FolderOf(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString WithOldExtension(const QString& typed, const QString& oldName)
{
    const int dot = oldName.lastIndexOf(QLatin1Char('.'));
    const QString oldExtension = dot < 0 ? QString() : oldName.mid(dot);
    if (typed.contains(QLatin1Char('.')))
        return typed;
    return typed + oldExtension;
}

bool IsPlainFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QChar(0))
           && name != QStringLiteral(".") && name != QStringLiteral("..");
}

QString NameWithinLimit(const QString& stem, const QString& tail, int maxBytes)
{
    const qsizetype tailBytes = QFile::encodeName(tail).size();
    QString kept = stem;
    while (!kept.isEmpty() && QFile::encodeName(kept).size() + tailBytes > maxBytes) {
        // Whole characters only: a surrogate pair goes as one.
        kept.chop(kept.size() >= 2 && kept.back().isLowSurrogate() ? 2 : 1);
    }
    return kept + tail;
}

bool PathTaken(const QString& path)
{
    return platform::FileExists(path) || platform::DirectoryExists(path) || platform::IsSymLink(path);
}

TTransferEngine::TTransferEngine(ViewerSession& session, ITransferUi& ui) : m_session(session), m_ui(ui) {}

QString TTransferEngine::Numbered(const QString& destination)
{
    const PathParts parts = SplitPath(destination);
    const int nameLimit = platform::MaxFileNameBytes(parts.folder);
    for (qint64 k = 1;; ++k) {
        if (NumberingWaitMs > 0)
            m_ui.Wait(NumberingWaitMs);
        if (k > NumberingLimit) {
            m_ui.Error(OrganizeTexts::NumberingError);
            return QString();
        }
        const QString candidate =
            parts.folder + NameWithinLimit(parts.base, NumberSuffix(k) + parts.extension, nameLimit);
        if (!PathTaken(candidate))
            return candidate;
    }
}

QString TTransferEngine::ResolveDestination(int i)
{
    Settings& config = m_session.Config();
    ImageList& images = m_session.Images();
    // 2.
    if (i < 0 || i >= static_cast<int>(config.Option.Buttons.size()))
        return QString();
    TransferButtonSetting& entry = config.Option.Buttons[static_cast<size_t>(i)];
    QString folder = entry.Folder;
    if (images.IsEmpty() || folder.isEmpty() || m_session.SlideshowRunning() || !config.Option.Open)
        return QString();
    // 3.
    if (folder == OrganizeTexts::RunTimeChoice) {
        if (!entry.RunTimeFolder.isEmpty() && platform::DirectoryExists(entry.RunTimeFolder))
            LastInitialFolder = entry.RunTimeFolder;
        QString chosen;
        if (!m_ui.BrowseFolder(OrganizeTexts::ChooseCaption, LastInitialFolder, &chosen) || chosen.isEmpty()) {
            m_session.ShowPage();
            return QString();
        }
        folder = IncludeBackslash(chosen);
        entry.RunTimeFolder = folder;
    }
    // 4. "none" marks an unset entry and is never taken as a folder name.
    if (IsUnsetDestination(folder) || !platform::DirectoryExists(folder)) {
        m_ui.Beep();
        m_ui.Error(OrganizeTexts::NoFolder);
        m_session.ShowPage();
        return QString();
    }
    // 5.
    const int index = NormaliseIndex(DisplayForm::SinglePage, m_session.State().CurrentIndex, images.Count());
    m_session.SetCurrentIndex(index);
    const QString source = images.At(index);
    QString destination = IncludeBackslash(folder) + FileNameOf(source);
    m_session.SetUndoRecord(source, destination);
    // 6.
    if (!PathTaken(destination))
        return destination;
    if (config.Option.Numbering) {
        destination = Numbered(destination);
        m_session.SetUndoRecord(source, destination);
        return destination;
    }
    m_ui.Beep();
    switch (m_ui.AskSameName(source, destination)) {
    case srRename: {
        const QString dir = FolderOf(destination);
        const QString name = FileNameOf(destination);
        QString chosen;
        QString target;
        for (;;) {
            chosen = m_ui.InputNewName(dir, name);
            if (chosen.isEmpty())
                return QString();
            target = dir + chosen;
            // A name with a folder part would leave the destination folder.
            if (IsPlainFileName(chosen) && !PathTaken(target))
                break;
            m_ui.Error(OrganizeTexts::NameTaken);
        }
        if (chosen == name)
            return QString();
        m_session.SetUndoRecord(source, target);
        return target;
    }
    case srDeleteExisting:
        // The destination being the shown file itself (a transfer into its
        // own folder) would send the only copy to the trash: refuse.
        if (platform::CanonicalPath(destination) == platform::CanonicalPath(source)) {
            m_ui.Beep();
            m_ui.Error(config.Option.Copy ? OrganizeTexts::CopyFailed : OrganizeTexts::MoveFailed);
            m_session.ShowPage();
            return QString();
        }
        if (m_ui.RecycleFile(destination))
            return QString();
        return destination;
    case srDeleteSource:
        m_session.DeleteCurrentImage();
        m_session.ShowPage();
        return QString();
    default:
        return QString();
    }
}

void TTransferEngine::ArBitBtnProcess(int i)
{
    if (m_busy)
        return;
    BusyScope busy(m_busy);
    // 1.
    m_session.SetUndoRecord(QString(), QString());
    const QString destination = ResolveDestination(i);
    if (destination.isEmpty()) {
        m_session.SetUndoRecord(QString(), QString());
        return;
    }
    const QString source = m_session.State().UndoFrom;
    ImageList& images = m_session.Images();
    QString message;
    bool moved = false;
    if (m_session.Config().Option.Copy) {
        // 7. The destination is free at this point; a file that appeared in
        // the meantime is never replaced.
        if (platform::CopyFile(source, destination, true)) {
            m_session.SetCurrentIndex(m_session.State().CurrentIndex + 1);
            message = OrganizeTexts::CopyDone;
            m_session.SetUndoRecord(QString(), QString());
        } else {
            m_ui.Beep();
            m_ui.Error(OrganizeTexts::CopyFailed);
        }
    } else {
        // 8.
        if (platform::MoveFile(source, destination)) {
            const int index = m_session.State().CurrentIndex;
            if (index >= 0 && index < images.Count() && images.At(index) == source)
                images.Delete(index);
            else if (const int at = images.IndexOf(source); at >= 0)
                images.Delete(at);
            message = OrganizeTexts::MoveDone;
            moved = true;
            m_session.NotifyListChanged();
        } else {
            m_ui.Beep();
            m_ui.Error(OrganizeTexts::MoveFailed);
        }
    }
    // 9.
    if (!message.isEmpty())
        m_ui.Done(message);
    // 10.
    m_session.ShowPage();
    // 11.
    if (!moved)
        m_session.SetUndoRecord(QString(), QString());
    else
        m_session.NotifyUndoRecord();
}

void TTransferEngine::UndoLastMove()
{
    if (m_busy)
        return;
    BusyScope busy(m_busy);
    const QString source = m_session.State().UndoFrom;
    const QString destination = m_session.State().UndoTo;
    if (source.isEmpty() || destination.isEmpty())
        return;
    // 1. The file goes back only to a free place; when that fails the record
    // stays so that the user can try again.
    if (!platform::MoveFile(destination, source)) {
        m_ui.Beep();
        m_ui.Error(OrganizeTexts::UndoFailed);
        m_session.NotifyUndoRecord();
        return;
    }
    // 2.
    ImageList& images = m_session.Images();
    images.SetSorted(true);
    images.Add(source);
    images.SetSorted(false);
    m_session.ApplyPlayOrder(m_session.State().PlayOrder);
    m_session.ShowPage();
    // 3.
    m_ui.Done(OrganizeTexts::UndoDone);
    // 4.
    m_session.SetUndoRecord(QString(), QString());
}

void TTransferEngine::RenameCurrent()
{
    if (m_busy)
        return;
    BusyScope busy(m_busy);
    ImageList& images = m_session.Images();
    if (images.IsEmpty() || m_session.SlideshowRunning())
        return;
    // 1.
    const int index = NormaliseIndex(DisplayForm::SinglePage, m_session.State().CurrentIndex, images.Count());
    const QString path = images.At(index);
    const QString folder = FolderOf(path);
    const QString name = FileNameOf(path);
    QString target;
    for (;;) {
        // 2.
        const QString chosen = m_ui.InputNewName(folder, name);
        if (chosen.isEmpty())
            return;
        // 3. The move never replaces an existing file.
        // The name as it was: nothing to do, and no "taken" message for the
        // file's own name.
        if (chosen == name)
            return;
        target = folder + chosen;
        if (IsPlainFileName(chosen) && platform::MoveFile(path, target))
            break;
        // 4.
        m_ui.Error(OrganizeTexts::RenameTaken);
    }
    // 5.
    images.Delete(index);
    images.Insert(index, target);
    m_session.SetCurrentIndex(index);
    m_session.SetCaption(QStringLiteral("Mirett -- [") + QString::number(index + 1) + QLatin1Char('/')
                         + QString::number(images.Count()) + QStringLiteral("] ") + platform::DisplayFileName(target));
}
