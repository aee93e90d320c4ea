// Hostile input: huge declared sizes, zero sizes, truncation at every
// length, random corruption, and the inputs that fuzzing once found. Every
// case must end in a clean EGraphicError or a correct picture.
#include "TestImages.h"

#include "decode/BmpGraphic.h"
#include "decode/BuiltInFormats.h"
#include "decode/DecodeLimits.h"
#include "decode/IconGraphic.h"
#include "decode/JpegGraphic.h"
#include "decode/MetafileGraphic.h"
#include "decode/OleBitmap.h"
#include "decode/Picture.h"
#include "decode/PngGraphic.h"

#include <QDir>
#include <QFile>

#include <functional>
#include <random>

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

using namespace testimg;

using Factory = std::function<std::unique_ptr<TGraphic>()>;
template <class T> Factory Make()
{
    return [] { return std::unique_ptr<TGraphic>(new T); };
}

// Loads and returns the message of the failure, or an empty text.
QString FailureOf(const Factory& make, const QByteArray& bytes)
{
    auto g = make();
    try {
        g->LoadFromStream(bytes);
    } catch (const EGraphicError& e) {
        return e.message().isEmpty() ? QStringLiteral("?") : e.message();
    }
    return {};
}

QByteArray PngChunkFixed(QByteArray png, int width, int height)
{
    // IHDR data starts at byte 16; its CRC covers the type and data (bytes 12..28).
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = char((width >> (24 - 8 * i)) & 0xFF);
        png[20 + i] = char((height >> (24 - 8 * i)) & 0xFF);
    }
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 17);
    for (int i = 0; i < 4; ++i)
        png[29 + i] = char((crc >> (24 - 8 * i)) & 0xFF);
    return png;
}

QByteArray JpegWithSize(QByteArray jpeg, int width, int height)
{
    const int sof = int(jpeg.indexOf(QByteArray("\xFF\xC0", 2)));
    EXPECT_GT(sof, 0);
    jpeg[sof + 5] = char(height >> 8);
    jpeg[sof + 6] = char(height & 0xFF);
    jpeg[sof + 7] = char(width >> 8);
    jpeg[sof + 8] = char(width & 0xFF);
    return jpeg;
}

TEST(Hostile, TheLimitIsTwoToTheTwentyEighthPixels)
{
    EXPECT_NO_THROW(decode::CheckImageSize(16384, 16384));
    EXPECT_NO_THROW(decode::CheckImageSize(std::int64_t(1) << 28, 1));
    EXPECT_THROW(decode::CheckImageSize(16384, 16385), EGraphicError);
    EXPECT_THROW(decode::CheckImageSize((std::int64_t(1) << 28) + 1, 1), EGraphicError);
    EXPECT_THROW(decode::CheckImageSize(std::int64_t(1) << 40, std::int64_t(1) << 40), EGraphicError);
    EXPECT_THROW(decode::CheckImageSize(0, 5), EGraphicError);
    EXPECT_THROW(decode::CheckImageSize(5, -1), EGraphicError);
}

TEST(Hostile, HugeDeclaredSizesAreRefusedBeforeDecoding)
{
    const QString tooLarge = QStringLiteral("画像が大きすぎます");
    // BMP: 16385 x 16384 at 8 bits, no pixel data at all.
    EXPECT_TRUE(FailureOf(Make<TBitmapGraphic>(), BmpFile(InfoHeader(16385, 16384, 8), {})).startsWith(tooLarge));
    EXPECT_TRUE(
        FailureOf(Make<TBitmapGraphic>(), BmpFile(InfoHeader(0x7FFFFFFF, -0x7FFFFFFF, 24), {})).startsWith(tooLarge));
    EXPECT_FALSE(FailureOf(Make<TBitmapGraphic>(), BmpFile(InfoHeader(100, INT32_MIN, 24), {})).isEmpty());
    // RLE data can describe a large picture in a few bytes; the size is refused first.
    EXPECT_TRUE(FailureOf(Make<TBitmapGraphic>(), BmpFile(InfoHeader(30000, 30000, 8, 1), QByteArray("\0\1", 2)))
                    .startsWith(tooLarge));

    QImage one(1, 1, QImage::Format_ARGB32);
    one.fill(Qt::red);
    EXPECT_TRUE(FailureOf(Make<TPngGraphic>(), PngChunkFixed(EncodePng(one), 20000, 20000)).startsWith(tooLarge));
    EXPECT_TRUE(
        FailureOf(Make<TJpegGraphic>(), JpegWithSize(EncodeJpeg(BlockImage(8, 8)), 65500, 65500)).startsWith(tooLarge));

    GifFrame f{0, 0, 1, 1, {0}, {}, false};
    QByteArray gif = EncodeGif(1, 1, {qRgb(0, 0, 0), qRgb(1, 1, 1)}, -1, {f});
    gif[6] = gif[7] = gif[8] = gif[9] = char(0xFF); // screen 65535 x 65535
    EXPECT_TRUE(FailureOf(Make<TOleBITMAP>(), gif).startsWith(tooLarge));

    Bytes dib;
    dib.raw(InfoHeader(100000, 400000, 32));
    EXPECT_TRUE(FailureOf(Make<TIconGraphic>(), IconFile(1, {dib.data})).startsWith(tooLarge));
    // PNG entries declaring 2^32 - 1 pixels a side (their areas once overflowed while choosing).
    const QByteArray hugePng = PngChunkFixed(EncodePng(one), -1, -1);
    EXPECT_FALSE(FailureOf(Make<TIconGraphic>(), IconFile(1, {hugePng, hugePng, dib.data})).isEmpty());
}

