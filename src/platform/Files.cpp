#include "Files.h"

#include "LargeMemory.h"

#include "FileNames.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::atomic<int> g_injectedMoveErrno{0};

QByteArray encode(const QString& path)
{
    return EncodeFileName(path);
}

void setError(QString* error, const QString& path, int err)
{
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(err)));
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes and reports the result of close(), which can carry a late
    // write error on some file systems.
    int close()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int fd_;
};

// Renames without ever replacing the destination. Returns 0 or an errno.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    const int injected = g_injectedMoveErrno.load();
    int err = 0;
    if (injected == EINVAL || injected == ENOSYS) {
        err = injected; // tests: a file system without RENAME_NOREPLACE
    } else {
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
            return 0;
        err = errno;
    }
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP)
        return err;

    // The file system lacks RENAME_NOREPLACE: a hard link fails on an
    // existing name, so link + unlink never replaces anything.
    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) == 0)
            return 0;
        const int unlinkErr = errno;
        ::unlink(to.constData());
        return unlinkErr;
    }
    const int linkErr = errno;
    if (linkErr != EPERM && linkErr != ENOTSUP && linkErr != EMLINK)
        return linkErr;

    // No hard links either (folders, some file systems): check, then rename.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return EEXIST;
    if (::rename(from.constData(), to.constData()) == 0)
        return 0;
    return errno;
}

// A fresh, unused name beside `destination`, for a file about to be renamed
// into place. The name is short so that it fits even when the destination's
// own name is at the file system's limit.
QByteArray tempTemplateBeside(const QByteArray& destination)
{
    QByteArray folder = folderOf(destination);
    if (!folder.endsWith('/'))
        folder += '/';
    return folder + ".orvanto-XXXXXX";
}

int copyContents(int in, int out)
{
    bool useCopyRange = true;
    std::vector<char> buffer;
    for (;;) {
        if (useCopyRange) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n > 0)
                continue;
            if (n == 0)
                return 0;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EBADF
                && errno != EPERM)
                return errno;
            useCopyRange = false;
        }
        if (buffer.empty())
            buffer.resize(1 << 20);
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        ssize_t written = 0;
        while (written < got) {
            const ssize_t n = ::write(out, buffer.data() + written, size_t(got - written));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            written += n;
        }
    }
}

// Copies the open source file into a new temporary file beside
// `destination` and flushes it. On success *tempName holds its name; on
// failure nothing is left behind. Returns 0 or an errno.
int writeTempCopy(int source, const struct stat& sourceStat, const QByteArray& destination, QByteArray* tempName)
{
    QByteArray name = tempTemplateBeside(destination);
    FileDescriptor out(::mkostemp(name.data(), O_CLOEXEC));
    if (out.get() < 0)
        return errno;
    int err = copyContents(source, out.get());
    if (err == 0 && ::fchmod(out.get(), sourceStat.st_mode & 0777) != 0)
        err = errno;
    if (err == 0) {
        const std::array<struct timespec, 2> times{sourceStat.st_atim, sourceStat.st_mtim};
        ::futimens(out.get(), times.data()); // best effort, like the permissions of a copy
    }
    if (err == 0 && ::fsync(out.get()) != 0)
        err = errno;
    if (out.close() != 0 && err == 0)
        err = errno;
    if (err != 0) {
        ::unlink(name.constData());
        return err;
    }
    *tempName = name;
    return 0;
}

int readLinkTarget(const QByteArray& link, QByteArray* target)
{
    for (ssize_t size = 256;; size *= 2) {
        target->resize(size);
        const ssize_t n = ::readlink(link.constData(), target->data(), size_t(size));
        if (n < 0)
            return errno;
        if (n < size) {
            target->resize(n);
            return 0;
        }
    }
}

// realpath() of a folder; empty when it cannot be resolved.
QByteArray realFolder(const QByteArray& folder)
{
    char* resolved = ::realpath(folder.constData(), nullptr);
    if (!resolved)
        return {};
    QByteArray result(resolved);
    std::free(resolved);
    return result;
}

