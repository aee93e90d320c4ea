#include "Trash.h"

#include "Desktop.h"
#include "Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

namespace platform {
namespace {

std::function<bool(const QString&)>& confirmHandler()
{
    static std::function<bool(const QString&)> handler;
    return handler;
}

void reportFailure(QWidget* owner, const QString& path)
{
    Beep();
    MessageBox(owner, QStringLiteral("このファイルをごみ箱に移動できませんでした。\n") + path,
               MsgIcon::Error, MsgOk);
}

// QFile::moveToTrash (Qt 6.4) does not notice when the home trash cannot be
// made (say "Trash" is a plain file): it then moves the file into "files/"
// under the current folder. Such a trash is refused beforehand.
bool homeTrashUnusable()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return true;
    const QFileInfo trash(dataHome + QStringLiteral("/Trash"));
    // A link to a folder is a usable trash; a dangling link is not.
    return (trash.exists() || trash.isSymLink()) && !trash.isDir();
}

// A trash folder is "<...>/Trash", "<top>/.Trash/<uid>" or "<top>/.Trash-<uid>",
// holding "files" and "info".
bool isTrashLocation(const QString& pathInTrash)
{
    const QFileInfo info(pathInTrash);
    if (!info.isAbsolute())
        return false;
    const QDir files = info.dir();
    if (files.dirName() != QLatin1String("files"))
        return false;
    QDir trash = files;
    if (!trash.cdUp())
        return false;
    const QString name = trash.dirName();
    QDir parent = trash;
    const bool numbered = parent.cdUp() && parent.dirName() == QLatin1String(".Trash");
    return name == QLatin1String("Trash") || name.startsWith(QLatin1String(".Trash-")) || numbered;
}

// Puts a file back from a place the trash should not have put it.
void undoStrayTrash(const QString& original, const QString& pathInTrash)
{
    const QFileInfo moved(pathInTrash);
    MoveFile(moved.absoluteFilePath(), original);
    const QDir files = moved.absoluteDir();
    QDir trash = files;
    trash.cdUp();
    QFile::remove(trash.filePath(QStringLiteral("info/") + moved.fileName() + QStringLiteral(".trashinfo")));
    RemoveDirectory(trash.filePath(QStringLiteral("info")));
    RemoveDirectory(files.absolutePath());
}

} // namespace

bool RecycleFile(const QString& path, QWidget* owner)
{
    if (path.isEmpty() || !FileExists(path)) {
        reportFailure(owner, path);
        return true;
    }
    const QString question =
        QStringLiteral("このファイルをごみ箱に移動しますか？\n") + QFileInfo(path).fileName();
    const bool confirmed = confirmHandler()
        ? confirmHandler()(question)
        : MessageBox(owner, question, MsgIcon::Question, MsgOk | MsgCancel) == MsgOk;
    if (!confirmed)
        return true;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const bool sameDeviceAsHome = QStorageInfo(absolute) == QStorageInfo(QDir::homePath());
    if (sameDeviceAsHome && homeTrashUnusable()) {
        reportFailure(owner, path);
        return true;
    }
    QString pathInTrash;
    if (!QFile::moveToTrash(absolute, &pathInTrash)) {
        reportFailure(owner, path);
        return true;
    }
    if (!isTrashLocation(pathInTrash)) {
        undoStrayTrash(absolute, pathInTrash);
        reportFailure(owner, path);
        return true;
    }
    return false;
}

void SetRecycleConfirmHandlerForTesting(std::function<bool(const QString& question)> handler)
{
    confirmHandler() = std::move(handler);
}

} // namespace platform
