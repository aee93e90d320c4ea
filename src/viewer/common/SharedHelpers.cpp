#include "SharedHelpers.h"

#include "platform/Desktop.h"
#include "platform/Files.h"
#include "platform/SpecialFolders.h"
#include "platform/Trash.h"

#include <QPointer>
#include <QProcess>
#include <QWidget>

#include <vector>

namespace {

QPointer<QWidget>& ownerWindow()
{
    static QPointer<QWidget> owner;
    return owner;
}

std::vector<QPointer<QWidget>>& dropTargets()
{
    static std::vector<QPointer<QWidget>> targets;
    return targets;
}

void forgetDestroyedTargets()
{
    auto& targets = dropTargets();
    std::erase_if(targets, [](const QPointer<QWidget>& w) { return w.isNull(); });
}

void deleteTree(const QString& folder, int depth)
{
    // A chain of nested folders deeper than this is left alone rather than
    // risking the stack.
    if (depth > 4096)
        return;
    const QString prefix = IncludeBackslash(folder);
    for (const platform::DirEntry& entry : platform::ListDirectory(folder)) {
        const QString path = prefix + entry.name;
        if (entry.isDir && !entry.isSymLink)
            deleteTree(path, depth + 1);
        else
            platform::DeleteFile(path);
    }
    platform::RemoveDirectory(folder);
}

} // namespace

QString IncludeBackslash(const QString& path)
{
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

QString LastPathPart(const QString& path)
{
    QString text = path;
    if (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? text : text.mid(slash + 1);
}

void DeleteFolderTree(const QString& folder)
{
    if (folder.isEmpty())
        return;
    QString path = folder;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    // A link in place of the folder is removed as a link, never entered.
    if (platform::IsSymLink(path)) {
        platform::DeleteFile(path);
        return;
    }
    if (!platform::DirectoryExists(path))
        return;
    deleteTree(path, 0);
}

QString ReplaceChar(const QString& text, QChar from, QChar to)
{
    QString result = text;
    result.replace(from, to);
    return result;
}

QString NumberSuffix(qint64 number)
{
    if (number < 1000)
        return QLatin1Char('[') + (QStringLiteral("000") + QString::number(number)).right(3) + QLatin1Char(']');
    return QLatin1Char('[') + QString::number(number) + QLatin1Char(']');
}

qint64 FileSizeOf(const QString& path)
{
    const qint64 size = platform::FileSize(path);
    return size < 0 ? 0 : size;
}

void SetHelperOwnerWindow(QWidget* owner)
{
    ownerWindow() = owner;
}

QWidget* HelperOwnerWindow()
{
    return ownerWindow().data();
}

bool RecycleFile(const QString& path)
{
    return platform::RecycleFile(path, ownerWindow().data());
}

QRect KeepOnDesktopRect(QRect window, QRect desktop)
{
    // Right and bottom edges here are exclusive (left + width).
    int left = window.x();
    int top = window.y();
    int width = window.width();
    int height = window.height();
    if (width > desktop.width())
        width = desktop.width();
    if (height > desktop.height())
        height = desktop.height();
    const int desktopRight = desktop.x() + desktop.width();
    const int desktopBottom = desktop.y() + desktop.height();
    if (left + width > desktopRight)
        left = desktopRight - width;
    if (top + height > desktopBottom)
        top = desktopBottom - height;
    if (left < desktop.x())
        left = desktop.x();
    if (top < desktop.y())
        top = desktop.y();
    return QRect(left, top, width, height);
}

void KeepOnDesktop(QWidget* window)
{
    if (!window)
        return;
    const QRect desktop = platform::DesktopRect();
    if (desktop.isEmpty())
        return;
    const QRect frame = window->frameGeometry();
    const QRect placed = KeepOnDesktopRect(frame, desktop);
    if (placed == frame)
        return;
    // The frame (title bar and borders) keeps its size; the client area
    // takes the change.
    const QSize decoration = frame.size() - window->size();
    if (placed.size() != frame.size())
        window->resize(placed.size() - decoration);
    window->move(placed.topLeft());
}

void RegisterDropTarget(QWidget* window)
{
    if (!window)
        return;
    forgetDestroyedTargets();
    for (const QPointer<QWidget>& target : dropTargets())
        if (target == window)
            return;
    dropTargets().emplace_back(window);
}

void UnregisterDropTarget(QWidget* window)
{
    auto& targets = dropTargets();
    std::erase_if(targets, [window](const QPointer<QWidget>& w) { return w.isNull() || w == window; });
}

void SetDropTargets(bool on)
{
    forgetDestroyedTargets();
    for (const QPointer<QWidget>& target : dropTargets())
        target->setAcceptDrops(on);
}

QString ShortcutFileName(const QString& linkFile)
{
    if (linkFile.endsWith(QLatin1String(".lnk"), Qt::CaseInsensitive))
        return linkFile.chopped(4) + QStringLiteral(".desktop");
    return linkFile;
}

bool MakeShortcutFile(const QString& linkFile, const QString& target, const QStringList& arguments,
                      const QString& workingFolder, const QString& description)
{
    QString folder = workingFolder;
    if (folder.isEmpty()) {
        const qsizetype slash = target.lastIndexOf(QLatin1Char('/'));
        folder = slash < 0 ? QString() : slash == 0 ? QStringLiteral("/") : target.left(slash);
    }
    return !platform::WriteDesktopEntry(ShortcutFileName(linkFile), target, arguments, folder, description);
}

bool MakeShortcutFile(const QString& linkFile, const QString& target, const QString& arguments,
                      const QString& workingFolder, const QString& description)
{
    return MakeShortcutFile(linkFile, target, QProcess::splitCommand(arguments), workingFolder, description);
}

QString SpecialFolderPath(int csidl)
{
    return platform::SpecialFolderPath(csidl);
}

bool OpenUrl(const QString& target)
{
    return platform::OpenUrl(target);
}

void SendMailTo(const QString& target)
{
    platform::OpenUrl(target + QStringLiteral("subject=『ミレット』について&") + QStringLiteral("body= &"));
}
