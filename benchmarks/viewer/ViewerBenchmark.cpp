// Viewer speed: building the image list, the way from the command line to
// the first picture for a folder of 10,000 small JPEGs, and one ShowImages
// of a 24-megapixel JPEG in a 1920 x 1080 window (decode, fit, scale, paint).
#include "viewer/common/ImageControl.h"
#include "viewer/ImageList.h"
#include "viewer/MainWindow.h"
#include "decode/BuiltInFormats.h"
#include "decode/Picture.h"
#include "../tests/decode/TestImages.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

QString smallJpegFolder()
{
    static QString folder;
    if (!folder.isEmpty())
        return folder;
    folder = scratch().filePath(QStringLiteral("jpegs"));
    QDir().mkpath(folder);
    const QByteArray jpeg = testimg::EncodeJpeg(testimg::BlockImage(64, 48));
    for (int i = 0; i < 10000; ++i) {
        QFile f(folder + QStringLiteral("/IMG_%1.jpg").arg((i * 7919) % 10000, 5, 10, QLatin1Char('0')));
        f.open(QIODevice::WriteOnly);
        f.write(jpeg);
    }
    return folder;
}

QString bigJpeg()
{
    static QString path;
    if (!path.isEmpty())
        return path;
    path = scratch().filePath(QStringLiteral("big.jpg"));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(testimg::EncodeJpeg(testimg::BlockImage(6000, 4000)));
    return path;
}

void BM_SortedListOf100kPaths(benchmark::State& state)
{
    QStringList paths;
    for (int i = 0; i < 100000; ++i)
        paths << QStringLiteral("/pictures/trip/Photo_%1.JPG").arg((static_cast<long long>(i) * 48271) % 100000);
    for (auto _ : state) {
        ImageList list;
        list.SetSorted(true);
        for (const QString& p : paths)
            list.Add(p);
        list.SetSorted(false);
        benchmark::DoNotOptimize(list.Count());
    }
    state.SetItemsProcessed(state.iterations() * paths.size());
}
BENCHMARK(BM_SortedListOf100kPaths)->Unit(benchmark::kMillisecond);

void BM_CommandLineToFirstPicture10kJpegs(benchmark::State& state)
{
    const QString folder = smallJpegFolder();
    QTemporaryDir settings;
    for (auto _ : state) {
        TfMain main({folder}, nullptr,
                    [&](TfMain& m) { m.Session().SetIniPath(settings.filePath(QStringLiteral("b.ini"))); });
        main.resize(1024, 768);
        main.show();
        // The first picture is decoded off the window thread: wait for it.
        main.Pipeline().WaitForIdle();
        QApplication::processEvents();
        benchmark::DoNotOptimize(main.ImageAt(0)->Graphic());
        state.PauseTiming();
        main.Session().SetSwitchLaunch(true); // leave no settings behind
        main.close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CommandLineToFirstPicture10kJpegs)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Decode24MegapixelJpeg(benchmark::State& state)
{
    const QString path = bigJpeg();
    TPicture picture;
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadPictureSafe(path, picture));
}
BENCHMARK(BM_Decode24MegapixelJpeg)->Unit(benchmark::kMillisecond);

void BM_ShowImages24MegapixelIn1920x1080(benchmark::State& state)
{
    const QString path = bigJpeg();
    QTemporaryDir settings;
    TfMain main({path}, nullptr,
                [&](TfMain& m) { m.Session().SetIniPath(settings.filePath(QStringLiteral("b.ini"))); });
    main.resize(1920, 1080);
    main.show();
    QImage canvas(1920, 1080, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        main.Pipeline().Cache().Clear(); // decode every time
        main.Session().ShowPage();
        main.Pipeline().WaitForIdle();
        QApplication::processEvents();
        TImageControl* image = main.ImageAt(0);
        QPainter painter(&canvas);
        image->render(&painter); // the paint of the fitted, scaled picture
    }
    main.Session().SetSwitchLaunch(true);
    main.close();
}
BENCHMARK(BM_ShowImages24MegapixelIn1920x1080)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterBuiltInFormats();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
