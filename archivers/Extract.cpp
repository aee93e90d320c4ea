// Writing the entries of an archive into a destination folder without ever
// leaving it: every folder level is opened with O_NOFOLLOW relative to its
// parent, files are written under a temporary name and moved into place, and
// links, devices and entries beyond the size budget are refused.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Core.h"

namespace arc {
namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o) {
            Reset();
            fd_ = o.fd_;
            o.fd_ = -1;
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    void Reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

std::vector<std::string> SplitParts(const std::string& name)
{
    std::vector<std::string> parts;
    std::string cur;
    // ".." takes back the part before it and is dropped at the top, so a name
    // never climbs above the destination.
    auto flush = [&] {
        if (cur == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!cur.empty() && cur != ".") {
            parts.push_back(cur);
        }
        cur.clear();
    };
    for (const char ch : name) {
        if (ch == '/' || ch == '\\')
            flush();
        else
            cur.push_back(ch);
    }
    flush();
    // A drive prefix ("C:") is not a folder.
    if (!parts.empty() && parts[0].size() == 2 && parts[0][1] == ':')
        parts.erase(parts.begin());
    return parts;
}

bool MakeDirs(const std::string& path)
{
    if (path.empty())
        return true;
    std::string cur;
    size_t i = 0;
    while (i <= path.size()) {
        const size_t slash = path.find('/', i);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        cur = path.substr(0, end);
        if (!cur.empty() && ::mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
        i = slash + 1;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Opens (creating when asked) the folder chain below root; never follows a
// symbolic link.
Fd OpenFolderChain(int root, const std::vector<std::string>& parts, size_t count, bool create, int& error)
{
    Fd cur(::dup(root));
    for (size_t i = 0; i < count && cur.ok(); ++i) {
        if (create && ::mkdirat(cur.get(), parts[i].c_str(), 0755) != 0 && errno != EEXIST) {
            error = ARC_ERROR_MAKEDIRECTORY;
            return Fd();
        }
        Fd next(::openat(cur.get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.ok()) {
            error = ARC_ERROR_MAKEDIRECTORY;
            return Fd();
        }
        cur = std::move(next);
    }
    return cur;
}

bool Exists(int dir, const std::string& name)
{
    struct stat st {};
    return ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

// Moves a finished temporary file into place without replacing anything.
bool RenameNoReplace(int dir, const std::string& from, const std::string& to)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, dir, from.c_str(), dir, to.c_str(), 1u /* RENAME_NOREPLACE */) == 0)
        return true;
    if (errno == EEXIST)
        return false;
#endif
    if (::linkat(dir, from.c_str(), dir, to.c_str(), 0) != 0)
        return false;
    ::unlinkat(dir, from.c_str(), 0);
    return true;
}

std::string RenamedName(int dir, const std::string& name)
{
    const size_t dot = name.find_last_of('.');
    const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    for (int n = 1; n < 100000; ++n) {
        std::string candidate = stem + "_" + std::to_string(n) + ext;
        if (!Exists(dir, candidate))
            return candidate;
    }
    return std::string();
}

bool WriteAll(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool Selected(const Command& command, const std::string& name)
{
    for (const auto& ex : command.excludes)
        if (MatchMask(ex, name, command.bracketMasks))
            return false;
    if (command.files.empty())
        return true;
    for (const auto& mask : command.files)
        if (MatchMask(mask, name, command.bracketMasks))
            return true;
    return false;
}

} // namespace

std::string SafeRelativeName(const std::string& name)
{
    std::string out;
    for (const auto& p : SplitParts(name)) {
        if (!out.empty())
            out.push_back('/');
        out += p;
    }
    return out;
}

ExtractOutcome ExtractEntries(EntryReader& reader, const Command& command)
{
    ExtractOutcome result;
    auto note = [&](const std::string& s) {
        if (result.log.size() < (1u << 20))
            result.log += s + "\n";
    };
    auto fail = [&](int code, const std::string& s) {
        if (result.code == ARC_OK)
            result.code = code;
        note(s);
    };

    const std::string dest = command.destination.empty() ? std::string(".") : command.destination;
    std::string destPath = dest;
    for (char& c : destPath)
        if (c == '\\')
            c = '/';
    if (!MakeDirs(destPath)) {
        fail(ARC_ERROR_MAKEDIRECTORY, "cannot create the folder " + destPath);
        return result;
    }
    Fd root(::open(destPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.ok()) {
        fail(ARC_ERROR_MAKEDIRECTORY, "cannot open the folder " + destPath);
        return result;
    }

    const uint64_t budget = SizeBudget();
    const uint64_t fileBudget = FileBudget();
    uint64_t created = 0; // files and folders
    uint64_t total = 0;
    std::vector<uint8_t> buffer(256 * 1024);
    unsigned tempCounter = 0;

    for (;;) {
        EntryMeta meta;
        const int n = reader.Next(meta);
        if (n == -1)
            break;
        if (n != ARC_OK) {
            fail(n, "the archive is damaged or truncated");
            break;
        }
        if (!Selected(command, meta.name))
            continue;
        if (meta.kind == EntryKind::Symlink || meta.kind == EntryKind::Hardlink || meta.kind == EntryKind::Other) {
            note("skipped (link or special file): " + meta.name);
            continue;
        }
        std::vector<std::string> parts = SplitParts(meta.name);
        if (parts.empty()) {
            note("skipped (no usable name): " + meta.name);
            continue;
        }
        if (++created > fileBudget) {
            fail(ARC_ERROR_TOO_MANY_FILES, "the archive holds more files than may be extracted, at " + meta.name);
            return result;
        }
        if (meta.kind == EntryKind::Directory) {
            if (!command.keepPaths)
                continue;
            int e = ARC_OK;
            if (!OpenFolderChain(root.get(), parts, parts.size(), true, e).ok())
                fail(e, "cannot create the folder " + SafeRelativeName(meta.name));
            continue;
        }
        if (meta.encrypted) {
            fail(ARC_ERROR_PASSWORD_FILE, "encrypted entry not extracted: " + meta.name);
            continue;
        }
        if (!command.keepPaths)
            parts.erase(parts.begin(), parts.end() - 1);
        if (meta.sizeKnown && (meta.size > budget || total + meta.size > budget)) {
            fail(ARC_ERROR_SIZE_BUDGET, "the archive expands beyond the size limit at " + meta.name);
            return result;
        }
        int e = ARC_OK;
        Fd dir = OpenFolderChain(root.get(), parts, parts.size() - 1, true, e);
        if (!dir.ok()) {
            fail(e, "cannot create the folder of " + SafeRelativeName(meta.name));
            continue;
        }
        std::string leaf = parts.back();
        if (Exists(dir.get(), leaf)) {
            if (command.overwrite == Overwrite::Skip) {
                note("kept the existing file: " + SafeRelativeName(meta.name));
                continue;
            }
            if (command.overwrite == Overwrite::Rename) {
                leaf = RenamedName(dir.get(), leaf);
                if (leaf.empty()) {
                    fail(ARC_ERROR_SAME_NAME_FILE, "no free name for " + meta.name);
                    continue;
                }
            }
        }
        std::string temp;
        Fd out;
        for (int attempt = 0; attempt < 100 && !out.ok(); ++attempt) {
            temp = ".arc" + std::to_string(::getpid()) + "_" + std::to_string(++tempCounter) + ".part";
            out = Fd(::openat(dir.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
            if (!out.ok() && errno != EEXIST)
                break;
        }
        if (!out.ok()) {
            fail(ARC_ERROR_FILE_OPEN, "cannot create " + SafeRelativeName(meta.name));
            continue;
        }
        uint64_t written = 0;
        int readError = ARC_OK;
        bool overBudget = false;
        bool writeError = false;
        for (;;) {
            size_t got = 0;
            readError = reader.Read(buffer.data(), buffer.size(), got);
            if (readError != ARC_OK || got == 0)
                break;
            written += got;
            if (written > budget || total + written > budget) {
                overBudget = true;
                break;
            }
            if (!WriteAll(out.get(), buffer.data(), got)) {
                writeError = true;
                break;
            }
        }
        if (meta.hasMtime && readError == ARC_OK && !overBudget && !writeError) {
            struct timespec times[2];
            times[0].tv_sec = static_cast<time_t>(meta.mtime);
            times[0].tv_nsec = 0;
            times[1] = times[0];
            ::futimens(out.get(), times);
        }
        out.Reset();
        if (overBudget) {
            ::unlinkat(dir.get(), temp.c_str(), 0);
            fail(ARC_ERROR_SIZE_BUDGET, "the archive expands beyond the size limit at " + meta.name);
            return result;
        }
        // Data shorter or longer than the header says (a part of a split
        // archive, a sparse entry the reader leaves out) is no whole file.
        if (readError == ARC_OK && !writeError && meta.sizeKnown && written != meta.size)
            readError = ARC_ERROR_SIZE_MISMATCH;
        if (readError != ARC_OK || writeError) {
            ::unlinkat(dir.get(), temp.c_str(), 0);
            fail(writeError ? ARC_ERROR_CANNOT_WRITE : readError,
                 (writeError ? "cannot write " : "damaged entry not extracted: ") + meta.name);
            if (readError == ARC_ERROR_EOF || readError == ARC_ERROR_HEADER_BROKEN)
                break;
            continue;
        }
        total += written;
        bool placed;
        if (command.overwrite == Overwrite::Replace) {
            placed = ::renameat(dir.get(), temp.c_str(), dir.get(), leaf.c_str()) == 0;
        } else {
            placed = RenameNoReplace(dir.get(), temp, leaf);
        }
        if (!placed) {
            ::unlinkat(dir.get(), temp.c_str(), 0);
            if (command.overwrite == Overwrite::Skip && Exists(dir.get(), leaf))
                note("kept the existing file: " + SafeRelativeName(meta.name));
            else
                fail(ARC_ERROR_CANNOT_WRITE, "cannot put " + leaf + " in place");
            continue;
        }
        ++result.files;
    }
    if (reader.SkippedDamage())
        fail(ARC_ERROR_HEADER_BROKEN, "damaged headers were skipped");
    return result;
}

} // namespace arc
