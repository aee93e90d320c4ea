#pragma once
// Small helpers on paths, files, windows and the shell that several windows
// of the viewer use. Paths use "/" as the separator.
#include <QRect>
#include <QString>
#include <QStringList>

class QWidget;

// Appends "/" unless the path is empty or already ends with one.
QString IncludeBackslash(const QString& path);
// The last component of a path, after dropping one trailing "/":
// "/a/b/" and "/a/b" both give "b"; a text without "/" comes back whole.
QString LastPathPart(const QString& path);
// Deletes a folder with everything in it. Symbolic links are removed as links
// and never entered (a link given as the folder is removed itself). Whatever
// cannot be deleted stays; nothing is reported.
void DeleteFolderTree(const QString& folder);
// Every occurrence of `from` in the text replaced by `to`.
QString ReplaceChar(const QString& text, QChar from, QChar to);
// "[007]" for 7, "[042]" for 42, "[1234]" for 1234: three digits at least.
QString NumberSuffix(qint64 number);
// Size of a file in bytes; 0 when there is no such file (folders give 0).
qint64 FileSizeOf(const QString& path);

// The window that owns the helpers' questions and message boxes (the main
// window). Kept as a guarded pointer: a destroyed window is forgotten.
void SetHelperOwnerWindow(QWidget* owner);
QWidget* HelperOwnerWindow();
// Sends a file to the trash after the platform's question. Returns true when
// it was aborted (cancelled or not possible); false when the file is gone.
bool RecycleFile(const QString& path);

// Moves and shrinks a window so that it lies on the desktop.
void KeepOnDesktop(QWidget* window);
// The rule behind KeepOnDesktop on plain rectangles (the window's outer
// rectangle within the desktop's).
QRect KeepOnDesktopRect(QRect window, QRect desktop);

// Windows taking part in file drops (the main window, the toolbox, the
// full-screen window register themselves while they exist).
void RegisterDropTarget(QWidget* window);
void UnregisterDropTarget(QWidget* window);
// Switches drop acceptance on or off for every registered window.
void SetDropTargets(bool on);

// Writes a shortcut: a desktop entry, with ".lnk" at the end of the link
// file's name replaced by ".desktop". `arguments` is a command-line text
// (double quotes group); an empty working folder means the target's folder.
// Returns true when it FAILED.
bool MakeShortcutFile(const QString& linkFile, const QString& target, const QString& arguments,
                      const QString& workingFolder, const QString& description);
bool MakeShortcutFile(const QString& linkFile, const QString& target, const QStringList& arguments,
                      const QString& workingFolder, const QString& description);
// The file name MakeShortcutFile writes for a link file name.
QString ShortcutFileName(const QString& linkFile);

// The folder of a special-folder number (see platform/SpecialFolders.h);
// empty for unknown numbers.
QString SpecialFolderPath(int csidl);
// Opens a web address or document with the desktop; true on success.
bool OpenUrl(const QString& target);
// Opens a mail target ("mailto:" + address + "?") with the subject and body
// of the program's mail link appended.
void SendMailTo(const QString& target);
