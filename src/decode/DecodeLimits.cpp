#include "DecodeLimits.h"

namespace decode {

namespace {
std::uint64_t g_maxPixels = kMaxPixels;
}

std::uint64_t MaxPixels()
{
    return g_maxPixels;
}

void SetMaxPixelsForTesting(std::uint64_t pixels)
{
    g_maxPixels = pixels ? pixels : kMaxPixels;
}

void Fail(const QString& message)
{
    // The decoders word every refusal of a size the same way.
    const bool tooLarge = message.startsWith(QStringLiteral("画像が大きすぎます"))
                          || message.startsWith(QStringLiteral("画像のメモリを確保できません"));
    throw EGraphicError(message, tooLarge ? TDecodeFailure::TooLarge : TDecodeFailure::DamagedData);
}

void CheckImageSize(std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0)
        Fail(QStringLiteral("画像の大きさが不正です (%1 x %2)").arg(width).arg(height));
    if (std::uint64_t(width) > MaxPixels() || std::uint64_t(height) > MaxPixels()
        || std::uint64_t(width) * std::uint64_t(height) > MaxPixels())
        throw EGraphicError(QStringLiteral("画像が大きすぎます (%1 x %2)").arg(width).arg(height),
                            TDecodeFailure::TooLarge);
}

QImage AllocateImage(std::int64_t width, std::int64_t height, QImage::Format format)
{
    CheckImageSize(width, height);
    QImage image(int(width), int(height), format);
    if (image.isNull())
        throw EGraphicError(QStringLiteral("画像のメモリを確保できません (%1 x %2)").arg(width).arg(height),
                            TDecodeFailure::TooLarge);
    return image;
}

} // namespace decode
