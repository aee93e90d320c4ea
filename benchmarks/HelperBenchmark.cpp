// The cost of the helper process: a 12-megapixel picture decoded by a
// plug-in, and a 500-picture ZIP and 7z unpacked by the archiver
// libraries, each measured in the program (as before) and through the
// helper in the same run. The helper is started before timing (it is kept
// running in use). The two ways of unpacking take turns within one
// benchmark, each after an untimed unpack of its own.
#include "archive/ArchiveFile.h"
#include "archive/SevenZip32.h"
#include "archive/Zip32.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "helper/HelperClient.h"
#include "platform/DynamicLibrary.h"
#include "platform/GuardedProcess.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <vector>

namespace {

QTemporaryDir& Scratch()
{
    static QTemporaryDir dir;
    return dir;
}

// A 4000 × 3000 PPM (36 MB of pixels) with varied content.
const QString& BigPicture()
{
    static const QString path = [] {
        const QString file = Scratch().filePath(QStringLiteral("big.ppm"));
        QByteArray data("P6\n4000 3000\n255\n");
        const qsizetype header = data.size();
        data.resize(header + 4000 * 3000 * 3);
        for (qsizetype i = 0; i < 4000 * 3000 * 3; ++i)
            data[header + i] = char((i * 2654435761u) >> 24);
        QFile out(file);
        out.open(QIODevice::WriteOnly);
        out.write(data);
        return file;
    }();
    return path;
}

// 500 pictures of 30 KB each, packed by the real tool into kind ("zip", "7z").
QString Archive(const QString& kind)
{
    const QString folder = Scratch().filePath(QStringLiteral("pictures"));
    if (!QDir(folder).exists()) {
        QDir().mkpath(folder);
        QRandomGenerator random(7);
        for (int i = 0; i < 500; ++i) {
            QByteArray bytes(30000, '\0');
            for (auto& b : bytes)
                b = char(random.bounded(256));
            QFile out(QStringLiteral("%1/p%2.jpg").arg(folder).arg(i, 3, 10, QLatin1Char('0')));
            out.open(QIODevice::WriteOnly);
            out.write(bytes);
        }
    }
    const QString archive = Scratch().filePath(QStringLiteral("pictures.") + kind);
    if (!QFile::exists(archive)) {
        QProcess tool;
        tool.setWorkingDirectory(folder);
        if (kind == QLatin1String("zip"))
            tool.start(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-0"), QStringLiteral("-r"),
                                               archive, QStringLiteral(".")});
        else
            tool.start(QStringLiteral("7z"), {QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-mx=1"),
                                              archive, QStringLiteral(".")});
        tool.waitForFinished(300000);
    }
    return archive;
}

void DecodePicture(benchmark::State& state, bool isolated)
{
    helper::SetIsolation(isolated);
    auto spis = std::make_unique<TSPIs>();
    ConfigureViewerSPIs(*spis);
    SearchViewerPlugins(*spis, QStringLiteral(ORVANTO_BIN_DIR "/plugins"));
    const QString path = BigPicture();
    for (auto _ : state) {
        TSPIGraphic graphic;
        graphic.LoadFromFile(path);
        if (graphic.Width() != 4000)
            state.SkipWithError("the picture did not decode");
        benchmark::DoNotOptimize(graphic.PixelSize());
    }
    spis.reset();
    helper::SetIsolation(false);
}

// Binds the archiver libraries afresh, in the program or in the helper as
// isolation now says (a library stays bound the way it was first loaded).
void RebindLibraries()
{
    TZip32::FreeClassDLL();
    TSevenZip32::FreeClassDLL();
}

int ExtractOnce(const QString& archive, const QString& out)
{
    TArchiveFile file;
    file.SetFileName(archive);
    file.Options().x = 0;
    file.Options().c = 1;
    return file.Extract(0, nullptr, out, TFileList());
}

// Where the pictures are unpacked: a folder in memory when there is one.
// On a disk the creation of 500 files right after 500 were removed costs
// what the file system's history makes it (an ext4 without journal searches
// past every inode freed in the last seconds), which is neither the
// program's nor the helper's work.
const QString& UnpackRoot()
{
    static QTemporaryDir memory(QStringLiteral("/dev/shm/orvanto-unpack-XXXXXX"));
    static const QString root = memory.isValid() ? memory.path() : Scratch().path();
    return root;
}

