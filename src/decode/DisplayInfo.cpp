#include "DisplayInfo.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdint>
#include <cstdlib>

namespace decode {

namespace {
int g_testDepth = 0;
}

int ScreenBitsPerPixel()
{
    if (g_testDepth > 0)
        return g_testDepth;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (QScreen* screen = QGuiApplication::primaryScreen())
            return screen->depth();
    }
    return 24;
}

void SetScreenDepthForTesting(int bitsPerPixel)
{
    g_testDepth = bitsPerPixel > 0 ? bitsPerPixel : 0;
}

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    std::int64_t product = std::int64_t(number) * numerator;
    std::int64_t d = denominator;
    if (d < 0) {
        d = -d;
        product = -product;
    }
    const std::int64_t half = d / 2;
    const std::int64_t result = product >= 0 ? (product + half) / d : -((-product + half) / d);
    if (result > INT32_MAX || result < INT32_MIN)
        return -1;
    return int(result);
}

} // namespace decode
