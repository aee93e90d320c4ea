#pragma once
// The program's side of a helper process: starts the helper on first use,
// keeps it running, sends one request at a time (callers on any thread are
// served in turn), watches it while it works and ends it when it crashes,
// stays silent for too long or the caller cancels. The next request starts
// a new helper.
#include "helper/HelperFrame.h"
#include "platform/GuardedProcess.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace helper {

// Whether plug-ins and archiver libraries run in helpers. Off unless set,
// or unless the environment has ORVANTO_ISOLATION=1 (tests run existing
// suites through the helper that way); the program turns it on.
bool IsolationEnabled();
void SetIsolation(bool on);

// The helper program: ORVANTO_HELPER_PROGRAM when set, else "orvanto-helper"
// beside the running program, else in ../lib/orvanto beside it. Set
// explicitly by tests.
QString HelperProgram();
void SetHelperProgram(const QString& path);

// Cancelling. A call made on a thread inside a CancelScope ends as soon as
// the scope's flag is set (the helper is ended if it does not stop by
// itself). CancelAll ends every call running now on any thread (Esc, or the
// user stepping to another picture).
class CancelScope {
public:
    explicit CancelScope(const std::atomic<bool>* flag);
    ~CancelScope();
    CancelScope(const CancelScope&) = delete;
    CancelScope& operator=(const CancelScope&) = delete;

private:
    const std::atomic<bool>* m_previous;
};
void CancelAll();

enum class CallOutcome {
    Replied, // the reply is in `reply`
    Unavailable, // the helper cannot be started or does not speak the protocol
    Crashed, // it ended (a crash, a resource limit) before replying
    Silent, // it sent nothing for the silence limit and was ended
    Cancelled, // the caller cancelled; the request did not finish
};

// A short Japanese description of a failed outcome for messages.
QString OutcomeText(CallOutcome outcome, const QString& detail);

class HelperClient {
public:
    explicit HelperClient(const char* role);
    ~HelperClient();
    HelperClient(const HelperClient&) = delete;
    HelperClient& operator=(const HelperClient&) = delete;

    // The helper that runs plug-ins and the one that runs archiver libraries.
    static HelperClient& Plugins();
    static HelperClient& Archivers();

    // Called with each progress frame; true asks the helper to stop.
    using ProgressHook = std::function<bool(std::int64_t current, std::int64_t total)>;

    // Sends the request (its serial is set here) and waits for the reply.
    // Fields of the request that refer to shared memory must use
    // descriptors made by the caller (see AcceptsDescriptors).
    CallOutcome Call(MessageBuilder& request, Message& reply, const ProgressHook& progress = {});

    // True when the running (or next) helper takes descriptors.
    bool AcceptsDescriptors();
    // Why the last call failed ("SIGSEGV", "応答なし" ...).
    QString LastFailure() const;
    // The running helper's process id, or -1.
    int ProcessId() const;
    // How many helpers were started so far.
    int StartCount() const { return m_starts.load(); }

    // The resource limits of the helpers started from now on (the running
    // one is ended). Tests lower them to see a runaway stopped quickly.
    void SetLimits(const platform::ChildLimits& limits);
    platform::ChildLimits Limits() const;
    void SetSilenceLimitMs(int ms);
    // Milliseconds a helper may take to stop after an abort.
    void SetAbortGraceMs(int ms);
    // Ends the helper (it is started again by the next call).
    void Shutdown();

private:
    bool EnsureRunningLocked();
    void EndLocked(const QString& why);

    mutable std::mutex m_lock;
    const char* m_role;
    platform::GuardedChild m_child;
    platform::ChildLimits m_limits;
    bool m_descriptors = false;
    int m_silenceLimitMs = ORV_HELPER_SILENCE_LIMIT_SECONDS * 1000;
    int m_abortGraceMs = 1000;
    std::uint32_t m_serial = 0;
    QString m_lastFailure;
    std::atomic<int> m_starts{0};
};

// Shared memory holding a copy of the data, for a request field; -1 when
// it cannot be made. The caller closes it after the call.
int SharedCopy(const void* data, std::size_t size);

// One message per subject and session: the first report of a key goes to
// the sink (the program shows it), later ones of the same key are dropped.
// Reports may come from any thread; the sink is called on that thread.
class FaultNotices {
public:
    using Sink = std::function<void(const QString& text)>;
    static void SetSink(Sink sink);
    // True when this was the first report of the key.
    static bool Report(const QString& key, const QString& text);
    // Keys reported so far (tests).
    static QStringList ReportedKeys();
    static void ResetForTesting();
};

} // namespace helper
