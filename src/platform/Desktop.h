#pragma once
// Desktop services: opening addresses, the beep, message boxes, starting
// programs, the desktop's extent and freedesktop desktop entries (the
// program's shortcut files).
#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWidget;

namespace platform {

// Opens a web address, a mail target or a document with the desktop's
// handler. A target beginning with "/" is a local file. Returns success.
bool OpenUrl(const QString& target);
// Replaces the desktop handler (tests); an empty function restores it.
void SetOpenUrlHandlerForTesting(std::function<bool(const QUrl&)> handler);

// The default system beep.
void Beep();
// Number of beeps since the program started (or since the counter was reset).
int BeepCountForTesting();
void ResetBeepCountForTesting();
// Replaces the sound (tests); an empty function restores it.
void SetBeepHandlerForTesting(std::function<void()> handler);

enum class MsgIcon { Error, Warning, Question, Information };
enum MsgButton { MsgOk = 1, MsgCancel = 2 };

// A modal message box titled with the application's display name, with the
// buttons of `buttons` (MsgOk, MsgCancel or both; none means OK). Returns the
// button pressed; closing the box counts as Cancel when there is one.
int MessageBox(QWidget* parent, const QString& text, MsgIcon icon, int buttons);
// Answers message boxes instead of showing them (tests); an empty function
// restores the real box.
void SetMessageBoxHandlerForTesting(std::function<int(const QString& text, MsgIcon, int buttons)> handler);

// Starts a program on its own, without a shell in between.
bool StartDetached(const QString& program, const QStringList& args, const QString& workingDir);

// The whole virtual desktop (all screens); empty when there is no screen.
QRect DesktopRect();

// Writes a freedesktop desktop entry that starts `target` with `arguments`
// in `workingDir`. Name is the file's name without ".desktop", Comment the
// description, Icon the program's icon (ProgramIconName). The file is written to a temporary name and renamed into
// place (an existing entry is replaced) and made executable. Returns success.
bool WriteDesktopEntry(const QString& file, const QString& target, const QStringList& arguments,
                       const QString& workingDir, const QString& description);
// The Exec value (as stored in the file, string escapes included) for a
// program and its arguments.
QString DesktopExecValue(const QString& target, const QStringList& arguments);
// Splits a stored Exec value back into the program and its arguments; "%%"
// becomes "%", other field codes are kept as written.
QStringList ParseDesktopExec(const QString& exec);

} // namespace platform
