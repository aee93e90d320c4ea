#pragma once
// Large blocks of memory (decoded pictures, whole files read for a decoder)
// that are kept mapped for a while after use and handed out again. Fresh
// memory costs a page fault for every 4 KiB touched; a picture of a size
// seen before reuses a block whose pages are already there. Blocks are
// mapped on 2 MiB boundaries with transparent huge pages asked for, so even
// a fresh block costs few faults. Blocks under a megabyte come from the
// ordinary heap.
#include <cstddef>

namespace platform {

// Owns one block. Moving hands the block on; destroying returns it to the
// spare blocks (or to the system when too much is spare already).
class LargeBlock {
public:
    LargeBlock() = default;
    // A block of at least `bytes` bytes, or an empty one when the system
    // has no memory for it. Its contents are undefined (a reused block holds
    // what its last user wrote).
    explicit LargeBlock(std::size_t bytes);
    LargeBlock(LargeBlock&& other) noexcept;
    LargeBlock& operator=(LargeBlock&& other) noexcept;
    LargeBlock(const LargeBlock&) = delete;
    LargeBlock& operator=(const LargeBlock&) = delete;
    ~LargeBlock();

    bool empty() const { return m_data == nullptr; }
    char* data() const { return m_data; }
    // The usable size: at least what was asked for, whole pages.
    std::size_t size() const { return m_size; }

    // Gives the block up: the caller returns it later with
    // ReturnLargeBlock(data, size) with the size() it had.
    char* release();

private:
    char* m_data = nullptr;
    std::size_t m_size = 0;
};

// Takes back a block given up by LargeBlock::release(). Safe from any thread.
void ReturnLargeBlock(void* data, std::size_t size);

// Bytes of the blocks kept for reuse now; never more than
// kSpareLargeBlockBytes.
std::size_t SpareLargeBlockBytes();
constexpr std::size_t kSpareLargeBlockBytes = std::size_t(40) << 20;

// Gives every spare block back to the system.
void DropSpareLargeBlocks();

} // namespace platform
