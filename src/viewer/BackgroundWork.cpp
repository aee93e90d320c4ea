#include "BackgroundWork.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>

#include <exception>
#include <memory>
#include <thread>

QString FilesDoneText(int done)
{
    return QStringLiteral("%1 個のファイルを処理しました").arg(done);
}

bool RunOffWindowThread(QWidget* owner, const BackgroundWorkOptions& options,
                        const std::function<void(WorkProgress&)>& work)
{
    WorkProgress progress;
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });

    std::unique_ptr<QProgressDialog> window;
    QElapsedTimer clock;
    clock.start();
    while (!finished) {
        if (!window && clock.elapsed() >= options.showAfterMs) {
            window = std::make_unique<QProgressDialog>(owner);
            window->setObjectName(QStringLiteral("WorkProgress"));
            window->setWindowTitle(options.title);
            window->setCancelButtonText(QStringLiteral("キャンセル"));
            window->setRange(0, 0); // no known total: a running bar
            window->setMinimumDuration(0);
            window->setAutoReset(false);
            window->setAutoClose(false);
            window->setWindowModality(Qt::ApplicationModal);
            window->setLabelText(FilesDoneText(0));
            window->show();
            if (options.onShown)
                options.onShown(window.get());
        }
        if (window) {
            const int done = options.countDone ? options.countDone() : progress.Done();
            window->setLabelText(FilesDoneText(done));
            if (window->wasCanceled() && !progress.Cancelled()) {
                progress.Cancel();
                window->setLabelText(FilesDoneText(done) + QStringLiteral("\n中止しています..."));
                window->setCancelButton(nullptr);
            }
        }
        // Input waits in the queue unless the modal progress window is up
        // to take it (a cancelled one may already be gone).
        const bool input = window && !progress.Cancelled();
        QCoreApplication::processEvents(input ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
        if (!finished)
            std::this_thread::sleep_for(std::chrono::milliseconds(window ? 30 : 5));
    }
    worker.join();
    window.reset();
    if (failure)
        std::rethrow_exception(failure);
    return !progress.Cancelled();
}
