// TOleBITMAP: content classes, GIF through giflib, the key colour, and the
// HIMETRIC size at 96 dpi.
#include "TestImages.h"

#include "decode/DisplayInfo.h"
#include "decode/FormatRegistry.h"
#include "decode/BuiltInFormats.h"
#include "decode/OleBitmap.h"
#include "decode/Picture.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace testimg;
using Content = TOleBITMAP::Content;

const QRgb kKey = qRgb(127, 1, 253);

TEST(OleBitmap, ContentClassesInTheirTestOrder)
{
    EXPECT_EQ(TOleBITMAP::Classify(0x00000001, 0), Content::EnhancedMetafile);
    EXPECT_EQ(TOleBITMAP::Classify(0x9AC6CDD7, 0), Content::PlaceableMetafile);
    EXPECT_EQ(TOleBITMAP::Classify(0x00010000, 0x12345678), Content::Icon);
    EXPECT_EQ(TOleBITMAP::Classify(0x00020000, 0x20200001), Content::Cursor32);
    EXPECT_EQ(TOleBITMAP::Classify(0x00020000, 0x20200002), Content::IconLike);
    EXPECT_EQ(TOleBITMAP::Classify(0x00020000, 0x10100001), Content::IconLike);
    EXPECT_EQ(TOleBITMAP::Classify(0x00010100, 0), Content::IconLike);
    EXPECT_EQ(TOleBITMAP::Classify(0x00030000, 0), Content::IconLike);
    EXPECT_EQ(TOleBITMAP::Classify(0x38464947, 0x0000613F), Content::Gif);
    EXPECT_EQ(TOleBITMAP::Classify(0xE0FFD8FF, 0), Content::Jpeg);
    EXPECT_EQ(TOleBITMAP::Classify(0xE1FFD8FF, 0), Content::Jpeg);
    EXPECT_EQ(TOleBITMAP::Classify(0xDBFFD8FF, 0), Content::Unknown); // other JPEG markers are not recognised
    EXPECT_EQ(TOleBITMAP::Classify(0x46464952, 0), Content::Other); // RIFF
    EXPECT_EQ(TOleBITMAP::Classify(0x6776733C, 0), Content::Other); // <svg
    EXPECT_EQ(TOleBITMAP::Classify(0x12535746, 0), Content::Other); // FWS + any byte
    EXPECT_EQ(TOleBITMAP::Classify(0xABCD4D42, 0), Content::Bmp); // BM + anything
    EXPECT_EQ(TOleBITMAP::Classify(0x0000DA78, 0), Content::Other); // zlib
    EXPECT_EQ(TOleBITMAP::Classify(0x474E5089, 0x0A1A0A0D), Content::Unknown); // PNG
    // "FWS" is tested before "BM": a value whose low 24 bits are "FWS" is never BMP.
    EXPECT_EQ(TOleBITMAP::Classify(0x4D535746, 0), Content::Other);
}

TEST(OleBitmap, GifWithTransparentPixelsGetsTheKeyColour)
{
    // 4 x 3 frame on a 6 x 4 screen at (1, 1); index 2 is transparent.
    const std::vector<QRgb> colors = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(1, 2, 3), qRgb(0, 0, 255)};
    GifFrame f;
    f.left = 1;
    f.top = 1;
    f.width = 4;
    f.height = 3;
    f.indices = {0, 1, 2, 3, 3, 2, 1, 0, 2, 2, 0, 1};
    TOleBITMAP bitmap;
    bitmap.LoadFromStream(EncodeGif(6, 4, colors, 2, {f}));
    ASSERT_EQ(bitmap.Width(), 6);
    ASSERT_EQ(bitmap.Height(), 4);
    EXPECT_EQ(bitmap.PixelFormatBits(), 24);
    EXPECT_EQ(bitmap.Bitmap().format(), QImage::Format_RGB888);
    EXPECT_TRUE(bitmap.Transparent());
    EXPECT_EQ(bitmap.TransparentColor(), 0xFD017Fu);
    const QImage b = bitmap.Bitmap();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            SCOPED_TRACE(QStringLiteral("%1,%2").arg(x).arg(y).toStdString());
            const bool inFrame = x >= 1 && x < 5 && y >= 1 && y < 4;
            const int index = inFrame ? f.indices[std::size_t((y - 1) * 4 + (x - 1))] : 2;
            EXPECT_EQ(b.pixel(x, y), index == 2 ? kKey : colors[std::size_t(index)]);
        }
    // Drawn, the key colour shows the background.
    const QImage drawn = bitmap.ToImage();
    EXPECT_EQ(qAlpha(drawn.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(drawn.pixel(3, 1)), 0);
    EXPECT_EQ(drawn.pixel(1, 1), qRgb(255, 0, 0));
    QImage canvas(60, 40, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    bitmap.Draw(p, canvas.rect());
    p.end();
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(255, 255, 255));
    // Scaled smoothly: the middle of a source pixel keeps (nearly) its colour.
    const QRgb mid = canvas.pixel(15, 15);
    EXPECT_GT(qRed(mid), 220);
    EXPECT_LT(qGreen(mid), 30);
    EXPECT_LT(qBlue(mid), 30);
}

