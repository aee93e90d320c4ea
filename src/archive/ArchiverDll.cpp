#include "ArchiverDll.h"

#include "ArchiverErrors.h"
#include "ArchiverRemote.h"
#include "helper/HelperClient.h"

#include <QDate>

#include <cstring>

namespace {

const char* const kSuffixes[TCustomArchiverDll::esBaseSlotCount] = {
    "",
    "OpenArchive",
    "CloseArchive",
    "FindFirst",
    "FindNext",
    "ExtractMem",
    "CheckArchive",
    "SetOwnerWindowEx",
    "KillOwnerWindowEx",
    "GetWriteTimeEx",
    "GetCreateTimeEx",
    "GetAccessTimeEx",
    "GetOriginalSizeEx",
    "GetCompressedSizeEx",
    "GetArchiveType",
};

bool IsOptional(TCustomArchiverDll::TEntrySlot slot)
{
    return slot >= TCustomArchiverDll::esGetWriteTimeEx && slot <= TCustomArchiverDll::esGetCompressedSizeEx;
}

template <typename Fn> Fn As(void* p)
{
    return reinterpret_cast<Fn>(p);
}

// Libraries are loaded in the archiver helper while isolation is on, else
// in the program; the module handle tells which afterwards.
platform::LibraryHandle LoadModule(const QString& name)
{
    return helper::IsolationEnabled() ? archiveremote::LoadModule(name) : platform::LoadLibrary(name);
}

void* ModuleEntry(platform::LibraryHandle module, const char* name)
{
    return archiveremote::IsModule(module) ? archiveremote::EntryAddress(module, name)
                                           : platform::GetProcAddress(module, name);
}

void FreeModule(platform::LibraryHandle module)
{
    if (archiveremote::IsModule(module))
        archiveremote::FreeModule(module);
    else
        platform::FreeLibrary(module);
}

QString ModuleFileName(platform::LibraryHandle module)
{
    return archiveremote::IsModule(module) ? archiveremote::ModuleFileName(module)
                                           : platform::GetModuleFileName(module);
}

using archiveremote::AsRemote;

} // namespace

bool DosDateTimeToFileTime(std::uint16_t dosDate, std::uint16_t dosTime, std::uint64_t& fileTime)
{
    const int year = 1980 + (dosDate >> 9);
    const int month = (dosDate >> 5) & 0x0F;
    const int day = dosDate & 0x1F;
    const int hour = dosTime >> 11;
    const int minute = (dosTime >> 5) & 0x3F;
    const int second = (dosTime & 0x1F) * 2;
    const QDate date(year, month, day);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59)
        return false;
    const std::int64_t days = date.toJulianDay() - QDate(1601, 1, 1).toJulianDay();
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    fileTime = std::uint64_t(seconds) * 10000000ull;
    return true;
}

// --- TCustomArchiverDll ----------------------------------------------------

void TCustomArchiverDll::FreeDLL()
{
    m_slots.fill(nullptr);
}

int TCustomArchiverDll::Command(TWindowHandle window, const QString& cmdLine, char* output, std::uint32_t size)
{
    LoadDLL();
    void* entry = Entry(esCommand);
    const QByteArray cmd = cmdLine.toUtf8();
    if (auto* remote = AsRemote(entry))
        return remote->Command(window, cmd.constData(), size ? output : nullptr, size);
    auto fn = As<ArcCommandFn>(entry);
    return fn(window, cmd.constData(), size ? output : nullptr, size);
}

int TCustomArchiverDll::CheckArc(const QString& archive, int mode)
{
    LoadDLL();
    void* entry = Entry(esCheckArchive);
    const QByteArray path = archive.toUtf8();
    if (auto* remote = AsRemote(entry))
        return remote->Check(path.constData(), mode);
    auto fn = As<ArcCheckArchiveFn>(entry);
    return fn(path.constData(), mode);
}

int TCustomArchiverDll::CloseArc(TArchiveHandle handle)
{
    LoadDLL();
    void* entry = Entry(esCloseArchive);
    if (auto* remote = AsRemote(entry))
        return remote->Close(handle);
    auto fn = As<ArcCloseArchiveFn>(entry);
    return fn(handle);
}

int TCustomArchiverDll::ExtractMem(TWindowHandle window, const QString& cmdLine, unsigned char* buffer,
                                   std::uint32_t size, std::uint32_t* written)
{
    void* entry = Entry(esExtractMem);
    const QByteArray cmd = cmdLine.toUtf8();
    if (auto* remote = AsRemote(entry))
        return remote->ExtractMem(window, cmd.constData(), buffer, size, written);
    auto fn = As<ArcExtractMemFn>(entry);
    return fn(window, cmd.constData(), buffer, size, nullptr, nullptr, written);
}

