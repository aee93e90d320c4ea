#pragma once
// Path names and the program's well-known folders.
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// The absolute, canonical form of a path: relative paths are taken from the
// current folder, symbolic links in the folder part are resolved, "." and ".."
// are removed. The last component keeps its name as given (it need not exist,
// and a link there stays a link). A trailing "/" is dropped except for "/".
// Empty input gives empty output.
QString CanonicalPath(const QString& path);

// The user's temporary folder ($TMPDIR when absolute, else /tmp), cleaned,
// without a trailing "/".
QString TempFolder();

// Folder of the INI file and the history files: the program's folder when it
// is writable and the program is not installed (ProgramLocation.h), else $XDG_CONFIG_HOME/orvanto (or
// ~/.config/orvanto), which is created when missing. No trailing "/".
QString SettingsFolder();
// The folders SettingsFolder chooses from, in its order (for telling the
// user where the settings could not be written).
QStringList SettingsFolderCandidates();

// The per-user private folder for unpacked archives: "$XDG_RUNTIME_DIR/orvanto"
// when that variable names a directory, else "<temp>/orvanto-<uid>". Created
// with mode 0700 when missing (a folder of ours with looser modes is tightened).
// Empty when the entry is a symbolic link, not a directory, owned by another
// user, or cannot be made.
std::optional<QString> PrivateWorkFolder();

// The longest file name, in bytes of the file-system encoding, that the
// folder's file system takes (255 when it cannot be asked).
int MaxFileNameBytes(const QString& folder);

} // namespace platform
