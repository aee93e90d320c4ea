#include "ArchiverTestSupport.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace arctest {

ScratchDir::ScratchDir()
{
    std::string tmpl = (fs::temp_directory_path() / "orvanto-arc-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string Quote(const std::string& s)
{
    std::string out = "'";
    for (const char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out.push_back(c);
    }
    return out + "'";
}

int Shell(const std::string& folder, const std::string& command)
{
    const std::string full = "cd " + Quote(folder) + " && (" + command + ") >/dev/null 2>&1";
    const int r = std::system(full.c_str());
    return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
}

void WriteFile(const std::string& path, const std::string& content)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool PathExists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::map<std::string, std::string> FilesBelow(const std::string& folder)
{
    std::map<std::string, std::string> out;
    std::error_code ec;
    if (!fs::exists(folder, ec))
        return out;
    for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_regular_file() && !it->is_symlink())
            out[fs::relative(it->path(), folder).string()] = ReadFile(it->path().string());
    }
    return out;
}

void PatchBytes(const std::string& path, const std::string& from, const std::string& to)
{
    std::string data = ReadFile(path);
    size_t pos = 0;
    int count = 0;
    while ((pos = data.find(from, pos)) != std::string::npos) {
        data.replace(pos, from.size(), to);
        pos += to.size();
        ++count;
    }
    if (count == 0)
        throw std::runtime_error("pattern not found in " + path);
    WriteFile(path, data);
}

std::string TestData()
{
    return ORVANTO_TEST_DATA;
}

std::string MissingTool(std::initializer_list<const char*> tools)
{
    for (const char* tool : tools) {
        if (Shell("/", std::string("command -v ") + Quote(tool)) != 0)
            return tool;
    }
    return {};
}

void Truncate(const std::string& path, uint64_t size)
{
    fs::resize_file(path, size);
}

Library::Library(const std::string& file)
{
    handle_ = ::dlopen((std::string(ORVANTO_BIN_DIR) + "/" + file).c_str(), RTLD_NOW | RTLD_LOCAL);
}

Library::~Library()
{
    if (handle_ != nullptr) {
        SetBudget(0);
        ::dlclose(handle_);
    }
}

void* Library::Symbol(const std::string& name) const
{
    return handle_ == nullptr ? nullptr : ::dlsym(handle_, name.c_str());
}

int32_t Library::Command(const std::string& entry, const std::string& line, std::string* message,
                         uint32_t outputSize) const
{
    auto fn = Get<ArcCommandProc>(entry);
    if (fn == nullptr)
        throw std::runtime_error("entry missing: " + entry);
    std::vector<char> out(outputSize + 1, '\0');
    const int32_t r = fn(0, line.c_str(), outputSize > 0 ? out.data() : nullptr, outputSize);
    if (message != nullptr)
        *message = out.data();
    return r;
}

void Library::SetBudget(uint64_t bytes) const
{
    auto fn = Get<void (*)(uint64_t)>("OrvantoArchiverSetSizeBudget");
    if (fn != nullptr)
        fn(bytes);
}

} // namespace arctest