TEST(OleBitmap, InterlacedGifWithLocalColoursAndNoTransparency)
{
    GifFrame f;
    f.width = 3;
    f.height = 10;
    f.interlace = true;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 3; ++x)
            f.indices.push_back(std::uint8_t((x + y) % 3));
    f.localColors = {qRgb(10, 20, 30), qRgb(200, 100, 0), qRgb(0, 0, 0)};
    TOleBITMAP bitmap;
    bitmap.LoadFromStream(EncodeGif(3, 10, {qRgb(255, 255, 255), qRgb(1, 1, 1)}, -1, {f}));
    const QImage b = bitmap.Bitmap();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(b.pixel(x, y), f.localColors[std::size_t((x + y) % 3)]);
    // A GIF is always marked transparent with the key colour.
    EXPECT_TRUE(bitmap.Transparent());
    EXPECT_EQ(bitmap.TransparentColor(), TOleBITMAP::kKeyColor);
}

TEST(OleBitmap, OnlyTheFirstFrameAndShortPalettes)
{
    GifFrame first;
    first.width = 2;
    first.height = 1;
    first.indices = {1, 3}; // index 3 lies beyond a two-colour table: black
    GifFrame second = first;
    second.indices = {0, 0};
    TOleBITMAP bitmap;
    bitmap.LoadFromStream(EncodeGif(2, 1, {qRgb(9, 9, 9), qRgb(0, 128, 255)}, -1, {first, second}));
    EXPECT_EQ(bitmap.Bitmap().pixel(0, 0), qRgb(0, 128, 255));
    EXPECT_EQ(bitmap.Bitmap().pixel(1, 0), qRgb(0, 0, 0));
}

TEST(OleBitmap, OtherContentBehindTheGifExtension)
{
    const QImage blocks = BlockImage(16, 8);
    { // JPEG data: decoded, no key colour
        TOleBITMAP b;
        b.LoadFromStream(EncodeJpeg(blocks));
        EXPECT_EQ(b.Width(), 16);
        EXPECT_FALSE(b.Transparent());
        EXPECT_EQ(b.PixelFormatBits(), 24);
        EXPECT_LE(std::abs(qRed(b.Bitmap().pixel(2, 2)) - 255), 3);
    }
    { // BMP: 24 bits, no key colour
        TOleBITMAP b;
        b.LoadFromStream(BmpFile(InfoHeader(1, 1, 32), QByteArray("\x03\x02\x01\x00", 4)));
        EXPECT_EQ(b.PixelFormatBits(), 24);
        EXPECT_FALSE(b.Transparent());
        EXPECT_EQ(b.Bitmap().pixel(0, 0), qRgb(1, 2, 3));
    }
    { // Icon: masked pixels keep the key colour.
        QImage icon(2, 1, QImage::Format_ARGB32);
        icon.setPixel(0, 0, qRgba(0, 255, 0, 255));
        icon.setPixel(1, 0, qRgba(0, 0, 0, 0));
        TOleBITMAP b;
        b.LoadFromStream(IconFile(1, {IconDib24WithMask(icon)}));
        EXPECT_TRUE(b.Transparent());
        EXPECT_EQ(b.Bitmap().pixel(0, 0), qRgb(0, 255, 0));
        EXPECT_EQ(b.Bitmap().pixel(1, 0), kKey);
    }
    { // A cursor of one 32 x 32 image loads; one with two images does not.
        QImage c(32, 32, QImage::Format_ARGB32);
        c.fill(qRgba(255, 0, 0, 255));
        TOleBITMAP one;
        one.LoadFromStream(IconFile(2, {IconDib32(c)}));
        EXPECT_EQ(one.Width(), 32);
        EXPECT_EQ(one.Bitmap().pixel(5, 5), qRgb(255, 0, 0));
        TOleBITMAP two;
        EXPECT_THROW(two.LoadFromStream(IconFile(2, {IconDib32(c), IconDib32(c)})), EGraphicError);
        EXPECT_EQ(two.Width(), 0);
    }
}

