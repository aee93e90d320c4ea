#pragma once
// The helper program's heap keeps its large blocks in shared memory
// (SharedHeap.cpp replaces malloc and its relatives in the helper only).
#include <cstddef>

namespace helper {

// A new descriptor of the shared memory that holds the block, when the
// block is one of the heap's shared blocks (its start) and holds at least
// size bytes; -1 otherwise. The caller closes it.
int SharedHeapDescriptor(const void* block, std::size_t size);

} // namespace helper
