#include "SlideshowText.h"

#include <QLocale>

int SlideshowIntervalMs(int interval, int intervalM)
{
    const long long ms = static_cast<long long>(interval) * 1000 + intervalM;
    if (ms < 0)
        return 100;
    if (ms > 0x7fffffff)
        return 0x7fffffff;
    return static_cast<int>(ms);
}

QString SlideshowOnText(int interval, int intervalM)
{
    const double seconds = interval + intervalM / 1000.0;
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QStringLiteral("SlideShow ON - ") + locale.toString(seconds, 'g', QLocale::FloatingPointShortest)
           + QStringLiteral("秒");
}
