// Entry reader on libarchive for every format it handles.
#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <cstring>

#include "Readers.h"
#include "archive/ArchiverAbi.h"

namespace arc {
namespace {

void EnableFormats(archive* a, FormatSet set, bool raw, bool streaming)
{
    switch (set) {
    case FormatSet::Lha:
        archive_read_support_format_lha(a);
        break;
    case FormatSet::Zip:
        if (streaming)
            archive_read_support_format_zip_streamable(a);
        else
            archive_read_support_format_zip_seekable(a);
        break;
    case FormatSet::Cab:
        archive_read_support_format_cab(a);
        break;
    case FormatSet::Rar:
        // Only the RAR readers: a RAR archive that stores a ZIP must not be
        // taken for that ZIP.
        archive_read_support_format_rar(a);
        archive_read_support_format_rar5(a);
        break;
    case FormatSet::SevenZip:
        archive_read_support_format_7zip(a);
        archive_read_support_format_zip_seekable(a);
        archive_read_support_format_tar(a);
        archive_read_support_filter_gzip(a);
        archive_read_support_filter_bzip2(a);
        archive_read_support_filter_xz(a);
        break;
    case FormatSet::Tar:
        if (raw) {
            archive_read_support_format_raw(a);
        } else {
            archive_read_support_format_tar(a);
            archive_read_support_format_cpio(a);
            archive_read_support_format_ar(a);
            archive_read_support_filter_rpm(a);
        }
        archive_read_support_filter_gzip(a);
        archive_read_support_filter_bzip2(a);
        archive_read_support_filter_compress(a);
        archive_read_support_filter_xz(a);
        archive_read_support_filter_lzma(a);
        break;
    case FormatSet::Arj:
    case FormatSet::Bga:
        break;
    }
}

int MapError(archive* a)
{
    const int e = archive_errno(a);
    const char* s = archive_error_string(a);
    if (e == ENOMEM)
        return ARC_ERROR_ENOUGH_MEMORY;
    if (s != nullptr) {
        if (std::strstr(s, "ncrypt") != nullptr || std::strstr(s, "assphrase") != nullptr)
            return ARC_ERROR_PASSWORD_FILE;
        if (std::strstr(s, "runcated") != nullptr || std::strstr(s, "end of file") != nullptr
            || std::strstr(s, "Premature") != nullptr)
            return ARC_ERROR_EOF;
        if (std::strstr(s, "CRC") != nullptr || std::strstr(s, "checksum") != nullptr
            || std::strstr(s, "Checksum") != nullptr)
            return ARC_ERROR_FILE_CRC;
        if (std::strstr(s, "nsupported") != nullptr || std::strstr(s, "not supported") != nullptr)
            return ARC_ERROR_METHOD;
    }
    return ARC_ERROR_HEADER_BROKEN;
}

// True when the file starts a split archive whose other parts hold the
// rest: a RAR 4 or RAR 5 volume, or a ZIP written across several parts.
bool IsSplitArchive(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    unsigned char head[64] = {};
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (got >= 4 && std::memcmp(head, "PK\x07\x08", 4) == 0)
        return true;
    if (got >= 7 + 7 && std::memcmp(head, "Rar!\x1a\x07\x00", 7) == 0) {
        // Main header: CRC (2), type 0x73, flags (2); flag 0x0001 marks a volume.
        return head[9] == 0x73 && (head[10] & 0x01) != 0;
    }
    if (got >= 8 && std::memcmp(head, "Rar!\x1a\x07\x01\x00", 8) == 0) {
        // Header CRC (4), then variable-length numbers: header size, type (1 =
        // main), header flags, [extra size], [data size], archive flags.
        size_t at = 12;
        auto vint = [&](uint64_t& value) {
            value = 0;
            for (int shift = 0; at < got && shift < 63; shift += 7) {
                const unsigned char b = head[at++];
                value |= uint64_t(b & 0x7f) << shift;
                if ((b & 0x80) == 0)
                    return true;
            }
            return false;
        };
        uint64_t size = 0, type = 0, flags = 0, skip = 0, archiveFlags = 0;
        if (!vint(size) || !vint(type) || type != 1 || !vint(flags))
            return false;
        if ((flags & 0x1) && !vint(skip))
            return false;
        if ((flags & 0x2) && !vint(skip))
            return false;
        return vint(archiveFlags) && (archiveFlags & 0x1) != 0;
    }
    return false;
}

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Name for the single entry of a compressed plain file: the archive's name
// without its compression extension (".tgz" and ".taz" become ".tar").
std::string RawEntryName(const std::string& archivePath)
{
    std::string name = BaseName(archivePath);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        std::string ext = name.substr(dot);
        for (char& c : ext)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".tgz" || ext == ".taz")
            name = name.substr(0, dot) + ".tar";
        else
            name = name.substr(0, dot);
    }
    return name.empty() ? std::string("data") : name;
}