// The loader's empty result for undecodable data is a failure here, so the
// viewer shows its "cannot display" label instead of an empty picture.
TEST(OleBitmap, UndecodableDataFailsTheLoad)
{
    RegisterBuiltInFormats();
    QTemporaryDir dir;
    QImage px(1, 1, QImage::Format_ARGB32);
    px.fill(Qt::red);
    const QString png = WriteFile(dir, QStringLiteral("png-inside.gif"), EncodePng(px));
    const QString five = WriteFile(dir, QStringLiteral("five.gif"), QByteArray("GIF89"));
    QByteArray gif = EncodeGif(4, 4, {qRgb(0, 0, 0), qRgb(255, 255, 255)}, -1,
                               {GifFrame{0, 0, 4, 4, std::vector<std::uint8_t>(16, 1), {}, false}});
    const QString cut = WriteFile(dir, QStringLiteral("cut.gif"), gif.left(gif.size() - 6));
    const QString riff = WriteFile(dir, QStringLiteral("riff.gif"), QByteArray("RIFF\0\0\0\0WEBP", 12));
    const QString good = WriteFile(dir, QStringLiteral("good.gif"), gif);

    TPicture picture;
    ASSERT_TRUE(LoadPictureSafe(good, picture));
    EXPECT_EQ(picture.Width(), 4);
    for (const QString& path : {png, five, cut, riff}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(LoadPictureSafe(path, picture));
        EXPECT_EQ(picture.Width(), 4); // the previous picture stays
    }
    TOleBITMAP direct;
    EXPECT_THROW(direct.LoadFromStream(QByteArray("GIF89")), EGraphicError);
    EXPECT_EQ(direct.Width(), 0);
}

TEST(OleBitmap, HimetricSizeAt96Dpi)
{
    using decode::MulDiv;
    EXPECT_EQ(decode::HimetricToPixels(2646), 100);
    EXPECT_EQ(decode::HimetricToPixels(1323), 50);
    EXPECT_EQ(MulDiv(5, 1, 2), 3); // halves round away from zero
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(7, 1, 0), -1);
    EXPECT_EQ(MulDiv(0x7FFFFFFF, 2, 1), -1);
    for (int px : {1, 2, 31, 32, 99, 100, 257, 4000})
        EXPECT_EQ(decode::HimetricToPixels(decode::PixelsToHimetric(px)), px);

    // An enhanced metafile whose frame is 2646 x 1323 HIMETRIC: 100 x 50 pixels.
    Emf emf;
    emf.rec(39, {1, 0, 0x0000FF, 0}); // red solid brush
    emf.rec(37, {1});
    emf.rec(43, {10, 10, 40, 40});
    TOleBITMAP b;
    b.LoadFromStream(emf.finish(0, 0, 2646, 1323));
    EXPECT_EQ(b.HimetricWidth(), 2646);
    EXPECT_EQ(b.HimetricHeight(), 1323);
    EXPECT_EQ(b.Width(), 100);
    EXPECT_EQ(b.Height(), 50);
    EXPECT_TRUE(b.Transparent());
    EXPECT_EQ(b.Bitmap().pixel(25, 25), qRgb(255, 0, 0));
    EXPECT_EQ(b.Bitmap().pixel(80, 10), kKey);

    // A placeable WMF: 1 inch by half an inch, 96 x 48 pixels.
    Wmf wmf;
    TOleBITMAP w;
    w.LoadFromStream(wmf.finish(0, 0, 1440, 720, 1440));
    EXPECT_EQ(w.HimetricWidth(), 2540);
    EXPECT_EQ(w.Width(), 96);
    EXPECT_EQ(w.Height(), 48);
    EXPECT_EQ(w.Bitmap().pixel(50, 20), kKey);
}

} // namespace
