#include "FastShrink.h"

#include "decode/PictureMemory.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Fixed-point weights: the weights of one output pixel add up to kOne, and
// a pixel's channel times a weight stays within a signed 16-bit product.
constexpr int kWeightBits = 14;
constexpr int32_t kOne = 1 << kWeightBits;
// Rows shrunk across keep 7 bits below the channel's: at most 255 << 7,
// within a signed 16-bit value.
constexpr int kRowBits = 7;

// Which source pixels of one axis each output pixel covers, and how much of
// each: output pixel o covers [o * from / to, (o + 1) * from / to). The
// weights come in pairs (the second 0 when the count is odd), each pair
// packed in one 32-bit word for a multiply-add of two pixels at once.
struct AxisSpans {
    std::vector<int> first; // first source pixel
    std::vector<int> pairs; // weight pairs
    std::vector<int> offset; // index of the first pair in `packed`
    std::vector<uint32_t> packed; // low half: even tap, high half: odd tap
    std::vector<int32_t> weights; // one per tap, for the plain path

    AxisSpans(int from, int to)
    {
        // Exact arithmetic in units of 1 / to of a source pixel.
        const size_t n = size_t(to);
        first.resize(n);
        pairs.resize(n);
        offset.resize(n);
        std::vector<int32_t> w;
        for (int o = 0; o < to; ++o) {
            const int64_t begin = int64_t(o) * from;
            const int64_t end = int64_t(o + 1) * from;
            const int i0 = int(begin / to);
            const int i1 = std::min<int>(from, int((end + to - 1) / to));
            w.assign(size_t(i1 - i0), 0);
            int32_t total = 0;
            size_t largest = 0;
            for (int i = i0; i < i1; ++i) {
                const int64_t cover =
                    std::min<int64_t>(int64_t(i + 1) * to, end) - std::max<int64_t>(int64_t(i) * to, begin);
                const size_t k = size_t(i - i0);
                w[k] = int32_t(cover * kOne / from);
                total += w[k];
                if (w[k] > w[largest])
                    largest = k;
            }
            w[largest] += kOne - total; // what the rounding down left over
            if (w.size() % 2)
                w.push_back(0);
            first[size_t(o)] = i0;
            pairs[size_t(o)] = int(w.size() / 2);
            offset[size_t(o)] = int(packed.size());
            for (size_t k = 0; k < w.size(); k += 2)
                packed.push_back(uint32_t(w[k]) | (uint32_t(w[k + 1]) << 16));
        }
        weights.reserve(packed.size() * 2);
        for (uint32_t pair : packed) {
            weights.push_back(int32_t(pair & 0xffff));
            weights.push_back(int32_t(pair >> 16));
        }
    }
};

inline uint32_t loadPixel(const uchar* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// One source row shrunk across into `row` (4 values per output pixel).
// The last pixel of a pair may lie one past the row's end when its weight
// is 0; the row is read only up to its last pixel.
void shrinkRow(const uchar* line, int sourceWidth, const AxisSpans& across, int16_t* row, int width)
{
    for (int ox = 0; ox < width; ++ox) {
        const int x0 = across.first[size_t(ox)];
        const int pairs = across.pairs[size_t(ox)];
        const uint32_t* packed = &across.packed[size_t(across.offset[size_t(ox)])];
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        __m128i sum = _mm_setzero_si128();
        for (int k = 0; k < pairs; ++k) {
            const int x = x0 + 2 * k;
            const __m128i a = _mm_cvtsi32_si128(int(loadPixel(line + size_t(x) * 4)));
            const __m128i b = _mm_cvtsi32_si128(x + 1 < sourceWidth ? int(loadPixel(line + size_t(x + 1) * 4)) : 0);
            // b0 b1 g0 g1 r0 r1 a0 a1 as 16-bit values, times w0 w1 pairwise
            const __m128i both = _mm_unpacklo_epi8(_mm_unpacklo_epi8(a, b), zero);
            sum = _mm_add_epi32(sum, _mm_madd_epi16(both, _mm_set1_epi32(int(packed[k]))));
        }
        sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (kWeightBits - kRowBits - 1))),
                             kWeightBits - kRowBits);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(row + size_t(ox) * 4), _mm_packs_epi32(sum, sum));
