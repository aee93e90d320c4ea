#pragma once
// Work that must not hold up the window (a folder scan, an archive unpack)
// run on a worker thread while the window thread goes on handling events.
// After a short delay a progress window shows how many files are done and
// offers a Cancel button.
#include "viewer/WorkProgress.h"

#include <QString>

#include <functional>

class QWidget;

struct BackgroundWorkOptions {
    QString title;
    // How long the work may run before the progress window shows.
    int showAfterMs = 300;
    // Files done when the work cannot count them itself (asked on the
    // window thread while the progress window is up); none: WorkProgress::Done.
    std::function<int()> countDone;
    // Test hook: called on the window thread once the progress window is up.
    std::function<void(QWidget* progressWindow)> onShown;
};

// Runs `work` on a worker thread and returns when it has ended. Meanwhile
// the calling thread handles events (paints, timers, results of other
// threads) but no input to other windows: the progress window is modal.
// An exception of the work is raised again on the calling thread. Returns
// false when the user pressed Cancel.
bool RunOffWindowThread(QWidget* owner, const BackgroundWorkOptions& options,
                        const std::function<void(WorkProgress&)>& work);

// The progress text: "<done> 個のファイルを処理しました".
QString FilesDoneText(int done);
