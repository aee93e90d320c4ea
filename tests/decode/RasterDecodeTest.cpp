// BMP, ICO/CUR, JPEG and PNG decoding, compared pixel by pixel.
#include "TestImages.h"

#include "decode/BmpGraphic.h"
#include "decode/DisplayInfo.h"
#include "decode/IconGraphic.h"
#include "decode/JpegGraphic.h"
#include "decode/PngGraphic.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace {

using namespace testimg;

QRgb Px(const QImage& image, int x, int y)
{
    return image.pixel(x, y);
}

// Largest per-channel difference of two equally sized images (alpha included).
int MaxDifference(const QImage& a, const QImage& b)
{
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

QImage LoadBmp(const QByteArray& bytes)
{
    TBitmapGraphic g;
    g.LoadFromStream(bytes);
    return g.ToImage();
}

// --- BMP -------------------------------------------------------------------

TEST(Bmp, PaletteDepthsAndShortPalette)
{
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), white = qRgb(255, 255, 255);
    { // 1 bit, 10 x 2, bottom-up: file row 0 is the lower row.
        const QByteArray bits = PadRows({QByteArray("\xAA\x40", 2), QByteArray("\xFF\xC0", 2)});
        const QImage img = LoadBmp(BmpFile(InfoHeader(10, 2, 1) + Palette({red, blue}), bits));
        ASSERT_EQ(img.size(), QSize(10, 2));
        EXPECT_EQ(Px(img, 0, 1), blue);
        EXPECT_EQ(Px(img, 1, 1), red);
        EXPECT_EQ(Px(img, 9, 1), blue);
        EXPECT_EQ(Px(img, 8, 1), red);
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(Px(img, x, 0), blue);
    }
    { // 2 bits (Windows CE)
        const QImage img = LoadBmp(
            BmpFile(InfoHeader(4, 1, 2) + Palette({red, green, blue, white}), PadRows({QByteArray("\x1B", 1)})));
        EXPECT_EQ(Px(img, 0, 0), red);
        EXPECT_EQ(Px(img, 1, 0), green);
        EXPECT_EQ(Px(img, 2, 0), blue);
        EXPECT_EQ(Px(img, 3, 0), white);
    }
    { // 4 bits, top-down
        const QImage img = LoadBmp(BmpFile(InfoHeader(3, -2, 4, 0, 3) + Palette({red, green, blue}),
                                           PadRows({QByteArray("\x01\x20", 2), QByteArray("\x22\x10", 2)})));
        EXPECT_EQ(Px(img, 0, 0), red);
        EXPECT_EQ(Px(img, 1, 0), green);
        EXPECT_EQ(Px(img, 2, 0), blue);
        EXPECT_EQ(Px(img, 0, 1), blue);
        EXPECT_EQ(Px(img, 2, 1), green);
    }
    { // 8 bits with two palette entries: indices beyond the table are black.
        const QImage img = LoadBmp(
            BmpFile(InfoHeader(3, 1, 8, 0, 2) + Palette({red, green}), PadRows({QByteArray("\x01\x00\xC8", 3)})));
        EXPECT_EQ(Px(img, 0, 0), green);
        EXPECT_EQ(Px(img, 1, 0), red);
        EXPECT_EQ(Px(img, 2, 0), qRgb(0, 0, 0));
    }
    { // No colour count: 256 entries are due, two are present; the missing ones are black.
        QByteArray file =
            BmpFile(InfoHeader(2, 1, 8, 0, 0) + Palette({red, green}), PadRows({QByteArray("\x00\x01", 2)}));
        const QImage img = LoadBmp(file);
        EXPECT_EQ(Px(img, 0, 0), red);
        EXPECT_EQ(Px(img, 1, 0), green);
    }
}

