// The exported entry points of one archiver library. Compiled once per
// library with:
//   ARC_LIBRARY_NAME   "UNLHA32"
//   ARC_FORMATS        arc::FormatSet::Lha
//   ARC_DIALECT        arc::Dialect::Lha        (language of the command entry)
//   ARC_PREFIX         Unlha                    (entry prefix)
//   ARC_COMMAND        1 to export the command entry under the prefix alone
//   ARC_ZIP_COMMAND    the name of a ZIP packing entry ("Zip"), when the library has one
//   ARC_WRITE_TIME_ALIAS  a second name for <prefix>GetWriteTimeEx, when needed
#include "Core.h"

#define ARC_CAT2(a, b) a##b
#define ARC_CAT(a, b) ARC_CAT2(a, b)
#define ARC_ENTRY(suffix) ARC_CAT(ARC_PREFIX, suffix)
#define ARC_API extern "C" __attribute__((visibility("default")))

namespace {
const arc::LibraryTraits kLibrary{ARC_LIBRARY_NAME, ARC_FORMATS};
}

#if ARC_COMMAND
ARC_API int32_t ARC_PREFIX(ArcWindow window, const char* commandLine, char* output, uint32_t size)
{
    return arc::RunCommand(kLibrary, ARC_DIALECT, window, commandLine, output, size);
}
#endif

#ifdef ARC_ZIP_COMMAND
ARC_API int32_t ARC_ZIP_COMMAND(ArcWindow window, const char* commandLine, char* output, uint32_t size)
{
    return arc::RunCommand(kLibrary, arc::Dialect::Zip, window, commandLine, output, size);
}
#endif

ARC_API ArcHandle ARC_ENTRY(OpenArchive)(ArcWindow, const char* path, uint32_t mode)
{
    return arc::OpenArchive(kLibrary, path, mode);
}
ARC_API int32_t ARC_ENTRY(CloseArchive)(ArcHandle archive)
{
    return arc::CloseArchive(archive);
}
ARC_API int32_t ARC_ENTRY(FindFirst)(ArcHandle archive, const char* wildcard, ArcIndividualInfo* info)
{
    return arc::FindFirst(archive, wildcard, info);
}
ARC_API int32_t ARC_ENTRY(FindNext)(ArcHandle archive, ArcIndividualInfo* info)
{
    return arc::FindNext(archive, info);
}
ARC_API int32_t ARC_ENTRY(ExtractMem)(ArcWindow window, const char* commandLine, uint8_t* buffer, uint32_t size,
                                      int64_t* lastWrite, uint16_t* attributes, uint32_t* written)
{
    return arc::RunExtractMem(kLibrary, ARC_DIALECT == arc::Dialect::Zip ? arc::Dialect::Unzip : ARC_DIALECT, window,
                              commandLine, buffer, size, lastWrite, attributes, written);
}
ARC_API ArcBool ARC_ENTRY(CheckArchive)(const char* path, int32_t mode)
{
    return arc::CheckArchive(kLibrary, path, mode);
}
ARC_API ArcBool ARC_ENTRY(SetOwnerWindowEx)(ArcWindow window, void*)
{
    return arc::SetOwnerWindow(window);
}
ARC_API ArcBool ARC_ENTRY(KillOwnerWindowEx)(ArcWindow window)
{
    return arc::KillOwnerWindow(window);
}
ARC_API ArcBool ARC_ENTRY(GetWriteTimeEx)(ArcHandle archive, ArcFileTime* time)
{
    return arc::GetWriteTime(archive, time);
}
#ifdef ARC_WRITE_TIME_ALIAS
ARC_API ArcBool ARC_WRITE_TIME_ALIAS(ArcHandle archive, ArcFileTime* time)
{
    return arc::GetWriteTime(archive, time);
}
#endif
ARC_API ArcBool ARC_ENTRY(GetCreateTimeEx)(ArcHandle archive, ArcFileTime* time)
{
    return arc::GetCreateTime(archive, time);
}
ARC_API ArcBool ARC_ENTRY(GetAccessTimeEx)(ArcHandle archive, ArcFileTime* time)
{
    return arc::GetAccessTime(archive, time);
}
ARC_API ArcBool ARC_ENTRY(GetOriginalSizeEx)(ArcHandle archive, uint64_t* size)
{
    return arc::GetOriginalSize(archive, size);
}
ARC_API ArcBool ARC_ENTRY(GetCompressedSizeEx)(ArcHandle archive, uint64_t* size)
{
    return arc::GetCompressedSize(archive, size);
}
ARC_API int32_t ARC_ENTRY(GetArchiveType)(const char* path)
{
    return arc::GetArchiveType(kLibrary, path);
}
ARC_API int32_t ARC_ENTRY(GetFileName)(ArcHandle archive, char* buffer, int32_t size)
{
    return arc::GetFileName(archive, buffer, size);
}
ARC_API int32_t ARC_ENTRY(GetFileCount)(const char* path)
{
    return arc::GetFileCount(kLibrary, path);
}
ARC_API uint16_t ARC_ENTRY(GetVersion)(void)
{
    return arc::Version();
}
ARC_API ArcBool ARC_ENTRY(GetRunning)(void)
{
    return arc::IsRunning();
}

// Lowers the extraction size budget of this library (for tests); 0 restores
// the fixed budget of ARC_EXTRACT_BUDGET_BYTES.
ARC_API void OrvantoArchiverSetSizeBudget(uint64_t bytes)
{
    arc::SetSizeBudget(bytes);
}
// Limits the files and folders the next extractions create (ARC_ERROR_TOO_MANY_FILES
// beyond it); 0 removes the limit.
ARC_API void OrvantoArchiverSetFileBudget(uint64_t count)
{
    arc::SetFileBudget(count);
}