int TCustomArchiverDll::FindFirst(TArchiveHandle handle, const QString& wildcard, TEntryInfo& entry)
{
    LoadDLL();
    void* address = Entry(esFindFirst);
    const QByteArray wild = wildcard.toUtf8();
    auto* remote = AsRemote(address);
    const int rc = remote ? remote->FindFirst(handle, wild.constData(), &entry.Info)
                          : As<ArcFindFirstFn>(address)(handle, wild.constData(), &entry.Info);
    if (rc == 0)
        CompleteEntry(handle, entry);
    return rc;
}

int TCustomArchiverDll::FindNext(TArchiveHandle handle, TEntryInfo& entry)
{
    void* address = Entry(esFindNext);
    auto* remote = AsRemote(address);
    const int rc = remote ? remote->FindNext(handle, &entry.Info) : As<ArcFindNextFn>(address)(handle, &entry.Info);
    if (rc == 0)
        CompleteEntry(handle, entry);
    return rc;
}

int TCustomArchiverDll::KillOwnerWindowEx(TWindowHandle window)
{
    void* entry = Entry(esKillOwnerWindowEx);
    if (auto* remote = AsRemote(entry))
        return remote->KillOwner(window);
    auto fn = As<ArcKillOwnerWindowExFn>(entry);
    return fn(window);
}

TArchiveHandle TCustomArchiverDll::OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode)
{
    LoadDLL();
    void* entry = Entry(esOpenArchive);
    const QByteArray path = archive.toUtf8();
    if (auto* remote = AsRemote(entry))
        return remote->Open(window, path.constData(), mode);
    auto fn = As<ArcOpenArchiveFn>(entry);
    return fn(window, path.constData(), mode);
}

int TCustomArchiverDll::SetOwnerWindowEx(TWindowHandle window, void* callback)
{
    void* entry = Entry(esSetOwnerWindowEx);
    if (auto* remote = AsRemote(entry))
        return remote->SetOwner(window); // code cannot be called back across processes
    auto fn = As<ArcSetOwnerWindowExFn>(entry);
    return fn(window, callback);
}

int TCustomArchiverDll::FileTimeEntry(TEntrySlot slot, TArchiveHandle handle, std::uint64_t& fileTime)
{
    void* entry = Entry(slot);
    if (!entry)
        return 0;
    ArcFileTime time{0, 0};
    auto* remote = AsRemote(entry);
    const int rc = remote ? remote->GetTime(handle, &time) : As<ArcGetFileTimeFn>(entry)(handle, &time);
    if (rc != 0)
        fileTime = (std::uint64_t(time.high) << 32) | time.low;
    return rc;
}

int TCustomArchiverDll::GetWriteTimeEx(TArchiveHandle handle, std::uint64_t& fileTime)
{
    return FileTimeEntry(esGetWriteTimeEx, handle, fileTime);
}

int TCustomArchiverDll::GetCreateTimeEx(TArchiveHandle handle, std::uint64_t& fileTime)
{
    return FileTimeEntry(esGetCreateTimeEx, handle, fileTime);
}

int TCustomArchiverDll::GetAccessTimeEx(TArchiveHandle handle, std::uint64_t& fileTime)
{
    return FileTimeEntry(esGetAccessTimeEx, handle, fileTime);
}

int TCustomArchiverDll::GetOriginalSizeEx(TArchiveHandle handle, std::uint64_t& size)
{
    void* entry = Entry(esGetOriginalSizeEx);
    if (auto* remote = AsRemote(entry))
        return remote->GetSize(handle, &size);
    auto fn = As<ArcGetSizeFn>(entry);
    return fn ? fn(handle, &size) : 0;
}

int TCustomArchiverDll::GetCompressedSizeEx(TArchiveHandle handle, std::uint64_t& size)
{
    void* entry = Entry(esGetCompressedSizeEx);
    if (auto* remote = AsRemote(entry))
        return remote->GetSize(handle, &size);
    auto fn = As<ArcGetSizeFn>(entry);
    return fn ? fn(handle, &size) : 0;
}

int TCustomArchiverDll::GetArchiveType(const QString& archive)
{
    LoadDLL();
    void* entry = Entry(esGetArchiveType);
    const QByteArray path = archive.toUtf8();
    if (auto* remote = AsRemote(entry))
        return remote->ArchiveType(path.constData());
    auto fn = As<ArcGetArchiveTypeFn>(entry);
    return fn(path.constData());
}

