#pragma once
// File and folder operations with the semantics the program expects from its
// original platform: a move never replaces an existing file, copies go through
// a temporary file so that no truncated file is ever left behind, and sizes
// are 64-bit throughout.
#include <QString>

#include <vector>

namespace platform {

class LargeBlock;

// True for an existing entry that is not a folder: a regular file, a device,
// a link to a file, or a dangling link. A link to a folder is not a file.
bool FileExists(const QString& path);
// True for a folder or a link to a folder.
bool DirectoryExists(const QString& path);
// True for a symbolic link (dangling or not).
bool IsSymLink(const QString& path);

// Moves or renames a file or folder. Fails when the destination exists and
// never replaces it. Across file systems a file is copied into a temporary
// name beside the destination, flushed, renamed into place and only then is
// the source deleted; on every failure the source stays intact and no partial
// destination is left. Folders are not moved across file systems.
// On failure *error (when given) receives a message.
bool MoveFile(const QString& from, const QString& to, QString* error = nullptr);

// Copies a file through a temporary name beside the destination; a link is
// followed, so the copy holds the contents of the file it points to. With
// failIfExists an existing destination is never replaced; otherwise the
// destination is replaced in one rename. Permissions and the modification time
// are copied. On failure *error (when given) receives a message.
bool CopyFile(const QString& from, const QString& to, bool failIfExists, QString* error = nullptr);

// Removes a file or a link (never a folder).
bool DeleteFile(const QString& path);
// Creates one folder (its parent must exist); fails when it exists.
bool CreateDirectory(const QString& path);
// Removes an empty folder.
bool RemoveDirectory(const QString& path);
// Size in bytes of a file (a link is followed); -1 when there is no such
// file or the path names a folder.
qint64 FileSize(const QString& path);

enum class ReadStatus { Ok, CannotOpen, TooLarge, ReadError };
// Reads a whole file (a link is followed) into *data. A file larger than
// maxBytes is refused before reading (TooLarge).
ReadStatus ReadWholeFile(const QString& path, qint64 maxBytes, QByteArray* data);
// The same into a large block kept for reuse (LargeMemory.h), for readers
// that need the bytes only for a while: *size receives the file's length,
// which may be less than the block's size. A file that grows while it is
// read is read to its new end (within maxBytes).
ReadStatus ReadWholeFile(const QString& path, qint64 maxBytes, LargeBlock* data, qint64* size);
// The first `count` bytes of a file (fewer when it is shorter); empty when it
// cannot be read.
QByteArray ReadFileHead(const QString& path, qint64 count);

struct DirEntry {
    QString name;
    bool isDir = false; // a real folder, never a link to one
    bool isSymLink = false; // a symbolic link, whatever it points to
    qint64 size = 0; // files: their size; links: the size of the file
                     // they point to; folders and others: 0
};

// Every entry of a folder, hidden ones included, without "." and "..", in the
// order the file system gives. Empty when the folder cannot be read; *ok
// (when given) tells that case apart from an empty folder.
std::vector<DirEntry> ListDirectory(const QString& folder, bool* ok = nullptr);

// Makes the following moves behave as if renaming failed with this errno
// (EXDEV forces the cross-file-system path; EINVAL or ENOSYS act as a file
// system without RENAME_NOREPLACE, forcing the link + unlink fallback);
// 0 switches it off.
void SetInjectedMoveErrnoForTesting(int err);

} // namespace platform