TEST(Bmp, TrueColourAndBitFields)
{
    { // 24 bits, bottom-up and top-down
        const QByteArray rows =
            PadRows({QByteArray("\x00\x00\xFF\x00\xFF\x00", 6), QByteArray("\xFF\x00\x00\x10\x20\x30", 6)});
        QImage up = LoadBmp(BmpFile(InfoHeader(2, 2, 24), rows));
        EXPECT_EQ(Px(up, 0, 1), qRgb(255, 0, 0));
        EXPECT_EQ(Px(up, 1, 1), qRgb(0, 255, 0));
        EXPECT_EQ(Px(up, 0, 0), qRgb(0, 0, 255));
        EXPECT_EQ(Px(up, 1, 0), qRgb(0x30, 0x20, 0x10));
        QImage down = LoadBmp(BmpFile(InfoHeader(2, -2, 24), rows));
        EXPECT_EQ(Px(down, 0, 0), qRgb(255, 0, 0));
        EXPECT_EQ(Px(down, 1, 1), qRgb(0x30, 0x20, 0x10));
    }
    { // 16 bits 5-5-5 (BI_RGB)
        Bytes b;
        b.u16(0x7C00).u16(0x03E0).u16(0x001F).u16(0x4210);
        const QImage img = LoadBmp(BmpFile(InfoHeader(4, 1, 16), b.data));
        EXPECT_EQ(Px(img, 0, 0), qRgb(255, 0, 0));
        EXPECT_EQ(Px(img, 1, 0), qRgb(0, 255, 0));
        EXPECT_EQ(Px(img, 2, 0), qRgb(0, 0, 255));
        EXPECT_EQ(Px(img, 3, 0), qRgb(132, 132, 132));
    }
    { // 16 bits 5-6-5 through bit fields after a 40-byte header
        Bytes masks;
        masks.u32(0xF800).u32(0x07E0).u32(0x001F);
        Bytes b;
        b.u16(0xF800).u16(0x07E0).u16(0x0020);
        const QImage img = LoadBmp(BmpFile(InfoHeader(3, 1, 16, 3) + masks.data, PadRows({b.data})));
        EXPECT_EQ(Px(img, 0, 0), qRgb(255, 0, 0));
        EXPECT_EQ(Px(img, 1, 0), qRgb(0, 255, 0));
        EXPECT_EQ(Px(img, 2, 0), qRgb(0, 4, 0)); // 1 of 63 steps
    }
    { // 32 bits BI_RGB: the fourth byte is ignored.
        Bytes b;
        b.u32(0x00112233).u32(0x7FAABBCC);
        const QImage img = LoadBmp(BmpFile(InfoHeader(2, 1, 32), b.data));
        EXPECT_EQ(img.pixel(0, 0), qRgba(0x11, 0x22, 0x33, 255));
        EXPECT_EQ(img.pixel(1, 0), qRgba(0xAA, 0xBB, 0xCC, 255));
    }
    { // V5 header with an alpha mask: alpha is kept.
        Bytes h;
        h.raw(InfoHeader(2, 1, 32, 3).mid(0, 40));
        h.data[0] = char(124);
        h.u32(0x00FF0000).u32(0x0000FF00).u32(0x000000FF).u32(0xFF000000);
        h.zeros(124 - 56);
        Bytes b;
        b.u32(0x80FF0000).u32(0xFF00FF00);
        const QImage img = LoadBmp(BmpFile(h.data, b.data));
        EXPECT_EQ(img.format(), QImage::Format_ARGB32);
        EXPECT_EQ(img.pixel(0, 0), qRgba(255, 0, 0, 0x80));
        EXPECT_EQ(img.pixel(1, 0), qRgba(0, 255, 0, 255));
    }
    { // Bit fields with alpha zero everywhere: opaque.
        Bytes masks;
        masks.u32(0x00FF0000).u32(0x0000FF00).u32(0x000000FF).u32(0xFF000000);
        Bytes b;
        b.u32(0x00102030);
        const QImage img = LoadBmp(BmpFile(InfoHeader(1, 1, 32, 6) + masks.data, b.data));
        EXPECT_EQ(img.pixel(0, 0), qRgba(0x10, 0x20, 0x30, 255));
    }
}

