// Packing, deleting and freshening. ZIP (the "Zip" entry of ZIP32J and
// LMZIP32), TAR ("c" with -z, -B or -J), 7z ("a"/"u", "d") and BGA ("a",
// "d") are written; LHA, ARJ, CAB and RAR have no writer here and report
// ARC_ERROR_NOT_SUPPORT.
//
// An existing archive is never changed in place: the new archive is written
// to a temporary file beside it (entries kept from the old one are copied
// over) and renamed over the old one only when everything succeeded.
#include <archive.h>
#include <archive_entry.h>
#include <bzlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <set>
#include <vector>

#include "Core.h"

namespace arc {
namespace {

struct SourceFile {
    std::string name; // entry name, '/'-separated
    std::string path; // file on disk
    bool directory = false;
    int64_t mtime = 0;
    uint64_t size = 0;
};

using DataReader = std::function<int(void*, size_t, size_t&)>;

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

bool HasWildcard(const std::string& s, bool bracket)
{
    return s.find_first_of(bracket ? "*?[" : "*?") != std::string::npos;
}

// Every regular file and folder below root (symbolic links are not followed).
void Walk(const std::string& root, const std::string& rel, std::vector<SourceFile>& out, int depth)
{
    if (depth > 256)
        return;
    DIR* d = ::opendir(JoinPath(root, rel).empty() ? "." : JoinPath(root, rel).c_str());
    if (d == nullptr)
        return;
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const auto& n : names) {
        const std::string r = rel.empty() ? n : rel + "/" + n;
        struct stat st {};
        if (::lstat(JoinPath(root, r).c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            out.push_back({r, JoinPath(root, r), true, st.st_mtime, 0});
            Walk(root, r, out, depth + 1);
        } else if (S_ISREG(st.st_mode)) {
            out.push_back({r, JoinPath(root, r), false, st.st_mtime, static_cast<uint64_t>(st.st_size)});
        }
    }
}

// The files a packing command names: masks and names relative to the base
// folder (every file below it when none is given).
bool CollectSources(const Command& c, std::vector<SourceFile>& out, std::string& log)
{
    std::string base = c.destination;
    for (char& ch : base)
        if (ch == '\\')
            ch = '/';
    if (base.empty())
        base = ".";
    std::vector<SourceFile> tree;
    Walk(base, "", tree, 0);
    std::set<std::string> taken;
    auto take = [&](const SourceFile& f) {
        SourceFile g = f;
        if (!c.keepPaths) {
            if (g.directory)
                return;
            const size_t slash = g.name.find_last_of('/');
            if (slash != std::string::npos)
                g.name = g.name.substr(slash + 1);
        }
        if (taken.insert(g.name).second)
            out.push_back(g);
    };
    if (c.files.empty()) {
        for (const auto& f : tree)
            take(f);
        return true;
    }
    for (std::string arg : c.files) {
        for (char& ch : arg)
            if (ch == '\\' && !c.bracketMasks)
                ch = '/';
        // An absolute path: relative to the base folder when inside it, else its own name.
        if (!arg.empty() && arg[0] == '/') {
            const std::string prefix = base.back() == '/' ? base : base + "/";
            if (arg.compare(0, prefix.size(), prefix) == 0) {
                arg = arg.substr(prefix.size());
            } else {
                struct stat st {};
                if (::lstat(arg.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                    const size_t slash = arg.find_last_of('/');
                    take({arg.substr(slash + 1), arg, false, st.st_mtime, static_cast<uint64_t>(st.st_size)});
                } else {
                    log += "not found: " + arg + "\n";
                }
                continue;
            }
        }
        bool any = false;
        for (const auto& f : tree) {
            const bool topLevel = f.name.find('/') == std::string::npos;
            bool hit = false;
            if (!HasWildcard(arg, c.bracketMasks)) {
                // A plain name: that file, or that folder with everything below it.
                std::string plain = arg;
                while (plain.size() > 1 && plain.back() == '/')
                    plain.pop_back();
                hit = f.name == plain || f.name.compare(0, plain.size() + 1, plain + "/") == 0;
            } else {
                hit = (topLevel || c.recurse || arg.find('/') != std::string::npos)
                      && MatchMask(arg, f.name, c.bracketMasks);
                // A folder named with -r brings everything below it.
                if (!hit && c.recurse) {
                    const size_t slash = f.name.find('/');
                    hit = slash != std::string::npos && MatchMask(arg, f.name.substr(0, slash), c.bracketMasks)
                          && arg.find('/') == std::string::npos;
                }
            }
            if (hit) {
                any = true;
                take(f);
            }
        }
        if (!any)
            log += "not found: " + arg + "\n";
    }
    return true;
}

// --- writers

class Sink {
public:
    virtual ~Sink() = default;
    virtual int Add(const EntryMeta& meta, const DataReader& data) = 0;
    virtual int Finish() = 0;
};

class LibarchiveSink : public Sink {
public:
    LibarchiveSink(FormatSet set, const Command& c, int fd) : set_(set)
    {
        Utf8LocaleScope scope;
        a_ = archive_write_new();
        if (set == FormatSet::Zip) {
            archive_write_set_format_zip(a_);
            if (c.level == 0)
                archive_write_set_options(a_, "zip:compression=store");
            else if (c.level > 0)
                archive_write_set_options(a_, ("zip:compression-level=" + std::to_string(c.level)).c_str());
        } else if (set == FormatSet::SevenZip) {
            archive_write_set_format_7zip(a_);
            if (c.level == 0)
                archive_write_set_options(a_, "7zip:compression=store");
        } else {
            archive_write_set_format_pax_restricted(a_);
            if (c.compression == 'z')
                archive_write_add_filter_gzip(a_);
            else if (c.compression == 'B')
                archive_write_add_filter_bzip2(a_);
            else if (c.compression == 'J')
                archive_write_add_filter_xz(a_);
            if (c.compression != 0 && c.level > 0 && c.level <= 9)
                archive_write_set_filter_option(a_, nullptr, "compression-level", std::to_string(c.level).c_str());
        }
        ok_ = archive_write_open_fd(a_, fd) == ARCHIVE_OK;
    }
    ~LibarchiveSink() override
    {
        if (a_ != nullptr)
            archive_write_free(a_);
    }

    int Add(const EntryMeta& meta, const DataReader& data) override
    {
        if (!ok_)
            return ARC_ERROR_CANNOT_WRITE;
        Utf8LocaleScope scope;
        // The size goes into the header before the data: entries of unknown size
        // are read into memory first.
        std::string buffered;
        uint64_t size = meta.size;
        const bool file = meta.kind == EntryKind::File;
        if (file && !meta.sizeKnown) {
            char buf[65536];
            for (;;) {
                size_t got = 0;
                const int e = data(buf, sizeof(buf), got);
                if (e != ARC_OK)
                    return e;
                if (got == 0)
                    break;
                buffered.append(buf, got);
                if (buffered.size() > SizeBudget())
                    return ARC_ERROR_SIZE_BUDGET;
            }
            size = buffered.size();
        }
        archive_entry* e = archive_entry_new();
        std::string name = meta.name;
        // ZIP marks folders by a trailing slash; 7z by attributes alone.
        if (!file && set_ != FormatSet::SevenZip && (name.empty() || name.back() != '/'))
            name += '/';
        while (set_ == FormatSet::SevenZip && name.size() > 1 && name.back() == '/')
            name.pop_back();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_filetype(e, file ? AE_IFREG : AE_IFDIR);
        archive_entry_set_perm(e, file ? 0644 : 0755);
        archive_entry_set_size(e, file ? static_cast<la_int64_t>(size) : 0);
        if (meta.hasMtime)
            archive_entry_set_mtime(e, meta.mtime, 0);
        int result = archive_write_header(a_, e) == ARCHIVE_OK ? ARC_OK : ARC_ERROR_CANNOT_WRITE;
        archive_entry_free(e);
        if (result != ARC_OK || !file)
            return result;
        if (!meta.sizeKnown) {
            if (!buffered.empty()
                && archive_write_data(a_, buffered.data(), buffered.size()) != static_cast<la_ssize_t>(buffered.size()))
                return ARC_ERROR_CANNOT_WRITE;
            return ARC_OK;
        }
        std::vector<char> buf(256 * 1024);
        uint64_t done = 0;
        for (;;) {
            size_t got = 0;
            const int r = data(buf.data(), buf.size(), got);
            if (r != ARC_OK)
                return r;
            if (got == 0)
                break;
            done += got;
            if (done > size)
                return ARC_ERROR_FILE_STYLE; // the file grew while being packed
            if (archive_write_data(a_, buf.data(), got) != static_cast<la_ssize_t>(got))
                return ARC_ERROR_CANNOT_WRITE;
        }
        return done == size ? ARC_OK : ARC_ERROR_FILE_STYLE;
    }

    int Finish() override
    {
        if (!ok_)
            return ARC_ERROR_CANNOT_WRITE;
        Utf8LocaleScope scope;
        return archive_write_close(a_) == ARCHIVE_OK ? ARC_OK : ARC_ERROR_CANNOT_WRITE;
    }

private:
    FormatSet set_;
    archive* a_ = nullptr;
    bool ok_ = false;
};

// BGA entries: the layout BgaReader.cpp reads (28-byte header, folder and file
// name with backslashes, deflate or bzip2 data; stored when that is smaller).
class BgaSink : public Sink {
public:
    BgaSink(FILE* f, bool bzip, int level) : f_(f), bzip_(bzip), level_(level < 0 || level > 9 ? 9 : level) {}

    int Add(const EntryMeta& meta, const DataReader& data) override
    {
        if (meta.kind != EntryKind::File)
            return ARC_OK; // folders live in the entries' names
        std::string content;
        char buf[65536];
        for (;;) {
            size_t got = 0;
            const int e = data(buf, sizeof(buf), got);
            if (e != ARC_OK)
                return e;
            if (got == 0)
                break;
            content.append(buf, got);
            if (content.size() >= 0xffffffffull)
                return ARC_ERROR_SIZE_BUDGET;
        }
        std::string packed;
        if (level_ > 0 && !content.empty())
            packed = bzip_ ? Bzip(content) : Deflate(content);
        const bool stored = packed.empty() || packed.size() >= content.size();
        const std::string& body = stored ? content : packed;
        std::string name = meta.name;
        for (char& ch : name)
            if (ch == '/')
                ch = '\\';
        const size_t slash = name.find_last_of('\\');
        const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
        const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
        if (folder.size() > 0xffff || file.size() > 0xffff)
            return ARC_ERROR_LONG_FILE_NAME;
        uint16_t date = 0, time = 0;
        UnixToDosDateTime(meta.hasMtime ? meta.mtime : 0, date, time);
        std::string h;
        h += bzip_ ? std::string("BZ2\0", 4) : std::string("GZIP");
        Put32(h, static_cast<uint32_t>(body.size()));
        Put32(h, static_cast<uint32_t>(content.size()));
        Put16(h, date);
        Put16(h, time);
        h.push_back('\x20');
        h.push_back('\0');
        Put16(h, stored ? 0 : 1);
        Put16(h, static_cast<uint16_t>(folder.size()));
        Put16(h, static_cast<uint16_t>(file.size()));
        h += folder + file;
        int32_t sum = 0;
        for (const char ch : h)
            sum += static_cast<signed char>(ch);
        std::string sumBytes;
        Put32(sumBytes, static_cast<uint32_t>(sum));
        if (std::fwrite(sumBytes.data(), 1, 4, f_) != 4 || std::fwrite(h.data(), 1, h.size(), f_) != h.size()
            || std::fwrite(body.data(), 1, body.size(), f_) != body.size())
            return ARC_ERROR_CANNOT_WRITE;
        return ARC_OK;
    }

    int Finish() override { return std::fflush(f_) == 0 ? ARC_OK : ARC_ERROR_CANNOT_WRITE; }

private:
    static void Put16(std::string& s, uint16_t v)
    {
        s.push_back(static_cast<char>(v & 0xff));
        s.push_back(static_cast<char>(v >> 8));
    }
    static void Put32(std::string& s, uint32_t v)
    {
        Put16(s, static_cast<uint16_t>(v & 0xffff));
        Put16(s, static_cast<uint16_t>(v >> 16));
    }
    std::string Deflate(const std::string& in) const
    {
        z_stream z{};
        if (deflateInit2(&z, level_, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            return {};
        std::string out(deflateBound(&z, in.size()) + 64, '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const int r = deflate(&z, Z_FINISH);
        out.resize(z.total_out);
        deflateEnd(&z);
        return r == Z_STREAM_END ? out : std::string();
    }
    std::string Bzip(const std::string& in) const
    {
        unsigned size = static_cast<unsigned>(in.size() + in.size() / 100 + 1024);
        std::string out(size, '\0');
        if (BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(in.data()), static_cast<unsigned>(in.size()),
                                     level_, 0, 0)
            != BZ_OK)
            return {};
        out.resize(size);
        return out;
    }

    FILE* f_;
    bool bzip_;
    int level_;
};

std::string LowerExtension(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot);
    for (char& ch : ext)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

int ReadFromFile(int fd, void* buffer, size_t size, size_t& got)
{
    got = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return ARC_ERROR_CANNOT_READ;
        got = static_cast<size_t>(n);
        return ARC_OK;
    }
}

} // namespace

int PackEntries(const LibraryTraits& lib, Dialect dialect, const Command& c, std::string& log)
{
    const bool zip = dialect == Dialect::Zip;
    const bool tar = dialect == Dialect::Tar && c.action == Action::Pack;
    const bool sevenZip = dialect == Dialect::SevenZip;
    const bool bga = dialect == Dialect::Bga;
    if (!(zip || tar || sevenZip || bga) || (tar && c.action != Action::Pack)
        || (!zip && c.action == Action::Freshen)) {
        log += std::string(lib.name) + ": this library does not write archives of this kind\n";
        return ARC_ERROR_NOT_SUPPORT;
    }
    const FormatSet set = zip ? FormatSet::Zip : sevenZip ? FormatSet::SevenZip : bga ? FormatSet::Bga : FormatSet::Tar;

    std::vector<SourceFile> sources;
    if (c.action != Action::Delete && !CollectSources(c, sources, log))
        return ARC_ERROR_NOT_FILENAME;

    // The entries of the existing archive that stay (TAR "c" always starts anew).
    struct stat archiveStat {};
    const bool exists = ::stat(c.archive.c_str(), &archiveStat) == 0;
    std::unique_ptr<EntryReader> old;
    if (exists && !tar) {
        int e = ARC_OK;
        old = OpenReader(set, c.archive, e);
        if (!old) {
            log += c.archive + ": not an archive this library can update\n";
            return e;
        }
    } else if (c.action == Action::Delete || c.action == Action::Freshen) {
        log += c.archive + ": no such archive\n";
        return ARC_ERROR_NOT_FIND_ARC_FILE;
    }

    std::string temp = c.archive + ".XXXXXX";
    std::vector<char> tmpl(temp.begin(), temp.end());
    tmpl.push_back('\0');
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        log += "cannot create a temporary file beside " + c.archive + "\n";
        return ARC_ERROR_TMP_OPEN;
    }
    temp = tmpl.data();
    FILE* bgaFile = nullptr;
    std::unique_ptr<Sink> sink;
    if (bga) {
        bgaFile = ::fdopen(fd, "wb");
        sink = std::make_unique<BgaSink>(bgaFile, LowerExtension(c.archive) == ".bza", c.level);
    } else {
        sink = std::make_unique<LibarchiveSink>(set, c, fd);
    }

    std::set<std::string> replaced; // names the new files take over
    if (c.action == Action::Freshen) {
        std::vector<SourceFile> fresh;
        for (const auto& s : sources)
            fresh.push_back(s);
        sources.clear();
        // Only entries already in the archive, and only when the file is newer.
        std::map<std::string, int64_t> times;
        for (;;) {
            EntryMeta m;
            const int r = old->Next(m);
            if (r != ARC_OK)
                break;
            times[m.name] = m.mtime;
        }
        int e = ARC_OK;
        old = OpenReader(set, c.archive, e);
        for (const auto& s : fresh) {
            auto it = times.find(s.name);
            if (it != times.end() && s.mtime > it->second + 1)
                sources.push_back(s);
        }
    }
    for (const auto& s : sources)
        replaced.insert(s.directory ? s.name + "/" : s.name);

    int result = ARC_OK;
    size_t deleted = 0, kept = 0, added = 0;
    if (old) {
        for (;;) {
            EntryMeta m;
            const int r = old->Next(m);
            if (r == -1)
                break;
            if (r != ARC_OK) {
                result = r;
                break;
            }
            std::string key = m.name;
            if (m.kind == EntryKind::Directory && (key.empty() || key.back() != '/'))
                key += '/';
            if (c.action == Action::Delete) {
                bool hit = false;
                for (const auto& mask : c.files)
                    hit = hit || MatchMask(mask, m.name, c.bracketMasks);
                if (hit) {
                    ++deleted;
                    continue;
                }
            }
            if (replaced.count(key) != 0)
                continue;
            if (m.kind != EntryKind::File && m.kind != EntryKind::Directory)
                continue;
            EntryReader* reader = old.get();
            result = sink->Add(m, [reader](void* b, size_t n, size_t& got) { return reader->Read(b, n, got); });
            if (result != ARC_OK)
                break;
            ++kept;
        }
    }
    for (size_t i = 0; result == ARC_OK && i < sources.size(); ++i) {
        const SourceFile& s = sources[i];
        EntryMeta m;
        m.name = s.name;
        m.kind = s.directory ? EntryKind::Directory : EntryKind::File;
        m.mtime = s.mtime;
        m.hasMtime = true;
        m.size = s.size;
        m.sizeKnown = true;
        if (s.directory) {
            result = sink->Add(m, [](void*, size_t, size_t& got) {
                got = 0;
                return ARC_OK;
            });
        } else {
            const int in = ::open(s.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (in < 0) {
                log += "cannot read " + s.path + "\n";
                result = ARC_ERROR_CANNOT_READ;
                break;
            }
            result = sink->Add(m, [in](void* b, size_t n, size_t& got) { return ReadFromFile(in, b, n, got); });
            ::close(in);
        }
        ++added;
    }
    if (result == ARC_OK && c.action == Action::Delete && deleted == 0) {
        log += "no entry matched\n";
        result = ARC_ERROR_NOT_EXIST;
    }
    if (result == ARC_OK)
        result = sink->Finish();
    sink.reset();
    old.reset();
    if (bgaFile != nullptr) {
        if (std::fclose(bgaFile) != 0 && result == ARC_OK)
            result = ARC_ERROR_CANNOT_WRITE;
    } else {
        if (::fsync(fd) != 0 && result == ARC_OK)
            result = ARC_ERROR_CANNOT_WRITE;
        ::close(fd);
    }
    if (result == ARC_OK) {
        ::chmod(temp.c_str(), exists ? (archiveStat.st_mode & 07777) : 0644);
        if (::rename(temp.c_str(), c.archive.c_str()) != 0)
            result = ARC_ERROR_CANNOT_WRITE;
    }
    if (result != ARC_OK) {
        ::unlink(temp.c_str());
        return result;
    }
    log +=
        std::to_string(added) + " added, " + std::to_string(kept) + " kept, " + std::to_string(deleted) + " deleted\n";
    return ARC_OK;
}

} // namespace arc
