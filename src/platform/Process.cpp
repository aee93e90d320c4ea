#include "Process.h"

#include <malloc.h>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace platform {

qint64 CurrentProcessId()
{
    return static_cast<qint64>(::getpid());
}

bool ProcessExists(qint64 pid)
{
    if (pid <= 0 || pid > 0x7fffffff)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) == 0)
        return true;
    return errno == EPERM; // exists, owned by someone else
}

} // namespace platform

qint64 platform::PhysicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return qint64(pages) * qint64(pageSize);
}

void platform::ReturnLargeBlocksToSystem()
{
    // A fixed threshold keeps glibc from raising it after the first large
    // free; blocks of a megabyte and more are then mapped and unmapped.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}
