// Entry points shared by every archiver library: commands, archive handles,
// checks.
#include "Core.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

namespace arc {
namespace {

std::atomic<int> gRunning{0};
std::atomic<uint64_t> gBudget{0};
std::atomic<uint64_t> gFileBudget{0};
std::atomic<ArcWindow> gOwner{0};

struct RunningScope {
    RunningScope() { ++gRunning; }
    ~RunningScope() { --gRunning; }
};

struct OpenedArchive {
    const LibraryTraits* lib = nullptr;
    std::string path;
    std::unique_ptr<EntryReader> reader;
    EntryMeta current;
    bool haveCurrent = false;
    std::string wildcard;
};

std::mutex gHandlesMutex;
std::unordered_set<OpenedArchive*> gHandles;

OpenedArchive* Lookup(ArcHandle h)
{
    auto* p = reinterpret_cast<OpenedArchive*>(h);
    std::lock_guard<std::mutex> lock(gHandlesMutex);
    return gHandles.count(p) != 0 ? p : nullptr;
}

std::string Describe(int code)
{
    switch (code) {
    case ARC_OK:
        return "done";
    case ARC_ERROR_NOT_ARC_FILE:
        return "not an archive of this library";
    case ARC_ERROR_ARC_FILE_OPEN:
        return "the archive cannot be opened";
    case ARC_ERROR_NOT_SUPPORT:
        return "this library cannot do that";
    case ARC_ERROR_SIZE_BUDGET:
        return "the archive expands beyond the size limit";
    case ARC_ERROR_BAD_COMMAND:
        return "the command line cannot be read";
    case ARC_ERROR_PASSWORD_FILE:
        return "encrypted entries are not supported";
    case ARC_ERROR_FILE_CRC:
        return "checksum mismatch";
    case ARC_ERROR_EOF:
        return "the archive ends early";
    case ARC_ERROR_HEADER_BROKEN:
        return "the archive is damaged";
    case ARC_ERROR_HEADER_CRC:
        return "a header checksum does not match";
    case ARC_ERROR_HUFFMAN_CODE:
        return "compressed data is damaged";
    case ARC_ERROR_METHOD:
        return "compression method not supported";
    case ARC_ERROR_MAKEDIRECTORY:
        return "a folder cannot be created";
    case ARC_ERROR_FILE_OPEN:
        return "a file cannot be created";
    case ARC_ERROR_CANNOT_WRITE:
        return "writing failed";
    case ARC_ERROR_CANNOT_READ:
        return "reading failed";
    case ARC_ERROR_NOT_EXIST:
        return "no entry matched";
    case ARC_ERROR_TMP_OPEN:
        return "no temporary file can be created beside the archive";
    case ARC_ERROR_NOT_FIND_ARC_FILE:
        return "the archive does not exist";
    case ARC_ERROR_ENOUGH_MEMORY:
        return "out of memory";
    default:
        return "error";
    }
}

void FillInfo(const EntryMeta& m, ArcIndividualInfo* info)
{
    std::memset(info, 0, sizeof(*info));
    info->originalSize = m.size > 0xffffffffull ? 0xffffffffu : static_cast<uint32_t>(m.size);
    info->compressedSize = m.compressedSize > 0xffffffffull ? 0xffffffffu : static_cast<uint32_t>(m.compressedSize);
    info->crc = m.crc;
    info->osType = m.osType;
    if (m.size > 0 && m.compressedSize > 0) {
        const uint64_t r = m.compressedSize * 1000 / m.size;
        info->ratio = static_cast<uint16_t>(r > 0xffff ? 0xffff : r);
    }
    if (m.hasMtime)
        UnixToDosDateTime(m.mtime, info->dosDate, info->dosTime);
    // Name: cut at a character boundary when it does not fit (GetFileName has it whole).
    size_t n = m.name.size();
    if (n > ARC_FNAME_MAX) {
        n = ARC_FNAME_MAX;
        while (n > 0 && (static_cast<unsigned char>(m.name[n]) & 0xc0) == 0x80)
            --n;
    }
    std::memcpy(info->fileName, m.name.data(), n);
    info->fileName[n] = '\0';
    const char* attr = m.kind == EntryKind::Directory ? "d----" : "-rw--";
    std::strncpy(info->attribute, attr, sizeof(info->attribute) - 1);
    std::strncpy(info->mode, m.method.c_str(), sizeof(info->mode) - 1);
}

ArcFileTime ToFileTime(int64_t unixSeconds)
{
    const uint64_t v = static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000ull;
    return ArcFileTime{static_cast<uint32_t>(v & 0xffffffffu), static_cast<uint32_t>(v >> 32)};
}

// Advances the handle to the next entry matching its wildcard.
int32_t Advance(OpenedArchive& a, ArcIndividualInfo* info)
{
    a.haveCurrent = false;
    for (;;) {
        EntryMeta m;
        const int r = a.reader->Next(m);
        if (r == -1)
            return -1;
        if (r != ARC_OK)
            return r;
        if (!a.wildcard.empty() && !MatchMask(a.wildcard, m.name, false))
            continue;
        a.current = std::move(m);
        a.haveCurrent = true;
        if (info != nullptr)
            FillInfo(a.current, info);
        return 0;
    }
}

// Reads every entry; with data, decodes the data too (checksums included).
int WalkArchive(EntryReader& reader, bool data, std::string* listing, const Command* select)
{
    std::vector<uint8_t> buf(256 * 1024);
    for (;;) {
        EntryMeta m;
        const int r = reader.Next(m);
        if (r == -1)
            return ARC_OK;
        if (r != ARC_OK)
            return r;
        if (select != nullptr && !select->files.empty()) {
            bool any = false;
            for (const auto& f : select->files)
                any = any || MatchMask(f, m.name, select->bracketMasks);
            if (!any)
                continue;
        }
        if (listing != nullptr) {
            *listing += m.name;
            *listing += '\t';
            *listing += m.sizeKnown ? std::to_string(m.size) : std::string("?");
            *listing += '\t';
            *listing += m.method;
            *listing += '\n';
        }
        if (data && m.kind == EntryKind::File) {
            if (m.encrypted)
                return ARC_ERROR_PASSWORD_FILE;
            for (;;) {
                size_t got = 0;
                const int e = reader.Read(buf.data(), buf.size(), got);
                if (e != ARC_OK)
                    return e;
                if (got == 0)
                    break;
            }
        }
    }
}

} // namespace

void SetSizeBudget(uint64_t bytes) noexcept
{
    gBudget = bytes;
}

void SetFileBudget(uint64_t count) noexcept
{
    gFileBudget = count;
}

uint64_t FileBudget() noexcept
{
    const uint64_t b = gFileBudget.load();
    return b == 0 ? UINT64_MAX : b;
}

uint64_t SizeBudget() noexcept
{
    const uint64_t b = gBudget.load();
    return b == 0 || b > ARC_EXTRACT_BUDGET_BYTES ? ARC_EXTRACT_BUDGET_BYTES : b;
}

void CopyOut(const std::string& text, char* buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return;
    size_t n = text.size();
    if (n > size - 1) {
        n = size - 1;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xc0) == 0x80)
            --n;
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

int32_t RunCommand(const LibraryTraits& lib, Dialect dialect, ArcWindow window, const char* line, char* output,
                   uint32_t outputSize) noexcept
{
    RunningScope running;
    try {
        Command command;
        std::string error;
        if (line == nullptr || !ParseCommand(dialect, line, true, command, error)) {
            CopyOut(std::string(lib.name) + ": " + (line == nullptr ? "no command line" : error), output, outputSize);
            return ARC_ERROR_BAD_COMMAND;
        }
        std::string log;
        int code = ARC_OK;
        switch (command.action) {
        case Action::Extract:
        case Action::List:
        case Action::Test: {
            int e = ARC_OK;
            auto reader = OpenReader(lib.formats, command.archive, e);
            if (!reader) {
                code = e;
                log = command.archive + ": " + Describe(e) + "\n";
                break;
            }
            if (command.action == Action::Extract) {
                ExtractOutcome out = ExtractEntries(*reader, command);
                code = out.code;
                log = out.log + std::to_string(out.files) + " file(s) extracted\n";
            } else {
                code = WalkArchive(*reader, command.action == Action::Test,
                                   command.action == Action::List ? &log : nullptr, &command);
                if (command.action == Action::Test)
                    log += code == ARC_OK ? "archive is intact\n" : "";
            }
            break;
        }
        case Action::Pack:
        case Action::Delete:
        case Action::Freshen:
            code = PackEntries(lib, dialect, command, log);
            break;
        case Action::Unsupported:
            code = ARC_ERROR_NOT_SUPPORT;
            break;
        }
        if (code != ARC_OK)
            log += std::string(lib.name) + ": " + Describe(code) + "\n";
        CopyOut(log, output, outputSize);
        return code;
    } catch (const std::bad_alloc&) {
        CopyOut("out of memory", output, outputSize);
        return ARC_ERROR_ENOUGH_MEMORY;
    } catch (...) {
        CopyOut("internal error", output, outputSize);
        return ARC_ERROR_CANNOT_READ;
    }
}

int32_t RunExtractMem(const LibraryTraits& lib, Dialect dialect, ArcWindow window, const char* line, uint8_t* buffer,
                      uint32_t bufferSize, int64_t* lastWrite, uint16_t* attributes, uint32_t* written) noexcept
{
    RunningScope running;
    if (written != nullptr)
        *written = 0;
    try {
        Command command;
        std::string error;
        if (line == nullptr || !ParseCommand(dialect, line, false, command, error))
            return ARC_ERROR_BAD_COMMAND;
        if (command.files.empty())
            return ARC_ERROR_NOT_FILENAME;
        int e = ARC_OK;
        auto reader = OpenReader(lib.formats, command.archive, e);
        if (!reader)
            return e;
        const std::string wanted = SafeRelativeName(command.files.front());
        for (;;) {
            EntryMeta m;
            const int r = reader->Next(m);
            if (r == -1)
                return ARC_ERROR_NOT_EXIST;
            if (r != ARC_OK)
                return r;
            if (m.kind != EntryKind::File)
                continue;
            if (SafeRelativeName(m.name) != wanted && !MatchMask(command.files.front(), m.name, command.bracketMasks))
                continue;
            if (m.encrypted)
                return ARC_ERROR_PASSWORD_FILE;
            if (lastWrite != nullptr)
                *lastWrite = m.hasMtime ? m.mtime : 0;
            if (attributes != nullptr)
                *attributes = 0x20; // archive bit
            uint32_t done = 0;
            uint8_t scratch[4096];
            for (;;) {
                size_t got = 0;
                const bool room = done < bufferSize && buffer != nullptr;
                const int re = room ? reader->Read(buffer + done, bufferSize - done, got)
                                    : reader->Read(scratch, sizeof(scratch), got);
                if (re != ARC_OK)
                    return re;
                if (got == 0)
                    break;
                if (!room) {
                    if (written != nullptr)
                        *written = done;
                    return ARC_ERROR_BUFFER_TOO_SMALL;
                }
                done += static_cast<uint32_t>(got);
            }
            if (written != nullptr)
                *written = done;
            return ARC_OK;
        }
    } catch (...) {
        return ARC_ERROR_ENOUGH_MEMORY;
    }
}

ArcHandle OpenArchive(const LibraryTraits& lib, const char* path, uint32_t mode) noexcept
{
    try {
        if (path == nullptr)
            return 0;
        int e = ARC_OK;
        auto reader = OpenReader(lib.formats, path, e);
        if (!reader)
            return 0;
        auto a = std::make_unique<OpenedArchive>();
        a->lib = &lib;
        a->path = path;
        a->reader = std::move(reader);
        std::lock_guard<std::mutex> lock(gHandlesMutex);
        OpenedArchive* raw = a.release();
        gHandles.insert(raw);
        return reinterpret_cast<ArcHandle>(raw);
    } catch (...) {
        return 0;
    }
}

int32_t CloseArchive(ArcHandle handle) noexcept
{
    OpenedArchive* a = nullptr;
    {
        std::lock_guard<std::mutex> lock(gHandlesMutex);
        auto* p = reinterpret_cast<OpenedArchive*>(handle);
        if (gHandles.erase(p) == 0)
            return ARC_ERROR_HARC_ISNOT_OPENED;
        a = p;
    }
    delete a;
    return ARC_OK;
}

int32_t FindFirst(ArcHandle handle, const char* wildcard, ArcIndividualInfo* info) noexcept
{
    try {
        OpenedArchive* a = Lookup(handle);
        if (a == nullptr)
            return ARC_ERROR_HARC_ISNOT_OPENED;
        // Start again from the first entry.
        int e = ARC_OK;
        auto reader = OpenReader(a->lib->formats, a->path, e);
        if (!reader)
            return e;
        a->reader = std::move(reader);
        a->wildcard = wildcard == nullptr ? "" : wildcard;
        if (a->wildcard == "*" || a->wildcard == "*.*")
            a->wildcard.clear();
        return Advance(*a, info);
    } catch (...) {
        return ARC_ERROR_ENOUGH_MEMORY;
    }
}

int32_t FindNext(ArcHandle handle, ArcIndividualInfo* info) noexcept
{
    try {
        OpenedArchive* a = Lookup(handle);
        if (a == nullptr)
            return ARC_ERROR_HARC_ISNOT_OPENED;
        if (!a->haveCurrent)
            return -1;
        return Advance(*a, info);
    } catch (...) {
        return ARC_ERROR_ENOUGH_MEMORY;
    }
}

int32_t GetFileName(ArcHandle handle, char* buffer, int32_t size) noexcept
{
    OpenedArchive* a = Lookup(handle);
    if (a == nullptr)
        return ARC_ERROR_HARC_ISNOT_OPENED;
    if (!a->haveCurrent)
        return ARC_ERROR_NOT_SEARCH_MODE;
    if (buffer == nullptr || size <= 0 || a->current.name.size() + 1 > static_cast<size_t>(size))
        return ARC_ERROR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, a->current.name.c_str(), a->current.name.size() + 1);
    return ARC_OK;
}

