#pragma once
// Sending files to the desktop's trash.
#include <QString>

#include <functional>

class QWidget;

namespace platform {

// Asks "このファイルをごみ箱に移動しますか？" with the file's name and, on OK,
// moves the file to the freedesktop.org trash. Returns the "aborted" flag:
// true when the user cancelled or the file could not be trashed (an error box
// then says so). A file is never deleted for good.
bool RecycleFile(const QString& path, QWidget* owner);

// Moves a file or link into the freedesktop.org trash of its file system
// without asking: the home trash ($XDG_DATA_HOME/Trash, made with its folders
// when missing, on a fresh account too) for files on the data home's device,
// else "$topdir/.Trash/$uid" or "$topdir/.Trash-$uid". The info file is
// written before the move; a name taken in the trash gets a number. False
// when the file stays where it was. *pathInTrash gets the new place.
bool MoveToTrash(const QString& path, QString* pathInTrash = nullptr);

// Answers the question instead of showing it (tests): return true for OK.
// An empty function restores the real question.
void SetRecycleConfirmHandlerForTesting(std::function<bool(const QString& question)> handler);

} // namespace platform
