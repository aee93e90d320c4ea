// Picture pipeline figures, each printed beside a reference measured in the
// same run on the same files:
//  - 50 Right keys sent at once on a folder of 12-megapixel JPEGs: time
//    until the 51st picture is on screen, against one single decode;
//  - start-up to the first picture on a folder of 10,000 JPEGs and on one
//    24-megapixel JPEG, against one single decode of that picture.
// Also writes photo-like test JPEGs for the slideshow benchmark script:
//   pipeline_benchmark make-jpegs FOLDER COUNT WIDTH HEIGHT
#include "viewer/common/ImageControl.h"
#include "viewer/MainWindow.h"
#include "viewer/PageLoader.h"
#include "decode/BuiltInFormats.h"
#include "decode/JpegGraphic.h"
#include "decode/Picture.h"
#include "../tests/decode/TestImages.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

// Gradients, waves and grain: compresses and decodes like a photograph.
QByteArray PhotoLikeJpeg(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed + 1));
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(17)) - 8;
            const double wave = std::sin((x + seed * 97) / 61.0) * std::cos(y / 47.0);
            const int r = std::clamp(255 * x / width + grain, 0, 255);
            const int g = std::clamp(int(128 + 100 * wave) + grain, 0, 255);
            const int b = std::clamp(255 * y / height - grain, 0, 255);
            line[x] = qRgb(r, g, b);
        }
    }
    return testimg::EncodeJpeg(image, {.quality = 90});
}

// COUNT files; only a handful are encoded, the rest are hard links to them
// (each name is its own picture to the viewer).
QStringList MakeJpegs(const QString& folder, int count, int width, int height, int distinct = 8)
{
    QDir().mkpath(folder);
    QStringList paths;
    QStringList originals;
    for (int i = 0; i < count; ++i) {
        const QString path = folder + QStringLiteral("/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0'));
        if (i < distinct) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(PhotoLikeJpeg(width, height, i)) < 0)
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            originals << path;
        } else if (::link(QFile::encodeName(originals[i % distinct]).constData(), QFile::encodeName(path).constData())
                   != 0) {
            QFile::copy(originals[i % distinct], path);
        }
        paths << path;
    }
    return paths;
}

double Milliseconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The best of a few full decodes of the file.
double SingleDecodeMs(const QString& path, const QSize& area = QSize())
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        TPicture picture;
        picture.SetSizeHint(area);
        QElapsedTimer timer;
        timer.start();
        LoadPictureSafe(path, picture);
        best = std::min(best, Milliseconds(timer));
    }
    return best;
}

bool WaitForPicture(TfMain& main, const QString& path)
{
    QElapsedTimer limit;
    limit.start();
    while (main.ImageAt(0)->Hint() != path || main.Pages().Waiting()) {
        if (limit.elapsed() > 120000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    // The paint of the picture on screen.
    main.ImageAt(0)->repaint();
    return true;
}

std::unique_ptr<TfMain> OpenViewer(const QStringList& args, const QString& ini, QSize size)
{
    auto main = std::make_unique<TfMain>(args, nullptr, [&](TfMain& m) { m.Session().SetIniPath(ini); });
    main->show();
    main->resize(size); // after the placement from the settings
    return main;
}

void KeyBurst(const QString& scratch)
{
    const QStringList paths = MakeJpegs(scratch + QStringLiteral("/burst"), 60, 4000, 3000);
    const QString ini = scratch + QStringLiteral("/burst.ini");
    auto main = OpenViewer({scratch + QStringLiteral("/burst")}, ini, QSize(1920, 1080));
    if (!WaitForPicture(*main, paths[0]))
        return;
    main->Pipeline().WaitForIdle();
    QApplication::processEvents();
    const QSize area(main->AreaWidth(), main->AreaHeight());
    QWidget* target = main->centralWidget();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 50; ++i) {
        QApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier));
        QApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier));
    }
    const bool shown = WaitForPicture(*main, paths[50]);
    const double burst = Milliseconds(timer);
    const double full = SingleDecodeMs(paths[50]);
    const double reduced = SingleDecodeMs(paths[50], area);
    std::printf("50 Right keys at once, 12 MP JPEGs, %dx%d window: 51st picture on screen after %.1f ms%s\n",
                main->width(), main->height(), burst, shown ? "" : " (NOT SHOWN)");
    std::printf("  reference, one single full decode of that picture:    %.1f ms  (burst = %.2f decodes)\n", full,
                burst / full);
    std::printf("  reference, one reduced decode for the fitted size:    %.1f ms\n", reduced);
    std::printf("  decodes started during the burst: %d of 50 pictures passed\n", main->Pipeline().DecodesStarted());
    main->Session().SetSwitchLaunch(true);
    main->close();
}

void StartUp(const QString& label, const QStringList& args, const QString& first, const QString& ini)
{
    QElapsedTimer timer;
    timer.start();
    auto main = OpenViewer(args, ini, QSize(1920, 1080));
    const bool shown = WaitForPicture(*main, first);
    const double startUp = Milliseconds(timer);
    const double single = SingleDecodeMs(first);
    std::printf("start-up to the first picture, %s: %.1f ms%s\n", qPrintable(label), startUp,
                shown ? "" : " (NOT SHOWN)");
    std::printf("  reference, one single full decode of that picture: %.1f ms\n", single);
    main->Session().SetSwitchLaunch(true);
    main->close();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 6 && QByteArray(argv[1]) == "make-jpegs") {
        QCoreApplication app(argc, argv);
        MakeJpegs(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterBuiltInFormats();
    QTemporaryDir scratch;
    std::printf("preparing pictures...\n");
    std::fflush(stdout);
    KeyBurst(scratch.path());
    const QStringList many = MakeJpegs(scratch.filePath(QStringLiteral("many")), 10000, 4000, 3000, 4);
    StartUp(QStringLiteral("folder of 10,000 12 MP JPEGs"), {scratch.filePath(QStringLiteral("many"))}, many[0],
            scratch.filePath(QStringLiteral("a.ini")));
    const QString big = scratch.filePath(QStringLiteral("big24.jpg"));
    {
        QFile file(big);
        file.open(QIODevice::WriteOnly);
        file.write(PhotoLikeJpeg(6000, 4000, 3));
    }
    StartUp(QStringLiteral("one 24 MP JPEG"), {big}, big, scratch.filePath(QStringLiteral("b.ini")));
    return 0;
}
