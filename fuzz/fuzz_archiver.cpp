// Fuzz target for one archiver library through its command entry: the input
// is written to a file and extracted with the command line the program's
// format handler writes, into a fresh folder that is removed afterwards.
// Built once per format with FUZZ_FORMAT (arc::FormatSet), FUZZ_DIALECT
// (arc::Dialect), FUZZ_LINE (0 LHA, 1 ZIP, 2 TAR, 3 RAR, 4 BGA, 5 7z) and
// FUZZ_SUFFIX (the archive's extension).
#include "Core.h"

#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace {

std::string LineFor(const std::string& a, const std::string& d)
{
    switch (FUZZ_LINE) {
    case 0:
        return "x -+ -c1 -x0 -jse1 -jso1  \"" + a + "\" \"" + d + "/\" ";
    case 1:
        return "-x -o -j  \"" + a + "\" \"" + d + "/\" ";
    case 2:
        return "x --use-directory=0  -f \"" + a + "\" -o \"" + d + "/\" ";
    case 3:
        return "-e  \"" + a + "\" \"" + d + "/\" ";
    case 4:
        return "x -o -j  \"" + a + "\" \"" + d + "/\" ";
    default:
        return "e -aoa \"-o" + d + "/\"  \"" + a + "\" ";
    }
}

int RemoveOne(const char* path, const struct stat*, int, struct FTW*)
{
    return ::remove(path);
}

const std::string& WorkFolder()
{
    static const std::string folder = [] {
        char pattern[] = "/dev/shm/orvanto-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Keep single findings small enough to run quickly.
    arc::SetSizeBudget(64ull << 20);
    arc::SetFileBudget(2000);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string archive = WorkFolder() + "/input" FUZZ_SUFFIX;
    const std::string dest = WorkFolder() + "/out";
    FILE* file = std::fopen(archive.c_str(), "wb");
    if (!file)
        return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    static const arc::LibraryTraits library{"FUZZ", FUZZ_FORMAT};
    char output[1024];
    arc::RunCommand(library, FUZZ_DIALECT, 0, LineFor(archive, dest).c_str(), output, sizeof output);
    ::nftw(dest.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
    return 0;
}
