#include "viewer/FitPicture.h"
#include "viewer/Navigation.h"
#include "viewer/common/SlideshowText.h"

#include <gtest/gtest.h>

namespace {
// Steps and normalises like the main window does.
int step(DisplayForm form, int index, int count, bool forward)
{
    return NormaliseIndex(form, StepIndex(form, index, forward), count);
}
} // namespace

TEST(Navigation, SinglePageWrapsAtBothEnds)
{
    EXPECT_EQ(step(DisplayForm::SinglePage, 2, 3, true), 0);
    EXPECT_EQ(step(DisplayForm::SinglePage, 0, 3, false), 2);
    EXPECT_EQ(step(DisplayForm::SinglePage, 1, 3, true), 2);
}

TEST(Navigation, SpreadWithOddStartStepsInPairs)
{
    const auto f = DisplayForm::SpreadOdd;
    EXPECT_EQ(step(f, 0, 5, true), 2);
    EXPECT_EQ(step(f, 2, 5, true), 4);
    EXPECT_EQ(step(f, 4, 5, true), 0);
    EXPECT_EQ(step(f, 0, 5, false), 4);
    EXPECT_EQ(step(f, 0, 4, false), 2); // even count: the last pair starts at n - 2
}

TEST(Navigation, SpreadWithEvenStartShowsTheFirstAlone)
{
    const auto f = DisplayForm::SpreadEven;
    EXPECT_EQ(step(f, 0, 5, true), 1);
    EXPECT_EQ(step(f, 1, 5, true), 3);
    EXPECT_EQ(step(f, 3, 5, true), 0);
    EXPECT_EQ(step(f, 0, 5, false), 3);
    EXPECT_EQ(step(f, 0, 4, false), 3); // even count: n - 1
}

TEST(Navigation, NormalisationTable)
{
    EXPECT_EQ(NormaliseIndex(DisplayForm::SinglePage, -5, 4), 3);
    EXPECT_EQ(NormaliseIndex(DisplayForm::SpreadOdd, -1, 4), 0);
    EXPECT_EQ(NormaliseIndex(DisplayForm::SpreadOdd, -3, 5), 4);
    EXPECT_EQ(NormaliseIndex(DisplayForm::SpreadEven, -3, 5), 3);
    EXPECT_EQ(NormaliseIndex(DisplayForm::SpreadEven, 9, 5), 0);
    EXPECT_EQ(NormaliseIndex(DisplayForm::SpreadEven, 2, 5), 2);
}

TEST(FitPicture, NaturalAndZoomedSmallPicture)
{
    FitInput in{400, 300, 0, 100, 50, false, false, 20};
    EXPECT_EQ(FitPictureRect(in), QRect(150, 125 + 20, 100, 50));
    in.zoom = true;
    EXPECT_EQ(FitPictureRect(in), QRect(0, 50 + 20, 400, 200));
}

TEST(FitPicture, LargePictureFitsTheTighterSide)
{
    FitInput in{400, 300, 0, 1000, 1000, false, false, 20};
    EXPECT_EQ(FitPictureRect(in), QRect(50, 20, 300, 300));
    // Wide picture: width fit, centred vertically.
    FitInput wide{400, 300, 0, 2000, 500, false, false, 0};
    EXPECT_EQ(FitPictureRect(wide), QRect(0, 100, 400, 100));
}

TEST(FitPicture, SpreadPicturesMeetAtTheMiddle)
{
    FitInput left{400, 300, 0, 300, 600, false, true, 0};
    const QRect l = FitPictureRect(left);
    EXPECT_EQ(l, QRect(400 - 150, 0, 150, 300));
    FitInput right = left;
    right.position = 1;
    EXPECT_EQ(FitPictureRect(right), QRect(400, 0, 150, 300));
    FitInput wideRight{400, 300, 1, 800, 300, false, true, 0};
    EXPECT_EQ(FitPictureRect(wideRight), QRect(400, 75, 400, 150));
}

TEST(FitPicture, HalvesRoundToEven)
{
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    // 101 x 50 natural in 400 x 300: left (299 / 2 = 149.5) rounds to 150.
    FitInput in{400, 300, 0, 101, 51, false, false, 0};
    EXPECT_EQ(FitPictureRect(in), QRect(150, 124, 101, 51));
}

TEST(SlideshowText, IntervalAndStatusText)
{
    EXPECT_EQ(SlideshowIntervalMs(3, 250), 3250);
    EXPECT_EQ(SlideshowIntervalMs(-1, 0), 100);
    EXPECT_EQ(SlideshowOffText(), QStringLiteral("SlideShow OFF"));
    const QString text = SlideshowOnText(3, 250);
    EXPECT_TRUE(text.startsWith(QStringLiteral("SlideShow ON - 3"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("25秒")));
    EXPECT_EQ(SlideshowOnText(2, 0), QStringLiteral("SlideShow ON - 2秒"));
    EXPECT_EQ(SlideshowOnText(0, 0), QStringLiteral("SlideShow ON - 0秒"));
}