TEST(Hostile, ZeroSizedPicturesFail)
{
    EXPECT_FALSE(FailureOf(Make<TBitmapGraphic>(), BmpFile(InfoHeader(0, 10, 24), QByteArray(64, '\0'))).isEmpty());
    EXPECT_FALSE(FailureOf(Make<TBitmapGraphic>(), BmpFile(InfoHeader(10, 0, 24), QByteArray(64, '\0'))).isEmpty());
    QImage one(1, 1, QImage::Format_ARGB32);
    one.fill(Qt::red);
    EXPECT_FALSE(FailureOf(Make<TPngGraphic>(), PngChunkFixed(EncodePng(one), 0, 1)).isEmpty());
    EXPECT_FALSE(FailureOf(Make<TJpegGraphic>(), JpegWithSize(EncodeJpeg(BlockImage(8, 8)), 8, 0)).isEmpty());
    GifFrame f{0, 0, 0, 0, {}, {}, false};
    EXPECT_FALSE(FailureOf(Make<TOleBITMAP>(), EncodeGif(0, 0, {qRgb(0, 0, 0), qRgb(1, 1, 1)}, -1, {f})).isEmpty());
    EXPECT_FALSE(FailureOf(Make<TIconGraphic>(), QByteArray("\0\0\1\0\0\0", 6)).isEmpty());
    EXPECT_FALSE(FailureOf(Make<TIconGraphic>(), QByteArray()).isEmpty());
    EXPECT_FALSE(FailureOf(Make<TJpegGraphic>(), QByteArray()).isEmpty());
}

struct Sample {
    const char* name;
    Factory make;
    QByteArray bytes;
};

std::vector<Sample> Samples()
{
    std::vector<Sample> s;
    const QImage blocks = BlockImage(24, 16);
    QImage alpha(9, 7, QImage::Format_ARGB32);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            alpha.setPixel(x, y, qRgba(x * 25, y * 30, 90, (x + y) % 2 ? 255 : 60));
    s.push_back({"bmp24", Make<TBitmapGraphic>(), [] {
                     Bytes rows;
                     for (int i = 0; i < 16 * 3; ++i)
                         rows.u8(unsigned(i * 7));
                     return BmpFile(InfoHeader(5, 3, 24), rows.data);
                 }()});
    s.push_back({"bmp-rle8", Make<TBitmapGraphic>(), [] {
                     Bytes r;
                     r.u8(3).u8(1).u8(0).u8(3).u8(2).u8(0).u8(1).u8(0).u8(0).u8(0).u8(4).u8(2).u8(0).u8(1);
                     return BmpFile(InfoHeader(6, 2, 8, 1, 3)
                                        + Palette({qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)}),
                                    r.data);
                 }()});
    s.push_back(
        {"ico", Make<TIconGraphic>(), IconFile(1, {IconDib24WithMask(alpha), IconDib32(alpha.scaled(12, 12))})});
    s.push_back({"ico-png", Make<TIconGraphic>(), IconFile(1, {EncodePng(alpha)})});
    s.push_back({"jpeg", Make<TJpegGraphic>(), EncodeJpeg(blocks)});
    JpegOptions progressive;
    progressive.progressive = true;
    s.push_back({"jpeg-progressive", Make<TJpegGraphic>(), EncodeJpeg(blocks, progressive)});
    s.push_back({"png", Make<TPngGraphic>(), EncodePng(alpha)});
    PngOptions interlaced;
    interlaced.interlace = true;
    s.push_back({"png-interlaced", Make<TPngGraphic>(), EncodePng(alpha, interlaced)});
    GifFrame f{1, 1, 5, 4, {}, {}, true};
    for (int i = 0; i < 20; ++i)
        f.indices.push_back(std::uint8_t(i % 4));
    s.push_back({"gif", Make<TOleBITMAP>(),
                 EncodeGif(7, 6, {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}, 3, {f})});
    Emf emf;
    emf.rec(39, {1, 0, 0x0000FF, 0}).rec(37, {1}).rec(43, {2, 2, 30, 30});
    s.push_back({"emf", Make<TMetafileGraphic>(), emf.finish(0, 0, 1000, 1000)});
    Wmf wmf;
    wmf.rec(0x02FC, {0, 0x00FF, 0, 0}).rec(0x012D, {0}).rec(0x041B, {20, 20, 2, 2});
    s.push_back({"wmf", Make<TMetafileGraphic>(), wmf.finish(0, 0, 40, 40, 96)});
    return s;
}

