#include "FastShrink.h"

#include <algorithm>
#include <vector>

namespace {

template <int Channels, int R, int G, int B, int A> QImage boxShrink(const QImage& src, int k, QImage::Format outFormat)
{
    const int ow = src.width() / k;
    const int oh = src.height() / k;
    QImage out(ow, oh, outFormat);
    if (out.isNull())
        return out;
    const uint32_t area = static_cast<uint32_t>(k) * static_cast<uint32_t>(k);
    std::vector<uint32_t> sums(static_cast<size_t>(ow) * 4);
    for (int oy = 0; oy < oh; ++oy) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int dy = 0; dy < k; ++dy) {
            const uchar* line = src.constScanLine(oy * k + dy);
            uint32_t* sum = sums.data();
            for (int ox = 0; ox < ow; ++ox, sum += 4) {
                const uchar* p = line + static_cast<size_t>(ox) * k * Channels;
                uint32_t r = 0, g = 0, b = 0, a = 0;
                for (int dx = 0; dx < k; ++dx, p += Channels) {
                    r += p[R];
                    g += p[G];
                    b += p[B];
                    if constexpr (A >= 0)
                        a += p[A];
                }
                sum[0] += r;
                sum[1] += g;
                sum[2] += b;
                sum[3] += a;
            }
        }
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(oy));
        const uint32_t half = area / 2;
        for (int ox = 0; ox < ow; ++ox) {
            const uint32_t* sum = &sums[static_cast<size_t>(ox) * 4];
            const uint32_t alpha = A >= 0 ? (sum[3] + half) / area : 255u;
            dst[ox] = qRgba(int((sum[0] + half) / area), int((sum[1] + half) / area), int((sum[2] + half) / area),
                            int(alpha));
        }
    }
    return out;
}

} // namespace

QImage BoxShrink(const QImage& source, int factor)
{
    if (factor <= 1 || source.isNull())
        return source;
    // Blocks of up to 4096 pixels keep every channel sum within 32 bits.
    factor = std::min(factor, 64);
    switch (source.format()) {
    case QImage::Format_RGB888:
        return boxShrink<3, 0, 1, 2, -1>(source, factor, QImage::Format_RGB32);
    case QImage::Format_RGB32: // bytes B G R X in memory on little endian
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN)
            return boxShrink<4, 2, 1, 0, -1>(source, factor, QImage::Format_RGB32);
        break;
    case QImage::Format_ARGB32_Premultiplied:
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN)
            return boxShrink<4, 2, 1, 0, 3>(source, factor, QImage::Format_ARGB32_Premultiplied);
        break;
    default:
        break;
    }
    const QImage converted =
        source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (converted.format() != QImage::Format_RGB32 && converted.format() != QImage::Format_ARGB32_Premultiplied)
        return converted;
    return BoxShrink(converted, factor);
}

QImage SmoothShrink(const QImage& source, const QSize& target)
{
    if (source.isNull() || target.isEmpty())
        return {};
    const int factor =
        std::min(source.width() / std::max(1, target.width()), source.height() / std::max(1, target.height()));
    // Leave a factor between 1 and 2 for the smooth scale, so that the box
    // pass never rounds the picture below the target size.
    const QImage reduced = factor >= 3 ? BoxShrink(source, factor - 1) : source;
    return reduced.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
