#pragma once
// Sequential readers over the archive formats the libraries handle. Each
// reader walks the entries of one archive in order and hands out the data of
// the current entry in chunks.
#include <locale.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace arc {

enum class EntryKind { File, Directory, Symlink, Hardlink, Other };

struct EntryMeta {
    std::string name; // as stored, converted to UTF-8 (not yet made safe)
    EntryKind kind = EntryKind::File;
    uint64_t size = 0; // uncompressed size (0 when unknown)
    bool sizeKnown = false;
    uint64_t compressedSize = 0;
    int64_t mtime = 0; // Unix seconds
    bool hasMtime = false;
    int64_t atime = 0;
    bool hasAtime = false;
    int64_t birthtime = 0;
    bool hasBirthtime = false;
    uint32_t crc = 0;
    uint32_t osType = 0;
    uint32_t mode = 0; // POSIX mode bits when known
    bool encrypted = false;
    std::string method; // method name for listings
};

// Which group of formats a reader accepts.
enum class FormatSet {
    Lha,
    Zip,
    Cab,
    Arj,
    Tar, // tar, cpio, ar, rpm and single files compressed with gzip, compress, bzip2, xz
    Rar,
    Bga,
    SevenZip, // 7z, and zip/tar as the 7-Zip library does
};

class EntryReader {
public:
    virtual ~EntryReader() = default;
    // Advances to the next entry. Returns ARC_OK with meta filled, -1 at the
    // end of the archive, or an ARC_ERROR_* code.
    virtual int Next(EntryMeta& meta) = 0;
    // Reads data of the current entry. got == 0 with ARC_OK means the end of
    // the entry. Checksums are verified when the end is reached.
    virtual int Read(void* buffer, size_t size, size_t& got) = 0;
    // The type code GetArchiveType reports (ARC_TYPE_*), valid after the first Next.
    virtual int32_t TypeCode() const = 0;
    // True when damaged headers were skipped to read on (tar).
    virtual bool SkippedDamage() const { return false; }
};

// Opens the archive for the given format set. On failure returns nullptr and
// sets error to an ARC_ERROR_* code (ARC_ERROR_NOT_ARC_FILE when the file is
// not of the set, ARC_ERROR_ARC_FILE_OPEN when it cannot be opened).
std::unique_ptr<EntryReader> OpenReader(FormatSet set, const std::string& path, int& error);

std::unique_ptr<EntryReader> OpenLibarchiveReader(FormatSet set, const std::string& path, int& error);
std::unique_ptr<EntryReader> OpenArjReader(const std::string& path, int& error);
std::unique_ptr<EntryReader> OpenBgaReader(const std::string& path, int& error);

// libarchive converts names through the thread's locale; run every call with
// a UTF-8 locale so that Unicode names come out as UTF-8 and names without a
// declared charset come out as their stored bytes (see NameToUtf8).
class Utf8LocaleScope {
public:
    Utf8LocaleScope()
    {
        // One locale object per loaded library, released when it is unloaded.
        struct Holder {
            locale_t l;
            Holder()
            {
                l = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
                if (l == static_cast<locale_t>(0))
                    l = newlocale(LC_ALL_MASK, "C.utf8", static_cast<locale_t>(0));
            }
            ~Holder()
            {
                if (l != static_cast<locale_t>(0))
                    freelocale(l);
            }
        };
        static Holder utf8;
        if (utf8.l != static_cast<locale_t>(0))
            old_ = uselocale(utf8.l);
    }
    ~Utf8LocaleScope()
    {
        if (old_ != static_cast<locale_t>(0))
            uselocale(old_);
    }
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

private:
    locale_t old_ = static_cast<locale_t>(0);
};

// Helpers shared by the readers.
uint32_t Crc32(uint32_t crc, const void* data, size_t size);
int64_t DosDateTimeToUnix(uint16_t date, uint16_t time);
void UnixToDosDateTime(int64_t t, uint16_t& date, uint16_t& time);
// Stored name bytes to UTF-8: kept when they are valid UTF-8, else read as
// CP932 (Japanese Windows), else invalid bytes become '_'.
std::string NameToUtf8(const std::string& stored);
// For names a reader has already turned '\' into '/' byte by byte (the RAR 4
// reader does): in a name that is not UTF-8, a '/' right after a CP932 lead
// byte was the trail byte 0x5C of a double-byte character (表 is 0x95 0x5C)
// and becomes 0x5C again, so that NameToUtf8 reads the character.
std::string RestoreCp932TrailSlashes(std::string stored);
// Replaces '\' by '/' (for formats from DOS and Windows).
std::string BackslashesToSlashes(std::string name);

} // namespace arc
