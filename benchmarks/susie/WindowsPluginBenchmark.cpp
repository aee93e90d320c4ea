// Start-up and per-picture cost of Windows plug-ins under Wine, beside the
// same picture decoded by a native plug-in in the same run.
//
//   windows_plugin_benchmark [--fresh-prefix]
//
// Cold: no Wine server runs for the prefix; the plug-in is found, the helper
// started and one 64 x 48 picture decoded. Warm: the same picture decoded
// again and again through the running helper. --fresh-prefix also measures
// the first use ever, with Wine making its prefix in a new work folder.
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "decode/susie/WindowsPlugin.h"
#include "platform/Paths.h"
#include "platform/WineRuntime.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

QByteArray Owt(int width, int height)
{
    QByteArray bytes("OWT1");
    bytes.append(static_cast<char>(width & 0xFF)).append(static_cast<char>(width >> 8));
    bytes.append(static_cast<char>(height & 0xFF)).append(static_cast<char>(height >> 8));
    for (int i = 0; i < width * height; ++i)
        bytes.append(static_cast<char>(i)).append(static_cast<char>(i >> 3)).append(static_cast<char>(i >> 6));
    return bytes;
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Waits until the Wine server of the prefix has ended (it lingers a few
// seconds after its last program).
void WaitForWineServer(const QString& prefix)
{
    QProcess server;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix);
    server.setProcessEnvironment(env);
    server.start(QStringLiteral("/usr/lib/wine/wineserver"), {QStringLiteral("-w")});
    server.waitForFinished(60000);
}

double DecodeOnce(const QString& path)
{
    const auto start = Clock::now();
    TSPIGraphic graphic;
    graphic.LoadFromFile(path);
    const QImage image = graphic.ToImage();
    if (image.isNull())
        std::fprintf(stderr, "decode of %s failed\n", qPrintable(path));
    return Ms(Clock::now() - start);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool freshPrefix = app.arguments().contains(QStringLiteral("--fresh-prefix"));
    if (platform::WineLoader(64).isEmpty()) {
        std::printf("wine64 is not installed: nothing to measure\n");
        return 0;
    }
    SetWindowsPluginHelperFolderForTesting(QStringLiteral(ORVANTO_BIN_DIR));
    QTemporaryDir dir;
    const QString plugins = dir.filePath(QStringLiteral("plugins"));
    QDir().mkpath(plugins);
    QFile::copy(QStringLiteral(WINDOWS_FIXTURE_DIR "/owt.sph"), plugins + QStringLiteral("/owt.sph"));
    const QString picture = dir.filePath(QStringLiteral("small.owt"));
    Write(picture, Owt(64, 48));

    if (freshPrefix) {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const auto start = Clock::now();
        {
            TSPIs spis;
            ConfigureViewerSPIs(spis);
            SearchViewerPlugins(spis, plugins);
            DecodeOnce(picture);
        }
        StopWindowsPluginHelper(64);
        std::printf("first use ever (Wine makes its prefix):   %8.0f ms\n", Ms(Clock::now() - start));
        WaitForWineServer(runtime.path() + QStringLiteral("/orvanto/wine"));
        qunsetenv("XDG_RUNTIME_DIR");
    }

    const std::optional<QString> prefix = platform::WinePrefixFolder();
    // Make sure the prefix exists, then measure cold starts.
    {
        TSPIs spis;
        ConfigureViewerSPIs(spis);
        SearchViewerPlugins(spis, plugins);
        DecodeOnce(picture);
    }
    std::vector<double> cold, search;
    for (int run = 0; run < 3; ++run) {
        StopWindowsPluginHelper(64);
        WaitForWineServer(*prefix);
        const auto start = Clock::now();
        TSPIs spis;
        ConfigureViewerSPIs(spis);
        SearchViewerPlugins(spis, plugins);
        // The search offers the known plug-in without Wine; Wine starts
        // with the decode (on a decoding thread in the program).
        search.push_back(Ms(Clock::now() - start));
        DecodeOnce(picture);
        cold.push_back(Ms(Clock::now() - start));
    }

    // Warm: the helper runs. For reference, a picture of the same size is
    // decoded in the program by the project's native PNM plug-in.
    TSPIs spis;
    ConfigureViewerSPIs(spis);
    SearchViewerPlugins(spis, plugins);
    SearchViewerPlugins(spis, QStringLiteral(ORVANTO_BIN_DIR "/plugins"));
    QImage reference(64, 48, QImage::Format_RGB888);
    reference.fill(Qt::darkCyan);
    const QString ppm = dir.filePath(QStringLiteral("small.ppm"));
    reference.save(ppm, "PPM");
    DecodeOnce(picture);
    DecodeOnce(ppm);
    std::vector<double> warm, native;
    for (int i = 0; i < 50; ++i) {
        warm.push_back(DecodeOnce(picture));
        native.push_back(DecodeOnce(ppm));
    }
    std::printf("search, plug-in known, Wine not running:   %8.2f ms   (window thread)\n", Median(search));
    std::printf("cold first decode, 64 x 48 (median of 3): %8.0f ms   (aim < 3000 ms)\n", Median(cold));
    std::printf("warm decode per picture, Windows plug-in: %8.2f ms   (aim < 50 ms)\n", Median(warm));
    std::printf("same size, native plug-in in the program: %8.2f ms   (reference)\n", Median(native));
    StopWindowsPluginHelper(64);
    return 0;
}
