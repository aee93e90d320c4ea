// The cost of the helper process: a 12-megapixel picture decoded by a
// plug-in, and a 500-picture ZIP and 7z unpacked by the archiver
// libraries, each measured in the program (as before) and through the
// helper in the same run. The helper is started before timing (it is kept
// running in use).
#include "archive/ArchiveFile.h"
#include "archive/SevenZip32.h"
#include "archive/Zip32.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "helper/HelperClient.h"
#include "platform/DynamicLibrary.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

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

void Unpack(benchmark::State& state, const QString& kind, bool isolated)
{
    const QString archive = Archive(kind);
    if (!QFile::exists(archive)) {
        state.SkipWithError("the archiving tool is missing");
        return;
    }
    helper::SetIsolation(isolated);
    RebindLibraries();
    // One untimed unpack loads the library (and starts the helper).
    const QString warm = Scratch().filePath(QStringLiteral("warm-%1-%2").arg(kind).arg(isolated));
    QDir().mkpath(warm);
    ExtractOnce(archive, warm);
    QDir(warm).removeRecursively();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString out = Scratch().filePath(QStringLiteral("out-%1-%2-%3").arg(kind).arg(isolated).arg(run++));
        QDir().mkpath(out);
        state.ResumeTiming();
        const int rc = ExtractOnce(archive, out);
        state.PauseTiming();
        if (rc != 0 || QDir(out).entryList(QDir::Files).size() != 500)
            state.SkipWithError("the archive did not unpack");
        QDir(out).removeRecursively();
        state.ResumeTiming();
    }
    if (isolated && helper::HelperClient::Archivers().StartCount() == 0)
        state.SkipWithError("the helper was never used");
    helper::SetIsolation(false);
    RebindLibraries();
}

void BM_Picture12MP_InProgram(benchmark::State& s)
{
    DecodePicture(s, false);
}
void BM_Picture12MP_ThroughHelper(benchmark::State& s)
{
    DecodePicture(s, true);
}
void BM_Zip500_InProgram(benchmark::State& s)
{
    Unpack(s, QStringLiteral("zip"), false);
}
void BM_Zip500_ThroughHelper(benchmark::State& s)
{
    Unpack(s, QStringLiteral("zip"), true);
}
void BM_SevenZip500_InProgram(benchmark::State& s)
{
    Unpack(s, QStringLiteral("7z"), false);
}
void BM_SevenZip500_ThroughHelper(benchmark::State& s)
{
    Unpack(s, QStringLiteral("7z"), true);
}

BENCHMARK(BM_Picture12MP_InProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Picture12MP_ThroughHelper)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Zip500_InProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_Zip500_ThroughHelper)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_SevenZip500_InProgram)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_SevenZip500_ThroughHelper)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

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
