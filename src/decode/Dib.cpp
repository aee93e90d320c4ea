#include "Dib.h"

#include "JpegGraphic.h"
#include "PngGraphic.h"

#include <bit>
#include <climits>
#include <vector>

namespace decode {

namespace {

enum Compression : std::uint32_t {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6,
};

struct DibHeader {
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // rows of the colour image
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    bool hasMasks = false;
    std::size_t masksEnd = 0; // offset of the colour table
    std::size_t paletteEntrySize = 4;
};

DibHeader ReadHeader(ByteView info, bool iconMask)
{
    DibHeader h;
    if (!info.Has(0, 4))
        Fail(QStringLiteral("ビットマップのヘッダーが足りません"));
    h.headerSize = info.U32(0);
    if (h.headerSize < 12 || !info.Has(0, h.headerSize))
        Fail(QStringLiteral("ビットマップのヘッダーが不正です"));

    std::int64_t rawHeight = 0;
    if (h.headerSize == 12) { // OS/2 1.x core header
        h.width = info.U16(4);
        rawHeight = info.U16(6);
        h.bitCount = info.U16(10);
        h.paletteEntrySize = 3;
        h.masksEnd = 12;
    } else if (h.headerSize >= 40 && h.headerSize != 64) { // Windows info header and its versions
        h.width = info.S32(4);
        rawHeight = info.S32(8);
        h.bitCount = info.U16(14);
        h.compression = info.U32(16);
        h.colorsUsed = info.U32(32);
        h.masksEnd = h.headerSize;
        if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
            h.hasMasks = true;
            if (h.headerSize == 40) {
                const std::size_t count = h.compression == kAlphaBitFields ? 4 : 3;
                if (!info.Has(40, count * 4))
                    Fail(QStringLiteral("ビットマップのビットマスクが足りません"));
                for (std::size_t i = 0; i < count; ++i)
                    h.masks[i] = info.U32(40 + 4 * i);
                h.masksEnd = 40 + count * 4;
            } else {
                for (std::size_t i = 0; i < 3; ++i)
                    h.masks[i] = info.U32(40 + 4 * i);
                if (h.headerSize >= 56)
                    h.masks[3] = info.U32(52);
            }
        }
    } else if (h.headerSize >= 16 && h.headerSize <= 64) { // OS/2 2.x header
        h.width = info.S32(4);
        rawHeight = info.S32(8);
        h.bitCount = info.U16(14);
        h.compression = h.headerSize >= 20 ? info.U32(16) : 0;
        h.colorsUsed = h.headerSize >= 36 ? info.U32(32) : 0;
        h.masksEnd = h.headerSize;
        if (h.compression > kRle4)
            Fail(QStringLiteral("OS/2 ビットマップの圧縮形式 %1 は処理できません").arg(h.compression));
    } else {
        Fail(QStringLiteral("ビットマップのヘッダーの大きさ %1 は処理できません").arg(h.headerSize));
    }

    if (rawHeight < 0) {
        h.topDown = true;
        rawHeight = -rawHeight;
    }
    if (iconMask)
        rawHeight /= 2;
    h.height = rawHeight;
    return h;
}

int MaskShift(std::uint32_t mask)
{
    return mask ? std::countr_zero(mask) : 0;
}
int MaskBits(std::uint32_t mask)
{
    return mask ? 32 - std::countl_zero(mask >> MaskShift(mask)) : 0;
}

// Scales a masked channel to 8 bits.
class Channel {
public:
    explicit Channel(std::uint32_t mask) : m_mask(mask), m_shift(MaskShift(mask)), m_bits(MaskBits(mask))
    {
        if (m_bits > 0 && m_bits <= 16) {
            const std::uint32_t max = (1u << m_bits) - 1;
            m_table.resize(std::size_t(max) + 1);
            for (std::uint32_t v = 0; v <= max; ++v)
                m_table[v] = std::uint8_t((v * 255u + max / 2) / max);
        }
    }
    bool Present() const { return m_mask != 0; }
    std::uint8_t operator()(std::uint32_t pixel) const
    {
        if (!m_mask)
            return 0;
        const std::uint32_t v = (pixel & m_mask) >> m_shift;
        if (!m_table.empty())
            return m_table[v];
        return std::uint8_t(v >> (m_bits - 8));
    }

private:
    std::uint32_t m_mask;
    int m_shift;
    int m_bits;
    std::vector<std::uint8_t> m_table;
};

QList<QRgb> ReadPalette(ByteView info, const DibHeader& h, std::size_t available, int entries)
{
    QList<QRgb> table(entries, qRgb(0, 0, 0)); // missing entries are black
    const std::size_t present = std::min<std::size_t>(std::size_t(entries), available / h.paletteEntrySize);
    for (std::size_t i = 0; i < present; ++i) {
        const std::size_t at = h.masksEnd + i * h.paletteEntrySize;
        table[int(i)] = qRgb(info.U8(at + 2), info.U8(at + 1), info.U8(at));
    }
    return table;
}

void DecodeRle(ByteView bits, const DibHeader& h, QImage& image)
{
    image.fill(0);
    const bool rle8 = h.compression == kRle8;
    const std::int64_t width = h.width;
    const std::int64_t height = h.height;
    const unsigned char* d = bits.data();
    const std::size_t n = bits.size();
    std::size_t pos = 0;
    std::int64_t x = 0;
    std::int64_t y = 0; // counted in file order
    bool finished = false;
    auto put = [&](std::int64_t px, std::uint8_t index) {
        if (px < width && y < height) {
            const std::int64_t row = h.topDown ? y : height - 1 - y;
            image.scanLine(int(row))[px] = index;
        }
    };
    while (!finished) {
        if (y >= height) {
            finished = true;
            break;
        }
        if (n - pos < 2)
            break;
        const std::uint8_t count = d[pos];
        const std::uint8_t value = d[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count && x + i < width; ++i)
                put(x + i, rle8 ? value : std::uint8_t(i & 1 ? value & 0x0F : value >> 4));
            x += count;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            finished = true;
            break;
        case 2: // delta
            if (n - pos < 2)
                Fail(QStringLiteral("RLE データが途中で切れています"));
            x += d[pos];
            y += d[pos + 1];
            pos += 2;
            break;
        default: { // absolute run
            const std::size_t bytes = rle8 ? value : (std::size_t(value) + 1) / 2;
            if (n - pos < bytes)
                Fail(QStringLiteral("RLE データが途中で切れています"));
            for (int i = 0; i < value && x + i < width; ++i) {
                const std::uint8_t b = d[pos + (rle8 ? i : i / 2)];
                put(x + i, rle8 ? b : std::uint8_t(i & 1 ? b & 0x0F : b >> 4));
            }
            x += value;
            pos += bytes + (bytes & 1);
            if (pos > n)
                pos = n;
            break;
        }
        }
    }
    if (!finished)
        Fail(QStringLiteral("RLE データが途中で切れています"));
}

} // namespace

