#pragma once
// Calling forms of the archiver libraries' entry points, as the binding uses
// them.
#include <cstdint>

using ArcWindow = std::uintptr_t; // an owner window: an opaque number
using ArcHandle = void*;          // an open archive; null = failure

#pragma pack(push, 1)
// The library's published per-entry record (558 bytes).
struct ArcIndividualInfo {
    std::uint32_t OriginalSize;
    std::uint32_t CompressedSize;
    std::uint8_t LibraryFields1[14];
    std::uint16_t Date; // DOS date
    std::uint16_t Time; // DOS time
    std::uint8_t LibraryFields2[532];
};
#pragma pack(pop)
static_assert(sizeof(ArcIndividualInfo) == 558, "library record layout");

extern "C" {
using ArcCommandFn = int (*)(ArcWindow, const char*, char*, std::uint32_t);
using ArcOpenArchiveFn = ArcHandle (*)(ArcWindow, const char*, std::uint32_t);
using ArcCloseArchiveFn = int (*)(ArcHandle);
using ArcFindFirstFn = int (*)(ArcHandle, const char*, ArcIndividualInfo*);
using ArcFindNextFn = int (*)(ArcHandle, ArcIndividualInfo*);
using ArcExtractMemFn = int (*)(ArcWindow, const char*, unsigned char*, std::uint32_t, void*, void*,
                                std::uint32_t*);
using ArcCheckArchiveFn = int (*)(const char*, int);
using ArcSetOwnerWindowExFn = int (*)(ArcWindow, void*);
using ArcKillOwnerWindowExFn = int (*)(ArcWindow);
using ArcGetFileTimeFn = int (*)(ArcHandle, std::uint64_t*);
using ArcGetSizeFn = int (*)(ArcHandle, std::uint64_t*);
using ArcGetArchiveTypeFn = int (*)(const char*);
}