ArcBool GetWriteTime(ArcHandle handle, ArcFileTime* time) noexcept
{
    OpenedArchive* a = Lookup(handle);
    if (a == nullptr || !a->haveCurrent || time == nullptr || !a->current.hasMtime)
        return 0;
    *time = ToFileTime(a->current.mtime);
    return 1;
}

ArcBool GetCreateTime(ArcHandle handle, ArcFileTime* time) noexcept
{
    OpenedArchive* a = Lookup(handle);
    if (a == nullptr || !a->haveCurrent || time == nullptr || !a->current.hasBirthtime)
        return 0;
    *time = ToFileTime(a->current.birthtime);
    return 1;
}

ArcBool GetAccessTime(ArcHandle handle, ArcFileTime* time) noexcept
{
    OpenedArchive* a = Lookup(handle);
    if (a == nullptr || !a->haveCurrent || time == nullptr || !a->current.hasAtime)
        return 0;
    *time = ToFileTime(a->current.atime);
    return 1;
}

ArcBool GetOriginalSize(ArcHandle handle, uint64_t* size) noexcept
{
    OpenedArchive* a = Lookup(handle);
    if (a == nullptr || !a->haveCurrent || size == nullptr || !a->current.sizeKnown)
        return 0;
    *size = a->current.size;
    return 1;
}

