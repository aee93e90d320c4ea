// WMF and EMF playback: sizes, objects, mapping, bitmaps, paths and text,
// checked on the rendered pixels.
#include "TestImages.h"

#include "decode/MetafileGraphic.h"

#include <QPainter>

#include <cstring>

#include <gtest/gtest.h>

namespace {

using namespace testimg;

constexpr int kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000;

bool IsColour(QRgb p, QRgb want, int tolerance = 8)
{
    return qAlpha(p) > 240 && std::abs(qRed(p) - qRed(want)) <= tolerance
           && std::abs(qGreen(p) - qGreen(want)) <= tolerance && std::abs(qBlue(p) - qBlue(want)) <= tolerance;
}
bool IsEmpty(QRgb p)
{
    return qAlpha(p) == 0;
}

QImage Render(const QByteArray& bytes, QSize* size = nullptr)
{
    TMetafileGraphic g;
    g.LoadFromStream(bytes);
    if (size)
        *size = QSize(g.Width(), g.Height());
    return g.ToImage().convertToFormat(QImage::Format_ARGB32);
}

int DarkPixels(const QImage& img, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qAlpha(img.pixel(x, y)) > 128 && qRed(img.pixel(x, y)) < 100)
                ++n;
    return n;
}

// WMF helpers: parameters are written in reverse order of the call.
void Brush(Wmf& w, int style, int color)
{
    w.rec(0x02FC, {style, color & 0xFFFF, color >> 16, 0});
}
void Pen(Wmf& w, int style, int width, int color)
{
    w.rec(0x02FA, {style, width, 0, color & 0xFFFF, color >> 16});
}
void Select(Wmf& w, int index)
{
    w.rec(0x012D, {index});
}
void Rect(Wmf& w, int l, int t, int r, int b)
{
    w.rec(0x041B, {b, r, t, l});
}

