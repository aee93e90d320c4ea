#include "DecodeLimits.h"

namespace decode {

namespace {
std::uint64_t g_maxPixels = kMaxPixels;
}

std::uint64_t MaxPixels() { return g_maxPixels; }

void SetMaxPixelsForTesting(std::uint64_t pixels) { g_maxPixels = pixels ? pixels : kMaxPixels; }

void Fail(const QString& message)
{
    throw EGraphicError(message);
}

void CheckImageSize(std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0)
        Fail(QStringLiteral("画像の大きさが不正です (%1 x %2)").arg(width).arg(height));
    if (std::uint64_t(width) > MaxPixels() || std::uint64_t(height) > MaxPixels()
        || std::uint64_t(width) * std::uint64_t(height) > MaxPixels())
        Fail(QStringLiteral("画像が大きすぎます (%1 x %2)").arg(width).arg(height));
}

QImage AllocateImage(std::int64_t width, std::int64_t height, QImage::Format format)
{
    CheckImageSize(width, height);
    QImage image(int(width), int(height), format);
    if (image.isNull())
        Fail(QStringLiteral("画像のメモリを確保できません (%1 x %2)").arg(width).arg(height));
    return image;
}

} // namespace decode
