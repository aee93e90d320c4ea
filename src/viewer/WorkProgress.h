#pragma once
// Progress of work running off the window thread (a folder scan, an archive
// unpack), shared by the work and the window thread.
#include <QString>

#include <atomic>
#include <functional>

class WorkProgress {
public:
    void AddDone(int files = 1) { m_done += files; }
    int Done() const { return m_done; }
    void Cancel() { m_cancelled = true; }
    bool Cancelled() const { return m_cancelled; }
    // The flag itself, for calls that watch it while they wait.
    const std::atomic<bool>* CancelFlag() const { return &m_cancelled; }

private:
    std::atomic<int> m_done{0};
    std::atomic<bool> m_cancelled{false};
};

// Runs `work` somewhere off the window thread and returns when it has ended;
// false when the user cancelled it. `countDone`, when given, tells the files
// done where the work cannot count them itself. An error of the work is
// raised again to the caller.
using BackgroundRunner = std::function<bool(const QString& title, std::function<int()> countDone,
                                            const std::function<void(WorkProgress&)>& work)>;
