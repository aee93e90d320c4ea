#pragma once
// Archiver libraries that run in the archiver helper process
// (helper/HelperClient.h). A "module" here stands for a library file the
// helper loads; an "entry" for one of its exported functions. The binding
// holds them where it would hold a loaded library and an entry address, and
// calls through them when AsRemote says an address is one.
#include "ArcAbiTypes.h"
#include "platform/DynamicLibrary.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace archiveremote {

// A library module in the helper for the library name, or nullptr when no
// such file is found (the helper loads it on first call).
platform::LibraryHandle LoadModule(const QString& libraryName);
void FreeModule(platform::LibraryHandle module);
bool IsModule(platform::LibraryHandle module);
QString ModuleFileName(platform::LibraryHandle module);
// The entry, asked of the helper on first use and kept; nullptr when the
// library lacks it or cannot be loaded.
void* EntryAddress(platform::LibraryHandle module, const char* name);

class RemoteEntry;
// The remote entry behind an address from EntryAddress; nullptr for a
// real function address.
RemoteEntry* AsRemote(void* address);

class RemoteEntry {
public:
    RemoteEntry(QString libraryPath, QByteArray entryName)
        : m_path(std::move(libraryPath)),
          m_entry(std::move(entryName))
    {
    }

    // The calling forms of ArchiverAbi.h. A helper that crashes, exceeds
    // its limits or stops answering gives ARC_ERROR_HELPER_FAILED (or
    // ARC_ERROR_USER_CANCEL when the caller cancelled) and an explanation in
    // the output buffer; handles then are 0 and booleans false.
    std::int32_t Command(ArcWindow window, const char* line, char* output, std::uint32_t size) const;
    ArcHandle Open(ArcWindow window, const char* path, std::uint32_t mode) const;
    std::int32_t Close(ArcHandle handle) const;
    std::int32_t FindFirst(ArcHandle handle, const char* wildcard, ArcIndividualInfo* info) const;
    std::int32_t FindNext(ArcHandle handle, ArcIndividualInfo* info) const;
    std::int32_t ExtractMem(ArcWindow window, const char* line, std::uint8_t* buffer, std::uint32_t size,
                            std::uint32_t* written) const;
    ArcBool Check(const char* path, std::int32_t mode) const;
    std::int32_t ArchiveType(const char* path) const;
    ArcBool SetOwner(ArcWindow window) const;
    ArcBool KillOwner(ArcWindow window) const;
    ArcBool GetTime(ArcHandle handle, ArcFileTime* time) const;
    ArcBool GetSize(ArcHandle handle, std::uint64_t* size) const;

    const QString& LibraryPath() const { return m_path; }

private:
    QString m_path;
    QByteArray m_entry;
};

// Limits of the next extractions of a library in the helper: bytes written
// and files created in all. False when the library has no such limits.
bool SetExtractionLimits(const QString& libraryPath, std::uint64_t bytes, std::uint64_t files);

// The text of the last helper failure of this thread ("" when the last
// call succeeded): why the helper was ended.
QString LastHelperFailure();

} // namespace archiveremote
