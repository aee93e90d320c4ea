#pragma once
// The one implementation behind every archiver library. Each shared object
// exports the entry points of one library name and forwards to these
// functions with its library and command dialect.
#include <cstdint>
#include <string>

#include "CommandLine.h"
#include "Readers.h"
#include "archive/ArchiverAbi.h"

namespace arc {

struct LibraryTraits {
    const char* name; // "UNLHA32"
    FormatSet formats; // archives it reads
};

// Operations of the command entries.
int32_t RunCommand(const LibraryTraits& lib, Dialect dialect, ArcWindow window, const char* line, char* output,
                   uint32_t outputSize) noexcept;
int32_t RunExtractMem(const LibraryTraits& lib, Dialect dialect, ArcWindow window, const char* line, uint8_t* buffer,
                      uint32_t bufferSize, int64_t* lastWrite, uint16_t* attributes, uint32_t* written) noexcept;

ArcHandle OpenArchive(const LibraryTraits& lib, const char* path, uint32_t mode) noexcept;
int32_t CloseArchive(ArcHandle handle) noexcept;
int32_t FindFirst(ArcHandle handle, const char* wildcard, ArcIndividualInfo* info) noexcept;
int32_t FindNext(ArcHandle handle, ArcIndividualInfo* info) noexcept;
int32_t GetFileName(ArcHandle handle, char* buffer, int32_t size) noexcept;
ArcBool GetWriteTime(ArcHandle handle, ArcFileTime* time) noexcept;
ArcBool GetCreateTime(ArcHandle handle, ArcFileTime* time) noexcept;
ArcBool GetAccessTime(ArcHandle handle, ArcFileTime* time) noexcept;
ArcBool GetOriginalSize(ArcHandle handle, uint64_t* size) noexcept;
ArcBool GetCompressedSize(ArcHandle handle, uint64_t* size) noexcept;

ArcBool CheckArchive(const LibraryTraits& lib, const char* path, int32_t mode) noexcept;
int32_t GetArchiveType(const LibraryTraits& lib, const char* path) noexcept;
int32_t GetFileCount(const LibraryTraits& lib, const char* path) noexcept;

ArcBool SetOwnerWindow(ArcWindow window) noexcept;
ArcBool KillOwnerWindow(ArcWindow window) noexcept;
ArcBool IsRunning() noexcept;
uint16_t Version() noexcept;

// Lowers the size budget of extractions (tests); values above the fixed
// budget are clamped to it, 0 restores it.
void SetSizeBudget(uint64_t bytes) noexcept;
uint64_t SizeBudget() noexcept;
// Limits the files and folders extractions may create in all (a program
// unpacking nested archives shares one count across them); 0 removes it.
void SetFileBudget(uint64_t count) noexcept;
uint64_t FileBudget() noexcept;

// Writes text into a caller's buffer of size bytes: cut at a UTF-8 character
// boundary, always zero-terminated when size > 0.
void CopyOut(const std::string& text, char* buffer, size_t size) noexcept;

// The extraction engine (Extract.cpp).
struct ExtractOutcome {
    int code = ARC_OK;
    std::string log;
    uint64_t files = 0;
};
ExtractOutcome ExtractEntries(EntryReader& reader, const Command& command);
// Entry name made safe: separators unified, empty, "." and ".." parts and a
// drive prefix dropped. Empty when nothing is left.
std::string SafeRelativeName(const std::string& name);

// Packing (Pack.cpp): ZIP, TAR, 7z and BGA writers; others report ARC_ERROR_NOT_SUPPORT.
int PackEntries(const LibraryTraits& lib, Dialect dialect, const Command& command, std::string& log);

} // namespace arc