class LibarchiveReader : public EntryReader {
public:
    LibarchiveReader(FormatSet set, std::string path) : set_(set), path_(std::move(path)) {}
    ~LibarchiveReader() override
    {
        if (a_ != nullptr)
            archive_read_free(a_);
    }

    int Open()
    {
        Utf8LocaleScope scope;
        // LHA headers carry no charset; libarchive refuses names it cannot
        // convert. Names from Japanese Windows are CP932: when the headers do not
        // all read as they are, read them as CP932.
        if (set_ == FormatSet::Lha) {
            const long plain = ReadableHeaders();
            if (plain >= 0) {
                charsetOption_ = "lha:hdrcharset=CP932";
                // Keep CP932 when it reads further (a damaged archive reads neither way to its end).
                const long cp932 = ReadableHeaders();
                if (cp932 != -1 && (cp932 == -2 || cp932 <= plain))
                    charsetOption_.clear();
            }
        }
        if ((set_ == FormatSet::Rar || set_ == FormatSet::Zip) && IsSplitArchive(path_))
            return ARC_ERROR_NEED_VOLUMES;
        int e = OpenWith(false);
        // ZIP files the seekable reader refuses (a damaged or missing central
        // directory) often still read from front to back.
        if (set_ == FormatSet::Zip && (e != ARC_OK || firstResult_ == ARCHIVE_FATAL)) {
            streaming_ = true;
            const int streamed = OpenWith(false);
            if (streamed == ARC_OK && firstResult_ != ARCHIVE_FATAL)
                return ARC_OK;
            streaming_ = false;
            e = OpenWith(false);
        }
        if (e == ARC_OK)
            return ARC_OK;
        if (set_ == FormatSet::Tar && e == ARC_ERROR_NOT_ARC_FILE) {
            e = OpenWith(true);
            if (e != ARC_OK)
                return e;
            // Plain data is only an archive of this library when it was compressed.
            if (archive_filter_code(a_, 0) == ARCHIVE_FILTER_NONE)
                return ARC_ERROR_NOT_ARC_FILE;
            raw_ = true;
            return ARC_OK;
        }
        return e;
    }

