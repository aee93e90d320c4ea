#include "HelperClient.h"

#include "platform/ProgramLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <unistd.h>

namespace helper {
namespace {

// 0: as the environment says; 1: off; 2: on.
std::atomic<int> g_isolation{0};
std::atomic<std::uint64_t> g_cancelEpoch{0};
thread_local const std::atomic<bool>* t_cancelFlag = nullptr;

std::mutex& ProgramLock()
{
    static auto* lock = new std::mutex; // never freed: used until the very end
    return *lock;
}

QString& ProgramOverride()
{
    static QString path;
    return path;
}

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A helper that has used this much processor time is replaced between two
// calls, so that its lifetime limit never strikes in the middle of one.
constexpr double kRecycleCpuSeconds = 480;

platform::ChildLimits DefaultLimits()
{
    platform::ChildLimits limits;
    limits.addressSpaceBytes = 4ull << 30;
    limits.cpuSeconds = 600;
    limits.fileSizeBytes = (4ull << 30) + (1ull << 20);
    limits.noCoreDumps = true;
    return limits;
}

} // namespace

bool IsolationEnabled()
{
    const int state = g_isolation.load();
    if (state != 0)
        return state == 2;
    const char* value = std::getenv("ORVANTO_ISOLATION");
    return value && std::strcmp(value, "1") == 0;
}

void SetIsolation(bool on)
{
    g_isolation = on ? 2 : 1;
}

QString HelperProgram()
{
    {
        std::lock_guard<std::mutex> guard(ProgramLock());
        if (!ProgramOverride().isEmpty())
            return ProgramOverride();
    }
    const QString fromEnvironment = qEnvironmentVariable("ORVANTO_HELPER_PROGRAM");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString dir = platform::ProgramDir();
    const QString beside = dir + QStringLiteral("/orvanto-helper");
    if (QFileInfo(beside).isExecutable())
        return beside;
    const QString installed = QDir::cleanPath(dir + QStringLiteral("/../lib/orvanto/orvanto-helper"));
    if (QFileInfo(installed).isExecutable())
        return installed;
    return beside;
}

void SetHelperProgram(const QString& path)
{
    std::lock_guard<std::mutex> guard(ProgramLock());
    ProgramOverride() = path;
}

CancelScope::CancelScope(const std::atomic<bool>* flag) : m_previous(t_cancelFlag)
{
    t_cancelFlag = flag;
}

CancelScope::~CancelScope()
{
    t_cancelFlag = m_previous;
}

void CancelAll()
{
    ++g_cancelEpoch;
}

QString OutcomeText(CallOutcome outcome, const QString& detail)
{
    switch (outcome) {
    case CallOutcome::Replied:
        return {};
    case CallOutcome::Unavailable:
        return QStringLiteral("補助プログラムを起動できませんでした（%1）").arg(detail);
    case CallOutcome::Crashed:
        return QStringLiteral("異常終了しました（%1）").arg(detail);
    case CallOutcome::Silent:
        return QStringLiteral("%1 秒以上応答がないため終了させました").arg(ORV_HELPER_SILENCE_LIMIT_SECONDS);
    case CallOutcome::Cancelled:
        return QStringLiteral("中止しました");
    }
    return {};
}

HelperClient::HelperClient(const char* role) : m_role(role), m_limits(DefaultLimits()) {}

HelperClient::~HelperClient()
{
    std::lock_guard<std::mutex> guard(m_lock);
    platform::EndGuardedChild(m_child);
}

HelperClient& HelperClient::Plugins()
{
    static HelperClient* client = new HelperClient("plug-ins"); // lives to the end of the program
    return *client;
}

HelperClient& HelperClient::Archivers()
{
    // The archiver libraries have no way to be asked to stop: a cancelled
    // call ends the helper at once (what it wrote is removed by the caller).
    static HelperClient* client = [] {
        auto* archivers = new HelperClient("archivers");
        archivers->SetAbortGraceMs(0);
        return archivers;
    }();
    return *client;
}

void HelperClient::SetLimits(const platform::ChildLimits& limits)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_limits = limits;
    EndLocked(QString());
}

