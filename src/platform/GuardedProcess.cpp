#include "GuardedProcess.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

void SetLimit(int resource, std::uint64_t soft, std::uint64_t hard)
{
    rlimit limit{};
    limit.rlim_cur = static_cast<rlim_t>(soft);
    limit.rlim_max = static_cast<rlim_t>(hard);
    ::setrlimit(resource, &limit);
}

// Everything the child does between fork and exec: async-signal-safe calls
// only, on data prepared before the fork.
[[noreturn]] void RunChild(int channel, const ChildLimits& limits, int parentPid, char* const* argv)
{
    // No parent-death signal: Linux sends it when the thread that started
    // the child ends, and helpers are started from worker threads. The
    // helper watches for the end of the program itself.
    if (::getppid() != parentPid)
        ::_exit(127);
    if (limits.addressSpaceBytes)
        SetLimit(RLIMIT_AS, limits.addressSpaceBytes, limits.addressSpaceBytes);
    if (limits.cpuSeconds)
        SetLimit(RLIMIT_CPU, limits.cpuSeconds, limits.cpuSeconds + 5);
    if (limits.fileSizeBytes)
        SetLimit(RLIMIT_FSIZE, limits.fileSizeBytes, limits.fileSizeBytes);
    if (limits.noCoreDumps)
        SetLimit(RLIMIT_CORE, 0, 0);
    if (::dup2(channel, 0) < 0 || ::dup2(channel, 1) < 0)
        ::_exit(127);
    if (channel > 1)
        ::close(channel);
    // Signals the program ignores or blocks must not stay so in the helper.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    ::execv(argv[0], argv);
    ::_exit(127);
}

} // namespace

bool StartGuardedChild(const QString& program, const QStringList& arguments, const ChildLimits& limits,
                       GuardedChild& child, QString& error)
{
    child = GuardedChild{};
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    std::vector<QByteArray> encoded;
    encoded.push_back(QFile::encodeName(program));
    for (const QString& argument : arguments)
        encoded.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& text : encoded)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    const int parentPid = static_cast<int>(::getpid());
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(pair[0]);
        ::close(pair[1]);
        return false;
    }
    if (pid == 0) {
        // The child's end loses close-on-exec when it is duplicated to 0/1.
        RunChild(pair[1], limits, parentPid, argv.data());
    }
    ::close(pair[1]);
    child.pid = static_cast<int>(pid);
    child.channel = pair[0];
    return true;
}

