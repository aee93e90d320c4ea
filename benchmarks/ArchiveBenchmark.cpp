// Extraction speed of the archiver libraries, loaded with dlopen as the
// program loads them: a ZIP archive of 10,000 small files, and one large text
// file packed by ARJ (the project's own decoder) and by LHA.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/ArchiverAbi.h"

namespace fs = std::filesystem;

namespace {

struct Fixture {
    fs::path root;
    Fixture()
    {
        root = fs::temp_directory_path() / ("orvanto-archive-bench-" + std::to_string(::getpid()));
        fs::create_directories(root / "many");
        uint32_t x = 1;
        for (int i = 0; i < 10000; ++i) {
            std::string content;
            const size_t size = 200 + (i * 37) % 1800;
            while (content.size() < size) {
                x = x * 1103515245u + 12345u;
                content += "line " + std::to_string(x >> 8) + "\n";
            }
            const fs::path dir = root / "many" / ("d" + std::to_string(i / 500));
            fs::create_directories(dir);
            std::ofstream(dir / ("f" + std::to_string(i) + ".txt")) << content;
        }
        {
            std::ofstream big(root / "big.txt");
            for (uint32_t i = 0; i < 400000u; ++i)
                big << "picture " << (i * 7919u) % 100003u << " page " << i % 977u << "\n";
        }
        const std::string q = "'" + root.string() + "'";
        Run("cd " + q + "/many && zip -qr ../many.zip .");
        Run("cd " + q + " && arj a -m1 -y big.arj big.txt && jlha ao5 big.lzh big.txt");
    }
    ~Fixture()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static void Run(const std::string& command)
    {
        const int r = std::system((command + " >/dev/null 2>&1").c_str());
        if (r != 0)
            std::abort();
    }
};

Fixture& Data()
{
    static Fixture f;
    return f;
}

void ExtractWith(benchmark::State& state, const char* file, const char* entry, const std::string& archive,
                 const std::string& linePrefix)
{
    void* lib = ::dlopen((std::string(ORVANTO_BIN_DIR) + "/" + file).c_str(), RTLD_NOW);
    if (lib == nullptr) {
        state.SkipWithError("library missing");
        return;
    }
    auto command = reinterpret_cast<ArcCommandProc>(::dlsym(lib, entry));
    const fs::path out = Data().root / "out";
    char message[256];
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
        const std::string line = linePrefix + "  \"" + archive + "\" \"" + out.string() + "/\" ";
        if (command(0, line.c_str(), message, sizeof(message)) != ARC_OK)
            state.SkipWithError(message);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fs::file_size(archive)));
    ::dlclose(lib);
}

void BM_ZipTenThousandSmallFiles(benchmark::State& state)
{
    ExtractWith(state, "libunzip32.so", "UnZip", (Data().root / "many.zip").string(), "-x -o -j");
}
BENCHMARK(BM_ZipTenThousandSmallFiles)->Unit(benchmark::kMillisecond);

void BM_ArjMethod1LargeFile(benchmark::State& state)
{
    ExtractWith(state, "libunarj32j.so", "Unarj", (Data().root / "big.arj").string(), "x -+ -c1 -x0 -jse1 -jso1");
}
BENCHMARK(BM_ArjMethod1LargeFile)->Unit(benchmark::kMillisecond);

void BM_LhaLh5LargeFile(benchmark::State& state)
{
    ExtractWith(state, "libunlha32.so", "Unlha", (Data().root / "big.lzh").string(), "x -+ -c1 -x0 -jse1 -jso1");
}
BENCHMARK(BM_LhaLh5LargeFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
