#include "LargeMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Smaller blocks come from the ordinary heap, which reuses them well.
constexpr std::size_t kMappedFrom = std::size_t(1) << 20;

std::size_t pageSize()
{
    static const std::size_t size = [] {
        const long page = ::sysconf(_SC_PAGESIZE);
        return page > 0 ? std::size_t(page) : std::size_t(4096);
    }();
    return size;
}

std::size_t roundUp(std::size_t bytes, std::size_t step)
{
    return (bytes + step - 1) / step * step;
}

// A fresh mapping starting on a huge-page boundary: more is mapped than
// asked for, and the ends around the aligned part are unmapped again.
char* mapAligned(std::size_t size)
{
    const std::size_t mapped = size + kHugePage;
    void* raw = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = roundUp(start, kHugePage);
    if (aligned > start)
        ::munmap(raw, aligned - start);
    const std::uintptr_t end = start + mapped;
    if (end > aligned + size)
        ::munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
    auto* block = reinterpret_cast<char*>(aligned);
    // Only a wish: the kernel may have huge pages switched off.
    ::madvise(block, size, MADV_HUGEPAGE);
    return block;
}

struct Spare {
    char* data;
    std::size_t size;
};

// Spare blocks, oldest first.
class SparePool {
public:
    Spare Take(std::size_t size)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // The smallest spare block that fits without wasting more than an
        // eighth: its extra pages are resident too.
        std::size_t best = m_spares.size();
        for (std::size_t i = 0; i < m_spares.size(); ++i) {
            const std::size_t have = m_spares[i].size;
            if (have >= size && have - size <= size / 8 && (best == m_spares.size() || have < m_spares[best].size))
                best = i;
        }
        if (best == m_spares.size())
            return {nullptr, 0};
        const Spare taken = m_spares[best];
        m_bytes -= taken.size;
        m_spares.erase(m_spares.begin() + std::ptrdiff_t(best));
        return taken;
    }

    void Give(char* data, std::size_t size)
    {
        std::vector<Spare> unmap;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (size > kSpareLargeBlockBytes) {
                unmap.push_back({data, size});
            } else {
                m_spares.push_back({data, size});
                m_bytes += size;
                while (m_bytes > kSpareLargeBlockBytes) {
                    unmap.push_back(m_spares.front());
                    m_bytes -= m_spares.front().size;
                    m_spares.erase(m_spares.begin());
                }
            }
        }
        for (const Spare& spare : unmap)
            ::munmap(spare.data, spare.size);
    }

    std::size_t Bytes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes;
    }

    void Drop()
    {
        std::vector<Spare> unmap;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            unmap.swap(m_spares);
            m_bytes = 0;
        }
        for (const Spare& spare : unmap)
            ::munmap(spare.data, spare.size);
    }

private:
    std::mutex m_mutex;
    std::vector<Spare> m_spares;
    std::size_t m_bytes = 0;
};

SparePool& pool()
{
    // Never destroyed: pictures may be freed by other threads while the
    // program ends.
    static SparePool* const instance = new SparePool;
    return *instance;
}

} // namespace

LargeBlock::LargeBlock(std::size_t bytes)
{
    if (bytes == 0 || bytes > SIZE_MAX - 2 * kHugePage)
        return;
    if (bytes < kMappedFrom) {
        m_data = static_cast<char*>(std::malloc(bytes));
        m_size = m_data ? bytes : 0;
        return;
    }
    const std::size_t size = roundUp(bytes, pageSize());
    // A reused block may be up to an eighth larger than asked for; it keeps
    // its own size.
    const Spare spare = pool().Take(size);
    m_data = spare.data;
    m_size = spare.size;
    if (!m_data) {
        m_data = mapAligned(size);
        m_size = m_data ? size : 0;
    }
}

LargeBlock::LargeBlock(LargeBlock&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0))
{
}

LargeBlock& LargeBlock::operator=(LargeBlock&& other) noexcept
{
    if (this != &other) {
        if (m_data)
            ReturnLargeBlock(m_data, m_size);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

LargeBlock::~LargeBlock()
{
    if (m_data)
        ReturnLargeBlock(m_data, m_size);
}

char* LargeBlock::release()
{
    m_size = 0;
    return std::exchange(m_data, nullptr);
}

void ReturnLargeBlock(void* data, std::size_t size)
{
    if (!data || size == 0)
        return;
    if (size < kMappedFrom)
        std::free(data);
    else
        pool().Give(static_cast<char*>(data), size);
}

std::size_t SpareLargeBlockBytes()
{
    return pool().Bytes();
}

void DropSpareLargeBlocks()
{
    pool().Drop();
}

} // namespace platform