void TCustomArchiverDll::CompleteEntry(TArchiveHandle handle, TEntryInfo& entry)
{
    std::uint64_t dosTime = 0;
    const bool haveDos = DosDateTimeToFileTime(entry.Info.dosDate, entry.Info.dosTime, dosTime);
    auto fallbackTime = [&](std::uint64_t& field, int (TCustomArchiverDll::*get)(TArchiveHandle, std::uint64_t&)) {
        std::uint64_t value = 0;
        if ((this->*get)(handle, value) != 0)
            field = value;
        else
            field = haveDos ? dosTime : 0;
    };
    fallbackTime(entry.LastWriteTime, &TCustomArchiverDll::GetWriteTimeEx);
    fallbackTime(entry.LastAccessTime, &TCustomArchiverDll::GetAccessTimeEx);
    fallbackTime(entry.CreationTime, &TCustomArchiverDll::GetCreateTimeEx);

    std::uint64_t size = 0;
    entry.OriginalSize64 = GetOriginalSizeEx(handle, size) != 0 ? size : entry.Info.originalSize;
    size = 0;
    entry.CompressedSize64 = GetCompressedSizeEx(handle, size) != 0 ? size : entry.Info.compressedSize;
}

// --- TArchiverDll ------------------------------------------------------------

TArchiverDll::TArchiverDll(const QString& description, const QString& prefix, const QString& fileName)
    : m_description(description),
      m_prefix(prefix),
      m_fileName(fileName)
{
}

TArchiverDll::~TArchiverDll()
{
    TArchiverDll::FreeDLL();
}

void TArchiverDll::LoadDLL()
{
    if (!m_module)
        m_module = LoadModule(m_fileName);
    if (!m_module)
        throw ENoArchiverDLL(QStringLiteral("%1 を扱うには %2 が 必要です。").arg(m_description, m_fileName));
}

void TArchiverDll::FreeDLL()
{
    TCustomArchiverDll::FreeDLL();
    if (m_module) {
        FreeModule(m_module);
        m_module = nullptr;
    }
}

QString TArchiverDll::EntryName(TEntrySlot slot) const
{
    return m_prefix + QLatin1String(kSuffixes[slot]);
}

bool TArchiverDll::GetDllProc(void*& slot, platform::LibraryHandle module, const QString& name, bool required)
{
    if (slot)
        return true;
    const QByteArray encoded = name.toUtf8();
    slot = ModuleEntry(module, encoded.constData());
    if (slot)
        return true;
    if (required) {
        throw EEntryNotFound(QStringLiteral("%1 に %2 のエントリが見つかりません。").arg(ModuleFileName(module), name));
    }
    return false;
}

void* TArchiverDll::Entry(TEntrySlot slot)
{
    // An entry of a library that failed to load: report the missing library
    // rather than a missing entry.
    if (!m_module)
        LoadDLL();
    GetDllProc(m_slots[slot], m_module, EntryName(slot), !IsOptional(slot));
    return m_slots[slot];
}

// --- TZipDll -------------------------------------------------------------------

TZipDll::~TZipDll()
{
    TZipDll::FreeDLL();
}

QString TZipDll::LibraryFileName(TZipModule module)
{
    switch (module) {
    case zmUnzip32:
        return QStringLiteral("UNZIP32.DLL");
    case zmLmzip32:
        return QStringLiteral("LMZIP32.DLL");
    case zmZip32j:
        return QStringLiteral("ZIP32J.DLL");
    default:
        return QString();
    }
}

void TZipDll::LoadDLL()
{
    for (TZipModule module : {zmUnzip32, zmZip32j, zmLmzip32}) {
        if (!m_modules[module])
            m_modules[module] = LoadModule(LibraryFileName(module));
    }
}

void TZipDll::FreeDLL()
{
    for (auto& module : m_modules) {
        if (module) {
            FreeModule(module);
            module = nullptr;
        }
    }
    m_zipSlot = nullptr;
    m_unzipSlot = nullptr;
    TCustomArchiverDll::FreeDLL();
}

bool TZipDll::GetZipProc(void*& slot, TZipModule first, TZipModule second, TZipModule third, const QString& name,
                         bool required)
{
    if (slot)
        return true;
    for (TZipModule module : {first, second, third}) {
        if (module >= zmCount || !m_modules[module])
            continue;
        QString lookup = name;
        if (module == zmLmzip32 && lookup.size() > 2 && lookup.at(2) == QLatin1Char('Z'))
            lookup[2] = QLatin1Char('z');
        const QByteArray encoded = lookup.toUtf8();
        slot = ModuleEntry(m_modules[module], encoded.constData());
        if (slot)
            return true;
    }
    if (required)
        throw EEntryNotFound(QStringLiteral("%1 のエントリが DLL に見つかりませんでした。").arg(name));
    return false;
}