// The way from the absolute folder `from` to the absolute path `to`, both
// free of "." and ".." and of links in their folder parts.
QByteArray relativePath(const QByteArray& from, const QByteArray& to)
{
    const QList<QByteArray> a = from.split('/');
    const QList<QByteArray> b = to.split('/');
    qsizetype common = 0;
    while (common < a.size() && common < b.size() - 1 && a[common] == b[common])
        ++common;
    QByteArray result;
    for (qsizetype i = common; i < a.size(); ++i) {
        if (!a[i].isEmpty())
            result += "../";
    }
    for (qsizetype i = common; i < b.size(); ++i) {
        if (b[i].isEmpty())
            continue;
        result += b[i];
        if (i + 1 < b.size())
            result += '/';
    }
    return result;
}

// The target text a relative link needs in `newFolder` to name what it named
// in `oldFolder` (both real folders). The target's folder part is resolved
// as the system would; a target that leads nowhere keeps its meaning as an
// absolute path.
QByteArray targetForNewFolder(const QByteArray& target, const QByteArray& oldFolder, const QByteArray& newFolder)
{
    const QByteArray joined = (oldFolder == "/" ? QByteArray() : oldFolder) + '/' + target;
    const qsizetype slash = joined.lastIndexOf('/');
    const QByteArray last = joined.mid(slash + 1);
    if (last.isEmpty() || last == "." || last == "..")
        return joined;
    const QByteArray folder = realFolder(slash == 0 ? QByteArrayLiteral("/") : joined.left(slash));
    if (folder.isEmpty())
        return joined;
    return relativePath(newFolder == "/" ? QByteArray() : newFolder,
                        (folder == "/" ? QByteArray() : folder) + '/' + last);
}