TEST(Bmp, RunLengthEncoded)
{
    const QRgb c0 = qRgb(0, 0, 0), c1 = qRgb(255, 0, 0), c2 = qRgb(0, 255, 0), c3 = qRgb(0, 0, 255);
    { // RLE8, 6 x 3: run, absolute run, end of line, delta, end of bitmap; undrawn pixels are index 0.
        Bytes r;
        r.u8(3).u8(1); // 3 x index 1
        r.u8(0).u8(3).u8(2).u8(3).u8(2).u8(0); // absolute: 2 3 2 + pad
        r.u8(0).u8(0); // end of line
        r.u8(0).u8(2).u8(2).u8(1); // delta +2,+1 -> x 2, y 2
        r.u8(2).u8(3); // 2 x index 3
        r.u8(0).u8(1); // end of bitmap
        const QImage img = LoadBmp(BmpFile(InfoHeader(6, 3, 8, 1, 4) + Palette({c0, c1, c2, c3}), r.data));
        ASSERT_EQ(img.size(), QSize(6, 3));
        // File row 0 is the bottom row.
        EXPECT_EQ(Px(img, 0, 2), c1);
        EXPECT_EQ(Px(img, 2, 2), c1);
        EXPECT_EQ(Px(img, 3, 2), c2);
        EXPECT_EQ(Px(img, 4, 2), c3);
        EXPECT_EQ(Px(img, 5, 2), c2);
        EXPECT_EQ(Px(img, 0, 1), c0);
        EXPECT_EQ(Px(img, 1, 0), c0);
        EXPECT_EQ(Px(img, 2, 0), c3);
        EXPECT_EQ(Px(img, 3, 0), c3);
        EXPECT_EQ(Px(img, 4, 0), c0);
    }
    { // RLE4: a run alternates two indices; an absolute run packs two per byte.
        Bytes r;
        r.u8(5).u8(0x12); // 1 2 1 2 1
        r.u8(0).u8(3).u8(0x30).u8(0x20).u8(0).u8(0); // absolute 3 0 2 (two bytes, even), end of line
        r.u8(0).u8(1);
        const QImage img = LoadBmp(BmpFile(InfoHeader(8, 1, 4, 2) + Palette({c0, c1, c2, c3}), r.data));
        EXPECT_EQ(Px(img, 0, 0), c1);
        EXPECT_EQ(Px(img, 1, 0), c2);
        EXPECT_EQ(Px(img, 4, 0), c1);
        EXPECT_EQ(Px(img, 5, 0), c3);
        EXPECT_EQ(Px(img, 6, 0), c0);
        EXPECT_EQ(Px(img, 7, 0), c2);
    }
    { // Runs past the end of the row and deltas past the last row are clipped.
        Bytes r;
        r.u8(255).u8(1).u8(0).u8(2).u8(255).u8(255).u8(0).u8(1);
        const QImage img = LoadBmp(BmpFile(InfoHeader(2, 2, 8, 1) + Palette({c0, c1}), r.data));
        EXPECT_EQ(Px(img, 0, 1), c1);
        EXPECT_EQ(Px(img, 1, 1), c1);
        EXPECT_EQ(Px(img, 0, 0), c0);
    }
}

TEST(Bmp, Os2Headers)
{
    { // OS/2 1.x: 12-byte header, 3-byte palette entries
        Bytes b;
        b.u32(12).u16(2).u16(1).u16(1).u16(8);
        b.u8(0).u8(0).u8(255).u8(255).u8(0).u8(0); // red, blue
        const QImage img = LoadBmp(BmpFile(b.data, PadRows({QByteArray("\x01\x00", 2)})));
        EXPECT_EQ(Px(img, 0, 0), qRgb(0, 0, 255));
        EXPECT_EQ(Px(img, 1, 0), qRgb(255, 0, 0));
    }
    { // OS/2 2.x: 64-byte header, 24 bits
        Bytes b;
        b.u32(64).s32(1).s32(1).u16(1).u16(24).u32(0);
        b.zeros(64 - 20);
        const QImage img = LoadBmp(BmpFile(b.data, PadRows({QByteArray("\x01\x02\x03", 3)})));
        EXPECT_EQ(Px(img, 0, 0), qRgb(3, 2, 1));
    }
}

