#pragma once
// Binding to the archiver libraries of the common archiver interface:
// finding and loading a library, looking up its entry points, calling them
// and completing the per-entry record.
#include "ArcAbiTypes.h"
#include "platform/DynamicLibrary.h"

#include <QString>

#include <array>
#include <cstdint>

// The per-entry record: the library's published record followed by the
// fields the binding fills in.
#pragma pack(push, 1)
struct TEntryInfo {
    ArcIndividualInfo Info; // written by the library
    std::uint64_t LastWriteTime; // Windows file time (100 ns since 1601)
    std::uint64_t LastAccessTime;
    std::uint64_t CreationTime;
    std::uint64_t OriginalSize64;
    std::uint64_t CompressedSize64;
};
#pragma pack(pop)
static_assert(sizeof(TEntryInfo) == 598, "per-entry record layout");

// Converts a DOS date and time to a Windows file time; false when the date
// or time is not valid.
bool DosDateTimeToFileTime(std::uint16_t dosDate, std::uint16_t dosTime, std::uint64_t& fileTime);

// Owner windows are opaque numbers to the libraries.
using TWindowHandle = ArcWindow;
using TArchiveHandle = ArcHandle;

class TCustomArchiverDll {
public:
    // The entry slots, in order.
    enum TEntrySlot {
        esCommand,
        esOpenArchive,
        esCloseArchive,
        esFindFirst,
        esFindNext,
        esExtractMem,
        esCheckArchive,
        esSetOwnerWindowEx,
        esKillOwnerWindowEx,
        esGetWriteTimeEx,
        esGetCreateTimeEx,
        esGetAccessTimeEx,
        esGetOriginalSizeEx,
        esGetCompressedSizeEx,
        esGetArchiveType,
        esBaseSlotCount
    };

    TCustomArchiverDll() = default;
    TCustomArchiverDll(const TCustomArchiverDll&) = delete;
    TCustomArchiverDll& operator=(const TCustomArchiverDll&) = delete;
    // Runs FreeDLL.
    virtual ~TCustomArchiverDll() = default;

    virtual void LoadDLL() = 0;
    // Forgets every entry address.
    virtual void FreeDLL();

    // Texts are converted to UTF-8. A size of 0 passes a null buffer.
    virtual int Command(TWindowHandle window, const QString& cmdLine, char* output, std::uint32_t size);
    virtual int CheckArc(const QString& archive, int mode);
    virtual int CloseArc(TArchiveHandle handle);
    virtual int ExtractMem(TWindowHandle window, const QString& cmdLine, unsigned char* buffer, std::uint32_t size,
                           std::uint32_t* written);
    // Complete the record when the library returns 0.
    virtual int FindFirst(TArchiveHandle handle, const QString& wildcard, TEntryInfo& entry);
    virtual int FindNext(TArchiveHandle handle, TEntryInfo& entry);
    virtual int KillOwnerWindowEx(TWindowHandle window);
    virtual TArchiveHandle OpenArc(TWindowHandle window, const QString& archive, std::uint32_t mode);
    virtual int SetOwnerWindowEx(TWindowHandle window, void* callback);
    // Optional entries: 0 when the library lacks them.
    virtual int GetWriteTimeEx(TArchiveHandle handle, std::uint64_t& fileTime);
    virtual int GetCreateTimeEx(TArchiveHandle handle, std::uint64_t& fileTime);
    virtual int GetAccessTimeEx(TArchiveHandle handle, std::uint64_t& fileTime);
    virtual int GetOriginalSizeEx(TArchiveHandle handle, std::uint64_t& size);
    virtual int GetCompressedSizeEx(TArchiveHandle handle, std::uint64_t& size);
    virtual int GetArchiveType(const QString& archive);

protected:
    // The address of a base entry: looked up on first use and kept. Raises
    // EEntryNotFound for a missing required entry; nullptr for a missing
    // optional one.
    virtual void* Entry(TEntrySlot slot) = 0;
    void CompleteEntry(TArchiveHandle handle, TEntryInfo& entry);
    // Calls one of the optional file-time entries; 0 when it is missing.
    int FileTimeEntry(TEntrySlot slot, TArchiveHandle handle, std::uint64_t& fileTime);

    std::array<void*, esBaseSlotCount> m_slots{};
};

// A library of one format, named by its file and its entry prefix.
class TArchiverDll : public TCustomArchiverDll {
public:
    TArchiverDll(const QString& description, const QString& prefix, const QString& fileName);
    ~TArchiverDll() override;

    // Loads the library when it is not loaded; raises ENoArchiverDLL
    // "%0:s を扱うには %1:s が 必要です。" when it cannot be.
    void LoadDLL() override;
    // Forgets every entry address and frees the library.
    void FreeDLL() override;

    const QString& Description() const { return m_description; }
    const QString& Prefix() const { return m_prefix; }
    const QString& FileName() const { return m_fileName; }
    platform::LibraryHandle Module() const { return m_module; }

    // The entry name of a slot: the prefix followed by the slot's suffix.
    QString EntryName(TEntrySlot slot) const;

    // Fills the slot from the module unless it holds an address already.
    // A missing entry raises EEntryNotFound when required, else gives false.
    static bool GetDllProc(void*& slot, platform::LibraryHandle module, const QString& name, bool required);

protected:
    void* Entry(TEntrySlot slot) override;

private:
    QString m_description;
    QString m_prefix;
    QString m_fileName;
    platform::LibraryHandle m_module = nullptr;
};

// The ZIP libraries: UNZIP32.DLL (unpacking), ZIP32J.DLL (packing) and
// LMZIP32.DLL (both), each optional.
class TZipDll : public TCustomArchiverDll {
public:
    enum TZipModule { zmUnzip32, zmLmzip32, zmZip32j, zmCount };

    TZipDll() = default;
    ~TZipDll() override;

    // Loads each library that is not loaded yet; missing files are no error.
    void LoadDLL() override;
    void FreeDLL() override;

    // The packing command ("Zip") and the unpacking command ("UnZip").
    int Zip(TWindowHandle window, const QString& cmdLine, char* output, std::uint32_t size);
    int UnZip(TWindowHandle window, const QString& cmdLine, char* output, std::uint32_t size);
    // The command entry of the ZIP binding is the unpacking command.
    int Command(TWindowHandle window, const QString& cmdLine, char* output, std::uint32_t size) override;
    // The ZIP libraries have no size entries and no archive type.
    int GetOriginalSizeEx(TArchiveHandle handle, std::uint64_t& size) override;
    int GetCompressedSizeEx(TArchiveHandle handle, std::uint64_t& size) override;
    int GetArchiveType(const QString& archive) override;

    bool IsLoaded(TZipModule module) const { return m_modules[module] != nullptr; }
    platform::LibraryHandle Module(TZipModule module) const { return m_modules[module]; }
    static QString LibraryFileName(TZipModule module);

    // Tries the modules in the order given, skipping unloaded ones; the
    // first that has the entry wins. LMZIP32.DLL is asked for the name with
    // a third character "Z" written "z". A missing entry raises
    // EEntryNotFound "%0:s のエントリが DLL に見つかりませんでした。" when
    // required, else gives false.
    bool GetZipProc(void*& slot, TZipModule first, TZipModule second, TZipModule third, const QString& name,
                    bool required);
    // The same with fewer modules (UNZIP32.DLL only, say): pass zmCount for
    // the unused places.

protected:
    void* Entry(TEntrySlot slot) override;

private:
    std::array<platform::LibraryHandle, zmCount> m_modules{};
    void* m_zipSlot = nullptr;
    void* m_unzipSlot = nullptr;
};