platform::ChildLimits HelperClient::Limits() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_limits;
}

void HelperClient::SetSilenceLimitMs(int ms)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_silenceLimitMs = ms;
}

void HelperClient::SetAbortGraceMs(int ms)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_abortGraceMs = ms;
}

void HelperClient::Shutdown()
{
    std::lock_guard<std::mutex> guard(m_lock);
    EndLocked(QString());
}

int HelperClient::ProcessId() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_child.pid;
}

QString HelperClient::LastFailure() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastFailure;
}

bool HelperClient::AcceptsDescriptors()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!EnsureRunningLocked())
        return false;
    return m_descriptors;
}

void HelperClient::EndLocked(const QString& why)
{
    if (m_child.pid <= 0)
        return;
    const platform::ChildExit exit = platform::EndGuardedChild(m_child);
    // A helper that died by itself is named by its signal (SIGSEGV, SIGXCPU
    // for the processor time limit ...); one this client ended, by why.
    if (exit.signal && exit.signal != SIGKILL)
        m_lastFailure = platform::SignalName(exit.signal);
    else if (exit.exited && exit.exitCode != 0)
        m_lastFailure = QStringLiteral("%1（終了コード %2）").arg(why).arg(exit.exitCode);
    else if (!why.isEmpty())
        m_lastFailure = why;
}

bool HelperClient::EnsureRunningLocked()
{
    if (m_child.pid > 0) {
        platform::ChildExit exit;
        if (!platform::ChildHasEnded(m_child, exit) && platform::ProcessCpuSeconds(m_child.pid) < kRecycleCpuSeconds)
            return true;
        EndLocked(QString());
    }
    QString error;
    const QString program = HelperProgram();
    if (!QFileInfo(program).isExecutable()) {
        m_lastFailure = QStringLiteral("%1 がありません").arg(program);
        return false;
    }
    if (!platform::StartGuardedChild(program, {}, m_limits, m_child, error)) {
        m_lastFailure = error;
        return false;
    }
    ++m_starts;
    MessageBuilder hello(ORV_MSG_HELLO, ++m_serial);
    hello.Int(ORV_F_PROTOCOL, ORV_HELPER_PROTOCOL_VERSION).Int(ORV_F_CAPS, ORV_CAP_FDS);
    if (!hello.Send(m_child.channel)) {
        EndLocked(QStringLiteral("起動直後に終了しました"));
        return false;
    }
    const std::uint32_t serial = m_serial;
    const std::int64_t deadline = NowMs() + m_silenceLimitMs;
    for (;;) {
        const std::int64_t left = deadline - NowMs();
        if (left <= 0 || platform::WaitReadable(m_child.channel, int(left)) != 1) {
            EndLocked(QStringLiteral("起動しても応答しません"));
            return false;
        }
        Message reply;
        std::string why;
        if (!reply.Receive(m_child.channel, why)) {
            EndLocked(QStringLiteral("起動直後に終了しました"));
            return false;
        }
        if (reply.type != ORV_MSG_REPLY || reply.serial != serial)
            continue;
        if (reply.IntOr(ORV_F_STATUS, -1) != ORV_STATUS_OK
            || reply.IntOr(ORV_F_PROTOCOL, 0) != ORV_HELPER_PROTOCOL_VERSION) {
            EndLocked(QStringLiteral("補助プログラムの版が違います"));
            return false;
        }
        m_descriptors = (reply.IntOr(ORV_F_CAPS, 0) & ORV_CAP_FDS) != 0;
        return true;
    }
}