void* TZipDll::Entry(TEntrySlot slot)
{
    void*& s = m_slots[slot];
    switch (slot) {
    case esCommand:
        GetZipProc(s, zmUnzip32, zmLmzip32, zmCount, QStringLiteral("UnZip"), true);
        break;
    case esOpenArchive:
        GetZipProc(s, zmLmzip32, zmZip32j, zmUnzip32, QStringLiteral("UnZipOpenArchive"), true);
        break;
    case esCloseArchive:
        GetZipProc(s, zmLmzip32, zmZip32j, zmUnzip32, QStringLiteral("UnZipCloseArchive"), true);
        break;
    case esFindFirst:
        GetZipProc(s, zmLmzip32, zmZip32j, zmUnzip32, QStringLiteral("UnZipFindFirst"), true);
        break;
    case esFindNext:
        GetZipProc(s, zmLmzip32, zmZip32j, zmUnzip32, QStringLiteral("UnZipFindNext"), true);
        break;
    case esGetWriteTimeEx:
        GetZipProc(s, zmLmzip32, zmZip32j, zmUnzip32, QStringLiteral("UnzipGetWriteTimeEx"), false);
        break;
    case esGetCreateTimeEx:
        GetZipProc(s, zmLmzip32, zmZip32j, zmUnzip32, QStringLiteral("UnZipGetCreateTimeEx"), false);
        break;
    case esGetAccessTimeEx:
        GetZipProc(s, zmLmzip32, zmZip32j, zmUnzip32, QStringLiteral("UnZipGetAccessTimeEx"), false);
        break;
    case esCheckArchive:
        GetZipProc(s, zmUnzip32, zmLmzip32, zmZip32j, QStringLiteral("UnZipCheckArchive"), true);
        break;
    case esExtractMem:
        GetZipProc(s, zmUnzip32, zmLmzip32, zmZip32j, QStringLiteral("UnZipExtractMem"), true);
        break;
    case esSetOwnerWindowEx:
    case esKillOwnerWindowEx: {
        const QString name = slot == esSetOwnerWindowEx ? QStringLiteral("UnZipSetOwnerWindowEx")
                                                        : QStringLiteral("UnZipKillOwnerWindowEx");
        // Only UNZIP32.DLL is asked; without it the message names the file.
        if (!s && !m_modules[zmUnzip32]) {
            throw EEntryNotFound(
                QStringLiteral("%1 に %2 のエントリが見つかりません。").arg(LibraryFileName(zmUnzip32), name));
        }
        TArchiverDll::GetDllProc(s, m_modules[zmUnzip32], name, true);
        break;
    }
    default:
        return nullptr; // no size entries, no archive type
    }
    return s;
}

int TZipDll::Zip(TWindowHandle window, const QString& cmdLine, char* output, std::uint32_t size)
{
    LoadDLL();
    GetZipProc(m_zipSlot, zmZip32j, zmLmzip32, zmCount, QStringLiteral("Zip"), true);
    const QByteArray cmd = cmdLine.toUtf8();
    if (auto* remote = AsRemote(m_zipSlot))
        return remote->Command(window, cmd.constData(), size ? output : nullptr, size);
    return As<ArcCommandFn>(m_zipSlot)(window, cmd.constData(), size ? output : nullptr, size);
}

int TZipDll::UnZip(TWindowHandle window, const QString& cmdLine, char* output, std::uint32_t size)
{
    LoadDLL();
    GetZipProc(m_unzipSlot, zmUnzip32, zmLmzip32, zmCount, QStringLiteral("UnZip"), true);
    const QByteArray cmd = cmdLine.toUtf8();
    if (auto* remote = AsRemote(m_unzipSlot))
        return remote->Command(window, cmd.constData(), size ? output : nullptr, size);
    return As<ArcCommandFn>(m_unzipSlot)(window, cmd.constData(), size ? output : nullptr, size);
}

int TZipDll::Command(TWindowHandle window, const QString& cmdLine, char* output, std::uint32_t size)
{
    return UnZip(window, cmdLine, output, size);
}

int TZipDll::GetOriginalSizeEx(TArchiveHandle, std::uint64_t&)
{
    return 0;
}

int TZipDll::GetCompressedSizeEx(TArchiveHandle, std::uint64_t&)
{
    return 0;
}

int TZipDll::GetArchiveType(const QString&)
{
    return 0;
}
