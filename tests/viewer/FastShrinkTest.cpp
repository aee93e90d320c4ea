#include "viewer/common/FastShrink.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

TEST(FastShrink, BoxAveragesEachBlockForEveryInputFormat)
{
    // A 4 x 2 picture of two 2 x 2 blocks: left black/white mix, right red.
    QImage rgb(4, 2, QImage::Format_RGB888);
    rgb.setPixel(0, 0, qRgb(0, 0, 0));
    rgb.setPixel(1, 0, qRgb(255, 255, 255));
    rgb.setPixel(0, 1, qRgb(255, 255, 255));
    rgb.setPixel(1, 1, qRgb(0, 0, 0));
    for (int x = 2; x < 4; ++x)
        for (int y = 0; y < 2; ++y)
            rgb.setPixel(x, y, qRgb(200, 10, 30));
    for (QImage::Format f :
         {QImage::Format_RGB888, QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_Indexed8}) {
        const QImage small = BoxShrink(rgb.convertToFormat(f), 2);
        ASSERT_EQ(small.size(), QSize(2, 1)) << f;
        EXPECT_EQ(qRed(small.pixel(0, 0)), 128) << f; // (0 + 255 + 255 + 0) / 4 rounded
        EXPECT_EQ(small.pixel(1, 0) & 0xFFFFFF, qRgb(200, 10, 30) & 0xFFFFFF) << f;
    }
}

TEST(FastShrink, SmoothShrinkGivesTheTargetSizeAndKeepsFlatColour)
{
    QImage big(6000, 4000, QImage::Format_RGB888);
    big.fill(QColor(10, 120, 240));
    const QImage small = SmoothShrink(big, QSize(1500, 1000));
    ASSERT_EQ(small.size(), QSize(1500, 1000));
    EXPECT_EQ(small.pixel(0, 0) & 0xFFFFFF, qRgb(10, 120, 240) & 0xFFFFFF);
    EXPECT_EQ(small.pixel(1499, 999) & 0xFFFFFF, qRgb(10, 120, 240) & 0xFFFFFF);
    // Odd sizes: never below the target before the last step.
    const QImage odd = SmoothShrink(big, QSize(1999, 1333));
    EXPECT_EQ(odd.size(), QSize(1999, 1333));
    EXPECT_TRUE(SmoothShrink(QImage(), QSize(10, 10)).isNull());
}

namespace {

// The exact mean of the source area an output pixel covers, per channel.
int areaMean(const QImage& src, const QSize& target, int ox, int oy, int shift)
{
    const double sx = double(src.width()) / target.width();
    const double sy = double(src.height()) / target.height();
    const double x0 = ox * sx, x1 = (ox + 1) * sx, y0 = oy * sy, y1 = (oy + 1) * sy;
    double sum = 0;
    for (int y = int(y0); y < std::min(src.height(), int(std::ceil(y1))); ++y) {
        const double h = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
        const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (int x = int(x0); x < std::min(src.width(), int(std::ceil(x1))); ++x) {
            const double w = std::min<double>(x + 1, x1) - std::max<double>(x, x0);
            sum += w * h * ((line[x] >> shift) & 0xFF);
        }
    }
    return int(std::lround(sum / (sx * sy)));
}

} // namespace

TEST(FastShrink, EachShownPixelIsTheMeanOfTheAreaItCovers)
{
    // Noise is the hardest case for a scale: any weight wrong shows. Under
    // a third of the size, a whole-block pass comes first (tested above).
    std::mt19937 random(7);
    struct Case {
        QSize from, to;
        QImage::Format format;
    };
    const Case cases[] = {
        {{150, 113}, {144, 108}, QImage::Format_RGB32}, // a slight shrink, as after a reduced decode
        {{97, 61}, {50, 40}, QImage::Format_RGB32}, // nearly halved across, two thirds down
        {{64, 64}, {64, 31}, QImage::Format_ARGB32_Premultiplied}, // one axis kept
        {{5, 5}, {2, 2}, QImage::Format_RGB32}, // each source pixel split four ways
        {{2, 2}, {1, 1}, QImage::Format_RGB32}, // everything into one pixel
        {{33, 20}, {12, 19}, QImage::Format_ARGB32_Premultiplied},
    };
    for (const Case& c : cases) {
        QImage src(c.from, c.format);
        for (int y = 0; y < src.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(src.scanLine(y));
            for (int x = 0; x < src.width(); ++x) {
                const int a = c.format == QImage::Format_RGB32 ? 255 : int(random() % 256);
                line[x] = qRgba(int(random() % 256) * a / 255, int(random() % 256) * a / 255,
                                int(random() % 256) * a / 255, a);
            }
        }
        const QImage out = SmoothShrink(src, c.to);
        ASSERT_EQ(out.size(), c.to);
        ASSERT_EQ(out.format(), c.format);
        int worst = 0;
        for (int y = 0; y < c.to.height(); ++y)
            for (int x = 0; x < c.to.width(); ++x)
                for (int shift : {0, 8, 16, 24})
                    worst = std::max(
                        worst, std::abs(int((out.pixel(x, y) >> shift) & 0xFF) - areaMean(src, c.to, x, y, shift)));
        EXPECT_LE(worst, 1) << c.from.width() << "x" << c.from.height() << " to " << c.to.width() << "x"
                            << c.to.height();
    }
}

TEST(FastShrink, LargePicturesReuseTheMemoryOfThoseFreedBefore)
{
    QImage big(3000, 2000, QImage::Format_RGB32);
    big.fill(qRgb(1, 2, 3));
    const uchar* before = nullptr;
    {
        const QImage first = SmoothShrink(big, QSize(2900, 1900));
        before = first.constBits();
    }
    const QImage second = SmoothShrink(big, QSize(2900, 1900));
    EXPECT_EQ(second.constBits(), before);
    // A copy changed afterwards is a copy of its own.
    QImage copy = second;
    copy.setPixel(0, 0, qRgb(9, 9, 9));
    EXPECT_EQ(second.pixel(0, 0) & 0xFFFFFF, qRgb(1, 2, 3) & 0xFFFFFF);
    EXPECT_NE(copy.constBits(), second.constBits());
}