TEST(Wmf, SizeObjectsSlotsAndSavedStates)
{
    Wmf w;
    Brush(w, 0, kRed); // slot 0
    Pen(w, 5, 0, 0); // slot 1: null pen
    Select(w, 0);
    Select(w, 1);
    Rect(w, 10, 10, 40, 40);
    Brush(w, 0, kGreen); // slot 2
    w.rec(0x01F0, {0}); // delete slot 0
    Brush(w, 0, kBlue); // takes the lowest free slot: 0
    Select(w, 0);
    w.rec(0x0418, {45, 90, 5, 50}); // ellipse
    w.rec(0x001E, {}); // SaveDC
    Select(w, 2);
    w.rec(0x0127, {-1}); // RestoreDC: blue again
    Rect(w, 92, 40, 99, 49);
    QSize size;
    const QImage img = Render(w.finish(0, 0, 100, 50, 96), &size);
    EXPECT_EQ(size, QSize(100, 50));
    EXPECT_TRUE(IsColour(img.pixel(25, 25), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsEmpty(img.pixel(45, 25)));
    EXPECT_TRUE(IsColour(img.pixel(70, 25), qRgb(0, 0, 255)));
    EXPECT_TRUE(IsEmpty(img.pixel(51, 6))); // outside the ellipse's corner
    EXPECT_TRUE(IsColour(img.pixel(95, 45), qRgb(0, 0, 255)));
}

TEST(Wmf, WindowMappingAndUnitsPerInch)
{
    Wmf w;
    w.rec(0x020B, {0, 0}); // SetWindowOrg
    w.rec(0x020C, {500, 1000}); // SetWindowExt 1000 x 500
    Brush(w, 0, kRed);
    Select(w, 0);
    Pen(w, 5, 0, 0);
    Select(w, 1);
    Rect(w, 500, 0, 1000, 500);
    // 1440 units per inch, 1440 x 720 units: 96 x 48 pixels.
    TMetafileGraphic g;
    g.LoadFromStream(w.finish(0, 0, 1440, 720, 1440));
    EXPECT_EQ(g.Width(), 96);
    EXPECT_EQ(g.Height(), 48);
    const QImage img = g.ToImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_TRUE(IsColour(img.pixel(72, 24), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsEmpty(img.pixel(24, 24)));
    // Drawn scaled into a larger rectangle with an offset.
    QImage canvas(300, 200, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    g.Draw(p, QRect(100, 50, 192, 96));
    p.end();
    EXPECT_TRUE(IsColour(canvas.pixel(250, 100), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsColour(canvas.pixel(150, 100), qRgb(255, 255, 255)));
    EXPECT_TRUE(IsColour(canvas.pixel(295, 100), qRgb(255, 255, 255)));
}

TEST(Wmf, PolygonOutlineAndBitmap)
{
    Wmf w;
    Brush(w, 1, 0); // null brush
    Pen(w, 0, 3, kBlue);
    Select(w, 0);
    Select(w, 1);
    w.rec(0x0324, {4, 10, 10, 40, 10, 40, 40, 10, 40});
    // DIBSTRETCHBLT of a 2 x 1 24-bit DIB (red, green) into the right half.
    Bytes dib;
    dib.raw(InfoHeader(2, 1, 24)).raw(QByteArray("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8));
    Bytes params;
    params.u32(0x00CC0020).s16(1).s16(2).s16(0).s16(0).s16(50).s16(50).s16(0).s16(50).raw(dib.data);
    w.recBytes(0x0B41, params.data);
    const QImage img = Render(w.finish(0, 0, 100, 50, 96));
    EXPECT_TRUE(IsColour(img.pixel(25, 10), qRgb(0, 0, 255)));
    EXPECT_TRUE(IsColour(img.pixel(10, 25), qRgb(0, 0, 255)));
    EXPECT_TRUE(IsEmpty(img.pixel(25, 25)));
    EXPECT_TRUE(IsColour(img.pixel(60, 25), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsColour(img.pixel(90, 25), qRgb(0, 255, 0)));
}

TEST(Wmf, TextIsDrawnInTheTextColour)
{
    Wmf w;
    Bytes font;
    font.s16(-30).s16(0).s16(0).s16(0).s16(700).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0).u8(0);
    font.raw(QByteArray("DejaVu Sans")).zeros(21);
    w.recBytes(0x02FB, font.data); // slot 0
    Select(w, 0);
    w.rec(0x0209, {0, 0}); // text colour black
    w.rec(0x0102, {1}); // transparent background
    Bytes text;
    text.s16(2).raw(QByteArray("MW")).s16(5).s16(5); // count, string, y, x
    w.recBytes(0x0521, text.data);
    const QImage img = Render(w.finish(0, 0, 100, 50, 96));
    EXPECT_GT(DarkPixels(img, QRect(5, 5, 60, 35)), 40);
    EXPECT_EQ(DarkPixels(img, QRect(70, 0, 30, 50)), 0);
    EXPECT_EQ(DarkPixels(img, QRect(0, 42, 100, 8)), 0);
}

// --- EMF -------------------------------------------------------------------

QByteArray Floats(std::initializer_list<float> values)
{
    Bytes b;
    for (float f : values) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, 4);
        b.u32(bits);
    }
    return b.data;
}

TEST(Emf, ShapesStockObjectsAndMapping)
{
    Emf e;
    e.rec(37, {std::int32_t(0x80000008)}); // NULL_PEN
    e.rec(39, {1, 0, kGreen, 0});
    e.rec(37, {1});
    e.rec(43, {0, 0, 20, 20});
    e.rec(37, {std::int32_t(0x80000004)}); // BLACK_BRUSH
    e.rec(42, {25, 5, 45, 25});
    // MM_ANISOTROPIC: window 200 x 100 onto viewport 100 x 50.
    e.rec(17, {8});
    e.rec(9, {200, 100});
    e.rec(11, {100, 50});
    e.rec(37, {1});
    e.rec(43, {120, 60, 200, 100});
    QSize size;
    const QImage img = Render(e.finish(0, 0, 2646, 1323), &size);
    EXPECT_EQ(size, QSize(100, 50));
    EXPECT_TRUE(IsColour(img.pixel(10, 10), qRgb(0, 255, 0)));
    EXPECT_TRUE(IsColour(img.pixel(35, 15), qRgb(0, 0, 0)));
    EXPECT_TRUE(IsColour(img.pixel(80, 40), qRgb(0, 255, 0)));
    EXPECT_TRUE(IsEmpty(img.pixel(55, 25)));
}

TEST(Emf, WorldTransformPathAndPolygon)
{
    Emf e;
    e.rec(37, {std::int32_t(0x80000008)});
    e.rec(39, {1, 0, kRed, 0});
    e.rec(37, {1});
    e.rec(35, Floats({1, 0, 0, 1, 50, 0})); // translate 50 to the right
    e.rec(43, {0, 0, 20, 20});
    e.rec(36, Floats({1, 0, 0, 1, 0, 0}) + QByteArray("\x01\0\0\0", 4)); // identity again
    e.rec(59, QByteArray()); // BEGINPATH
    e.rec(27, {0, 30});
    e.rec(54, {20, 30});
    e.rec(54, {20, 49});
    e.rec(54, {0, 49});
    e.rec(61, QByteArray());
    e.rec(60, QByteArray());
    e.rec(62, {0, 0, 0, 0}); // FILLPATH
    Bytes poly;
    poly.s32(0).s32(0).s32(0).s32(0).u32(3).s16(80).s16(0).s16(99).s16(0).s16(99).s16(20);
    e.rec(86, poly.data); // POLYGON16
    const QImage img = Render(e.finish(0, 0, 2646, 1323));
    EXPECT_TRUE(IsColour(img.pixel(60, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsEmpty(img.pixel(10, 10)));
    EXPECT_TRUE(IsColour(img.pixel(10, 40), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsColour(img.pixel(96, 3), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsEmpty(img.pixel(83, 15)));
}

TEST(Emf, StretchDibitsAndText)
{
    Emf e;
    // 2 x 2 32-bit DIB, bottom-up: bottom row blue, green; top row red, white.
    Bytes bits;
    bits.u32(0x000000FF).u32(0x0000FF00).u32(0x00FF0000).u32(0x00FFFFFF);
    Bytes r;
    r.s32(0).s32(0).s32(0).s32(0); // bounds
    r.s32(0).s32(0).s32(0).s32(0).s32(2).s32(2); // xDest, yDest, xSrc, ySrc, cxSrc, cySrc
    r.u32(80).u32(40).u32(120).u32(16); // offBmi, cbBmi, offBits, cbBits
    r.u32(0).u32(0x00CC0020).s32(50).s32(50); // usage, rop, cxDest, cyDest
    r.raw(InfoHeader(2, 2, 32)).raw(bits.data);
    e.rec(81, r.data);

    Bytes font;
    font.u32(1).s32(-30).s32(0).s32(0).s32(0).s32(700).u8(0).u8(0).u8(0).u8(1).u32(0);
    const QString face = QStringLiteral("DejaVu Sans");
    for (QChar c : face)
        font.u16(c.unicode());
    font.zeros(64 - 2 * int(face.size()));
    e.rec(82, font.data);
    e.rec(37, {1});
    e.rec(24, {0}); // text colour black
    e.rec(18, {1}); // transparent background
    Bytes t;
    t.s32(0).s32(0).s32(0).s32(0).u32(1).u32(0).u32(0); // bounds, graphics mode, scales
    t.s32(55).s32(5).u32(2).u32(76).u32(0).s32(0).s32(0).s32(0).s32(0).u32(0);
    t.u16('M').u16('W');
    e.rec(84, t.data);

    const QImage img = Render(e.finish(0, 0, 2646, 1323));
    EXPECT_TRUE(IsColour(img.pixel(10, 10), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsColour(img.pixel(40, 10), qRgb(255, 255, 255)));
    EXPECT_TRUE(IsColour(img.pixel(10, 40), qRgb(0, 0, 255)));
    EXPECT_TRUE(IsColour(img.pixel(40, 40), qRgb(0, 255, 0)));
    EXPECT_GT(DarkPixels(img, QRect(55, 5, 45, 40)), 40);
}

QByteArray Region(std::initializer_list<QRect> rects)
{
    Bytes b;
    b.u32(32).u32(1).u32(std::uint32_t(rects.size())).u32(std::uint32_t(16 * rects.size()));
    b.s32(0).s32(0).s32(100).s32(50);
    for (const QRect& r : rects)
        b.s32(r.left()).s32(r.top()).s32(r.right() + 1).s32(r.bottom() + 1);
    return b.data;
}

TEST(Emf, RegionsFillAndClip)
{
    Emf e;
    e.rec(37, {std::int32_t(0x80000008)});
    e.rec(39, {1, 0, kRed, 0});
    e.rec(39, {2, 0, kGreen, 0});
    // FILLRGN with brush 1: two rectangles.
    const QByteArray rgn = Region({QRect(0, 0, 10, 10), QRect(20, 0, 10, 10)});
    Bytes fill;
    fill.s32(0).s32(0).s32(30).s32(10).u32(std::uint32_t(rgn.size())).u32(1).raw(rgn);
    e.rec(71, fill.data);
    // Clip to the right half, then fill everything below the first row of boxes green.
    const QByteArray clip = Region({QRect(50, 0, 50, 50)});
    Bytes sel;
    sel.u32(std::uint32_t(clip.size())).u32(5).raw(clip);
    e.rec(75, sel.data);
    e.rec(37, {2});
    e.rec(43, {0, 20, 100, 50});
    const QImage img = Render(e.finish(0, 0, 2646, 1323));
    EXPECT_TRUE(IsColour(img.pixel(5, 5), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsEmpty(img.pixel(15, 5)));
    EXPECT_TRUE(IsColour(img.pixel(25, 5), qRgb(255, 0, 0)));
    EXPECT_TRUE(IsEmpty(img.pixel(25, 35)));
    EXPECT_TRUE(IsColour(img.pixel(75, 35), qRgb(0, 255, 0)));
}

TEST(Metafile, DamagedOrUnsupportedDataFails)
{
    Emf e;
    e.rec(43, {0, 0, 10, 10});
    const QByteArray good = e.finish(0, 0, 2646, 1323);
    TMetafileGraphic g;
    EXPECT_NO_THROW(g.LoadFromStream(good));
    // No end record, cut inside a record, empty frame, too large a frame.
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(good.left(good.size() - 20)), EGraphicError);
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(good.left(good.size() - 3)), EGraphicError);
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(e.finish(0, 0, 0, 1323)), EGraphicError);
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(e.finish(0, 0, 2000000000, 2000000000)), EGraphicError);

    Wmf w;
    Rect(w, 0, 0, 5, 5);
    const QByteArray wmf = w.finish(0, 0, 100, 50, 96);
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(wmf.left(wmf.size() - 6)), EGraphicError);
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(w.finish(0, 0, 100, 50, 0)), EGraphicError);
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(w.finish(0, 0, 0, 50, 96)), EGraphicError);
    // A WMF without the placeable header is not loaded.
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(wmf.mid(22)), EGraphicError);
    EXPECT_THROW(TMetafileGraphic().LoadFromStream(QByteArray(100, 'x')), EGraphicError);
}

} // namespace
