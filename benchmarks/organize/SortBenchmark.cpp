// Sorting 1,000 pictures by digit keys in copy mode, without the completion
// message's one-second wait, next to a bare copy of the same files: the time
// per transfer should be the file system's, not the program's.
#include "organize/TransferEngine.h"
#include "platform/Files.h"
#include "settings/Settings.h"
#include "viewer/ViewerSession.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <filesystem>

#include <unistd.h>

namespace {

constexpr int kPictures = 1000;
constexpr int kPictureBytes = 48 * 1024;

// The picture folder, made once.
struct Pile {
    QTemporaryDir root;
    QStringList files;
    Pile()
    {
        QDir().mkpath(root.path() + "/pile");
        QByteArray data(kPictureBytes, '\0');
        for (int i = 0; i < kPictureBytes; ++i)
            data[i] = static_cast<char>((i * 7919) & 0xff);
        for (int k = 0; k < kPictures; ++k) {
            const QString path =
                QStringLiteral("%1/pile/picture %2.jpg").arg(root.path()).arg(k, 4, 10, QLatin1Char('0'));
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            data[0] = static_cast<char>(k);
            f.write(data);
            files << path;
        }
        // The pile is on disk before anything is timed, so that no run pays
        // for writing it back.
        ::sync();
    }
    QString FreshDestination(int run)
    {
        const QString folder = QStringLiteral("%1/dest%2").arg(root.path()).arg(run);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        return folder;
    }
};

Pile& pile()
{
    static Pile p;
    return p;
}

class SilentUi : public ITransferUi {
public:
    int AskSameName(const QString&, const QString&) override { return srCancel; }
    QString InputNewName(const QString&, const QString&) override { return QString(); }
    bool BrowseFolder(const QString&, const QString&, QString*) override { return false; }
    void Beep() override {}
    void Error(const QString&) override { ++errors; }
    void Done(const QString&) override {}
    bool RecycleFile(const QString&) override { return true; }
    void Wait(int) override {}
    int errors = 0;
};

void BM_SortByDigitKeys(benchmark::State& state)
{
    Pile& p = pile();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The real viewer session: each showing checks that the shown
        // file still exists.
        ViewerSession session;
        SilentUi ui;
        session.Images().Assign(p.files);
        session.Config().Option.Buttons[0].Folder = p.FreshDestination(run++);
        TTransferEngine engine(session, ui);
        state.ResumeTiming();
        for (int k = 0; k < kPictures; ++k)
            engine.ArBitBtnProcess(0);
        state.PauseTiming();
        if (ui.errors)
            state.SkipWithError("a transfer failed");
        QDir(session.Config().Option.Buttons[0].Folder).removeRecursively();
        state.ResumeTiming();
    }
    state.counters["time_per_transfer"] = benchmark::Counter(static_cast<double>(state.iterations() * kPictures),
                                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * kPictures);
}

// The platform layer's copy (temporary file, flush, rename) alone.
void BM_BarePlatformCopy(benchmark::State& state)
{
    Pile& p = pile();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QString folder = p.FreshDestination(1000 + run++) + "/";
        state.ResumeTiming();
        for (const QString& file : p.files)
            platform::CopyFile(file, folder + file.mid(file.lastIndexOf('/') + 1), true);
        state.PauseTiming();
        QDir(folder).removeRecursively();
        state.ResumeTiming();
    }
    state.counters["time_per_transfer"] = benchmark::Counter(static_cast<double>(state.iterations() * kPictures),
                                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * kPictures);
}

// The standard library's plain copy of the same files.
void BM_BareStdCopy(benchmark::State& state)
{
    Pile& p = pile();
    int run = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = p.FreshDestination(2000 + run++).toStdString() + "/";
        state.ResumeTiming();
        for (const QString& file : p.files) {
            const std::string from = file.toStdString();
            std::filesystem::copy_file(from, folder + from.substr(from.rfind('/') + 1));
        }
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        state.ResumeTiming();
    }
    state.counters["time_per_transfer"] = benchmark::Counter(static_cast<double>(state.iterations() * kPictures),
                                                             benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(state.iterations() * kPictures);
}

} // namespace

BENCHMARK(BM_SortByDigitKeys)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_BarePlatformCopy)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_BareStdCopy)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

BENCHMARK_MAIN();