TEST(Bmp, DrawScalesIntoTheRectangle)
{
    const QByteArray rows = PadRows({QByteArray("\x00\x00\xFF\xFF\x00\x00", 6)});
    TBitmapGraphic g;
    g.LoadFromStream(BmpFile(InfoHeader(2, 1, 24), rows));
    EXPECT_EQ(g.Width(), 2);
    EXPECT_EQ(g.Height(), 1);
    EXPECT_EQ(g.PixelFormatBits(), 24);
    EXPECT_FALSE(g.Transparent());
    QImage canvas(40, 20, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    g.Draw(p, QRect(10, 5, 20, 10));
    p.end();
    EXPECT_EQ(canvas.pixel(12, 10), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(27, 10), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(5, 10), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(20, 17), qRgb(255, 255, 255));
}

// --- ICO / CUR -------------------------------------------------------------

QImage Pattern(int size, bool withAlpha)
{
    QImage img(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            img.setPixel(
                x, y,
                qRgba(x * 255 / size, y * 255 / size, 77, withAlpha ? (x + y) % 4 * 85 : ((x < size / 2) ? 0 : 255)));
    return img;
}

TEST(Icon, LargestImageWithAlphaOrMask)
{
    const QImage small = Pattern(16, false);
    const QImage big = Pattern(32, true);
    TIconGraphic g;
    g.LoadFromStream(IconFile(1, {IconDib24WithMask(small), IconDib32(big)}));
    ASSERT_EQ(g.Width(), 32);
    EXPECT_EQ(MaxDifference(g.ToImage().convertToFormat(QImage::Format_ARGB32), big), 0);

    // Only the masked 24-bit image: mask bits become transparent pixels.
    TIconGraphic m;
    m.LoadFromStream(IconFile(1, {IconDib24WithMask(small)}));
    const QImage img = m.ToImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(img.size(), QSize(16, 16));
    EXPECT_EQ(qAlpha(img.pixel(3, 5)), 0);
    EXPECT_EQ(img.pixel(12, 5), small.pixel(12, 5));
}

TEST(Icon, PngEntryAndPaletteEntryAndCursor)
{
    const QImage large = Pattern(64, true);
    // 4-bit palette DIB with its AND mask.
    Bytes dib;
    dib.raw(InfoHeader(8, 16, 4)).raw(Palette({qRgb(0, 0, 0), qRgb(255, 0, 0)}));
    dib.zeros(14 * 4);
    for (int y = 0; y < 8; ++y)
        dib.u32(0x11111111);
    for (int y = 0; y < 8; ++y)
        dib.u32(y == 0 ? 0x000000F0 : 0); // bottom row: left half masked
    TIconGraphic g;
    g.LoadFromStream(IconFile(1, {dib.data, EncodePng(large)}));
    ASSERT_EQ(g.Width(), 64);
    EXPECT_EQ(MaxDifference(g.ToImage().convertToFormat(QImage::Format_ARGB32), large), 0);

    TIconGraphic palette;
    palette.LoadFromStream(IconFile(1, {dib.data}));
    const QImage p = palette.ToImage();
    EXPECT_EQ(p.pixel(4, 7), qRgb(255, 0, 0));
    EXPECT_EQ(qAlpha(p.pixel(1, 7)), 0);
    EXPECT_EQ(p.pixel(1, 6), qRgb(255, 0, 0));

    TIconGraphic cursor;
    cursor.LoadFromStream(IconFile(2, {IconDib32(Pattern(32, true))}));
    EXPECT_EQ(cursor.Width(), 32);
}

// --- JPEG ------------------------------------------------------------------

TEST(Jpeg, DecodesIn24BitsAtFullSize)
{
    const QImage source = BlockImage(64, 40);
    TJpegGraphic g;
    g.LoadFromStream(EncodeJpeg(source));
    // 24 bits of colour, held in the screen's 32-bit layout.
    EXPECT_EQ(g.Image().format(), QImage::Format_RGB32);
    EXPECT_EQ(g.Width(), 64);
    EXPECT_EQ(g.Height(), 40);
    EXPECT_LE(MaxDifference(g.ToImage().convertToFormat(QImage::Format_RGB32), source), 3);

    JpegOptions progressive;
    progressive.progressive = true;
    TJpegGraphic pg;
    pg.LoadFromStream(EncodeJpeg(source, progressive));
    EXPECT_LE(MaxDifference(pg.ToImage().convertToFormat(QImage::Format_RGB32), source), 3);
}

TEST(Jpeg, GrayscaleAndCmyk)
{
    QImage gray(16, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            gray.setPixel(x, y, x < 8 ? qRgb(40, 40, 40) : qRgb(200, 200, 200));
    JpegOptions g;
    g.grayscale = true;
    TJpegGraphic a;
    a.LoadFromStream(EncodeJpeg(gray, g));
    EXPECT_LE(MaxDifference(a.ToImage().convertToFormat(QImage::Format_RGB32), gray), 2);

    const QImage source = BlockImage(32, 16);
    JpegOptions c;
    c.cmykInverted = true;
    TJpegGraphic b;
    b.LoadFromStream(EncodeJpeg(source, c));
    EXPECT_LE(MaxDifference(b.ToImage().convertToFormat(QImage::Format_RGB32), source), 12);
}

TEST(Jpeg, EightBitScreensGetAPalettePicture)
{
    const QImage source = BlockImage(32, 32);
    const QByteArray jpeg = EncodeJpeg(source);
    decode::SetScreenDepthForTesting(8);
    TJpegGraphic g;
    g.LoadFromStream(jpeg);
    decode::SetScreenDepthForTesting(0);
    EXPECT_EQ(g.Image().format(), QImage::Format_Indexed8);
    EXPECT_LE(g.Image().colorCount(), 256);
    EXPECT_LE(MaxDifference(g.ToImage().convertToFormat(QImage::Format_RGB32), source), 24);

    decode::SetScreenDepthForTesting(16);
    TJpegGraphic h;
    h.LoadFromStream(jpeg);
    decode::SetScreenDepthForTesting(0);
    EXPECT_EQ(h.Image().format(), QImage::Format_RGB32);
}

TEST(Jpeg, ReportsProgress)
{
    TJpegGraphic g;
    std::vector<int> seen;
    g.SetProgressHandler([&](int percent) { seen.push_back(percent); });
    g.LoadFromStream(EncodeJpeg(BlockImage(16, 200)));
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

// --- PNG -------------------------------------------------------------------

TEST(Png, ColourTypesWithTransparency)
{
    QImage rgba(7, 5, QImage::Format_ARGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            rgba.setPixel(x, y, qRgba(x * 30, y * 50, 255 - x * 20, (x * 37 + y * 11) % 256));
    {
        TPngGraphic g;
        g.LoadFromStream(EncodePng(rgba));
        EXPECT_EQ(g.Image().format(), QImage::Format_ARGB32);
        EXPECT_EQ(MaxDifference(g.ToImage(), rgba), 0);
    }
    { // interlaced
        PngOptions o;
        o.interlace = true;
        TPngGraphic g;
        g.LoadFromStream(EncodePng(rgba, o));
        EXPECT_EQ(MaxDifference(g.ToImage(), rgba), 0);
    }
    { // palette with tRNS
        QImage pal(4, 2, QImage::Format_ARGB32);
        const QRgb colors[] = {qRgba(255, 0, 0, 255), qRgba(0, 255, 0, 0), qRgba(0, 0, 255, 128), qRgba(9, 9, 9, 255)};
        for (int i = 0; i < 8; ++i)
            pal.setPixel(i % 4, i / 4, colors[(i + i / 4) % 4]);
        PngOptions o;
        o.kind = PngOptions::Palette;
        TPngGraphic g;
        g.LoadFromStream(EncodePng(pal, o));
        EXPECT_EQ(g.Image().format(), QImage::Format_ARGB32);
        EXPECT_EQ(MaxDifference(g.ToImage(), pal), 0);
    }
    { // opaque RGB
        QImage rgb = rgba.convertToFormat(QImage::Format_RGB32);
        PngOptions o;
        o.kind = PngOptions::Rgb;
        TPngGraphic g;
        g.LoadFromStream(EncodePng(rgb, o));
        EXPECT_EQ(g.Image().format(), QImage::Format_RGB32);
        EXPECT_EQ(MaxDifference(g.ToImage(), rgb), 0);
    }
    { // 16-bit grey: the high byte of each sample
        PngOptions o;
        o.kind = PngOptions::Gray16;
        TPngGraphic g;
        g.LoadFromStream(EncodePng(rgba, o));
        const QImage img = g.ToImage();
        EXPECT_EQ(img.pixel(3, 2), qRgb(90, 90, 90));
        EXPECT_EQ(img.pixel(6, 4), qRgb(180, 180, 180));
    }
}

TEST(Png, DrawKeepsTheBackgroundUnderTransparentPixels)
{
    QImage src(2, 1, QImage::Format_ARGB32);
    src.setPixel(0, 0, qRgba(255, 0, 0, 255));
    src.setPixel(1, 0, qRgba(0, 0, 255, 0));
    TPngGraphic g;
    g.LoadFromStream(EncodePng(src));
    QImage canvas(20, 10, QImage::Format_RGB32);
    canvas.fill(Qt::green);
    QPainter p(&canvas);
    g.Draw(p, canvas.rect());
    p.end();
    EXPECT_EQ(canvas.pixel(2, 5), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(17, 5), qRgb(0, 255, 0));
}

} // namespace
