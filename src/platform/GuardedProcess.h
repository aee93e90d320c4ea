#pragma once
// Child processes that run code the program does not trust (plug-ins,
// archiver libraries on hostile input): started with resource limits and a
// socket pair as their standard input and output, ended by process id, plus
// the shared-memory and descriptor-passing primitives their conversation
// needs.
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {

// Limits applied to the child before it runs its program. 0 leaves a limit
// as inherited.
struct ChildLimits {
    std::uint64_t addressSpaceBytes = 0; // RLIMIT_AS
    std::uint64_t cpuSeconds = 0; // RLIMIT_CPU (soft; hard 5 s above)
    std::uint64_t fileSizeBytes = 0; // RLIMIT_FSIZE
    bool noCoreDumps = true; // RLIMIT_CORE 0
};

struct GuardedChild {
    int pid = -1; // -1: not running
    int channel = -1; // the program's end of the socket pair
};

// Starts program with arguments; the child's fd 0 and fd 1 are the other end
// of a new socket pair, fd 2 is inherited, every other descriptor is closed
// on exec. The child is expected to end itself when the program has ended
// (ParentHasEnded).
// False (with a reason in error) when it cannot be started.
bool StartGuardedChild(const QString& program, const QStringList& arguments, const ChildLimits& limits,
                       GuardedChild& child, QString& error);

// How a child ended.
struct ChildExit {
    bool exited = false; // ended by exit()
    int exitCode = 0;
    int signal = 0; // ended by this signal
};

// Kills the child (SIGKILL), reaps it and closes the channel. Safe on a
// child that is not running.
ChildExit EndGuardedChild(GuardedChild& child);
// In a child: true once the process that started it has ended (the child
// has been handed to another parent).
bool ParentHasEnded(int originalParent);
int ParentProcessId();
// Reaps the child if it has ended; true with exit filled when it has.
bool ChildHasEnded(const GuardedChild& child, ChildExit& exit);
// The processor time the process has used, in seconds; -1 when unknown.
double ProcessCpuSeconds(int pid);
// Bytes the calling process has read and written through system calls so
// far (rchar + wchar); a growing number is a sign of work.
std::uint64_t OwnIoCounter();
// Names the signal ("SIGSEGV"); "signal N" when it has no name here.
QString SignalName(int signal);

// A shared-memory object (memfd) of the given size, or -1. Its size can be
// sealed.
int CreateSharedMemory(const char* name, std::size_t size);
// The size of the object behind a descriptor, or -1.
std::int64_t SharedMemorySize(int fd);
// Seals the object's size for good: from now on nobody can shrink or grow
// it. False when it cannot be sealed.
bool SealSharedMemorySize(int fd);
// True when the object's size is sealed against shrinking, so that no
// mapping of it can lose its pages.
bool SharedMemorySizeSealed(int fd);

// A read or read-write mapping of a descriptor's first size bytes; unmapped
// when destroyed.
class SharedMapping {
public:
    SharedMapping() = default;
    ~SharedMapping();
    SharedMapping(SharedMapping&& other) noexcept;
    SharedMapping& operator=(SharedMapping&& other) noexcept;
    SharedMapping(const SharedMapping&) = delete;
    SharedMapping& operator=(const SharedMapping&) = delete;

    bool Map(int fd, std::size_t size, bool writable);
    // Writable, but changes stay in this process (copy-on-write). The pages
    // of an object whose size is sealed are mapped at once and shared until
    // written; those of any other object are copied in at once. Shrinking
    // an object takes its pages away from every mapping, copied or not:
    // only sealed objects are safe to map from a sender not trusted.
    bool MapPrivate(int fd, std::size_t size);
    void Unmap();
    void* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }

private:
    void* m_data = nullptr;
    std::size_t m_size = 0;
};

// Stream I/O on a channel. Each returns false on an error or when the other
// end has closed.
// Writes all bytes; fds (may be empty) travel with the first byte.
bool SendOnChannel(int fd, const void* data, std::size_t size, const std::vector<int>& fds);
// Reads exactly size bytes; descriptors that arrive with them are appended
// to fds (the caller closes them).
bool ReceiveOnChannel(int fd, void* data, std::size_t size, std::vector<int>& fds);
// Waits up to timeoutMs (-1: no limit) for bytes to read: 1 readable (or
// closed), 0 timed out, -1 error.
int WaitReadable(int fd, int timeoutMs);
void CloseDescriptor(int fd);

} // namespace platform
