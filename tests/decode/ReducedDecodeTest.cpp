// Reduced JPEG decoding with libjpeg's scaled IDCT, failure reasons and
// cancelled loads, on pictures encoded by the real libjpeg.
#include "TestImages.h"

#include "decode/BuiltInFormats.h"
#include "decode/DecodeLimits.h"
#include "decode/JpegGraphic.h"
#include "decode/Picture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A photograph-like picture: smooth gradients with a few hard edges.
QImage Scene(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int r = 255 * x / width;
            const int g = 255 * y / height;
            const int b = int(127 + 100 * std::sin(x / 37.0) * std::cos(y / 53.0));
            const bool block = (x / (width / 5) + y / (height / 4)) % 3 == 0;
            line[x] = block ? qRgb(255 - r, g / 2, 40) : qRgb(r, g, b);
        }
    }
    return image;
}

// Mean and largest per-channel difference of two equally sized pictures.
struct Difference {
    double mean = 0;
    int largest = 0;
};
Difference Compare(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    Difference d;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            const int dr = std::abs(qRed(p[col]) - qRed(q[col]));
            const int dg = std::abs(qGreen(p[col]) - qGreen(q[col]));
            const int db = std::abs(qBlue(p[col]) - qBlue(q[col]));
            sum += dr + dg + db;
            d.largest = std::max({d.largest, dr, dg, db});
        }
    }
    d.mean = sum / (3.0 * x.width() * x.height());
    return d;
}

class ReducedDecodeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        RegisterBuiltInFormats();
    }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(ReducedDecodeTest, SmallestScaleThatStillCoversTheFittedSize)
{
    const QByteArray jpeg = testimg::EncodeJpeg(Scene(1600, 1200), {.quality = 90});
    const decode::ByteView data(jpeg);
    struct Case {
        QSize area;
        QSize expected; // libjpeg output at the chosen scale
    } cases[] = {
        {QSize(400, 300), QSize(400, 300)}, // 2/8 exactly
        {QSize(401, 301), QSize(600, 450)}, // 2/8 is a pixel short: 3/8
        {QSize(500, 1000), QSize(600, 450)}, // width decides: fitted 500 x 375
        {QSize(1920, 1080), QSize(1600, 1200)}, // fits as it is: full size
        {QSize(1500, 1125), QSize(1600, 1200)}, // 7/8 is 1400: full size
        {QSize(1, 1), QSize(200, 150)}, // 1/8 is the smallest scale
        {QSize(), QSize(1600, 1200)}, // no area: full size
    };
    for (const Case& c : cases) {
        QSize full;
        const QImage image = decode::DecodeJpegReduced(data, false, c.area, &full);
        EXPECT_EQ(image.size(), c.expected) << c.area.width() << "x" << c.area.height();
        EXPECT_EQ(full, QSize(1600, 1200));
        const QSize fitted = decode::ReducedDecodeTarget(full, c.area.isEmpty() ? full : c.area);
        EXPECT_GE(image.width(), fitted.width());
        EXPECT_GE(image.height(), fitted.height());
    }
}

TEST_F(ReducedDecodeTest, OddSizesRoundTheFittedSizeUp)
{
    EXPECT_EQ(decode::ReducedDecodeTarget(QSize(1601, 1199), QSize(800, 800)), QSize(800, 600));
    EXPECT_EQ(decode::ReducedDecodeTarget(QSize(3000, 1), QSize(100, 100)), QSize(100, 1));
    EXPECT_EQ(decode::ReducedDecodeTarget(QSize(100, 50), QSize(800, 800)), QSize(100, 50));
    const QByteArray jpeg = testimg::EncodeJpeg(Scene(1601, 1199), {.quality = 90});
    QSize full;
    const QImage image = decode::DecodeJpegReduced(decode::ByteView(jpeg), false, QSize(800, 800), &full);
    EXPECT_EQ(full, QSize(1601, 1199));
    EXPECT_GE(image.width(), 800);
    EXPECT_GE(image.height(), 600);
    EXPECT_LT(image.width(), 1601);
}

TEST_F(ReducedDecodeTest, ShrunkReducedDecodeMatchesShrunkFullDecode)
{
    for (const bool progressive : {false, true}) {
        const QByteArray jpeg = testimg::EncodeJpeg(Scene(2400, 1800), {.quality = 92, .progressive = progressive});
        const decode::ByteView data(jpeg);
        const QImage full = decode::DecodeJpegData(data, false);
        for (const QSize shown : {QSize(640, 480), QSize(1000, 750), QSize(333, 250)}) {
            const QImage reduced = decode::DecodeJpegReduced(data, false, shown, nullptr);
            ASSERT_LT(reduced.width(), full.width());
            const QImage viaReduced = reduced.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const QImage viaFull = full.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const Difference d = Compare(viaReduced, viaFull);
            EXPECT_LT(d.mean, 2.0) << shown.width() << " progressive " << progressive;
            EXPECT_LE(d.largest, 64) << shown.width() << " progressive " << progressive;
        }
    }
}

TEST_F(ReducedDecodeTest, GraphicWithSizeHintKeepsTheFullSizeForFitting)
{
    const QString path = Write(QStringLiteral("big.jpg"), testimg::EncodeJpeg(Scene(1600, 1200)));
    TPicture reduced;
    reduced.SetSizeHint(QSize(400, 400));
    ASSERT_TRUE(LoadPictureSafe(path, reduced));
    EXPECT_EQ(reduced.Width(), 1600);
    EXPECT_EQ(reduced.Height(), 1200);
    EXPECT_TRUE(reduced.Graphic()->IsReduced());
    EXPECT_EQ(reduced.Graphic()->ToImage().size(), QSize(400, 300));

    TPicture full; // no hint: the whole picture, as before
    ASSERT_TRUE(LoadPictureSafe(path, full));
    EXPECT_FALSE(full.Graphic()->IsReduced());
    EXPECT_EQ(full.Graphic()->ToImage().size(), QSize(1600, 1200));

    // Other formats ignore the hint.
    TPicture png;
    png.SetSizeHint(QSize(10, 10));
    ASSERT_TRUE(LoadPictureSafe(Write(QStringLiteral("p.png"), testimg::EncodePng(Scene(200, 100))), png));
    EXPECT_FALSE(png.Graphic()->IsReduced());
    EXPECT_EQ(png.Graphic()->ToImage().size(), QSize(200, 100));
}

