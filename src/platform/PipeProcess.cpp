#include "PipeProcess.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PipeProcess::~PipeProcess()
{
    Stop(std::chrono::milliseconds(0));
}

bool PipeProcess::Start(const QString& program, const QStringList& arguments,
                        const std::vector<std::pair<QByteArray, QByteArray>>& environment)
{
    Stop(std::chrono::milliseconds(0));
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return false;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }

    // The environment: ours, with the given variables replaced or removed.
    std::vector<QByteArray> envText;
    for (char** e = environ; e && *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('='));
        bool replaced = false;
        for (const auto& [key, value] : environment)
            replaced = replaced || key == name;
        if (!replaced)
            envText.push_back(entry);
    }
    for (const auto& [key, value] : environment) {
        if (value != QByteArray("\x01"))
            envText.push_back(key + '=' + value);
    }
    std::vector<char*> envp;
    for (QByteArray& entry : envText)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    std::vector<QByteArray> argText{QFile::encodeName(program)};
    for (const QString& a : arguments)
        argText.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : argText)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child gets default signal handling (the host ignores SIGPIPE).
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(out[0]);
        return false;
    }
    m_pid = pid;
    m_runningPid = pid;
    m_toChild = in[1];
    m_fromChild = out[0];
    return true;
}

bool PipeProcess::Write(const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0 && m_toChild >= 0) {
        // MSG_NOSIGNAL exists only for sockets: a closed pipe must not raise
        // SIGPIPE in the program, so the signal is blocked around the write.
        sigset_t block, old;
        sigemptyset(&block);
        sigaddset(&block, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &block, &old);
        const ssize_t n = ::write(m_toChild, p, size);
        const int error = errno;
        if (n < 0 && error == EPIPE) {
            // Take the pending SIGPIPE away before unblocking.
            const timespec zero{0, 0};
            sigtimedwait(&block, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        if (n < 0) {
            if (error == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return size == 0;
}

bool PipeProcess::Read(void* data, std::size_t size, std::chrono::milliseconds limit)
{
    char* p = static_cast<char*>(data);
    while (size > 0 && m_fromChild >= 0) {
        pollfd fd{m_fromChild, POLLIN, 0};
        const int ready = ::poll(&fd, 1, static_cast<int>(limit.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = ::read(m_fromChild, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return size == 0;
}

bool PipeProcess::HasEnded()
{
    if (m_pid <= 0)
        return true;
    if (m_ended)
        return true;
    m_ended = ::waitpid(static_cast<pid_t>(m_pid), nullptr, WNOHANG) == static_cast<pid_t>(m_pid);
    if (m_ended)
        m_runningPid = -1;
    return m_ended;
}

void PipeProcess::Stop(std::chrono::milliseconds grace)
{
    CloseFd(m_toChild);
    CloseFd(m_fromChild);
    if (m_pid <= 0)
        return;
    const pid_t pid = static_cast<pid_t>(m_pid);
    m_pid = -1;
    m_runningPid = -1;
    if (m_ended) {
        m_ended = false;
        return;
    }
    for (auto waited = std::chrono::milliseconds(0); waited < grace; waited += std::chrono::milliseconds(20)) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        ::usleep(20000);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
}

void PipeProcess::Interrupt()
{
    // The child is collected only by Stop, on the owning thread, so the id
    // cannot have been given to another process yet.
    const qint64 pid = m_runningPid.load();
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

} // namespace platform