CallOutcome HelperClient::Call(MessageBuilder& request, Message& reply, const ProgressHook& progress)
{
    const std::atomic<bool>* cancelFlag = t_cancelFlag;
    const std::uint64_t epoch = g_cancelEpoch.load();
    auto cancelled = [&] { return (cancelFlag && cancelFlag->load()) || g_cancelEpoch.load() != epoch; };

    std::lock_guard<std::mutex> guard(m_lock);
    if (cancelled())
        return CallOutcome::Cancelled;
    if (!EnsureRunningLocked())
        return CallOutcome::Unavailable;

    const std::uint32_t serial = ++m_serial;
    request.SetSerial(serial);
    if (!request.Send(m_child.channel)) {
        EndLocked(QString());
        return CallOutcome::Crashed;
    }
    std::int64_t lastLife = NowMs();
    std::int64_t abortSentAt = -1;
    auto sendAbort = [&] {
        if (abortSentAt >= 0)
            return;
        MessageBuilder abort(ORV_MSG_ABORT, serial);
        abort.Send(m_child.channel);
        abortSentAt = NowMs();
    };
    for (;;) {
        // Asked on every turn: a helper that keeps sending signs of life
        // must still be stopped when the caller gives up.
        const std::int64_t now = NowMs();
        if (cancelled())
            sendAbort();
        if (abortSentAt >= 0 && now - abortSentAt > m_abortGraceMs) {
            EndLocked(QStringLiteral("中止しました"));
            return CallOutcome::Cancelled;
        }
        if (now - lastLife > m_silenceLimitMs) {
            EndLocked(QStringLiteral("応答なし"));
            return CallOutcome::Silent;
        }
        // Short turns: a cancel is noticed within a few frames of the screen.
        const int ready = platform::WaitReadable(m_child.channel, 20);
        if (ready == 1) {
            std::string why;
            if (!reply.Receive(m_child.channel, why)) {
                EndLocked(QStringLiteral("終了しました"));
                if (abortSentAt >= 0)
                    return CallOutcome::Cancelled;
                return CallOutcome::Crashed;
            }
            lastLife = NowMs();
            if (reply.serial != serial)
                continue;
            if (reply.type == ORV_MSG_REPLY) {
                m_lastFailure.clear();
                return CallOutcome::Replied;
            }
            // A bare progress frame is only a sign of life.
            if (reply.type == ORV_MSG_PROGRESS && progress && reply.Find(ORV_F_TOTAL)
                && progress(reply.IntOr(ORV_F_CURRENT, 0), reply.IntOr(ORV_F_TOTAL, 0)))
                sendAbort();
            continue;
        }
        if (ready < 0) {
            EndLocked(QString());
            return CallOutcome::Crashed;
        }
    }
}

int SharedCopy(const void* data, std::size_t size)
{
    const int fd = platform::CreateSharedMemory("orvanto-data", size);
    if (fd < 0)
        return -1;
    platform::SharedMapping mapping;
    if (!mapping.Map(fd, size, true)) {
        platform::CloseDescriptor(fd);
        return -1;
    }
    if (size)
        std::memcpy(mapping.Data(), data, size);
    // The helper maps a sealed object without copying it.
    platform::SealSharedMemorySize(fd);
    return fd;
}

namespace {

std::mutex& NoticeLock()
{
    static auto* lock = new std::mutex; // never freed: used until the very end
    return *lock;
}

struct NoticeState {
    FaultNotices::Sink sink;
    QStringList keys;
};

NoticeState& Notices()
{
    static auto* state = new NoticeState;
    return *state;
}

} // namespace

void FaultNotices::SetSink(Sink sink)
{
    std::lock_guard<std::mutex> guard(NoticeLock());
    Notices().sink = std::move(sink);
}

bool FaultNotices::Report(const QString& key, const QString& text)
{
    Sink sink;
    {
        std::lock_guard<std::mutex> guard(NoticeLock());
        if (Notices().keys.contains(key))
            return false;
        Notices().keys << key;
        sink = Notices().sink;
    }
    if (sink)
        sink(text);
    else
        qWarning("%s", qPrintable(text));
    return true;
}

QStringList FaultNotices::ReportedKeys()
{
    std::lock_guard<std::mutex> guard(NoticeLock());
    return Notices().keys;
}

void FaultNotices::ResetForTesting()
{
    std::lock_guard<std::mutex> guard(NoticeLock());
    Notices().keys.clear();
}

} // namespace helper