// Processor seconds used so far by the process that unpacks: this one, or
// the helper (counted in ticks of 10 ms, so only their mean over many
// unpacks tells much).
double UnpackerCpuSeconds(bool isolated)
{
    return platform::ProcessCpuSeconds(isolated ? helper::HelperClient::Archivers().ProcessId()
                                                : int(QCoreApplication::applicationPid()));
}

double Mean(const std::vector<double>& values)
{
    return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct UnpackFigures {
    std::vector<double> ms;
    std::vector<double> cpuMs;
};

// One timed unpack in the program or through the helper, after an untimed
// one that binds the library that way (and starts the helper).
bool TimedUnpack(const QString& archive, const QString& kind, bool isolated, UnpackFigures& figures)
{
    helper::SetIsolation(isolated);
    RebindLibraries();
    const QString warm = UnpackRoot() + QStringLiteral("/warm-%1").arg(kind);
    const QString out = UnpackRoot() + QStringLiteral("/out-%1").arg(kind);
    QDir().mkpath(warm);
    QDir().mkpath(out);
    ExtractOnce(archive, warm);
    QDir(warm).removeRecursively();
    const int starts = helper::HelperClient::Archivers().StartCount();

    const double cpuBefore = UnpackerCpuSeconds(isolated);
    const auto begin = std::chrono::steady_clock::now();
    const int rc = ExtractOnce(archive, out);
    const auto end = std::chrono::steady_clock::now();
    figures.cpuMs.push_back((UnpackerCpuSeconds(isolated) - cpuBefore) * 1e3);
    figures.ms.push_back(std::chrono::duration<double, std::milli>(end - begin).count());

    const bool unpacked = rc == 0 && QDir(out).entryList(QDir::Files).size() == 500;
    QDir(out).removeRecursively();
    // Through the helper, the same warm helper must have done the work.
    return unpacked && (!isolated || (starts > 0 && helper::HelperClient::Archivers().StartCount() == starts));
}

// The program and the helper unpack in turn, one after the other in every
// iteration (which goes first alternates), so that both meet the same load
// of the machine. Printed: the median time of each way and their ratio, and
// the mean processor time of each way (which the load does not change); the
// time of an iteration is both unpacks together.
void Unpack(benchmark::State& state, const QString& kind)
{
    const QString archive = Archive(kind);
    if (!QFile::exists(archive)) {
        state.SkipWithError("the archiving tool is missing");
        return;
    }
    UnpackFigures inProgram;
    UnpackFigures throughHelper;
    bool helperFirst = false;
    for (auto _ : state) {
        bool ok = true;
        for (bool isolated : {helperFirst, !helperFirst})
            ok = TimedUnpack(archive, kind, isolated, isolated ? throughHelper : inProgram) && ok;
        helperFirst = !helperFirst;
        if (!ok) {
            state.SkipWithError("the archive did not unpack, or the helper was restarted");
            break;
        }
        state.SetIterationTime((inProgram.ms.back() + throughHelper.ms.back()) / 1e3);
    }
    helper::SetIsolation(false);
    RebindLibraries();
    const double programMs = Median(inProgram.ms);
    const double helperMs = Median(throughHelper.ms);
    state.counters["in_program_ms"] = programMs;
    state.counters["through_helper_ms"] = helperMs;
    state.counters["helper_ratio"] = programMs > 0 ? helperMs / programMs : 0;
    state.counters["in_program_cpu_ms"] = Mean(inProgram.cpuMs);
    state.counters["through_helper_cpu_ms"] = Mean(throughHelper.cpuMs);
}

void BM_Picture12MP_InProgram(benchmark::State& s)
{
    DecodePicture(s, false);
}
void BM_Picture12MP_ThroughHelper(benchmark::State& s)
{
    DecodePicture(s, true);
}
void BM_Zip500_InProgramAndThroughHelper(benchmark::State& s)
{
    Unpack(s, QStringLiteral("zip"));
}
void BM_SevenZip500_InProgramAndThroughHelper(benchmark::State& s)
{
    Unpack(s, QStringLiteral("7z"));
}

BENCHMARK(BM_Picture12MP_InProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Picture12MP_ThroughHelper)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Zip500_InProgramAndThroughHelper)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2);
BENCHMARK(BM_SevenZip500_InProgramAndThroughHelper)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
    platform::AddLibrarySearchFolder(QStringLiteral(ORVANTO_BIN_DIR));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
