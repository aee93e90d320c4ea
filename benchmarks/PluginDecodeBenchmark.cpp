// Decoding a 12-megapixel WebP and TIFF picture the way the viewer does
// (LoadPictureSafe: the plug-in host, the plug-in, the adapter turning its
// bitmap into the picture, and the orientation reader), with the plug-in in
// the program and in the helper process, beside the bare library decoding
// the same file.
#include "decode/BmpGraphic.h"
#include "decode/Picture.h"
#include "decode/susie/SPIBmp.h"
#include "decode/susie/SPIs.h"
#include "decode/susie/ViewerPluginPolicy.h"
#include "helper/HelperClient.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photograph-like picture as 8-bit red, green, blue rows.
const std::vector<uint8_t>& Pixels()
{
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> p(std::size_t(kWidth) * kHeight * 3);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* q = p.data() + (std::size_t(y) * kWidth + x) * 3;
                q[0] = uint8_t((x * 255 / kWidth + (x * y % 7)) & 0xFF);
                q[1] = uint8_t((y * 255 / kHeight) & 0xFF);
                q[2] = uint8_t(((x + y) / 31) & 0xFF);
            }
        return p;
    }();
    return pixels;
}

QTemporaryDir& Folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString WebPFile()
{
    static const QString path = [] {
        uint8_t* out = nullptr;
        const size_t size = WebPEncodeRGB(Pixels().data(), kWidth, kHeight, kWidth * 3, 90, &out);
        const QString p = Folder().filePath(QStringLiteral("big.webp"));
        QFile file(p);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char*>(out), qsizetype(size));
        WebPFree(out);
        return p;
    }();
    return path;
}

QString TiffFile()
{
    static const QString path = [] {
        const QString p = Folder().filePath(QStringLiteral("big.tif"));
        TIFF* tif = TIFFOpen(p.toLocal8Bit().constData(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        for (int y = 0; y < kHeight; ++y)
            TIFFWriteScanline(tif, const_cast<uint8_t*>(Pixels().data()) + std::size_t(y) * kWidth * 3, y, 0);
        TIFFClose(tif);
        return p;
    }();
    return path;
}

// The viewer's plug-in host, with the plug-ins in the program or in the
// helper (started before timing; it is kept running in use).
void ThroughViewer(benchmark::State& state, const QString& path, bool isolated)
{
    helper::SetIsolation(isolated);
    TSPIBitmap::SetPlainBitmapClass(&TBitmapGraphic::ClassInfo);
    auto spis = std::make_unique<TSPIs>();
    ConfigureViewerSPIs(*spis);
    SearchViewerPlugins(*spis, ORVANTO_BIN_DIR "/plugins");
    for (auto _ : state) {
        TPicture picture;
        if (!LoadPictureSafe(path, picture) || picture.Width() != kWidth) {
            state.SkipWithError("the picture did not load");
            break;
        }
        benchmark::DoNotOptimize(picture.Graphic());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kWidth) * kHeight);
    spis.reset();
    helper::SetIsolation(false);
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void BM_WebP_Library(benchmark::State& state)
{
    const QString path = WebPFile();
    for (auto _ : state) {
        // Read and decoded into a new buffer, as any load does.
        const QByteArray bytes = ReadAll(path);
        int width = 0, height = 0;
        uint8_t* out =
            WebPDecodeRGB(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), &width, &height);
        if (!out) {
            state.SkipWithError("libwebp failed");
            return;
        }
        benchmark::DoNotOptimize(out);
        WebPFree(out);
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kWidth) * kHeight);
}

void BM_WebP_LoadPictureSafe(benchmark::State& state)
{
    ThroughViewer(state, WebPFile(), false);
}

void BM_WebP_LoadPictureSafe_Helper(benchmark::State& state)
{
    ThroughViewer(state, WebPFile(), true);
}

void BM_Tiff_Library(benchmark::State& state)
{
    const QString path = TiffFile();
    for (auto _ : state) {
        std::vector<uint32_t> raster(std::size_t(kWidth) * kHeight);
        TIFF* tif = TIFFOpen(path.toLocal8Bit().constData(), "r");
        if (!tif || !TIFFReadRGBAImageOriented(tif, kWidth, kHeight, raster.data(), ORIENTATION_TOPLEFT, 1)) {
            state.SkipWithError("libtiff failed");
            return;
        }
        TIFFClose(tif);
        benchmark::DoNotOptimize(raster.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kWidth) * kHeight);
}

void BM_Tiff_LoadPictureSafe(benchmark::State& state)
{
    ThroughViewer(state, TiffFile(), false);
}

void BM_Tiff_LoadPictureSafe_Helper(benchmark::State& state)
{
    ThroughViewer(state, TiffFile(), true);
}

} // namespace

BENCHMARK(BM_WebP_Library)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WebP_LoadPictureSafe)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WebP_LoadPictureSafe_Helper)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Tiff_Library)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Tiff_LoadPictureSafe)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Tiff_LoadPictureSafe_Helper)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    helper::SetHelperProgram(QStringLiteral(ORVANTO_BIN_DIR "/orvanto-helper"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
