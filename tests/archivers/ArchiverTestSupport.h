#pragma once
// Helpers for the archiver library tests: a scratch folder, running the real
// archiving tools, loading the libraries with dlopen.
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

#include "archive/ArchiverAbi.h"

namespace arctest {

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs a shell command in a folder; returns its exit status.
int Shell(const std::string& folder, const std::string& command);

void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path); // without following a final link
// Every regular file below folder, by path relative to it, with its content.
std::map<std::string, std::string> FilesBelow(const std::string& folder);
// Replaces every occurrence of from by to (same length) in a file's bytes.
void PatchBytes(const std::string& path, const std::string& from, const std::string& to);
void Truncate(const std::string& path, uint64_t size);
std::string Quote(const std::string& s); // for the shell
// The repository's own test data folder (tests/data).
std::string TestData();
// The first of these programs that cannot be found on the PATH, or empty.
std::string MissingTool(std::initializer_list<const char*> tools);
#define SKIP_WITHOUT_TOOLS(...)                                                                                        \
    do {                                                                                                               \
        const std::string missing_ = MissingTool({__VA_ARGS__});                                                       \
        if (!missing_.empty())                                                                                         \
            GTEST_SKIP() << missing_ << " is not installed";                                                           \
    } while (0)
// Runs a shell command for a test; a command the shell cannot find (exit
// status 127, a tool not installed) skips the test with that reason.
#define ASSERT_SHELL_OK(folder, command)                                                                               \
    do {                                                                                                               \
        const std::string command_ = (command);                                                                        \
        const int status_ = Shell((folder), command_);                                                                 \
        if (status_ == 127)                                                                                            \
            GTEST_SKIP() << "a tool this test needs is not installed: " << command_;                                   \
        ASSERT_EQ(status_, 0) << command_;                                                                             \
    } while (0)

// One archiver library, loaded from the program folder with dlopen.
class Library {
public:
    explicit Library(const std::string& file); // "libunlha32.so"
    ~Library();
    bool loaded() const { return handle_ != nullptr; }
    void* Symbol(const std::string& name) const;
    template <class F> F Get(const std::string& name) const { return reinterpret_cast<F>(Symbol(name)); }
    // Calls the command entry `entry`; the library's message goes to message.
    int32_t Command(const std::string& entry, const std::string& line, std::string* message = nullptr,
                    uint32_t outputSize = 4096) const;
    void SetBudget(uint64_t bytes) const;

private:
    void* handle_ = nullptr;
};

} // namespace arctest
