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

// Answers the question instead of showing it (tests): return true for OK.
// An empty function restores the real question.
void SetRecycleConfirmHandlerForTesting(std::function<bool(const QString& question)> handler);

} // namespace platform
