// Decoding speed of the built-in decoders on a 4000 x 3000 picture.
#include "../tests/decode/TestImages.h"

#include "decode/BmpGraphic.h"
#include "decode/JpegGraphic.h"
#include "decode/OleBitmap.h"
#include "decode/PngGraphic.h"

#include <QGuiApplication>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// A photograph-like picture: smooth gradients with some texture.
const QImage& Picture()
{
    static const QImage image = [] {
        QImage img(kWidth, kHeight, QImage::Format_RGB32);
        for (int y = 0; y < kHeight; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < kWidth; ++x)
                row[x] =
                    qRgb((x * 255 / kWidth + (x * y % 7)) & 0xFF, (y * 255 / kHeight) & 0xFF, ((x + y) / 31) & 0xFF);
        }
        return img;
    }();
    return image;
}

QByteArray Bmp24()
{
    const QImage& img = Picture();
    const int stride = (kWidth * 3 + 3) / 4 * 4;
    QByteArray bits(qsizetype(stride) * kHeight, '\0');
    for (int y = 0; y < kHeight; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(img.constScanLine(kHeight - 1 - y));
        char* dst = bits.data() + qsizetype(y) * stride;
        for (int x = 0; x < kWidth; ++x) {
            dst[3 * x] = char(qBlue(src[x]));
            dst[3 * x + 1] = char(qGreen(src[x]));
            dst[3 * x + 2] = char(qRed(src[x]));
        }
    }
    return testimg::BmpFile(testimg::InfoHeader(kWidth, kHeight, 24), bits);
}

template <class Graphic> void Decode(benchmark::State& state, const QByteArray& bytes)
{
    for (auto _ : state) {
        Graphic g;
        g.LoadFromStream(bytes);
        benchmark::DoNotOptimize(g.Image().constBits());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kWidth) * kHeight);
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void BM_DecodeJpeg(benchmark::State& state)
{
    static const QByteArray bytes = [] {
        testimg::JpegOptions o;
        o.quality = 90;
        return testimg::EncodeJpeg(Picture(), o);
    }();
    Decode<TJpegGraphic>(state, bytes);
}

void BM_DecodePng(benchmark::State& state)
{
    static const QByteArray bytes = [] {
        testimg::PngOptions o;
        o.kind = testimg::PngOptions::Rgb;
        return testimg::EncodePng(Picture(), o);
    }();
    Decode<TPngGraphic>(state, bytes);
}

void BM_DecodeBmp24(benchmark::State& state)
{
    static const QByteArray bytes = Bmp24();
    Decode<TBitmapGraphic>(state, bytes);
}

void BM_DecodeGif(benchmark::State& state)
{
    static const QByteArray bytes = [] {
        testimg::GifFrame f{0, 0, kWidth, kHeight, {}, {}, false};
        f.indices.resize(std::size_t(kWidth) * kHeight);
        const QImage& img = Picture();
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                f.indices[std::size_t(y) * kWidth + std::size_t(x)] =
                    std::uint8_t((qRed(img.pixel(x, y)) & 0xF0) | (qGreen(img.pixel(x, y)) >> 4));
        std::vector<QRgb> colors;
        for (int i = 0; i < 256; ++i)
            colors.push_back(qRgb(i & 0xF0, (i & 0x0F) << 4, 128));
        return testimg::EncodeGif(kWidth, kHeight, colors, -1, {f});
    }();
    Decode<TOleBITMAP>(state, bytes);
}

// Drawing a decoded picture scaled to fit a 1920 x 1080 window.
void BM_DrawJpegScaled(benchmark::State& state)
{
    TJpegGraphic g;
    testimg::JpegOptions o;
    o.quality = 90;
    g.LoadFromStream(testimg::EncodeJpeg(Picture(), o));
    QImage canvas(1920, 1080, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&canvas);
        g.Draw(p, QRect(0, 0, 1440, 1080));
    }
}

BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBmp24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeGif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawJpegScaled)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