    int Next(EntryMeta& meta) override
    {
        Utf8LocaleScope scope;
        if (failed_)
            return failed_;
        archive_entry* entry = nullptr;
        int r = first_ ? firstResult_ : archive_read_next_header(a_, &entry);
        if (first_) {
            entry = firstEntry_;
            first_ = false;
        }
        // A damaged tar header: libarchive goes on at the next block.
        for (long retries = 0; r == ARCHIVE_RETRY && set_ == FormatSet::Tar && retries < (1L << 22); ++retries) {
            skippedDamage_ = true;
            entry = nullptr;
            r = archive_read_next_header(a_, &entry);
        }
        if (r == ARCHIVE_EOF)
            return -1;
        if (r == ARCHIVE_FATAL || r == ARCHIVE_RETRY || entry == nullptr) {
            failed_ = MapError(a_);
            return failed_;
        }
        meta = EntryMeta{};
        const char* name = archive_entry_pathname(entry);
        if (name == nullptr)
            name = archive_entry_pathname_utf8(entry);
        std::string stored = name != nullptr ? name : "";
        if (raw_)
            stored = RawEntryName(path_);
        if (set_ == FormatSet::Rar)
            stored = RestoreCp932TrailSlashes(stored);
        meta.name = NameToUtf8(stored);
        if (set_ == FormatSet::Lha || set_ == FormatSet::Zip || set_ == FormatSet::Cab || set_ == FormatSet::Rar
            || set_ == FormatSet::SevenZip)
            meta.name = BackslashesToSlashes(meta.name);
        switch (archive_entry_filetype(entry)) {
        case AE_IFREG:
        case 0: // ar members written without a file type
            meta.kind = EntryKind::File;
            break;
        case AE_IFDIR:
            meta.kind = EntryKind::Directory;
            break;
        case AE_IFLNK:
            meta.kind = EntryKind::Symlink;
            break;
        default:
            meta.kind = EntryKind::Other;
            break;
        }
        if (archive_entry_hardlink(entry) != nullptr)
            meta.kind = EntryKind::Hardlink;
        // Some writers mark folders only by a trailing slash.
        if (meta.kind == EntryKind::File && !meta.name.empty() && meta.name.back() == '/')
            meta.kind = EntryKind::Directory;
        meta.sizeKnown = archive_entry_size_is_set(entry) != 0 && !raw_;
        meta.size = meta.sizeKnown ? static_cast<uint64_t>(archive_entry_size(entry)) : 0;
        if (archive_entry_mtime_is_set(entry)) {
            meta.mtime = archive_entry_mtime(entry);
            meta.hasMtime = true;
        }
        if (archive_entry_atime_is_set(entry)) {
            meta.atime = archive_entry_atime(entry);
            meta.hasAtime = true;
        }
        if (archive_entry_birthtime_is_set(entry)) {
            meta.birthtime = archive_entry_birthtime(entry);
            meta.hasBirthtime = true;
        }
        meta.mode = archive_entry_perm(entry);
        meta.encrypted = archive_entry_is_encrypted(entry) != 0;
        const char* fmt = archive_format_name(a_);
        meta.method = fmt != nullptr ? fmt : "";
        return ARC_OK;
    }

    int Read(void* buffer, size_t size, size_t& got) override
    {
        Utf8LocaleScope scope;
        got = 0;
        if (failed_)
            return failed_;
        const la_ssize_t n = archive_read_data(a_, buffer, size);
        if (n < 0) {
            const int e = MapError(a_);
            // After a fatal error libarchive's state is not to be trusted: nothing
            // more is asked of it.
            if (n == ARCHIVE_FATAL)
                failed_ = e == ARC_ERROR_HEADER_BROKEN ? ARC_ERROR_HUFFMAN_CODE : e;
            return e == ARC_ERROR_HEADER_BROKEN ? ARC_ERROR_HUFFMAN_CODE : e;
        }
        got = static_cast<size_t>(n);
        return ARC_OK;
    }

    bool SkippedDamage() const override { return skippedDamage_; }