// Creates a symbolic link with the given target under a temporary name
// beside `destination`.
int writeTempLink(const QByteArray& target, const QByteArray& destination, QByteArray* tempName)
{
    std::random_device seed;
    std::mt19937 random(seed());
    const QByteArray base = tempTemplateBeside(destination).chopped(6);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = base + QByteArray::number(quint32(random()), 36);
        if (::symlink(target.constData(), name.constData()) == 0) {
            *tempName = name;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// Moves a symbolic link whose target is relative into another folder: the
// link is made anew there with a target that names the same file, then the
// old one goes. Returns 0 or an errno; on failure the source stays.
int moveRelativeLink(const QByteArray& from, const QByteArray& to, const QByteArray& target,
                     const QByteArray& oldFolder, const QByteArray& newFolder)
{
    QByteArray temp;
    int err = writeTempLink(targetForNewFolder(target, oldFolder, newFolder), to, &temp);
    if (err != 0)
        return err;
    err = renameNoReplace(temp, to);
    if (err != 0) {
        ::unlink(temp.constData());
        return err;
    }
    if (::unlink(from.constData()) != 0) {
        err = errno;
        ::unlink(to.constData());
        return err;
    }
    return 0;
}

// The cross-file-system part of MoveFile.
bool moveAcross(const QByteArray& from, const QByteArray& to, const struct stat& sourceStat, const QString& fromName,
                const QString& toName, QString* error)
{
    struct stat st;
    if (::lstat(to.constData(), &st) == 0) {
        setError(error, toName, EEXIST);
        return false;
    }
    if (S_ISDIR(sourceStat.st_mode)) {
        setError(error, fromName, EXDEV);
        return false;
    }

    QByteArray temp;
    int err = 0;
    if (S_ISLNK(sourceStat.st_mode)) {
        QByteArray target;
        err = readLinkTarget(from, &target);
        if (err == 0)
            err = writeTempLink(target, to, &temp);
    } else if (S_ISREG(sourceStat.st_mode)) {
        FileDescriptor in(::open(from.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (in.get() < 0)
            err = errno;
        else
            err = writeTempCopy(in.get(), sourceStat, to, &temp);
    } else {
        err = EXDEV; // devices, pipes and sockets are not copied
    }
    if (err != 0) {
        setError(error, err == EEXIST ? toName : fromName, err);
        return false;
    }

    err = renameNoReplace(temp, to);
    if (err != 0) {
        ::unlink(temp.constData());
        setError(error, toName, err);
        return false;
    }
    if (::unlink(from.constData()) != 0) {
        // The source cannot go: undo the copy so that the move either
        // happened completely or not at all.
        err = errno;
        ::unlink(to.constData());
        setError(error, fromName, err);
        return false;
    }
    return true;
}

} // namespace

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray name = encode(path);
    struct stat st;
    if (::stat(name.constData(), &st) == 0)
        return !S_ISDIR(st.st_mode);
    return ::lstat(name.constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool DirectoryExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::stat(encode(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsSymLink(const QString& path)
{
    if (path.isEmpty())
        return false;
    struct stat st;
    return ::lstat(encode(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool MoveFile(const QString& from, const QString& to, QString* error)
{
    if (from.isEmpty() || to.isEmpty()) {
        setError(error, from.isEmpty() ? from : to, ENOENT);
        return false;
    }
    const QByteArray source = encode(from);
    const QByteArray destination = encode(to);
    struct stat sourceStat;
    if (::lstat(source.constData(), &sourceStat) != 0) {
        setError(error, from, errno);
        return false;
    }
    // A relative link moved into another folder would point at nothing
    // with its old target text.
    if (S_ISLNK(sourceStat.st_mode)) {
        QByteArray target;
        if (const int err = readLinkTarget(source, &target); err != 0) {
            setError(error, from, err);
            return false;
        }
        const QByteArray oldFolder = realFolder(folderOf(source));
        const QByteArray newFolder = realFolder(folderOf(destination));
        if (!target.startsWith('/') && !oldFolder.isEmpty() && !newFolder.isEmpty() && oldFolder != newFolder) {
            struct stat st;
            const int err = ::lstat(destination.constData(), &st) == 0
                                ? EEXIST
                                : moveRelativeLink(source, destination, target, oldFolder, newFolder);
            if (err != 0)
                setError(error, err == EEXIST ? to : from, err);
            return err == 0;
        }
    }
    const int injected = g_injectedMoveErrno.load();
    const bool replaceResult = injected != 0 && injected != EINVAL && injected != ENOSYS;
    const int err = replaceResult ? injected : renameNoReplace(source, destination);
    if (err == 0)
        return true;
    if (err == EXDEV)
        return moveAcross(source, destination, sourceStat, from, to, error);
    setError(error, err == EEXIST ? to : from, err);
    return false;
}

bool CopyFile(const QString& from, const QString& to, bool failIfExists, QString* error)
{
    if (from.isEmpty() || to.isEmpty()) {
        setError(error, from.isEmpty() ? from : to, ENOENT);
        return false;
    }
    const QByteArray source = encode(from);
    const QByteArray destination = encode(to);
    FileDescriptor in(::open(source.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        setError(error, from, errno);
        return false;
    }
    struct stat sourceStat;
    if (::fstat(in.get(), &sourceStat) != 0) {
        setError(error, from, errno);
        return false;
    }
    if (!S_ISREG(sourceStat.st_mode)) {
        setError(error, from, S_ISDIR(sourceStat.st_mode) ? EISDIR : EINVAL);
        return false;
    }
    struct stat st;
    if (::stat(destination.constData(), &st) == 0 && S_ISDIR(st.st_mode)) {
        setError(error, to, EISDIR);
        return false;
    }
    if (failIfExists && ::lstat(destination.constData(), &st) == 0) {
        setError(error, to, EEXIST);
        return false;
    }

    QByteArray temp;
    int err = writeTempCopy(in.get(), sourceStat, destination, &temp);
    if (err != 0) {
        setError(error, to, err);
        return false;
    }
    if (failIfExists)
        err = renameNoReplace(temp, destination);
    else if (::rename(temp.constData(), destination.constData()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.constData());
        setError(error, to, err);
        return false;
    }
    return true;
}

bool DeleteFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray name = encode(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(name.constData()) == 0;
}

bool CreateDirectory(const QString& path)
{
    return !path.isEmpty() && ::mkdir(encode(path).constData(), 0777) == 0;
}

bool RemoveDirectory(const QString& path)
{
    return !path.isEmpty() && ::rmdir(encode(path).constData()) == 0;
}

qint64 FileSize(const QString& path)
{
    if (path.isEmpty())
        return -1;
    struct stat st;
    if (::stat(encode(path).constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return qint64(st.st_size);
}

namespace {

// Reads up to `limit` bytes from the current position. Returns 0 or an errno.
int readUpTo(int fd, qint64 limit, QByteArray* data)
{
    data->clear();
    qint64 total = 0;
    while (total < limit) {
        const qint64 chunk = std::min<qint64>(limit - total, qint64(1) << 20);
        data->resize(total + chunk);
        const ssize_t n = ::read(fd, data->data() + total, size_t(chunk));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            data->clear();
            return errno;
        }
        if (n == 0)
            break;
        total += n;
    }
    data->resize(total);
    return 0;
}

} // namespace

ReadStatus ReadWholeFile(const QString& path, qint64 maxBytes, QByteArray* data)
{
    data->clear();
    if (path.isEmpty())
        return ReadStatus::CannotOpen;
    FileDescriptor in(::open(encode(path).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return ReadStatus::CannotOpen;
    struct stat st;
    if (::fstat(in.get(), &st) != 0 || S_ISDIR(st.st_mode))
        return ReadStatus::CannotOpen;
    if (qint64(st.st_size) > maxBytes)
        return ReadStatus::TooLarge;
    // One byte more than allowed tells a file that grew meanwhile.
    if (readUpTo(in.get(), maxBytes + 1, data) != 0)
        return ReadStatus::ReadError;
    if (data->size() > maxBytes) {
        data->clear();
        return ReadStatus::TooLarge;
    }
    return ReadStatus::Ok;
}

ReadStatus ReadWholeFile(const QString& path, qint64 maxBytes, LargeBlock* data, qint64* size)
{
    *data = LargeBlock();
    *size = 0;
    if (path.isEmpty())
        return ReadStatus::CannotOpen;
    FileDescriptor in(::open(encode(path).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return ReadStatus::CannotOpen;
    struct stat st;
    if (::fstat(in.get(), &st) != 0 || S_ISDIR(st.st_mode))
        return ReadStatus::CannotOpen;
    if (qint64(st.st_size) > maxBytes)
        return ReadStatus::TooLarge;
    // One byte more than allowed tells a file that grew too large meanwhile.
    const qint64 limit = maxBytes + 1;
    LargeBlock block(size_t(std::min<qint64>(qint64(st.st_size) + 1, limit)));
    qint64 total = 0;
    while (total < limit) {
        if (block.empty())
            return ReadStatus::ReadError;
        if (total == qint64(block.size())) { // grown since it was measured
            LargeBlock larger(size_t(std::min<qint64>(total * 2, limit)));
            if (!larger.empty())
                std::memcpy(larger.data(), block.data(), size_t(total));
            block = std::move(larger);
            continue;
        }
        const qint64 room = std::min<qint64>(qint64(block.size()), limit) - total;
        const ssize_t n = ::read(in.get(), block.data() + total, size_t(room));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadStatus::ReadError;
        }
        if (n == 0)
            break;
        total += n;
    }
    if (total > maxBytes)
        return ReadStatus::TooLarge;
    *data = std::move(block);
    *size = total;
    return ReadStatus::Ok;
}

QByteArray ReadFileHead(const QString& path, qint64 count)
{
    QByteArray data;
    if (path.isEmpty() || count <= 0)
        return data;
    FileDescriptor in(::open(encode(path).constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0 || readUpTo(in.get(), count, &data) != 0)
        return {};
    return data;
}

std::vector<DirEntry> ListDirectory(const QString& folder, bool* ok)
{
    std::vector<DirEntry> entries;
    if (ok)
        *ok = false;
    if (folder.isEmpty())
        return entries;
    DIR* dir = ::opendir(encode(folder).constData());
    if (!dir)
        return entries;
    const int dirFd = ::dirfd(dir);
    bool failed = false;
    for (;;) {
        errno = 0;
        const struct dirent* entry = ::readdir(dir);
        if (!entry) {
            failed = errno != 0;
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;

        DirEntry item;
        item.name = DecodeFileName(name);
        unsigned char type = entry->d_type;
        struct stat st;
        if (type == DT_UNKNOWN || type == DT_REG) {
            if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // vanished while listing
            if (S_ISDIR(st.st_mode))
                type = DT_DIR;
            else if (S_ISLNK(st.st_mode))
                type = DT_LNK;
            else if (S_ISREG(st.st_mode)) {
                type = DT_REG;
                item.size = qint64(st.st_size);
            }
        }
        if (type == DT_DIR) {
            item.isDir = true;
        } else if (type == DT_LNK) {
            item.isSymLink = true;
            if (::fstatat(dirFd, name, &st, 0) == 0 && S_ISREG(st.st_mode))
                item.size = qint64(st.st_size);
        }
        entries.push_back(std::move(item));
    }
    ::closedir(dir);
    if (ok)
        *ok = !failed;
    return entries;
}

void SetInjectedMoveErrnoForTesting(int err)
{
    g_injectedMoveErrno.store(err);
}

} // namespace platform
