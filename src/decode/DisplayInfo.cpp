#include "DisplayInfo.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include <atomic>

#include <cstdint>
#include <cstdlib>

namespace decode {

namespace {
std::atomic<int> g_testDepth = 0;
// The depth last read on the window thread; decoding threads use it, as
// screens may only be asked on that thread.
std::atomic<int> g_lastDepth = 24;
} // namespace

int ScreenBitsPerPixel()
{
    if (g_testDepth > 0)
        return g_testDepth;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return g_lastDepth;
    if (qobject_cast<QGuiApplication*>(app)) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            g_lastDepth = screen->depth();
            return g_lastDepth;
        }
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
