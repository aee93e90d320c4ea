#include "IconGraphic.h"

#include "Dib.h"
#include "PngGraphic.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace decode {

namespace {

struct Candidate {
    ByteView payload;
    bool png = false;
    std::uint64_t width = 0; // as declared: up to 2^32 - 1 each
    std::uint64_t height = 0;
    int bits = 0;
};

bool IsPng(ByteView payload)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return payload.Has(0, 8) && std::memcmp(payload.data(), signature, 8) == 0;
}

} // namespace

QImage DecodeIconData(ByteView data)
{
    if (!data.Has(0, 6))
        Fail(QStringLiteral("アイコンのデータが短すぎます"));
    const std::uint16_t reserved = data.U16(0);
    const std::uint16_t type = data.U16(2);
    const std::uint16_t count = data.U16(4);
    if (reserved != 0 || (type != 1 && type != 2))
        Fail(QStringLiteral("アイコンのファイルではありません"));
    if (count == 0)
        Fail(QStringLiteral("アイコンに画像がありません"));

    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 16 * i;
        if (!data.Has(at, 16))
            Fail(QStringLiteral("アイコンのデータが途中で切れています"));
        const std::uint32_t size = data.U32(at + 8);
        const std::uint32_t offset = data.U32(at + 12);
        // An entry that runs past the end of the data: the file is truncated.
        if (!data.Has(offset, size))
            Fail(QStringLiteral("アイコンのデータが途中で切れています"));
        if (size == 0)
            continue;
        Candidate c;
        c.payload = data.Sub(offset, size);
        c.png = IsPng(c.payload);
        if (c.png) {
            if (!c.payload.Has(16, 8))
                continue;
            const unsigned char* ihdr = c.payload.data() + 16;
            c.width = (std::uint64_t(ihdr[0]) << 24) | (std::uint64_t(ihdr[1]) << 16) | (std::uint64_t(ihdr[2]) << 8)
                      | ihdr[3];
            c.height = (std::uint64_t(ihdr[4]) << 24) | (std::uint64_t(ihdr[5]) << 16) | (std::uint64_t(ihdr[6]) << 8)
                       | ihdr[7];
            c.bits = 32;
        } else {
            int w = 0, h = 0;
            if (!DibHeaderSize(c.payload, w, h))
                continue;
            c.width = w > 0 ? std::uint64_t(w) : 0;
            c.height = std::uint64_t(std::abs(std::int64_t(h))) / 2;
            c.bits = c.payload.U16(c.payload.U32(0) == 12 ? 10 : 14);
        }
        candidates.push_back(c);
    }
    if (candidates.empty())
        Fail(QStringLiteral("アイコンに読める画像がありません"));

    std::stable_sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        const std::uint64_t areaA = a.width * a.height, areaB = b.width * b.height; // cannot overflow
        if (areaA != areaB)
            return areaA > areaB;
        return a.bits > b.bits;
    });
    QString firstFailure;
    for (const Candidate& c : candidates) {
        try {
            if (c.png)
                return DecodePngData(c.payload);
            return DecodeDib(c.payload, {}, DibLayout::Packed, true);
        } catch (const EGraphicError& e) {
            if (firstFailure.isEmpty())
                firstFailure = e.message();
        }
    }
    Fail(firstFailure);
}

} // namespace decode

const TGraphicClassInfo TIconGraphic::ClassInfo = {"TIcon", [] { return std::unique_ptr<TGraphic>(new TIconGraphic); }};

void TIconGraphic::LoadFromStream(const QByteArray& data)
{
    SetImage(decode::DecodeIconData(decode::ByteView(data)));
}
