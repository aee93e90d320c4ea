#pragma once
// The running process and other processes of the machine.
#include <QtGlobal>

namespace platform {

qint64 CurrentProcessId();
// True while a process with this id exists (it may belong to another user).
bool ProcessExists(qint64 pid);

// The machine's physical memory in bytes; 0 when it cannot be told.
qint64 PhysicalMemoryBytes();

// Lets large blocks (decoded pictures) go back to the system as soon as
// they are freed, instead of staying in the allocator's heaps after the
// allocator has raised its own threshold; called once at start-up.
void ReturnLargeBlocksToSystem();

} // namespace platform
