#pragma once
#include <QString>

// Interval × 1000 + IntervalM; a negative result is taken as 100 ms.
int SlideshowIntervalMs(int interval, int intervalM);
// "SlideShow ON - 2.5秒": the interval in seconds in the shortest decimal
// form of the user's locale.
QString SlideshowOnText(int interval, int intervalM);
inline QString SlideshowOffText()
{
    return QStringLiteral("SlideShow OFF");
}