#else
        const int32_t* w = &across.weights[size_t(across.offset[size_t(ox)]) * 2];
        int32_t sum[4] = {0, 0, 0, 0};
        for (int k = 0; k < 2 * pairs && x0 + k < sourceWidth; ++k)
            for (int c = 0; c < 4; ++c)
                sum[c] += w[k] * line[size_t(x0 + k) * 4 + size_t(c)];
        for (int c = 0; c < 4; ++c)
            row[size_t(ox) * 4 + size_t(c)] =
                int16_t((sum[c] + (1 << (kWeightBits - kRowBits - 1))) >> (kWeightBits - kRowBits));
#endif
    }
}

// Two shrunk rows (the second may be null with weight 0) weighed into
// `sums`, added to what is there.
void addRows(const int16_t* a, const int16_t* b, uint32_t weights, int32_t* sums, size_t count)
{
    size_t j = 0;
#if defined(__SSE2__)
    const __m128i w = _mm_set1_epi32(int(weights));
    const __m128i zero = _mm_setzero_si128();
    for (; j + 8 <= count; j += 8) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + j));
        const __m128i vb = b ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + j)) : zero;
        __m128i* s = reinterpret_cast<__m128i*>(sums + j);
        _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), _mm_madd_epi16(_mm_unpacklo_epi16(va, vb), w)));
        _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1), _mm_madd_epi16(_mm_unpackhi_epi16(va, vb), w)));
    }
#endif
    const int32_t wa = int32_t(weights & 0xffff);
    const int32_t wb = int32_t(weights >> 16);
    for (; j < count; ++j)
        sums[j] += wa * a[j] + (b ? wb * b[j] : 0);
}

// Area-averaging scale of 32-bit pixels (every byte a channel, RGB32 or
// premultiplied ARGB32) to a size no larger on either axis: each output
// pixel is the mean of the source area it covers, parts of pixels weighed
// by their part. Rows are shrunk across first and then down, a few rows at
// a time.
QImage areaShrink(const QImage& src, const QSize& target)
{
    const int sw = src.width(), sh = src.height();
    const int tw = target.width(), th = target.height();
    QImage out = decode::NewPictureImage(tw, th, src.format());
    if (out.isNull())
        return out;
    const AxisSpans across(sw, tw);
    const AxisSpans down(sh, th);
    const size_t rowValues = size_t(tw) * 4;
    // Source rows shrunk across, kept by row % ring: an output row needs
    // at most `ring` consecutive ones.
    const int ring = (sh + th - 1) / th + 2;
    std::vector<int16_t> rows(rowValues * size_t(ring));
    std::vector<int32_t> sums(rowValues);
    auto shrunk = [&](int y) { return &rows[size_t(y % ring) * rowValues]; };
    int shrunkUpTo = -1;
    for (int oy = 0; oy < th; ++oy) {
        const int y0 = down.first[size_t(oy)];
        const int pairs = down.pairs[size_t(oy)];
        const uint32_t* packed = &down.packed[size_t(down.offset[size_t(oy)])];
        const int yEnd = std::min(sh, y0 + 2 * pairs);
        for (int y = std::max(y0, shrunkUpTo + 1); y < yEnd; ++y) {
            shrinkRow(src.constScanLine(y), sw, across, shrunk(y), tw);
            shrunkUpTo = y;
        }
        std::fill(sums.begin(), sums.end(), 0);
        for (int k = 0; k < pairs; ++k) {
            const int y = y0 + 2 * k;
            addRows(shrunk(y), y + 1 < yEnd ? shrunk(y + 1) : nullptr, packed[k], sums.data(), rowValues);
        }
        uchar* dst = out.scanLine(oy);
        constexpr int shift = kWeightBits + kRowBits;
        for (size_t j = 0; j < rowValues; ++j)
            dst[j] = uchar((sums[j] + (1 << (shift - 1))) >> shift);
    }
    return out;
}

template <int Channels, int R, int G, int B, int A> QImage boxShrink(const QImage& src, int k, QImage::Format outFormat)
{
    const int ow = src.width() / k;
    const int oh = src.height() / k;
    QImage out = decode::NewPictureImage(ow, oh, outFormat);
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
    const bool areaFormat =
        reduced.format() == QImage::Format_RGB32 || reduced.format() == QImage::Format_ARGB32_Premultiplied;
    if (areaFormat && reduced.width() >= target.width() && reduced.height() >= target.height())
        return areaShrink(reduced, target);
    return reduced.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
