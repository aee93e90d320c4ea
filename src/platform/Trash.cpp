#include "Trash.h"

#include "Desktop.h"
#include "FileNames.h"
#include "Files.h"
#include "Paths.h"

#include <QDateTime>
#include <QDir>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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
    MessageBox(owner, QStringLiteral("このファイルをごみ箱に移動できませんでした。\n") + DisplayFileName(path),
               MsgIcon::Error, MsgOk);
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

// $XDG_DATA_HOME when it is absolute, else ~/.local/share.
QByteArray dataHome()
{
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    if (xdg.startsWith('/'))
        return xdg;
    QByteArray home = qgetenv("HOME");
    if (!home.startsWith('/')) {
        if (const passwd* entry = ::getpwuid(::getuid()))
            home = entry->pw_dir;
    }
    if (!home.startsWith('/'))
        return {};
    while (home.size() > 1 && home.endsWith('/'))
        home.chop(1);
    return home + "/.local/share";
}

// The device of a path, or of its nearest existing parent.
bool deviceOfNearest(QByteArray path, dev_t* device)
{
    for (;;) {
        struct stat st;
        if (::stat(path.constData(), &st) == 0) {
            *device = st.st_dev;
            return true;
        }
        if (path == "/" || errno != ENOENT)
            return false;
        path = parentOf(path);
    }
}

// A private folder of ours: made with mode 0700 when missing; an existing
// entry must be a folder (a link to one only where allowed).
bool ensurePrivateFolder(const QByteArray& path, bool linkAllowed = false)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st;
    const int result = linkAllowed ? ::stat(path.constData(), &st) : ::lstat(path.constData(), &st);
    return result == 0 && S_ISDIR(st.st_mode);
}

// Like "mkdir -p" with mode 0700 for the folders it makes, as the data home
// of a fresh account is made.
bool ensureFolderPath(const QByteArray& path)
{
    struct stat st;
    if (::stat(path.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (path == "/" || errno != ENOENT)
        return false;
    if (!ensureFolderPath(parentOf(path)))
        return false;
    return ensurePrivateFolder(path);
}

struct TrashPlace {
    QByteArray folder; // holds "files" and "info"
    QByteArray topdir; // empty for the home trash: Path= is then absolute
};

// The mount point holding `folder`: the last parent on the same device.
QByteArray topDirectoryOf(const QByteArray& folder, dev_t device)
{
    QByteArray top = folder;
    while (top != "/") {
        const QByteArray up = parentOf(top);
        struct stat st;
        if (::stat(up.constData(), &st) != 0 || st.st_dev != device)
            break;
        top = up;
    }
    return top;
}

bool prepareTrash(const TrashPlace& place)
{
    // The home trash may be a link to a folder of the user's choice.
    return ensurePrivateFolder(place.folder, place.topdir.isEmpty()) && ensurePrivateFolder(place.folder + "/files")
           && ensurePrivateFolder(place.folder + "/info");
}

// The trash for a file on `device` whose real folder is `folder`: the home
// trash on the data home's device, else "$topdir/.Trash/$uid" below a
// sticky, shared ".Trash", else "$topdir/.Trash-$uid".
bool findTrash(const QByteArray& folder, dev_t device, TrashPlace* place)
{
    const QByteArray home = dataHome();
    dev_t homeDevice = 0;
    if (!home.isEmpty() && deviceOfNearest(home, &homeDevice) && homeDevice == device) {
        place->folder = home + "/Trash";
        place->topdir.clear();
        return ensureFolderPath(home) && prepareTrash(*place);
    }
    const QByteArray top = topDirectoryOf(folder, device);
    const QByteArray prefix = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(qulonglong(::getuid()));
    place->topdir = top;
    struct stat st;
    const QByteArray shared = prefix + "/.Trash";
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        place->folder = shared + "/" + uid;
        if (prepareTrash(*place))
            return true;
    }
    place->folder = prefix + "/.Trash-" + uid;
    if (!prepareTrash(*place))
        return false;
    return ::lstat(place->folder.constData(), &st) == 0 && st.st_uid == ::getuid();
}

// "name", then "name.2.ext", "name.3.ext" …, short enough for the info
// file's ".trashinfo" to fit the name limit.
QByteArray candidateName(const QByteArray& name, int n)
{
    constexpr qsizetype kLimit = NAME_MAX - 10 - 12;
    QByteArray stem = name;
    QByteArray extension;
    if (n > 1) {
        const qsizetype dot = name.lastIndexOf('.');
        if (dot > 0) {
            stem = name.left(dot);
            extension = name.mid(dot);
        }
        extension = "." + QByteArray::number(n) + extension;
    }
    if (extension.size() > kLimit / 2)
        extension = extension.left(kLimit / 2);
    if (stem.size() + extension.size() > kLimit)
        stem.truncate(kLimit - extension.size());
    return stem + extension;
}

bool writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

bool MoveToTrash(const QString& path, QString* pathInTrash)
{
    if (path.isEmpty())
        return false;
    QString absolute = CanonicalPath(path);
    const QByteArray source = EncodeFileName(absolute);
    struct stat st;
    if (::lstat(source.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    const QByteArray folder = parentOf(source);
    TrashPlace place;
    if (!findTrash(folder, st.st_dev, &place))
        return false;
    struct stat trashStat;
    if (::stat(place.folder.constData(), &trashStat) != 0 || trashStat.st_dev != st.st_dev)
        return false; // a trash elsewhere would need a copy: never delete for good

    // Path= is absolute for the home trash, relative to the top folder else.
    QByteArray recorded = source;
    if (!place.topdir.isEmpty() && place.topdir != "/")
        recorded = source.mid(place.topdir.size() + 1);
    else if (place.topdir == "/")
        recorded = source.mid(1);
    const QByteArray info = "[Trash Info]\nPath=" + recorded.toPercentEncoding("/") + "\nDeletionDate="
                            + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1()
                            + "\n";

    const QByteArray name = nameOf(source);
    for (int n = 1; n < 10000; ++n) {
        const QByteArray candidate = candidateName(name, n);
        const QByteArray infoPath = place.folder + "/info/" + candidate + ".trashinfo";
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        const bool written = writeAll(fd, info) && ::fsync(fd) == 0;
        if (::close(fd) != 0 || !written) {
            ::unlink(infoPath.constData());
            return false;
        }
        const QString target = DecodeFileName(place.folder + "/files/" + candidate);
        QString error;
        if (MoveFile(absolute, target, &error)) {
            if (pathInTrash)
                *pathInTrash = target;
            return true;
        }
        ::unlink(infoPath.constData());
        struct stat taken;
        if (::lstat(EncodeFileName(target).constData(), &taken) != 0)
            return false; // the move failed for another reason than the name
    }
    return false;
}

bool RecycleFile(const QString& path, QWidget* owner)
{
    if (path.isEmpty() || !FileExists(path)) {
        reportFailure(owner, path);
        return true;
    }
    const QString question = QStringLiteral("このファイルをごみ箱に移動しますか？\n")
                             + DisplayFileName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    const bool confirmed = confirmHandler()
                               ? confirmHandler()(question)
                               : MessageBox(owner, question, MsgIcon::Question, MsgOk | MsgCancel) == MsgOk;
    if (!confirmed)
        return true;
    if (!MoveToTrash(path)) {
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