ChildExit EndGuardedChild(GuardedChild& child)
{
    ChildExit result;
    if (child.channel >= 0) {
        ::close(child.channel);
        child.channel = -1;
    }
    if (child.pid > 0) {
        ::kill(child.pid, SIGKILL);
        int status = 0;
        while (::waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {}
        if (WIFEXITED(status)) {
            result.exited = true;
            result.exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
        child.pid = -1;
    }
    return result;
}

bool ChildHasEnded(const GuardedChild& child, ChildExit& exit)
{
    if (child.pid <= 0)
        return false;
    // WNOWAIT leaves the child to EndGuardedChild, which reaps it.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid == 0)
        return false;
    exit = ChildExit{};
    if (info.si_code == CLD_EXITED) {
        exit.exited = true;
        exit.exitCode = info.si_status;
    } else {
        exit.signal = info.si_status;
    }
    return true;
}

bool ParentHasEnded(int originalParent)
{
    return ::getppid() != originalParent;
}

int ParentProcessId()
{
    return static_cast<int>(::getppid());
}

double ProcessCpuSeconds(int pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = file.readAll();
    const int close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    // After the name: state is field 3; utime and stime are fields 14, 15.
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    return perSecond > 0 ? ticks / double(perSecond) : -1;
}

std::uint64_t OwnIoCounter()
{
    // Reading the counters is itself counted: the bytes of every earlier
    // reading are taken off again, so that asking changes nothing.
    static std::atomic<std::uint64_t> ownReads{0};
    const std::uint64_t before = ownReads.load();
    const int fd = ::open("/proc/self/io", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[1024];
    const ssize_t got = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (got <= 0)
        return 0;
    ownReads += static_cast<std::uint64_t>(got);
    text[got] = '\0';
    std::uint64_t total = 0;
    for (const char* key : {"rchar:", "wchar:"}) {
        const char* at = std::strstr(text, key);
        if (at)
            total += std::strtoull(at + std::strlen(key), nullptr, 10);
    }
    return total - std::min(total, before);
}

QString SignalName(int signal)
{
    const char* name = ::sigabbrev_np(signal);
    if (name)
        return QStringLiteral("SIG") + QString::fromLatin1(name);
    return QStringLiteral("signal %1").arg(signal);
}

int CreateSharedMemory(const char* name, std::size_t size)
{
    const int fd = ::memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return -1;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::int64_t SharedMemorySize(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool SealSharedMemorySize(int fd)
{
    return ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_SEAL) == 0;
}

bool SharedMemorySizeSealed(int fd)
{
    const int seals = ::fcntl(fd, F_GET_SEALS);
    return seals >= 0 && (seals & F_SEAL_SHRINK) != 0;
}

SharedMapping::~SharedMapping()
{
    Unmap();
}

SharedMapping::SharedMapping(SharedMapping&& other) noexcept : m_data(other.m_data), m_size(other.m_size)
{
    other.m_data = nullptr;
    other.m_size = 0;
}

SharedMapping& SharedMapping::operator=(SharedMapping&& other) noexcept
{
    if (this != &other) {
        Unmap();
        m_data = other.m_data;
        m_size = other.m_size;
        other.m_data = nullptr;
        other.m_size = 0;
    }
    return *this;
}

bool SharedMapping::Map(int fd, std::size_t size, bool writable)
{
    Unmap();
    if (size == 0)
        return true;
    const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    void* data = ::mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED)
        return false;
    m_data = data;
    m_size = size;
    return true;
}

bool SharedMapping::MapPrivate(int fd, std::size_t size)
{
    Unmap();
    if (size == 0)
        return true;
    if (SharedMemorySizeSealed(fd)) {
        // Populated for reading only, the pages stay shared; writing then
        // copies just the pages written.
        void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (data == MAP_FAILED)
            return false;
        if (::mprotect(data, size, PROT_READ | PROT_WRITE) != 0) {
            ::munmap(data, size);
            return false;
        }
        m_data = data;
        m_size = size;
        return true;
    }
    // Populating a writable private mapping copies every page.
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (data == MAP_FAILED)
        return false;
    m_data = data;
    m_size = size;
    return true;
}

void SharedMapping::Unmap()
{
    if (m_data)
        ::munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

bool SendOnChannel(int fd, const void* data, std::size_t size, const std::vector<int>& fds)
{
    const char* bytes = static_cast<const char*>(data);
    bool attach = !fds.empty();
    while (size > 0) {
        iovec io{};
        io.iov_base = const_cast<char*>(bytes);
        io.iov_len = size;
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        std::vector<char> control;
        if (attach) {
            control.assign(CMSG_SPACE(sizeof(int) * fds.size()), 0);
            message.msg_control = control.data();
            message.msg_controllen = control.size();
            cmsghdr* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_RIGHTS;
            header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
            std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
        }
        ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == ENOTSOCK && !attach)
            sent = ::write(fd, bytes, size); // a pipe
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (sent == 0)
            return false;
        attach = false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool ReceiveOnChannel(int fd, void* data, std::size_t size, std::vector<int>& fds)
{
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        iovec io{};
        io.iov_base = bytes;
        io.iov_len = size;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 16)];
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        ssize_t got = ::recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == ENOTSOCK)
            got = ::read(fd, bytes, size);
        else if (got > 0) {
            for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
                if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
                    continue;
                const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
                const int* received = reinterpret_cast<const int*>(CMSG_DATA(header));
                for (std::size_t i = 0; i < count; ++i)
                    fds.push_back(received[i]);
            }
        }
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

int WaitReadable(int fd, int timeoutMs)
{
    pollfd entry{};
    entry.fd = fd;
    entry.events = POLLIN;
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return -1;
        return ready > 0 ? 1 : 0;
    }
}

void CloseDescriptor(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

} // namespace platform