    int32_t TypeCode() const override
    {
        if (set_ != FormatSet::Tar)
            return ARC_TYPE_OWN;
        const int format = archive_format(a_) & ARCHIVE_FORMAT_BASE_MASK;
        int filter = ARCHIVE_FILTER_NONE;
        for (int i = archive_filter_count(a_) - 1; i >= 0; --i) {
            const int f = archive_filter_code(a_, i);
            if (f == ARCHIVE_FILTER_RPM)
                return ARC_TYPE_RPM;
            if (f != ARCHIVE_FILTER_NONE)
                filter = f;
        }
        int offset = 0;
        switch (filter) {
        case ARCHIVE_FILTER_GZIP:
            offset = 1;
            break;
        case ARCHIVE_FILTER_COMPRESS:
            offset = 2;
            break;
        case ARCHIVE_FILTER_BZIP2:
            offset = 3;
            break;
        case ARCHIVE_FILTER_XZ:
        case ARCHIVE_FILTER_LZMA:
            offset = 4;
            break;
        default:
            break;
        }
        if (raw_) {
            switch (offset) {
            case 1:
                return ARC_TYPE_GZ;
            case 2:
                return ARC_TYPE_Z;
            case 3:
                return ARC_TYPE_BZ2;
            default:
                return ARC_TYPE_XZ;
            }
        }
        if (format == ARCHIVE_FORMAT_CPIO)
            return ARC_TYPE_CPIO + offset;
        if (format == ARCHIVE_FORMAT_AR)
            return ARC_TYPE_AR + offset;
        switch (offset) {
        case 1:
            return ARC_TYPE_TARGZ;
        case 2:
            return ARC_TYPE_TARZ;
        case 3:
            return ARC_TYPE_TARBZ2;
        case 4:
            return ARC_TYPE_TARXZ;
        default:
            return ARC_TYPE_TAR;
        }
    }

private:
    int OpenWith(bool raw)
    {
        if (a_ != nullptr)
            archive_read_free(a_);
        a_ = archive_read_new();
        if (a_ == nullptr)
            return ARC_ERROR_ENOUGH_MEMORY;
        EnableFormats(a_, set_, raw, streaming_);
        if (!charsetOption_.empty())
            archive_read_set_options(a_, charsetOption_.c_str());
        if (archive_read_open_filename(a_, path_.c_str(), 64 * 1024) != ARCHIVE_OK) {
            const int e = archive_errno(a_);
            if (e == ENOENT || e == EACCES || e == EISDIR)
                return ARC_ERROR_ARC_FILE_OPEN;
            return ARC_ERROR_NOT_ARC_FILE;
        }
        // The format is only known after the first header: read it now so that a
        // file of another kind is refused at open.
        firstEntry_ = nullptr;
        firstResult_ = archive_read_next_header(a_, &firstEntry_);
        first_ = true;
        if (firstResult_ == ARCHIVE_FATAL) {
            const char* s = archive_error_string(a_);
            if (s != nullptr
                && (std::strstr(s, "nrecognized") != nullptr || std::strstr(s, "not recognized") != nullptr))
                return ARC_ERROR_NOT_ARC_FILE;
            // The format was recognised but its first header is broken.
            if (archive_format(a_) == 0)
                return ARC_ERROR_NOT_ARC_FILE;
        }
        return ARC_OK;
    }

    // -1 when every header reads; else the number of headers read before a
    // fatal error; -2 when the archive does not open at all.
    long ReadableHeaders()
    {
        if (OpenWith(false) != ARC_OK)
            return -2;
        int r = firstResult_;
        first_ = false;
        for (long count = 0; count < 10000000; ++count) {
            if (r == ARCHIVE_EOF)
                return -1;
            if (r == ARCHIVE_FATAL)
                return count;
            archive_entry* entry = nullptr;
            r = archive_read_next_header(a_, &entry);
        }
        return -1;
    }

    FormatSet set_;
    std::string charsetOption_;
    std::string path_;
    archive* a_ = nullptr;
    archive_entry* firstEntry_ = nullptr;
    int firstResult_ = ARCHIVE_OK;
    bool first_ = false;
    bool raw_ = false;
    bool streaming_ = false;
    bool skippedDamage_ = false;
    int failed_ = 0;
};

} // namespace

std::unique_ptr<EntryReader> OpenLibarchiveReader(FormatSet set, const std::string& path, int& error)
{
    auto reader = std::make_unique<LibarchiveReader>(set, path);
    error = reader->Open();
    if (error != ARC_OK)
        return nullptr;
    return reader;
}

std::unique_ptr<EntryReader> OpenReader(FormatSet set, const std::string& path, int& error)
{
    switch (set) {
    case FormatSet::Arj:
        return OpenArjReader(path, error);
    case FormatSet::Bga:
        return OpenBgaReader(path, error);
    default:
        return OpenLibarchiveReader(set, path, error);
    }
}

} // namespace arc