// A prefix of a file either fails or gives exactly the picture of the whole file.
TEST(Hostile, EveryTruncationFailsCleanly)
{
    for (const Sample& sample : Samples()) {
        if (QByteArray(sample.name).startsWith("jpeg"))
            continue; // cut JPEG files show what they hold: see below
        SCOPED_TRACE(sample.name);
        auto whole = sample.make();
        whole->LoadFromStream(sample.bytes);
        const QImage full = whole->ToImage();
        ASSERT_FALSE(full.isNull());
        int accepted = 0;
        for (qsizetype n = 0; n < sample.bytes.size(); ++n) {
            auto g = sample.make();
            try {
                g->LoadFromStream(sample.bytes.left(n));
            } catch (const EGraphicError&) {
                continue;
            }
            ++accepted;
            EXPECT_EQ(g->ToImage(), full) << "prefix of " << n << " bytes";
        }
        // Only cuts in trailing bytes the decoder never reads may succeed.
        EXPECT_LE(accepted, 8) << sample.name;
    }
}

// A JPEG cut after its headers shows at full size: without only its end
// marker exactly the whole picture, cut inside the data the rows it holds
// and grey below them. Cut inside the headers it fails.
TEST(Hostile, CutJpegShowsWhatItHolds)
{
    QImage rows(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            rows.setPixel(x, y, y < 32 ? qRgb(200, 30, 30) : qRgb(30, 30, 200));
    const QByteArray bytes = EncodeJpeg(rows);
    ASSERT_TRUE(bytes.endsWith("\xFF\xD9"));
    TJpegGraphic whole;
    whole.LoadFromStream(bytes);
    const QImage full = whole.ToImage();

    TJpegGraphic noEnd;
    noEnd.LoadFromStream(bytes.left(bytes.size() - 2));
    EXPECT_EQ(noEnd.ToImage(), full);

    const qsizetype scan = bytes.indexOf("\xFF\xDA");
    ASSERT_GT(scan, 0);
    const qsizetype dataStart = scan + 2 + ((uchar(bytes[scan + 2]) << 8) | uchar(bytes[scan + 3]));
    TJpegGraphic cut;
    cut.LoadFromStream(bytes.left(dataStart + (bytes.size() - dataStart) / 3));
    const QImage part = cut.ToImage();
    ASSERT_EQ(part.size(), full.size());
    EXPECT_EQ(part.pixel(5, 2), full.pixel(5, 2)); // decoded rows are the picture's
    const QRgb filled = part.pixel(60, 62); // the rest is libjpeg's grey
    EXPECT_NEAR(qRed(filled), 128, 2);
    EXPECT_NEAR(qGreen(filled), 128, 2);
    EXPECT_NEAR(qBlue(filled), 128, 2);

    for (qsizetype n = 0; n < scan; ++n) {
        TJpegGraphic header;
        EXPECT_THROW(header.LoadFromStream(bytes.left(n)), EGraphicError) << n;
    }
}

TEST(Hostile, RandomCorruptionNeverCrashes)
{
    std::mt19937 random(20260401);
    for (const Sample& sample : Samples()) {
        SCOPED_TRACE(sample.name);
        int failures = 0;
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = sample.bytes;
            const int changes = 1 + int(random() % 4);
            for (int c = 0; c < changes; ++c) {
                const auto at = qsizetype(random() % std::uint32_t(bytes.size()));
                bytes[at] = char(random() % 4 == 0 ? 0xFF : random() & 0xFF);
            }
            auto g = sample.make();
            try {
                g->LoadFromStream(bytes);
                const QImage image = g->ToImage();
                EXPECT_LE(std::uint64_t(image.width()) * std::uint64_t(image.height()), decode::kMaxPixels);
            } catch (const EGraphicError&) {
                ++failures;
            }
        }
        EXPECT_GT(failures, 0);
    }
}

// Files that fuzzing once found, loaded by every decoder and through the registry.
TEST(Hostile, FuzzRegressions)
{
    const QDir dir(QStringLiteral(ORVANTO_SOURCE_DIR "/tests/decode/data/fuzz-regressions"));
    const QStringList files = dir.entryList(QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    const std::vector<Factory> decoders = {Make<TBitmapGraphic>(), Make<TIconGraphic>(),     Make<TJpegGraphic>(),
                                           Make<TPngGraphic>(),    Make<TMetafileGraphic>(), Make<TOleBITMAP>()};
    RegisterBuiltInFormats();
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        for (const Factory& make : decoders) {
            auto g = make();
            try {
                g->LoadFromStream(bytes);
                (void)g->ToImage();
            } catch (const EGraphicError&) {
            }
        }
        TPicture picture;
        (void)LoadPictureSafe(dir.filePath(name), picture);
    }
}

} // namespace