ArcBool GetCompressedSize(ArcHandle handle, uint64_t* size) noexcept
{
    OpenedArchive* a = Lookup(handle);
    if (a == nullptr || !a->haveCurrent || size == nullptr || a->current.compressedSize == 0)
        return 0;
    *size = a->current.compressedSize;
    return 1;
}

ArcBool CheckArchive(const LibraryTraits& lib, const char* path, int32_t mode) noexcept
{
    RunningScope running;
    try {
        if (path == nullptr)
            return 0;
        int e = ARC_OK;
        auto reader = OpenReader(lib.formats, path, e);
        if (!reader)
            return 0;
        return WalkArchive(*reader, (mode & 3) == ARC_CHECK_FULLCRC, nullptr, nullptr) == ARC_OK ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int32_t GetArchiveType(const LibraryTraits& lib, const char* path) noexcept
{
    try {
        if (path == nullptr)
            return ARC_TYPE_NONE;
        int e = ARC_OK;
        auto reader = OpenReader(lib.formats, path, e);
        if (!reader)
            return ARC_TYPE_NONE;
        return reader->TypeCode();
    } catch (...) {
        return ARC_TYPE_NONE;
    }
}

int32_t GetFileCount(const LibraryTraits& lib, const char* path) noexcept
{
    try {
        if (path == nullptr)
            return -1;
        int e = ARC_OK;
        auto reader = OpenReader(lib.formats, path, e);
        if (!reader)
            return -1;
        int32_t count = 0;
        for (;;) {
            EntryMeta m;
            const int r = reader->Next(m);
            if (r == -1)
                return count;
            if (r != ARC_OK)
                return -1;
            ++count;
        }
    } catch (...) {
        return -1;
    }
}

ArcBool SetOwnerWindow(ArcWindow window) noexcept
{
    gOwner = window;
    return 1;
}

ArcBool KillOwnerWindow(ArcWindow window) noexcept
{
    ArcWindow expected = window;
    gOwner.compare_exchange_strong(expected, 0);
    return 1;
}

ArcBool IsRunning() noexcept
{
    return gRunning.load() > 0 ? 1 : 0;
}

uint16_t Version() noexcept
{
    return 341;
}

} // namespace arc