bool DibHeaderSize(ByteView info, int& width, int& height)
{
    try {
        const DibHeader h = ReadHeader(info, false);
        if (h.width > INT_MAX || h.height > INT_MAX)
            return false;
        width = int(h.width);
        height = int(h.height);
        return true;
    } catch (const EGraphicError&) {
        return false;
    }
}

QImage DecodeDib(ByteView info, ByteView bits, DibLayout layout, bool iconMask)
{
    const DibHeader h = ReadHeader(info, iconMask);
    const std::uint32_t c = h.compression;

    if (c == kJpeg || c == kPng) {
        if (iconMask)
            Fail(QStringLiteral("アイコンのビットマップの圧縮形式が不正です"));
        ByteView payload = layout == DibLayout::Packed ? info.From(h.masksEnd) : bits;
        return c == kJpeg ? DecodeJpegData(payload, false) : DecodePngData(payload);
    }

    const int bpp = h.bitCount;
    switch (bpp) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        Fail(QStringLiteral("%1 ビットのビットマップは処理できません").arg(bpp));
    }
    if ((c == kRle8 && bpp != 8) || (c == kRle4 && bpp != 4)
        || ((c == kBitFields || c == kAlphaBitFields) && bpp != 16 && bpp != 32) || c > kAlphaBitFields)
        Fail(QStringLiteral("ビットマップの圧縮形式 %1 (%2 ビット) は処理できません").arg(c).arg(bpp));

    CheckImageSize(h.width, h.height);
    const std::int64_t width = h.width;
    const std::int64_t height = h.height;
    const std::uint64_t rowBits = std::uint64_t(width) * std::uint64_t(bpp);
    const std::uint64_t stride = (rowBits + 31) / 32 * 4;

    // Colour table.
    const bool indexed = bpp <= 8;
    std::uint64_t tableEntries = 0;
    if (indexed) {
        tableEntries = std::uint64_t(1) << bpp;
        if (h.colorsUsed > 0 && h.colorsUsed < tableEntries)
            tableEntries = h.colorsUsed;
    } else {
        tableEntries = h.colorsUsed; // optional table of true-colour pictures
    }
    const std::uint64_t tableBytes = tableEntries * h.paletteEntrySize;
    std::size_t paletteAvailable = info.size() > h.masksEnd ? info.size() - h.masksEnd : 0;
    if (layout == DibLayout::Packed) {
        if (tableBytes > info.size() - std::min(info.size(), h.masksEnd))
            Fail(QStringLiteral("ビットマップのデータが足りません"));
        bits = info.From(h.masksEnd + std::size_t(tableBytes));
        paletteAvailable = std::size_t(tableBytes);
    }
    const bool rle = c == kRle8 || c == kRle4;
    if (!rle && bits.size() < stride * std::uint64_t(height - 1) + (rowBits + 7) / 8)
        Fail(QStringLiteral("ビットマップのデータが足りません"));

    QImage image;
    if (indexed) {
        image = AllocateImage(width, height, QImage::Format_Indexed8);
        QList<QRgb> table = ReadPalette(info, h, paletteAvailable, int(tableEntries));
        const int fullSize = c == kRle8 ? 256 : 1 << bpp;
        while (table.size() < fullSize)
            table.append(qRgb(0, 0, 0));
        image.setColorTable(table);
    }

    if (rle) {
        DecodeRle(bits, h, image);
    } else {
        auto sourceRow = [&](std::int64_t y) {
            const std::int64_t fileRow = h.topDown ? y : height - 1 - y;
            return bits.data() + std::uint64_t(fileRow) * stride;
        };

        if (indexed) {
            const int perByte = 8 / bpp;
            const int mask = (1 << bpp) - 1;
            for (std::int64_t y = 0; y < height; ++y) {
                const unsigned char* src = sourceRow(y);
                uchar* dst = image.scanLine(int(y));
                if (bpp == 8) {
                    std::memcpy(dst, src, std::size_t(width));
                    continue;
                }
                for (std::int64_t x = 0; x < width; ++x) {
                    const int shift = 8 - bpp * (int(x % perByte) + 1);
                    dst[x] = uchar((src[x / perByte] >> shift) & mask);
                }
            }
        } else if (bpp == 24) {
            image = AllocateImage(width, height, QImage::Format_BGR888);
            for (std::int64_t y = 0; y < height; ++y)
                std::memcpy(image.scanLine(int(y)), sourceRow(y), std::size_t(width) * 3);
        } else if (bpp == 32 && c == kRgb) {
            image = AllocateImage(width, height, iconMask ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            for (std::int64_t y = 0; y < height; ++y) {
                auto* dst = reinterpret_cast<std::uint32_t*>(image.scanLine(int(y)));
                std::memcpy(dst, sourceRow(y), std::size_t(width) * 4);
                if (!iconMask) {
                    for (std::int64_t x = 0; x < width; ++x)
                        dst[x] |= 0xFF000000u;
                }
            }
        } else {
            std::uint32_t masks[4] = {h.masks[0], h.masks[1], h.masks[2], h.masks[3]};
            if (c == kRgb) { // 16 bits: 5-5-5
                masks[0] = 0x7C00;
                masks[1] = 0x03E0;
                masks[2] = 0x001F;
                masks[3] = 0;
            }
            if (bpp == 16) {
                for (auto& m : masks)
                    m &= 0xFFFF;
            }
            const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
            image = AllocateImage(width, height, alpha.Present() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            for (std::int64_t y = 0; y < height; ++y) {
                const unsigned char* src = sourceRow(y);
                auto* dst = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
                for (std::int64_t x = 0; x < width; ++x) {
                    const std::uint32_t p = bpp == 16 ? Le16(src + 2 * x) : Le32(src + 4 * x);
                    dst[x] = qRgba(red(p), green(p), blue(p), alpha.Present() ? alpha(p) : 255);
                }
            }
        }
    }

    // A 32-bit picture whose alpha is zero everywhere is opaque.
    bool usedAlpha = false;
    if (image.format() == QImage::Format_ARGB32) {
        for (int y = 0; y < image.height() && !usedAlpha; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(row[x]) != 0) {
                    usedAlpha = true;
                    break;
                }
            }
        }
        if (!usedAlpha) {
            for (int y = 0; y < image.height(); ++y) {
                auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    row[x] |= 0xFF000000u;
            }
        }
    }

    if (iconMask && !usedAlpha && !rle) {
        // The AND mask follows the colour bits: 1 bit per pixel, rows padded
        // to 32 bits, in the same row order. A set bit is transparent.
        const std::uint64_t colorBytes = stride * std::uint64_t(height);
        const std::uint64_t maskStride = (std::uint64_t(width) + 31) / 32 * 4;
        const std::uint64_t maskBytes = maskStride * std::uint64_t(height);
        if (bits.size() >= colorBytes && bits.size() - colorBytes >= maskBytes) {
            const unsigned char* mask = bits.data() + colorBytes;
            image = image.convertToFormat(QImage::Format_ARGB32);
            if (image.isNull())
                Fail(QStringLiteral("画像のメモリを確保できません"));
            for (std::int64_t y = 0; y < height; ++y) {
                const std::int64_t fileRow = h.topDown ? y : height - 1 - y;
                const unsigned char* m = mask + std::uint64_t(fileRow) * maskStride;
                auto* dst = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
                for (std::int64_t x = 0; x < width; ++x) {
                    if (m[x / 8] & (0x80 >> (x % 8)))
                        dst[x] = 0;
                }
            }
        }
    }
    return image;
}

QImage DecodeBmpFile(ByteView file)
{
    if (!file.Has(0, 14 + 4) || file.U8(0) != 'B' || file.U8(1) != 'M')
        Fail(QStringLiteral("BMP ファイルではありません"));
    ByteView info = file.From(14);
    const std::uint32_t headerSize = info.U32(0);
    const std::uint32_t offBits = file.U32(10);
    // The header block ends where the pixel bits begin; a missing or bad
    // offset means the bits follow the colour table directly.
    if (offBits >= 14 + std::uint64_t(headerSize) && offBits <= file.size())
        return DecodeDib(file.Sub(14, offBits - 14), file.From(offBits), DibLayout::Separate);
    return DecodeDib(info, {}, DibLayout::Packed);
}

} // namespace decode