// A photo stored on its side (Exif orientation 6) is reduced so that the
// upright picture still covers the area, and reports its upright size.
TEST_F(ReducedDecodeTest, TurnedPhotoIsReducedForItsUprightFit)
{
    const QString path = Write(QStringLiteral("side.jpg"), testimg::JpegWithOrientation(Scene(1600, 800), 6));
    TPicture picture;
    picture.SetSizeHint(QSize(200, 800)); // tall area: the upright 800x1600 fits as 200x400
    ASSERT_TRUE(LoadPictureSafe(path, picture));
    EXPECT_EQ(picture.Width(), 800);
    EXPECT_EQ(picture.Height(), 1600);
    EXPECT_TRUE(picture.Graphic()->IsReduced());
    const QSize held = picture.Graphic()->ToImage().size();
    EXPECT_EQ(held, QSize(200, 400)); // an eighth would be 100x200, too small to fill the place
}

// A file's bytes and large pictures live in memory that is reused: pictures
// still held keep their pixels while others are decoded and freed.
TEST_F(ReducedDecodeTest, PicturesFromFilesMatchTheirBytesAndKeepTheirPixels)
{
    const QByteArray bytes = testimg::EncodeJpeg(Scene(1200, 900));
    const QString path = Write(QStringLiteral("写真.jpg"), bytes);
    for (const QSize hint : {QSize(), QSize(700, 700)}) {
        TPicture fromFile;
        fromFile.SetSizeHint(hint);
        ASSERT_TRUE(LoadPictureSafe(path, fromFile));
        TJpegGraphic fromBytes;
        fromBytes.SetSizeHint(hint);
        fromBytes.LoadFromStream(bytes);
        const QImage held = fromFile.Graphic()->ToImage();
        const QImage kept = held.copy();
        EXPECT_EQ(held, fromBytes.ToImage());
        // More pictures of the same size come and go meanwhile.
        for (int i = 0; i < 3; ++i) {
            TPicture other;
            other.SetSizeHint(hint);
            ASSERT_TRUE(
                LoadPictureSafe(Write(QStringLiteral("other.jpg"), testimg::EncodeJpeg(Scene(900, 1200))), other));
        }
        EXPECT_EQ(held, kept);
        EXPECT_EQ(held.size(), hint.isValid() ? QSize(750, 563) : QSize(1200, 900)); // 5/8 covers 700x525
    }
}

TEST_F(ReducedDecodeTest, FailuresCarryTheirReason)
{
    TPicture picture;
    EXPECT_EQ(LoadPictureReporting(Write(QStringLiteral("a.xyz"), "data"), picture).failure,
              TDecodeFailure::UnknownFormat);
    EXPECT_EQ(LoadPictureReporting(dir.filePath(QStringLiteral("missing.jpg")), picture).failure,
              TDecodeFailure::Unreadable);
    QByteArray damaged = testimg::EncodeJpeg(Scene(64, 64));
    damaged.truncate(100); // cut inside the headers: no picture to show
    const TPictureLoadResult truncated = LoadPictureReporting(Write(QStringLiteral("cut.jpg"), damaged), picture);
    EXPECT_EQ(truncated.failure, TDecodeFailure::DamagedData);
    EXPECT_FALSE(truncated.message.isEmpty());
    EXPECT_EQ(LoadPictureReporting(Write(QStringLiteral("junk.png"), "not a png"), picture).failure,
              TDecodeFailure::DamagedData);

    decode::SetMaxPixelsForTesting(1000);
    const QString big = Write(QStringLiteral("big.jpg"), testimg::EncodeJpeg(Scene(64, 64)));
    const QString bigPng = Write(QStringLiteral("big.png"), testimg::EncodePng(Scene(64, 64)));
    EXPECT_EQ(LoadPictureReporting(big, picture).failure, TDecodeFailure::TooLarge);
    EXPECT_EQ(LoadPictureReporting(bigPng, picture).failure, TDecodeFailure::TooLarge);
    decode::SetMaxPixelsForTesting(0);
    EXPECT_TRUE(LoadPictureReporting(big, picture).ok());
}

TEST_F(ReducedDecodeTest, CancelHookStopsAJpegDecodeAndReleasesIt)
{
    const QString path = Write(QStringLiteral("c.jpg"), testimg::EncodeJpeg(Scene(800, 600)));
    for (const QSize hint : {QSize(), QSize(200, 200)}) {
        int asked = 0;
        TPicture picture;
        picture.SetSizeHint(hint);
        // Wanted until the decode is under way, then given up.
        picture.SetCancelHook([&asked] { return ++asked >= 3; });
        const TPictureLoadResult result = LoadPictureReporting(path, picture);
        EXPECT_EQ(result.failure, TDecodeFailure::Cancelled);
        EXPECT_EQ(asked, 4); // three progress reports, then the question of the outcome
        EXPECT_TRUE(picture.Empty());

        // The same picture object loads normally once it is wanted again.
        picture.SetCancelHook([] { return false; });
        EXPECT_TRUE(LoadPictureReporting(path, picture).ok());
        EXPECT_EQ(picture.Width(), 800);
    }
}

} // namespace
