// The helper's heap keeps its large blocks in shared memory. The helper
// program replaces malloc and its relatives: a block of at least
// kSharedMinimum bytes is a memfd mapped into the helper, everything else
// comes from the C library's allocator as before. A plug-in's bitmap or an
// unpacked file is then handed to the program as that memfd, without being
// copied (SharedHeapDescriptor). Freed blocks that were never handed over
// are kept for reuse, as the C library keeps its own, since fresh pages are
// costly; those handed over belong to the program and are let go.
#include "helper/SharedHeap.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
}

namespace helper {
namespace {

constexpr size_t kSharedMinimum = size_t(1) << 20;
constexpr int kSlots = 64;
// Freed blocks kept for reuse: how many and how many bytes at most.
constexpr int kKeptBlocks = 4;
constexpr size_t kKeptBytes = size_t(256) << 20;

struct Slot {
    void* address = nullptr;
    size_t size = 0; // mapped bytes, whole pages
    int fd = -1;
    bool handedOver = false;
};

Slot g_slots[kSlots];
Slot g_kept[kKeptBlocks];
std::atomic<int> g_inUse{0};
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;

// Nothing inside allocates, so a spin lock is enough.
class SlotLock {
public:
    SlotLock()
    {
        while (g_lock.test_and_set(std::memory_order_acquire)) {}
    }
    ~SlotLock() { g_lock.clear(std::memory_order_release); }
    SlotLock(const SlotLock&) = delete;
    SlotLock& operator=(const SlotLock&) = delete;
};

// A kept block of at least size bytes (and not much more), now in use; its
// old contents are still there.
void* TakeKept(size_t size)
{
    SlotLock lock;
    for (Slot& kept : g_kept) {
        if (kept.address && kept.size >= size && kept.size / 2 <= size) {
            for (Slot& slot : g_slots) {
                if (!slot.address) {
                    slot = kept;
                    kept = Slot{};
                    ++g_inUse;
                    return slot.address;
                }
            }
            return nullptr;
        }
    }
    return nullptr;
}

// A new shared block (zeroed) or a kept one (zeroed when asked), or
// nullptr (the caller then asks the C library).
void* SharedAllocate(size_t size, bool zeroed)
{
    if (void* block = TakeKept(size)) {
        if (zeroed)
            std::memset(block, 0, size);
        return block;
    }
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    if (size > SIZE_MAX - page)
        return nullptr;
    const size_t mapped = (size + page - 1) / page * page;
    const int saved = errno;
    const int fd = ::memfd_create("orvanto-heap", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        errno = saved;
        return nullptr;
    }
    void* address = MAP_FAILED;
    if (::ftruncate(fd, static_cast<off_t>(mapped)) == 0)
        address = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address != MAP_FAILED) {
        SlotLock lock;
        for (Slot& slot : g_slots) {
            if (!slot.address) {
                slot = Slot{address, mapped, fd};
                ++g_inUse;
                errno = saved;
                return address;
            }
        }
    }
    if (address != MAP_FAILED)
        ::munmap(address, mapped);
    ::close(fd);
    errno = saved;
    return nullptr;
}

// The slot of a block this heap made; false for blocks of the C library.
bool FindShared(const void* block, Slot& found, bool remove)
{
    if (!block || g_inUse.load(std::memory_order_relaxed) == 0)
        return false;
    SlotLock lock;
    for (Slot& slot : g_slots) {
        if (slot.address == block) {
            found = slot;
            if (remove) {
                slot = Slot{};
                --g_inUse;
            }
            return true;
        }
    }
    return false;
}

void ReleaseShared(const Slot& slot)
{
    if (!slot.handedOver) {
        SlotLock lock;
        size_t keptBytes = 0;
        for (const Slot& kept : g_kept)
            keptBytes += kept.size;
        for (Slot& kept : g_kept) {
            if (!kept.address && keptBytes + slot.size <= kKeptBytes) {
                kept = slot;
                return;
            }
        }
    }
    const int saved = errno;
    ::munmap(slot.address, slot.size);
    ::close(slot.fd);
    errno = saved;
}

size_t LibraryUsableSize(void* block)
{
    using UsableSize = size_t (*)(void*);
    static std::atomic<UsableSize> real{nullptr};
    UsableSize function = real.load();
    if (!function) {
        function = reinterpret_cast<UsableSize>(::dlsym(RTLD_NEXT, "malloc_usable_size"));
        real = function;
    }
    return function ? function(block) : 0;
}

} // namespace

int SharedHeapDescriptor(const void* block, std::size_t size)
{
    if (!block || g_inUse.load(std::memory_order_relaxed) == 0)
        return -1;
    SlotLock lock;
    for (Slot& slot : g_slots) {
        if (slot.address == block) {
            if (size > slot.size)
                return -1;
            // From now on the program may hold the pages: never reused.
            slot.handedOver = true;
            return ::fcntl(slot.fd, F_DUPFD_CLOEXEC, 0);
        }
    }
    return -1;
}

} // namespace helper

extern "C" {

void* malloc(size_t size)
{
    if (size >= helper::kSharedMinimum) {
        if (void* block = helper::SharedAllocate(size, false))
            return block;
    }
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    if (count * size >= helper::kSharedMinimum) {
        if (void* block = helper::SharedAllocate(count * size, true))
            return block;
    }
    return __libc_calloc(count, size);
}

void free(void* block)
{
    helper::Slot slot;
    if (helper::FindShared(block, slot, true)) {
        helper::ReleaseShared(slot);
        return;
    }
    __libc_free(block);
}

void* realloc(void* block, size_t size)
{
    helper::Slot slot;
    if (!helper::FindShared(block, slot, false))
        return __libc_realloc(block, size);
    if (size == 0) {
        free(block);
        return nullptr;
    }
    if (size <= slot.size)
        return block;
    void* moved = malloc(size);
    if (!moved)
        return nullptr;
    std::memcpy(moved, block, slot.size);
    free(block);
    return moved;
}

void* reallocarray(void* block, size_t count, size_t size)
{
    if (size != 0 && count > SIZE_MAX / size) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(block, count * size);
}

size_t malloc_usable_size(void* block)
{
    helper::Slot slot;
    if (helper::FindShared(block, slot, false))
        return slot.size;
    return block ? helper::LibraryUsableSize(block) : 0;
}

} // extern "C"
