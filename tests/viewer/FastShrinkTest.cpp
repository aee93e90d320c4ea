#include "viewer/common/FastShrink.h"

#include <gtest/gtest.h>

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
