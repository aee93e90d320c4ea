#include "MetafileGraphic.h"

#include "MetafilePlayer.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QStringDecoder>
#include <cmath>
#include <map>
#include <set>
#include <vector>

namespace decode {

using metafile::kEmfSignature;
using metafile::kPlaceableKey;
using metafile::Player;

Metafile::Metafile(QByteArray data)
{
    const ByteView v(data);
    if (v.size() < 8)
        Fail(QStringLiteral("メタファイルのデータが短すぎます"));
    std::int64_t himetricW = 0, himetricH = 0;
    if (v.U32(0) == 1) { // enhanced metafile
        const std::uint32_t headerSize = v.U32(4);
        if (headerSize < 88 || !v.Has(0, headerSize) || v.U32(40) != kEmfSignature)
            Fail(QStringLiteral("EMF のヘッダーが不正です"));
        m_enhanced = true;
        const std::int64_t fl = v.S32(24), ft = v.S32(28), fr = v.S32(32), fb = v.S32(36);
        const std::int64_t devW = v.S32(72), devH = v.S32(76), mmW = v.S32(80), mmH = v.S32(84);
        if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0) {
            m_frame.pixelsPerMmX = double(devW) / double(mmW);
            m_frame.pixelsPerMmY = double(devH) / double(mmH);
        }
        himetricW = fr - fl;
        himetricH = fb - ft;
        m_frame.left = double(fl);
        m_frame.top = double(ft);
        m_frame.right = double(fr);
        m_frame.bottom = double(fb);
        // Every record must lie inside the data, ending with EMR_EOF.
        std::size_t pos = 0;
        bool ended = false;
        while (v.Has(pos, 8)) {
            const std::uint32_t type = v.U32(pos);
            const std::uint32_t size = v.U32(pos + 4);
            if (size < 8 || size % 4 != 0 || size > v.size() - pos)
                break;
            pos += size;
            if (type == 14) {
                ended = true;
                break;
            }
        }
        if (!ended)
            Fail(QStringLiteral("EMF のレコードが途中で切れています"));
    } else if (v.U32(0) == kPlaceableKey) {
        if (!v.Has(0, 22 + 18))
            Fail(QStringLiteral("WMF のヘッダーが足りません"));
        const std::int64_t left = v.S16(6), top = v.S16(8), right = v.S16(10), bottom = v.S16(12);
        const std::int64_t inch = v.U16(14);
        if (inch == 0)
            Fail(QStringLiteral("WMF の単位が不正です"));
        const std::uint16_t type = v.U16(22);
        const std::uint16_t headerWords = v.U16(24);
        if ((type != 1 && type != 2) || headerWords != 9)
            Fail(QStringLiteral("WMF のヘッダーが不正です"));
        himetricW = MulDiv(int(std::abs(right - left)), 2540, int(inch));
        himetricH = MulDiv(int(std::abs(bottom - top)), 2540, int(inch));
        m_frame.left = double(left);
        m_frame.top = double(top);
        m_frame.right = double(right);
        m_frame.bottom = double(bottom);
        std::size_t pos = 22 + 18;
        bool ended = false;
        while (v.Has(pos, 6)) {
            const std::uint64_t words = v.U32(pos);
            const std::uint16_t function = v.U16(pos + 4);
            if (words < 3 || words * 2 > v.size() - pos)
                break;
            pos += std::size_t(words * 2);
            if (function == 0) {
                ended = true;
                break;
            }
        }
        if (!ended)
            Fail(QStringLiteral("WMF のレコードが途中で切れています"));
    } else {
        Fail(QStringLiteral("メタファイルではありません"));
    }
    if (himetricW <= 0 || himetricH <= 0 || himetricW > INT32_MAX || himetricH > INT32_MAX)
        Fail(QStringLiteral("メタファイルの大きさが不正です"));
    m_himetricWidth = int(himetricW);
    m_himetricHeight = int(himetricH);
    m_width = HimetricToPixels(m_himetricWidth);
    m_height = HimetricToPixels(m_himetricHeight);
    CheckImageSize(m_width, m_height);
    m_data = std::move(data);
}

void Metafile::Play(QPainter& painter, const QRectF& target) const
{
    if (m_data.isEmpty() || !target.isValid())
        return;
    Player player(painter, target, m_frame, m_enhanced);
    if (m_enhanced)
        player.PlayEmf(ByteView(m_data));
    else
        player.PlayWmf(ByteView(m_data));
}

QImage Metafile::Render(int width, int height) const
{
    QImage image = AllocateImage(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Play(painter, QRectF(0, 0, width, height));
    painter.end();
    return image;
}

} // namespace decode

const TGraphicClassInfo TMetafileGraphic::ClassInfo = {"TMetafile",
                                                       [] { return std::unique_ptr<TGraphic>(new TMetafileGraphic); }};

void TMetafileGraphic::LoadFromStream(const QByteArray& data)
{
    m_metafile = decode::Metafile(data);
    m_rendered = QImage();
}

void TMetafileGraphic::Draw(QPainter& painter, const QRect& target) const
{
    m_metafile.Play(painter, QRectF(target));
}

QImage TMetafileGraphic::ToImage() const
{
    if (m_metafile.IsNull())
        return {};
    if (m_rendered.isNull())
        m_rendered = m_metafile.Render(m_metafile.Width(), m_metafile.Height());
    return m_rendered;
}
